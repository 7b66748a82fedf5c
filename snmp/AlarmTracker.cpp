// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/AlarmTracker.h"

std::vector<AlarmTracker::Notice> AlarmTracker::update(const PanelStatus &status)
{
    std::vector<Notice> notices;
    for (const AlarmStatus &alarm : status.alarms) {
        const bool active = alarm.state == AlarmStatus::State::ActiveUnacknowledged ||
                            alarm.state == AlarmStatus::State::ActiveAcknowledged;
        Known now{alarm.raisedUtc, alarm.clearedUtc, alarm.acknowledgedUtc, alarm.chattering,
                  active};
        const auto found = known_.find(alarm.kind);
        if (found == known_.end()) {
            known_.emplace(alarm.kind, now);
            continue;
        }
        const Known before = found->second;
        now.toldActive = before.toldActive;
        // A chattering alarm was told when it was first raised; its flaps
        // are not traps. Once it settles, where it came to rest is told if
        // that differs from what was told last.
        if (alarm.chattering || before.chattering) {
            // Began chattering between two reads, its first raise untold.
            if (alarm.chattering && !before.chattering && !before.toldActive && now.raised &&
                now.raised != before.raised) {
                notices.push_back({Event::Raised, alarm.kind});
                now.toldActive = true;
            } else if (!alarm.chattering && active != before.toldActive) {
                notices.push_back({active ? Event::Raised : Event::Cleared, alarm.kind});
                now.toldActive = active;
            }
            found->second = now;
            continue;
        }
        found->second = now;
        // A raise starts a new occurrence: its clear and acknowledgement are
        // new with it, whatever their times.
        const bool raised = now.raised && now.raised != before.raised;
        const bool cleared = now.cleared && (raised || now.cleared != before.cleared);
        const bool acknowledged =
            now.acknowledged && (raised || now.acknowledged != before.acknowledged);
        if (raised)
            notices.push_back({Event::Raised, alarm.kind});
        if (raised || cleared)
            found->second.toldActive = active;
        const bool acknowledgedFirst =
            acknowledged && (!cleared || *now.acknowledged < *now.cleared);
        if (acknowledgedFirst)
            notices.push_back({Event::Acknowledged, alarm.kind});
        if (cleared)
            notices.push_back({Event::Cleared, alarm.kind});
        if (acknowledged && !acknowledgedFirst)
            notices.push_back({Event::Acknowledged, alarm.kind});
    }
    return notices;
}
