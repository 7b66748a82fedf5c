// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/SpawnedTxsim.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

QByteArray SpawnedTxsim::start(std::initializer_list<const char *> options)
{
    stop();
    int out[2];
    if (::pipe(out) != 0)
        return {};
    const QByteArray program = QCoreApplication::applicationDirPath().toLocal8Bit() + "/../txsim";
    std::vector<char *> args{const_cast<char *>(program.constData())};
    for (const char *option : options)
        args.push_back(const_cast<char *>(option));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const int failed =
        posix_spawn(&m_pid, program.constData(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (failed != 0) {
        std::fprintf(stderr, "txsim: %s\n", std::strerror(failed));
        ::close(out[0]);
        m_pid = -1;
        return {};
    }
    // The first line names the device; the pipe then stays open and unread
    // until the simulator stops, so it never meets a closed output.
    m_output = out[0];
    QByteArray line;
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        line.append(c);
    if (!line.startsWith("DEVICE ")) {
        std::fprintf(stderr, "txsim: %s\n", line.constData());
        return {};
    }
    return line.mid(7).trimmed();
}

void SpawnedTxsim::stop()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    m_pid = -1;
    if (m_output >= 0)
        ::close(m_output);
    m_output = -1;
}
