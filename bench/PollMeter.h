// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class LinkEngine;

// This process's CPU time so far, in its own code and in the kernel.
struct CpuTime
{
    double user = 0;
    double system = 0;
    long wakeUps = 0; // times the process slept and was woken
    double total() const { return user + system; }
    static CpuTime now();
    CpuTime operator-(const CpuTime &earlier) const
    {
        return {user - earlier.user, system - earlier.system, wakeUps - earlier.wakeUps};
    }
};

// A stretch of an engine's own poll, from the end of one status cycle to the
// end of a later one, so it holds whole cycles only.
struct PollStretch
{
    int cycles = 0;
    int exchanges = 0;
    double seconds = 0;
    CpuTime cpu; // this process's, over the stretch
    // Every exchange answered, and the connection still polling at the end.
    bool answered = false;
    double cyclesPerSecond() const { return seconds > 0 ? cycles / seconds : 0; }
};

// Serves the event loop while the engine runs its connection: from the end
// of the next status cycle (the engine may still be connecting) until
// done(cycles, seconds) holds at the end of a later one. Cut short, not
// answered, when an exchange is lost, the connection ends or no cycle ends
// for 30 s. The loop is the program's own: call it from main(), never from a
// slot.
PollStretch measurePoll(LinkEngine &engine,
                        const std::function<bool(int cycles, double seconds)> &done);
