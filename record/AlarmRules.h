// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/TxReading.h"
#include "record/AlarmKind.h"
#include "record/AlarmSettings.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <vector>

// Decides when each alarm is raised and cleared, from the transmitter's
// readings and the link's events. It holds no clock and no window: every
// input carries its own time in milliseconds of one monotonic clock (a
// reading's items their read times), so a test replays any sequence exactly.
//
// A condition raises its alarm once it has been met in `readings`
// consecutive fresh readings spanning at least the alarm's delay; the clear
// condition (the clear threshold, on the normal side of the raise one) must
// hold the same way. A reading between the two thresholds keeps the alarm as
// it is and restarts whichever count was running. An item the cycle did not
// read afresh (a cycle cut short) counts neither way.
class AlarmRules
{
public:
    struct Change
    {
        AlarmKind kind;
        bool raised;   // false: cleared
        QString value; // what it was at that moment, in the operator's words ("2.5 W")
    };
    using Changes = std::vector<Change>;

    explicit AlarmRules(const AlarmSettings &settings);

    // A status cycle's reading (whole or cut short) while polling.
    Changes reading(const TxReading &reading);
    // Polling started: a new connection, first or resumed.
    Changes connectionStarted(qint64 nowMs);
    // The link went down without the operator asking: a connection that
    // ended so, or the panel resuming.
    Changes linkLost(qint64 nowMs);
    // The operator stopped watching (DISCONNECT, OFF): what can no longer be
    // watched clears.
    Changes monitoringStopped(qint64 nowMs);
    // The operator's RF command went out.
    Changes rfCommand(bool onAir, qint64 nowMs);
    // Time passing without readings: the link alarm's delay runs on it.
    Changes tick(qint64 nowMs);

    bool active(AlarmKind kind) const { return rule(kind).active; }

private:
    struct Rule
    {
        bool active = false;
        // The run of readings toward the other state: since when, how many.
        qint64 since = -1;
        int count = 0;
    };
    // Last read times already counted, per reading item.
    struct Seen
    {
        qint64 forward = -1;
        qint64 reflected = -1;
        qint64 temperature = -1;
        qint64 lock = -1;
        qint64 onAir = -1;
    };

    Rule &rule(AlarmKind kind) { return m_rules[AlarmKinds::index(kind)]; }
    const Rule &rule(AlarmKind kind) const { return m_rules[AlarmKinds::index(kind)]; }
    // One fresh observation: toward raising when `raising`, toward clearing
    // when `clearing`, neither when the value lies between the thresholds.
    void observe(AlarmKind kind, bool raising, bool clearing, qint64 atMs, const QString &value,
                 Changes &changes);
    void set(AlarmKind kind, bool active, const QString &value, Changes &changes);
    void restartRuns();

    AlarmSettings m_settings;
    std::array<Rule, AlarmKinds::All.size()> m_rules{};
    Seen m_seen;
    // The transmitter was seen on the air and no operator has switched it off since.
    bool m_expectOnAir = false;
    qint64 m_linkDownSinceMs = -1;
};
