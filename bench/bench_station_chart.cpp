// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Opening the Station window's chart on 24 hours of one-second samples (86 400
// a series): the time from the Station menu's action to the first painted
// frame of the chart with its data, the time to load and thin the data, and
// the memory the window takes. Run with QT_QPA_PLATFORM=offscreen or under Xvfb.
//
// Usage: bench_station_chart
#include "app/Station.h"
#include "app/frmTerminale.h"
#include "record/ReadingsChart.h"
#include "record/RecordDatabase.h"
#include "record/StationWindow.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/resource.h>

namespace {
// Resident memory now, in MiB, from the kernel's own count.
double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

// The first paint of the chart with its data; then the report, and the end.
class FirstChartPaint : public QObject
{
public:
    FirstChartPaint(ReadingsChart *chart, QElapsedTimer &clock, std::function<void()> report)
        : m_chart(chart), m_clock(clock), m_report(std::move(report))
    {
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const bool first = event->type() == QEvent::Paint && m_paintMs < 0 &&
                           m_chart->pointsShown(ReadingsChart::Forward) > 0;
        const bool result = QObject::eventFilter(watched, event);
        if (first) {
            m_paintMs = m_clock.elapsed();
            QTimer::singleShot(0, qApp, [this] {
                m_report();
                // Through the event loop, so the record's folder is removed.
                QCoreApplication::exit(0);
            });
        }
        return result;
    }
    qint64 paintMs() const { return m_paintMs; }

private:
    ReadingsChart *m_chart;
    QElapsedTimer &m_clock;
    std::function<void()> m_report;
    qint64 m_paintMs = -1;
};
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QString path = dir.filePath(QStringLiteral("record.sqlite"));
    {
        RecordDatabase db(path);
        if (!db.open(QDateTime::currentDateTimeUtc()))
            return 1;
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        QList<RecordSample> day;
        for (qint64 t = now - 86400 + 1; t <= now; ++t) {
            RecordSample s;
            s.utcSeconds = t;
            s.forwardW = 12.0 + double(t % 97) * 0.05;
            s.reflectedW = 0.3 + double(t % 13) * 0.01;
            s.vswr = 1.3 + double(t % 11) * 0.01;
            s.temperatureC = int(30 + (t / 600) % 20);
            s.temperatureAlarm = false;
            s.locked = true;
            s.onAir = true;
            s.frequencyKHz = 107900;
            day << s;
        }
        db.write({}, day);
    }
    frmTerminale panel;
    RecordSettings record;
    record.enabled = true;
    record.path = path;
    auto *station = new Station(panel, AlarmSettings::defaults(), record);
    panel.show();
    QCoreApplication::processEvents();
    const double before = residentMiB();

    QElapsedTimer clock;
    clock.start();
    station->openAction()->trigger();
    StationWindow *window = station->window();
    // Told before the loop ends: closing the panel ends the program at once.
    FirstChartPaint watcher(window->chart(), clock, [&] {
        const double after = residentMiB();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("chart of 24 h of seconds: %lld points a series loaded, %lld forward points "
                    "drawn\n",
                    static_cast<long long>(window->chart()->pointsLoaded()),
                    static_cast<long long>(window->chart()->pointsShown(ReadingsChart::Forward)));
        std::printf("menu action to first painted chart: %lld ms\n",
                    static_cast<long long>(watcher.paintMs()));
        std::printf("Station window: +%.1f MiB resident (%.1f to %.1f), peak %.1f MiB\n",
                    after - before, before, after, double(usage.ru_maxrss) / 1024.0);
        std::fflush(stdout);
    });
    window->chart()->viewport()->installEventFilter(&watcher);
    window->tabs()->setCurrentIndex(2);
    QTimer::singleShot(10000, qApp, [] {
        std::printf("no chart painted within 10 s\n");
        std::fflush(stdout);
        QCoreApplication::exit(1);
    });
    return app.exec();
}
