// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/SpawnedTxsim.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
// A line from the simulator's output, without its newline; false when the
// output ended, or nothing more came within waitMs (no limit: -1).
bool readLine(int fd, QByteArray &line, int waitMs)
{
    line.clear();
    char c = 0;
    for (;;) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, waitMs) != 1 || ::read(fd, &c, 1) != 1)
            return false;
        if (c == '\n')
            return true;
        line.append(c);
    }
}
} // namespace

QByteArray SpawnedTxsim::start(std::initializer_list<const char *> options, Input input)
{
    stop();
    int out[2];
    if (::pipe(out) != 0)
        return {};
    int in[2] = {-1, -1};
    if (input == Input::Commands && ::pipe2(in, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return {};
    }
    const QByteArray program = QCoreApplication::applicationDirPath().toLocal8Bit() + "/../txsim";
    std::vector<char *> args{const_cast<char *>(program.constData())};
    for (const char *option : options)
        args.push_back(const_cast<char *>(option));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input == Input::Commands)
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const int failed =
        posix_spawn(&m_pid, program.constData(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (in[0] >= 0)
        ::close(in[0]);
    m_input = in[1];
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
    readLine(m_output, line, -1);
    if (!line.startsWith("DEVICE ")) {
        std::fprintf(stderr, "txsim: %s\n", line.constData());
        return {};
    }
    return line.mid(7).trimmed();
}

QByteArray SpawnedTxsim::command(const QByteArray &line)
{
    if (m_input < 0 || ::write(m_input, line.constData(), size_t(line.size())) != line.size() ||
        ::write(m_input, "\n", 1) != 1)
        return {};
    // Lines a command prints before its answer (plug's DEVICE) are passed over.
    QByteArray answer;
    while (readLine(m_output, answer, 5000)) {
        if (answer.startsWith("OK ") || answer.startsWith("ERROR "))
            return answer;
    }
    return {};
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
    if (m_input >= 0)
        ::close(m_input);
    m_input = -1;
}
