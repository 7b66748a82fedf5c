// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <initializer_list>
#include <sys/types.h>

// txsim as a benchmark starts it: spawned outside the event loop (a QProcess
// would put its pipes and process handle into every wait of the panel, which
// a real panel never has), with /dev/null as its input, so keys typed at the
// benchmark's terminal are no commands for it; or, for a benchmark that
// changes the transmitter under the panel, a pipe only command() writes to.
// Stopped when this goes.
class SpawnedTxsim
{
public:
    SpawnedTxsim() = default;
    SpawnedTxsim(const SpawnedTxsim &) = delete;
    SpawnedTxsim &operator=(const SpawnedTxsim &) = delete;
    ~SpawnedTxsim() { stop(); }

    enum class Input
    {
        Closed,
        Commands,
    };
    // Starts txsim (beside the benchmark's directory) with these options;
    // the device it opened, or empty (reason printed) when it could not.
    QByteArray start(std::initializer_list<const char *> options, Input input = Input::Closed);
    // One live command ("rf on", "status") to a simulator started with
    // Input::Commands, and its answer line ("OK ...", "ERROR ..."); empty when
    // none came within 5 s.
    QByteArray command(const QByteArray &line);
    void stop();
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_output = -1;
    int m_input = -1;
};
