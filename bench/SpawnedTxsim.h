// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <initializer_list>
#include <sys/types.h>

// txsim as a benchmark starts it: spawned outside the event loop (a QProcess
// would put its pipes and process handle into every wait of the panel, which
// a real panel never has), with /dev/null as its input, so keys typed at the
// benchmark's terminal are no commands for it. Stopped when this goes.
class SpawnedTxsim
{
public:
    SpawnedTxsim() = default;
    SpawnedTxsim(const SpawnedTxsim &) = delete;
    SpawnedTxsim &operator=(const SpawnedTxsim &) = delete;
    ~SpawnedTxsim() { stop(); }

    // Starts txsim (beside the benchmark's directory) with these options;
    // the device it opened, or empty (reason printed) when it could not.
    QByteArray start(std::initializer_list<const char *> options);
    void stop();
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_output = -1;
};
