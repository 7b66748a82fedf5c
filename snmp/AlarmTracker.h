// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "snmp/PanelStatus.h"

#include <map>
#include <vector>

// Decides which alarm notifications a panel's new status calls for. For each
// alarm it remembers when it was last raised, cleared and acknowledged; a
// time that is new since the last status is a step the alarm took, told
// once. The first status that tells an alarm is its baseline and sends
// nothing, so starting the sub-agent (or turning a panel's alarms on) raises
// no storm. A status without alarms (the feed not answering, the alarms
// off) changes nothing that is remembered: what happened meanwhile is told
// once the alarms are told again. A restarted panel starts its alarms over
// (nothing raised): that is a change of state, not a step, and sends nothing.
class AlarmTracker
{
public:
    // The numbers are the notifications' arcs under txpanelNotifications.
    enum class Event
    {
        Raised = 8,
        Cleared = 9,
        Acknowledged = 10
    };
    struct Notice
    {
        Event event;
        AlarmStatus::Kind kind;

        friend bool operator==(const Notice &a, const Notice &b)
        {
            return a.event == b.event && a.kind == b.kind;
        }
    };

    // In the panel's order of alarms; for one alarm, in the order its steps
    // were taken (a raise first, then its clear and acknowledgement by time).
    std::vector<Notice> update(const PanelStatus &status);

private:
    struct Known
    {
        std::optional<QDateTime> raised;
        std::optional<QDateTime> cleared;
        std::optional<QDateTime> acknowledged;
        bool chattering = false;
        // Active as the last Raised or Cleared notice told it.
        bool toldActive = false;
    };
    std::map<AlarmStatus::Kind, Known> known_;
};
