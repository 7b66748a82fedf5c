// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

// Turns the system's requests to end (SIGTERM from a shutdown or a service
// manager, SIGINT from a terminal, SIGHUP from a logout) into a signal on the
// event loop, where the program can end in order. The handler itself only
// writes the signal's number down a pipe: nothing else is safe there.
//
// One watcher per process; on systems without these signals it does nothing.
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    // "SIGTERM", "SIGINT", "SIGHUP"...
    static QString name(int signalNumber);

Q_SIGNALS:
    void received(int signalNumber);

private:
    void readPending();
    QSocketNotifier *m_notifier = nullptr;
};
