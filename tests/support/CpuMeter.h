// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QElapsedTimer>

// Share of one core this process used since start(), user and system time.
class CpuMeter
{
public:
    void start();
    double share() const;

private:
    static double cpuSeconds();
    double m_cpuStart = 0;
    QElapsedTimer m_wall;
};
