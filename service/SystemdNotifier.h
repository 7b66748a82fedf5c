// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

// Tells the service manager how the service is doing, over the datagram
// socket it names in NOTIFY_SOCKET: READY=1 once the service serves,
// STATUS= what `systemctl status` shows, RELOADING=1 and STOPPING=1, and
// WATCHDOG=1 from the event loop while WATCHDOG_USEC asks for it, so a
// service whose loop hangs is restarted. Without NOTIFY_SOCKET (run by hand)
// it does nothing.
class SystemdNotifier : public QObject
{
    Q_OBJECT
public:
    explicit SystemdNotifier(QObject *parent = nullptr);

    // The manager listens.
    bool available() const { return !m_socketPath.isEmpty(); }
    void ready() { send("READY=1"); }
    void status(const QString &text);
    void reloading() { send("RELOADING=1"); }
    void stopping() { send("STOPPING=1"); }
    // Starts the watchdog's pings at half the interval the manager asked for;
    // false when it asked for none (or for another process).
    bool startWatchdog();
    QTimer &watchdogTimer() { return m_watchdog; }

    // One message; false when it could not be sent.
    bool send(const QByteArray &message);

private:
    QByteArray m_socketPath;
    QTimer m_watchdog;
};
