// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

// One entry of the transmitter log. Which fields a kind fills:
//   power             new: "on"/"off"
//   connection        outcome: "connected" (detail: the firmware), "ended" (detail: why),
//                     "port not available" (detail: why)
//   resume            outcome: "answered"/"no answer"
//   rf-command        new: "on"/"off"; outcome: "confirmed"/"not confirmed"
//   frequency         old, new: kHz ("" when the transmitter had reported none);
//                     outcome: "programmed"/"not programmed"
//   port              old, new: port number; outcome: "stored"/"not stored"
//   alarm-raised, alarm-cleared, alarm-acknowledged
//                     subject: the alarm's id; new: its value; detail: its title
//   record            outcome: "opened", "moved aside" (detail: where)
//   panel, service    outcome: "closed" (the panel), "started", "stopped" (the service);
//                     detail: how (the way it was ended, the settings file)
//   remote-command    user: who sent it (the Unix user on the control socket; for the SNMP
//                     agent "snmp <name> (agent user <unix user>)"); subject: the way,
//                     "socket" or "snmp"; new: the command ("rf off", "frequency 107900",
//                     "ack all", "connect" for a user refused at connect); outcome:
//                     "confirmed"/"done"/"refused"/"lost"/"error"; detail: why, unless
//                     it went as asked
struct RecordEvent
{
    QDateTime utc;
    QString kind;
    QString user; // the operating-system user the panel runs as, who acknowledged, or who sent a
                  // remote command
    QString subject;
    QString oldValue;
    QString newValue;
    QString outcome;
    QString detail;
};
