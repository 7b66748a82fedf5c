// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/SpawnedProgram.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

bool SpawnedProgram::start(const QStringList &argv, const QStringList &variables,
                           const QString &folder, const QString &output, const cpu_set_t *cores)
{
    std::vector<QByteArray> argBytes;
    for (const QString &arg : argv)
        argBytes.push_back(arg.toLocal8Bit());
    std::vector<char *> args;
    for (QByteArray &arg : argBytes)
        args.push_back(arg.data());
    args.push_back(nullptr);

    std::vector<QByteArray> envBytes;
    for (const QString &variable : variables)
        envBytes.push_back(variable.toLocal8Bit());
    for (char **entry = environ; *entry; ++entry) {
        const QByteArray inherited(*entry);
        const QByteArray name = inherited.left(inherited.indexOf('=') + 1);
        const bool overridden =
            std::any_of(envBytes.begin(), envBytes.end(),
                        [&](const QByteArray &own) { return own.startsWith(name); });
        if (!overridden)
            envBytes.push_back(inherited);
    }
    std::vector<char *> env;
    for (QByteArray &variable : envBytes)
        env.push_back(variable.data());
    env.push_back(nullptr);

    const QByteArray out = output.toLocal8Bit();
    const QByteArray dir = folder.toLocal8Bit();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (!folder.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, dir.constData());
    // The child takes the cores its parent has when it starts.
    cpu_set_t mine;
    sched_getaffinity(0, sizeof mine, &mine);
    if (cores)
        sched_setaffinity(0, sizeof *cores, cores);
    const int failed = posix_spawnp(&m_pid, args[0], &actions, nullptr, args.data(), env.data());
    if (cores)
        sched_setaffinity(0, sizeof mine, &mine);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        std::fprintf(stderr, "%s: %s\n", args[0], std::strerror(failed));
        m_pid = -1;
        return false;
    }
    return true;
}

bool SpawnedProgram::ended()
{
    if (m_pid <= 0)
        return true;
    if (::waitpid(m_pid, &m_status, WNOHANG) != m_pid)
        return false;
    m_pid = -1;
    return true;
}

void SpawnedProgram::wait()
{
    if (m_pid <= 0)
        return;
    ::waitpid(m_pid, &m_status, 0);
    m_pid = -1;
}

bool SpawnedProgram::stop()
{
    if (m_pid <= 0)
        return true;
    ::kill(m_pid, SIGTERM);
    for (int i = 0; i < 1000 && !ended(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (m_pid <= 0)
        return true;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, &m_status, 0);
    m_pid = -1;
    return false;
}

namespace ProcFigures {
QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 statusField(pid_t pid, const QByteArray &name)
{
    const QByteArray text = readAll(QStringLiteral("/proc/%1/status").arg(pid));
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// The contents of one file of each of the process's threads.
QList<QByteArray> eachThread(pid_t pid, const QString &file)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    QList<QByteArray> contents;
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        contents << readAll(tasks + QLatin1Char('/') + task + QLatin1Char('/') + file);
    return contents;
}

double runSeconds(pid_t pid)
{
    double total = 0;
    for (const QByteArray &stat : eachThread(pid, QStringLiteral("schedstat")))
        total += stat.split(' ').value(0).toDouble() / 1e9;
    return total;
}

std::pair<double, double> userAndSystem(pid_t pid)
{
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    // After the command's closing parenthesis: state is field 3, utime 14, stime 15.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const double tick = double(sysconf(_SC_CLK_TCK));
    return {fields.value(11).toDouble() / tick, fields.value(12).toDouble() / tick};
}

qint64 wakeUps(pid_t pid)
{
    qint64 total = 0;
    for (const QByteArray &status : eachThread(pid, QStringLiteral("status"))) {
        for (const QByteArray &line : status.split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                total += line.mid(24).trimmed().toLongLong();
        }
    }
    return total;
}

double loadAverage()
{
    return readAll(QStringLiteral("/proc/loadavg")).split(' ').value(0).toDouble();
}

quint16 freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), size) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

QByteArray httpStatusLine(quint16 port, const char *path)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    QByteArray answer;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
        const QByteArray request =
            QByteArray("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        if (::write(fd, request.constData(), size_t(request.size())) == request.size()) {
            char buffer[512];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                answer = QByteArray(buffer, int(n));
        }
    }
    ::close(fd);
    return answer.left(answer.indexOf('\r'));
}

QString serialLockOf(const QByteArray &device)
{
    QString name = QString::fromLocal8Bit(device.mid(int(qstrlen("/dev/"))));
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("/run/lock/LCK..") + name;
}

double percentile(std::vector<double> figures, double share)
{
    if (figures.empty())
        return 0;
    std::sort(figures.begin(), figures.end());
    const double at = share * double(figures.size() - 1);
    const size_t below = size_t(at);
    const size_t above = std::min(below + 1, figures.size() - 1);
    return figures[below] + (figures[above] - figures[below]) * (at - double(below));
}
} // namespace ProcFigures
