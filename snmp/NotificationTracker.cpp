// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/NotificationTracker.h"

namespace {

// Records `now` as the last known value; true when it differs from a value
// known before (so the first value is a baseline, not a change).
bool changed(std::optional<bool> &known, std::optional<bool> now)
{
    if (!now)
        return false;
    const bool differs = known && *known != *now;
    known = now;
    return differs;
}

} // namespace

std::vector<NotificationTracker::Event> NotificationTracker::update(const PanelStatus &status)
{
    std::vector<Event> events;
    const bool polling = status.state == PanelStatus::State::Polling;
    if (changed(polling_, polling))
        events.push_back(polling ? Event::LinkUp : Event::LinkDown);
    if (changed(locked_, status.locked))
        events.push_back(*status.locked ? Event::LockRegained : Event::LockLost);
    if (changed(temperatureAlarm_, status.temperatureAlarm))
        events.push_back(*status.temperatureAlarm ? Event::TemperatureAlarmRaised
                                                  : Event::TemperatureAlarmCleared);
    if (changed(onAir_, status.onAir))
        events.push_back(Event::OnAirChanged);
    return events;
}
