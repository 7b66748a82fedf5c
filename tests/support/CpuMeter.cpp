// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/CpuMeter.h"

#include <sys/resource.h>

void CpuMeter::start()
{
    m_cpuStart = cpuSeconds();
    m_wall.start();
}

double CpuMeter::share() const
{
    const double wall = double(m_wall.nsecsElapsed()) / 1e9;
    return wall > 0 ? (cpuSeconds() - m_cpuStart) / wall : 0.0;
}

double CpuMeter::cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}
