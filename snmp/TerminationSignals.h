// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM (systemd stopping the unit) and SIGINT (Ctrl+C) end the event loop
// like any other event, so the agent closes its AgentX session and frees
// net-snmp's state on the way out. The signals are blocked and read from a
// signalfd: nothing runs in signal context.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    // Call before any thread starts, so every thread inherits the mask.
    static void block();

    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

Q_SIGNALS:
    void received(int signal);

private:
    int fd_ = -1;
    QSocketNotifier *notifier_ = nullptr;
};
