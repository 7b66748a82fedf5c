// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "record/AlarmKind.h"

#include <array>

// The [Alarms] section: whether the station is alarmed at all, and for each
// alarm its raise and clear thresholds (the gap between them is the
// hysteresis) and how long its condition must hold before it is raised or
// cleared. Values outside their range, or not numbers, fall back to the
// defaults; a clear threshold on the wrong side of its raise threshold is
// taken as equal to it.
struct AlarmSettings
{
    struct Limits
    {
        double raise = 0; // W, ratio or degrees Celsius; unused by the two-state alarms
        double clear = 0;
        double delaySeconds = 0;
        bool watched = true; // false when named in Ignore
    };

    bool enabled = false;
    // A desktop notification for each alarm raised.
    bool notify = true;
    // Consecutive readings a condition must be met in, whatever the delay: a
    // single noisy reading never raises nor clears anything.
    int readings = 3;
    std::array<Limits, AlarmKinds::All.size()> limits{};

    Limits &operator[](AlarmKind kind) { return limits[AlarmKinds::index(kind)]; }
    const Limits &operator[](AlarmKind kind) const { return limits[AlarmKinds::index(kind)]; }

    static AlarmSettings defaults();
    // The defaults overridden by what [Alarms] holds.
    static AlarmSettings fromStore();
};
