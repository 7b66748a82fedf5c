// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The panel's memory on a line that babbles: a transmitter answers the
// firmware question, falls silent so the connection ends, then streams bytes
// without a carriage return as fast as the pseudo-terminal takes them, while
// the panel sits in the ended state with its port open until OFF. The panel's
// own memory (RssAnon) is sampled each second; it must not follow the stream.
//
// Usage: bench_babble [SECONDS]   (default 30)
#include "app/frmTerminale.h"
#include "link/LinkEngine.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {
qint64 ownKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("RssAnon:"))
            return line.mid(8).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// The far end of the line: answers the firmware question only, then babbles.
class Babbler
{
public:
    bool open()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return false;
        m_device = ::ptsname(m_master);
        // Held open here too, so the panel's close cannot hang the line up.
        m_slave = ::open(m_device.constData(), O_RDWR | O_NOCTTY);
        termios tio{};
        ::tcgetattr(m_slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_slave, TCSANOW, &tio);
        m_thread = std::thread([this] { run(); });
        return true;
    }
    ~Babbler()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_slave);
        ::close(m_master);
    }
    QByteArray device() const { return m_device; }
    void startBabbling() { m_babble = true; }
    qint64 sent() const { return m_sent; }

private:
    void run()
    {
        char buffer[256];
        const QByteArray noise(4096, 'A');
        while (!m_stop) {
            pollfd fd{m_master, short(POLLIN | (m_babble ? POLLOUT : 0)), 0};
            if (::poll(&fd, 1, 50) <= 0)
                continue;
            if (fd.revents & POLLIN) {
                const ssize_t n = ::read(m_master, buffer, sizeof buffer);
                for (ssize_t i = 0; i < n; ++i) {
                    if (buffer[i] == 6 && !m_answered) {
                        m_answered = true;
                        [[maybe_unused]] const ssize_t w = ::write(m_master, "V1.0\r", 5);
                    }
                }
            }
            if (m_babble && (fd.revents & POLLOUT)) {
                const ssize_t n = ::write(m_master, noise.constData(), size_t(noise.size()));
                if (n > 0)
                    m_sent += n;
            }
        }
    }

    int m_master = -1;
    int m_slave = -1;
    QByteArray m_device;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_babble{false};
    std::atomic<qint64> m_sent{0};
    bool m_answered = false;
};
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int runSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tx_Orvel"))
        .setValue(QStringLiteral("Startup/Comm"), QStringLiteral("1"));

    Babbler line;
    if (!line.open()) {
        std::fprintf(stderr, "bench_babble: no pseudo-terminal\n");
        return 1;
    }
    qputenv("TXPANEL_COM1", line.device());
    frmTerminale panel;
    // The silence is found in half a second instead of fifteen.
    panel.engine().supervisionTimer().setInterval(500);
    {
        // Firmware answered, then the first question times out: served by
        // this loop until the connection has ended (or ten seconds pass).
        QEventLoop connection;
        QObject::connect(&panel, &frmTerminale::connectionStateChanged, &connection,
                         [&connection](ConnectionState state) {
                             if (state != ConnectionState::Connecting &&
                                 state != ConnectionState::Polling)
                                 connection.quit();
                         });
        QTimer::singleShot(10000, &connection, &QEventLoop::quit);
        QTimer::singleShot(0, &panel, [&panel] { panel.cmdPower_Click(); });
        connection.exec();
    }
    if (panel.connectionState() != ConnectionState::Ended) {
        std::fprintf(stderr, "bench_babble: the connection did not end as planned\n");
        return 1;
    }
    const qint64 before = ownKiB();
    line.startBabbling();
    qint64 peak = before;
    std::printf("ended with the port open; own memory %lld KiB; babbling for %d s\n",
                static_cast<long long>(before), runSeconds);
    for (int second = 1; second <= runSeconds; ++second) {
        QEventLoop wait;
        QTimer::singleShot(1000, &wait, &QEventLoop::quit);
        wait.exec();
        const qint64 now = ownKiB();
        peak = std::max(peak, now);
        if (second % 5 == 0 || second == runSeconds)
            std::printf("  %3d s: %lld MiB streamed, own memory %lld KiB\n", second,
                        static_cast<long long>(line.sent() >> 20), static_cast<long long>(now));
    }
    std::printf("own memory: %lld KiB before, %lld KiB peak, growth %lld KiB over %lld MiB "
                "streamed\n",
                static_cast<long long>(before), static_cast<long long>(peak),
                static_cast<long long>(peak - before), static_cast<long long>(line.sent() >> 20));
    panel.cmdPower_Click(); // OFF
    return 0;
}
