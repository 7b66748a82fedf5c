// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/LineTimer.h"

#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#endif

LineTimer::LineTimer(QObject *parent) : QObject(parent)
{
#ifdef Q_OS_LINUX
    m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &LineTimer::onFired);
        return;
    }
#endif
    m_fallback = new QTimer(this);
    m_fallback->setSingleShot(true);
    m_fallback->setTimerType(Qt::PreciseTimer);
    connect(m_fallback, &QTimer::timeout, this, &LineTimer::timeout);
}

LineTimer::~LineTimer()
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

void LineTimer::start(qint64 nanoseconds)
{
    nanoseconds = qMax<qint64>(1, nanoseconds);
    if (m_fallback) {
        m_fallback->start(static_cast<int>((nanoseconds + 999999) / 1000000));
        return;
    }
#ifdef Q_OS_LINUX
    itimerspec expiry{};
    expiry.it_value.tv_sec = static_cast<time_t>(nanoseconds / 1000000000);
    expiry.it_value.tv_nsec = static_cast<long>(nanoseconds % 1000000000);
    ::timerfd_settime(m_fd, 0, &expiry, nullptr);
#endif
}

void LineTimer::stop()
{
    if (m_fallback) {
        m_fallback->stop();
        return;
    }
#ifdef Q_OS_LINUX
    const itimerspec disarm{};
    ::timerfd_settime(m_fd, 0, &disarm, nullptr);
    drain(); // an expiry that came in before the disarm must not fire later
#endif
}

bool LineTimer::drain()
{
#ifdef Q_OS_LINUX
    quint64 expirations = 0;
    return ::read(m_fd, &expirations, sizeof expirations) == sizeof expirations;
#else
    return false;
#endif
}

void LineTimer::onFired()
{
    if (drain())
        Q_EMIT timeout();
}
