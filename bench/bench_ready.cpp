// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// txpaneld's start as systemd sees it: from the spawn to READY=1 on the
// notify socket, with the status feed, the alarms and the record on. The
// benchmark binds the datagram socket a service manager would, starts the
// service with NOTIFY_SOCKET naming it, each time against a fresh
// `txsim --pace`, and ends it with SIGTERM once ready, as `systemctl stop`
// does. Its settings file and STATE_DIRECTORY are in a temporary folder; the
// record stays between starts, as a restarted service finds its own, so only
// the first start creates it.
//
// After each start it checks what a unit ordered after the service relies
// on: the feed answers. After each stop: the service ended on the signal,
// within 10 s, and left no serial lock in /run/lock (a lock naming a service
// that had to be killed is removed, and counted).
//
// Usage: bench_ready [STARTS]   (default 20)
#include "bench/SpawnedProgram.h"
#include "bench/SpawnedTxsim.h"
#include "tests/support/LockFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

// The service manager's end of NOTIFY_SOCKET.
class NotifySocket
{
public:
    explicit NotifySocket(const QString &path) : m_path(QFile::encodeName(path))
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        m_bound = size_t(m_path.size()) < sizeof address.sun_path;
        std::memcpy(address.sun_path, m_path.constData(),
                    std::min(size_t(m_path.size()), sizeof address.sun_path - 1));
        m_bound = m_bound &&
                  ::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    }
    ~NotifySocket()
    {
        ::close(m_fd);
        ::unlink(m_path.constData());
    }
    bool bound() const { return m_bound; }
    // Waits until a message holds this line, or the time is up; false then.
    bool waitFor(const QByteArray &line, Clock::time_point until)
    {
        for (;;) {
            char buffer[4096];
            for (ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0); n > 0;
                 n = ::recv(m_fd, buffer, sizeof buffer, 0)) {
                if (QByteArray(buffer, int(n)).split('\n').contains(line))
                    return true;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            if (left.count() <= 0)
                return false;
            pollfd readable{m_fd, POLLIN, 0};
            ::poll(&readable, 1, int(left.count()));
        }
    }
    // Forgets what the last start sent after READY=1 (STATUS=, STOPPING=1).
    void drain()
    {
        char buffer[4096];
        while (::recv(m_fd, buffer, sizeof buffer, 0) > 0) {
        }
    }

private:
    QByteArray m_path;
    int m_fd = -1;
    bool m_bound = false;
};
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int starts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const QString service = QCoreApplication::applicationDirPath() + QStringLiteral("/../txpaneld");
    if (!QFileInfo(service).isExecutable()) {
        std::fprintf(stderr, "%s is missing: build it\n", qPrintable(QDir::cleanPath(service)));
        return 1;
    }
    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("state"));
    const QString settings = dir.filePath(QStringLiteral("bench.conf"));
    QDir().mkpath(state);
    NotifySocket notify(dir.filePath(QStringLiteral("notify")));
    if (!notify.bound()) {
        std::fprintf(stderr, "could not bind the notify socket in %s\n", qPrintable(dir.path()));
        return 1;
    }

    std::printf("%d starts of txpaneld with the feed, alarms and record on, each against its own "
                "txsim --pace, on %ld cores\n",
                starts, sysconf(_SC_NPROCESSORS_ONLN));
    std::fflush(stdout);
    std::vector<double> readyMs;
    int failures = 0, killed = 0, locksLeft = 0;
    for (int i = 1; i <= starts; ++i) {
        SpawnedTxsim simulator;
        const QByteArray device = simulator.start({"--pace"});
        if (device.isEmpty())
            return 1;
        const quint16 port = ProcFigures::freeLoopbackPort();
        QFile file(settings);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(
                "[Startup]\nLimitUp=108000\nLimitDown=87500\n\n[Link]\nDevice=" + device +
                "\n\n[Feed]\nEnabled=true\nAddress=127.0.0.1\nPort=" + QByteArray::number(port) +
                "\n\n[Alarms]\nEnabled=true\n\n[Record]\nEnabled=true\n") < 0)
            return 1;
        file.close();
        notify.drain();

        SpawnedProgram program;
        const auto spawned = Clock::now();
        if (!program.start(
                {service, QStringLiteral("--config"), settings},
                {QStringLiteral("NOTIFY_SOCKET=") + dir.filePath(QStringLiteral("notify")),
                 QStringLiteral("STATE_DIRECTORY=") + state},
                dir.path(), dir.filePath(QStringLiteral("log"))))
            return 1;
        const bool ready = notify.waitFor("READY=1", spawned + std::chrono::seconds(10));
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - spawned).count();
        const QByteArray feed =
            ready ? ProcFigures::httpStatusLine(port, "/status.json") : QByteArray();
        const pid_t pid = program.pid();
        const bool endedOnRequest = program.stop();
        const bool cleanExit = WIFEXITED(program.status()) && WEXITSTATUS(program.status()) == 0;
        simulator.stop();
        if (!endedOnRequest) {
            ++killed;
            removeSerialLocksOf(pid);
        }
        const bool lockLeft = QFile::exists(ProcFigures::serialLockOf(device));
        locksLeft += lockLeft ? 1 : 0;
        if (!ready || !feed.startsWith("HTTP/1.1 200") || !cleanExit) {
            ++failures;
            std::printf("start %2d: %s after %.1f ms, feed \"%s\", %s; its log:\n%s\n", i,
                        ready ? "READY=1" : "no READY=1", ms, feed.constData(),
                        cleanExit ? "exit 0" : "did not exit 0",
                        ProcFigures::readAll(dir.filePath(QStringLiteral("log"))).constData());
            continue;
        }
        readyMs.push_back(ms);
        std::printf("start %2d: READY=1 after %6.1f ms%s%s\n", i, ms,
                    i == 1 ? " (the record created)" : "", lockLeft ? ", its lock left" : "");
        std::fflush(stdout);
    }
    if (!readyMs.empty()) {
        std::printf("spawn to READY=1 over %zu starts: median %.1f ms, 90th percentile %.1f ms, "
                    "worst %.1f ms, best %.1f ms\n",
                    readyMs.size(), ProcFigures::percentile(readyMs, 0.5),
                    ProcFigures::percentile(readyMs, 0.9),
                    *std::max_element(readyMs.begin(), readyMs.end()),
                    *std::min_element(readyMs.begin(), readyMs.end()));
    }
    std::printf("%d failed, %d killed after 10 s, %d serial locks left in /run/lock\n", failures,
                killed, locksLeft);
    return failures == 0 && killed == 0 && locksLeft == 0 ? 0 : 1;
}
