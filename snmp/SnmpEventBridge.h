// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

#include <map>

class QSocketNotifier;

// Runs net-snmp inside Qt's event loop instead of net-snmp's own select()
// loop: a read notifier on each socket net-snmp wants watched, and one timer
// for its earliest deadline (request time-outs and alarms, such as the
// AgentX ping and reconnection). After every piece of work the set of sockets
// and the deadline are asked for anew, since a reconnection replaces sockets.
class SnmpEventBridge : public QObject
{
    Q_OBJECT
public:
    explicit SnmpEventBridge(QObject *parent = nullptr);

    // Asks net-snmp again what to watch; call after anything that may have
    // opened or closed a session.
    void rearm();

private:
    void readable(int fd);
    void timedOut();
    void afterWork();

    std::map<int, QSocketNotifier *> notifiers_;
    QTimer deadline_;
};
