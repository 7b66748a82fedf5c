// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>

class QSocketNotifier;
class QTimer;

// A one-shot timer with nanosecond resolution for pacing the line byte by byte.
// A byte at 4800 baud lasts 2.083 ms; a millisecond timer rounds every byte up
// and slows the simulated line by a sixth, so where the system offers a timer
// file descriptor it is used instead, woken by the event loop like any socket.
class LineTimer : public QObject
{
    Q_OBJECT
public:
    explicit LineTimer(QObject *parent = nullptr);
    ~LineTimer() override;

    void start(qint64 nanoseconds);
    void stop();

Q_SIGNALS:
    void timeout();

private:
    void onFired();
    bool drain();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_fallback = nullptr;
};
