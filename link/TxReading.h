// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QString>
#include <QtGlobal>

#include <optional>

// The transmitter's last reading, as the status poll decoded it: what the
// status feed, the record and the alarms consume, never the widgets.
//
// Each item holds the reply's text as the panel shows it, its value where the
// text means one, and when it was read (nowMs(): a monotonic clock, so a
// change of the computer's time never makes a reading look fresh or stale).
// An item not read in the current connection is absent.
struct TxReading
{
    template <typename T> struct Item
    {
        std::optional<T> value; // none where the text is not a number (or not "9"/"0")
        QString text;           // as the panel shows it
        qint64 readAtMs = -1;   // -1: not read in this connection
        bool present() const { return readAtMs >= 0; }
    };

    Item<double> forwardW;
    Item<double> reflectedW;
    Item<qint16> temperatureC;
    Item<bool> temperatureAlarm;
    Item<bool> locked;
    Item<bool> onAir;
    Item<qint32> frequencyKHz; // text "107.900 MHz"

    // Milliseconds on the monotonic clock the read times are taken from.
    static qint64 nowMs();

    // Voltage standing wave ratio from forward and reflected power; none when
    // either is missing, forward is 0 or reflected is not below forward.
    std::optional<double> vswr() const;
};

Q_DECLARE_METATYPE(TxReading)
