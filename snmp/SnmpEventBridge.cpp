// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/SnmpEventBridge.h"

#include <QSocketNotifier>

// net-snmp wants its configuration header first, then its main one.
#include <net-snmp/net-snmp-config.h>

#include <net-snmp/net-snmp-includes.h>

#include <net-snmp/agent/net-snmp-agent-includes.h>
#include <net-snmp/library/large_fd_set.h>

#include <set>

SnmpEventBridge::SnmpEventBridge(QObject *parent) : QObject(parent)
{
    deadline_.setSingleShot(true);
    // A coarse timer may fire before net-snmp's deadline and find nothing due.
    deadline_.setTimerType(Qt::PreciseTimer);
    connect(&deadline_, &QTimer::timeout, this, &SnmpEventBridge::timedOut);
}

void SnmpEventBridge::readable(int fd)
{
    netsnmp_large_fd_set fds;
    netsnmp_large_fd_set_init(&fds, FD_SETSIZE);
    NETSNMP_LARGE_FD_SET(fd, &fds);
    snmp_read2(&fds);
    netsnmp_large_fd_set_cleanup(&fds);
    afterWork();
}

void SnmpEventBridge::timedOut()
{
    snmp_timeout();
    afterWork();
}

void SnmpEventBridge::afterWork()
{
    run_alarms();
    netsnmp_check_outstanding_agent_requests();
    rearm();
}

void SnmpEventBridge::rearm()
{
    int maxFd = 0;
    int block = 1;
    timeval timeout{};
    netsnmp_large_fd_set fds;
    netsnmp_large_fd_set_init(&fds, FD_SETSIZE);
    snmp_select_info2(&maxFd, &fds, &timeout, &block);

    std::set<int> wanted;
    for (int fd = 0; fd < maxFd; ++fd) {
        if (NETSNMP_LARGE_FD_ISSET(fd, &fds))
            wanted.insert(fd);
    }
    netsnmp_large_fd_set_cleanup(&fds);

    for (auto it = notifiers_.begin(); it != notifiers_.end();) {
        if (wanted.count(it->first) == 0) {
            // It may be the notifier whose signal is being handled right now.
            it->second->setEnabled(false);
            it->second->deleteLater();
            it = notifiers_.erase(it);
        } else {
            ++it;
        }
    }
    for (int fd : wanted) {
        if (notifiers_.count(fd) != 0)
            continue;
        auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, fd] { readable(fd); });
        notifiers_.emplace(fd, notifier);
    }

    if (block) {
        deadline_.stop();
    } else {
        const qint64 ms =
            static_cast<qint64>(timeout.tv_sec) * 1000 + (timeout.tv_usec + 999) / 1000;
        deadline_.start(static_cast<int>(std::min<qint64>(ms, 24 * 3600 * 1000)));
    }
}
