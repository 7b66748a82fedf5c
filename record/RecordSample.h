// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/TxReading.h"

#include <QtGlobal>

#include <optional>

// One second of readings as the record keeps them. An item the connection
// has not read (or whose text is no number) is absent and stored as NULL.
struct RecordSample
{
    qint64 utcSeconds = 0; // seconds since 1970-01-01T00:00:00Z
    std::optional<double> forwardW;
    std::optional<double> reflectedW;
    std::optional<double> vswr;
    std::optional<int> temperatureC;
    std::optional<bool> temperatureAlarm;
    std::optional<bool> locked;
    std::optional<bool> onAir;
    std::optional<qint32> frequencyKHz;

    static RecordSample fromReading(const TxReading &reading, qint64 utcSeconds);
};
