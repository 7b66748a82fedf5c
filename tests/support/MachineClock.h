// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

// Tells a stall of the machine from a stall of the window. A plain thread that
// does nothing but sleep a few milliseconds at a time oversleeps only when the
// whole machine did not run (the virtual machine paused, the host busy); the
// window's event loop stalls on its own when the panel blocks it. A heartbeat
// gap is the window's fault only for the part the machine was running.
class MachineClock
{
public:
    using Clock = std::chrono::steady_clock;

    MachineClock();
    ~MachineClock();
    MachineClock(const MachineClock &) = delete;
    MachineClock &operator=(const MachineClock &) = delete;

    // How long, within [from, to], the machine did not run.
    Clock::duration stalledWithin(Clock::time_point from, Clock::time_point to) const;

private:
    void watch();

    struct Stall
    {
        Clock::time_point from;
        Clock::time_point to;
    };
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Stall> m_stalls;
    std::thread m_thread; // last: starts once the rest exists
};
