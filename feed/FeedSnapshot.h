// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "control/RemoteCommand.h"
#include "link/TxReading.h"
#include "record/AlarmEntry.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

// What the feed tells about one panel at one moment: taken from the panel
// when a request is answered, so every answer is as fresh as the last status
// cycle and no answer ever waits on the transmitter.
struct FeedSnapshot
{
    QString name;
    QString state; // connectionStateName(): "polling", "ended", ...
    QString port;  // the port number as stored ("1"), empty when none
    QString device;
    QString firmware;
    // Why the link is not resumed (another device on the port); empty when none.
    QString linkNote;
    std::optional<qint64> connectedSeconds; // while a connection runs
    quint64 cycles = 0;
    TxReading reading;
    qint64 nowMs = 0; // on TxReading::nowMs()'s clock, for the readings' ages
    // Every alarm of the panel's alarm book, in AlarmKinds::All order (normal
    // ones included); absent while alarms are off.
    std::optional<std::vector<AlarmEntry>> alarms;
    // Remote control serves: the last remote command is published (null
    // until one came); off, the document has no such member.
    bool remoteControl = false;
    std::optional<RemoteCommand> lastRemote;
};
