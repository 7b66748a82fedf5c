// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "snmp/PanelStatus.h"

#include <optional>
#include <vector>

// Decides which notifications a panel's new status calls for. Each watched
// item (link state, lock, temperature alarm, on-air) has a last known value;
// the first value seen is the baseline and sends nothing, so starting the
// sub-agent, or a panel first coming up, raises no storm. An item the feed
// stops telling (link down, feed not answering) keeps its last known value,
// so a transmitter that comes back unlocked after being locked is reported.
class NotificationTracker
{
public:
    // The numbers are the notifications' arcs under txpanelNotifications.
    enum class Event
    {
        LinkUp = 1,
        LinkDown = 2,
        LockLost = 3,
        LockRegained = 4,
        TemperatureAlarmRaised = 5,
        TemperatureAlarmCleared = 6,
        OnAirChanged = 7
    };

    std::vector<Event> update(const PanelStatus &status);

private:
    std::optional<bool> polling_;
    std::optional<bool> locked_;
    std::optional<bool> temperatureAlarm_;
    std::optional<bool> onAir_;
};
