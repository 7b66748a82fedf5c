// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/PollMeter.h"

#include "link/LinkEngine.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

namespace {
double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}
} // namespace

CpuTime CpuTime::now()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {seconds(usage.ru_utime), seconds(usage.ru_stime), usage.ru_nvcsw};
}

PollStretch measurePoll(LinkEngine &engine,
                        const std::function<bool(int cycles, double seconds)> &done)
{
    PollStretch stretch;
    QEventLoop loop;
    QElapsedTimer wall;
    CpuTime start;
    bool started = false;
    QTimer stalled;
    stalled.setSingleShot(true);
    stalled.setInterval(30000);
    QObject::connect(&stalled, &QTimer::timeout, &loop, &QEventLoop::quit);
    const QMetaObject::Connection cycles =
        QObject::connect(&engine, &LinkEngine::readingTaken, &loop, [&] {
            stalled.start();
            if (!started) {
                started = true;
                stretch = PollStretch();
                start = CpuTime::now();
                wall.start();
                return;
            }
            ++stretch.cycles;
            const double elapsed = double(wall.nsecsElapsed()) / 1e9;
            if (!done(stretch.cycles, elapsed))
                return;
            stretch.cpu = CpuTime::now() - start;
            stretch.seconds = elapsed;
            stretch.answered = true;
            loop.quit();
        });
    const QMetaObject::Connection exchanges = QObject::connect(
        &engine, &LinkEngine::exchangeCompleted, &loop, [&](quint8, const QString &, bool lost) {
            if (!started)
                return;
            ++stretch.exchanges;
            if (lost)
                loop.quit();
        });
    const QMetaObject::Connection ended =
        QObject::connect(&engine, &LinkEngine::connectionEnded, &loop, &QEventLoop::quit);
    stalled.start();
    loop.exec();
    QObject::disconnect(cycles);
    QObject::disconnect(exchanges);
    QObject::disconnect(ended);
    if (!stretch.answered && started) {
        stretch.seconds = double(wall.nsecsElapsed()) / 1e9;
        stretch.cpu = CpuTime::now() - start;
    }
    return stretch;
}
