// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "snmp/AlarmStatus.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

// What one panel's status feed says, reduced to what the MIB serves. Every
// reading is optional: the panel leaves out those not read in its current
// connection and gives a null value where the transmitter's text is not a
// number, and both show the same way over SNMP (not instantiated).
struct PanelStatus
{
    // The first six are the panel's own states; the last two are what the
    // sub-agent says when it cannot read the feed. The numbers are the MIB's.
    enum class State
    {
        Off = 1,
        Connecting = 2,
        Polling = 3,
        Ended = 4,
        PortNotAvailable = 5,
        Resuming = 6,
        Unreachable = 7,
        InvalidFeed = 8
    };

    // How a command to the panel ended, as its control socket and its feed
    // word it; the numbers are the MIB's.
    enum class Outcome
    {
        Done = 1,
        Confirmed = 2,
        Refused = 3,
        Lost = 4,
        Error = 5
    };

    // The last command the panel took through its control socket.
    struct LastRemote
    {
        std::optional<QDateTime> whenUtc;
        QString who;
        QString way;
        QString command;
        std::optional<Outcome> outcome;
    };

    QString name;
    State state = State::Unreachable;
    QString device;
    QString firmware;
    std::optional<qint64> connectedSeconds;

    // Scaled as the MIB carries them, rounded to the nearest step.
    std::optional<qint32> forwardTenthsW;
    std::optional<qint32> reflectedTenthsW;
    std::optional<qint32> vswrHundredths;
    std::optional<qint32> temperatureTenthsC;
    std::optional<bool> temperatureAlarm;
    std::optional<bool> locked;
    std::optional<bool> onAir;
    std::optional<quint32> frequencyKhz;
    // The oldest age among the readings above that are present.
    std::optional<qint32> readingAgeTenthsS;
    // The panel's alarms, in its order; none while its alarms are off (the
    // feed has no "alarms" then) or its feed does not answer. Alarms this
    // agent does not know are left out.
    std::vector<AlarmStatus> alarms;
    // Nothing while the feed says null or leaves it out (a panel older than
    // its control socket).
    std::optional<LastRemote> lastRemote;

    // Parses the feed's JSON document; on failure returns nothing and says why
    // in *error, so the operator learns what the feed sent instead.
    static std::optional<PanelStatus> fromJson(const QByteArray &document, QString *error);

    static std::optional<State> stateFromFeed(const QString &text);
    static std::optional<Outcome> outcomeFromText(const QString &text);

    // Forgets the readings, the connection time and the alarms (the feed no
    // longer tells them) but keeps what identifies the panel.
    void markUnread(State why);
};
