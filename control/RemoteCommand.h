// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QString>

#include <optional>

// A command that came over the control socket, as the station must be able
// to answer for it afterwards: when, whose, which way, what, and how it ended.
struct RemoteCommand
{
    QDateTime when; // UTC
    // The Unix user on the socket; for the SNMP agent, the name it claims
    // with that user beside it ("snmp ops (agent user Debian-snmp)").
    QString who;
    QString way;     // "socket" or "snmp"
    QString command; // as understood: "rf off", "frequency 107900", "ack all"
    QString outcome; // "confirmed", "done", "refused", "lost", "error"
    QString reason;  // why, unless it went as asked

    // As the feed and the control socket's status publish it: {"when",
    // "who", "way", "command", "outcome"}, or null when there is none.
    static QJsonValue json(const std::optional<RemoteCommand> &command);
};
