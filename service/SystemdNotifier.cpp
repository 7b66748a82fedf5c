// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/SystemdNotifier.h"

#include <QCoreApplication>

#ifdef Q_OS_UNIX
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

SystemdNotifier::SystemdNotifier(QObject *parent)
    : QObject(parent), m_socketPath(qgetenv("NOTIFY_SOCKET"))
{
    // The manager's socket is a path or, starting with '@', a name in the
    // abstract namespace; anything else is not one it gave.
    if (!m_socketPath.startsWith('/') && !m_socketPath.startsWith('@'))
        m_socketPath.clear();
    connect(&m_watchdog, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
}

void SystemdNotifier::status(const QString &text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    send("STATUS=" + line.toUtf8());
}

bool SystemdNotifier::startWatchdog()
{
    bool ok = false;
    const qint64 usec = qEnvironmentVariable("WATCHDOG_USEC").toLongLong(&ok);
    if (!ok || usec <= 0 || !available())
        return false;
    // The variables are inherited: a child of the service is not watched.
    if (qEnvironmentVariableIsSet("WATCHDOG_PID") &&
        qEnvironmentVariable("WATCHDOG_PID").toLongLong() != QCoreApplication::applicationPid())
        return false;
    m_watchdog.setInterval(int(qBound(qint64(1), qint64(usec / 2000), qint64(3600 * 1000))));
    m_watchdog.start();
    send("WATCHDOG=1");
    return true;
}

bool SystemdNotifier::send(const QByteArray &message)
{
#ifdef Q_OS_UNIX
    if (!available())
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(m_socketPath.size()) >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, m_socketPath.constData(), size_t(m_socketPath.size()));
    socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(m_socketPath.size()));
    if (address.sun_path[0] == '@')
        address.sun_path[0] = '\0';
    else
        ++length; // the path's terminating NUL
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const ssize_t sent = ::sendto(fd, message.constData(), size_t(message.size()), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr *>(&address), length);
    ::close(fd);
    return sent == message.size();
#else
    Q_UNUSED(message)
    return false;
#endif
}
