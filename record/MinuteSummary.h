// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <optional>

// One minute of readings once its seconds are gone: minimum, mean and maximum
// of each quantity over the samples the minute had.
struct MinuteSummary
{
    struct Range
    {
        std::optional<double> minimum;
        std::optional<double> mean;
        std::optional<double> maximum;
    };

    qint64 utcSeconds = 0; // the minute's start
    int samples = 0;
    Range forwardW;
    Range reflectedW;
    Range vswr;
    Range temperatureC;
    // Share of the minute's samples on the air and locked, 0 to 1.
    std::optional<double> onAirShare;
    std::optional<double> lockedShare;
};
