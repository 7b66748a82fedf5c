// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/TxReading.h"

#include <chrono>
#include <cmath>

std::optional<double> TxReading::vswr() const
{
    if (!forwardW.value || !reflectedW.value)
        return std::nullopt;
    const double forward = *forwardW.value;
    const double reflected = *reflectedW.value;
    if (forward <= 0 || reflected < 0 || reflected >= forward)
        return std::nullopt;
    const double rho = std::sqrt(reflected / forward);
    return (1 + rho) / (1 - rho);
}

qint64 TxReading::nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
