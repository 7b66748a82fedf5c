// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/MachineClock.h"

#include <algorithm>

namespace {
constexpr auto Nap = std::chrono::milliseconds(5);
// Oversleeping by less than this is ordinary scheduling, not a stall.
constexpr auto Noticeable = std::chrono::milliseconds(50);
} // namespace

MachineClock::MachineClock() : m_thread([this] { watch(); }) {}

MachineClock::~MachineClock()
{
    m_stop = true;
    m_thread.join();
}

void MachineClock::watch()
{
    auto last = Clock::now();
    while (!m_stop) {
        std::this_thread::sleep_for(Nap);
        const auto now = Clock::now();
        if (now - last > Nap + Noticeable) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stalls.push_back({last + Nap, now});
        }
        last = now;
    }
}

MachineClock::Clock::duration MachineClock::stalledWithin(Clock::time_point from,
                                                          Clock::time_point to) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    Clock::duration stalled{};
    for (const Stall &stall : m_stalls) {
        const auto start = std::max(stall.from, from);
        const auto end = std::min(stall.to, to);
        if (end > start)
            stalled += end - start;
    }
    return stalled;
}
