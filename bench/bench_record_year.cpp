// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The size of the transmitter log after a year, generated rather than waited
// for: DAYS of one-second readings (every second connected) and a hundred
// events a day go through the record's own writes, minute summaries and
// pruning, with the clock run forward, under the default [Record] RawDays 7
// and KeepDays 400. Prints the file's size as it grows and at the end.
//
// Usage: bench_record_year [DAYS]   (default 365)
#include "record/RecordDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int days = argc > 1 ? std::max(1, std::atoi(argv[1])) : 365;
    constexpr int RawDays = 7;
    constexpr int KeepDays = 400;
    QTemporaryDir dir;
    const QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    RecordDatabase db(dir.filePath(QStringLiteral("record.sqlite")));
    if (!db.open(start)) {
        std::fprintf(stderr, "%s\n", qPrintable(db.lastError()));
        return 1;
    }
    QElapsedTimer wall;
    wall.start();
    const qint64 t0 = start.toSecsSinceEpoch();
    for (int day = 0; day < days; ++day) {
        for (int hour = 0; hour < 24; ++hour) {
            const qint64 hourStart = t0 + qint64(day) * 86400 + hour * 3600;
            QList<RecordSample> seconds;
            seconds.reserve(3600);
            for (qint64 t = hourStart; t < hourStart + 3600; ++t) {
                RecordSample s;
                s.utcSeconds = t;
                // Readings as the transmitter gives them: tenths of a watt,
                // whole degrees, a little wander.
                s.forwardW = 12.0 + double((t * 7) % 11) / 10.0;
                s.reflectedW = 0.2 + double((t * 3) % 5) / 10.0;
                const double rho = std::sqrt(*s.reflectedW / *s.forwardW);
                s.vswr = (1 + rho) / (1 - rho);
                s.temperatureC = int(30 + (t / 300) % 15);
                s.temperatureAlarm = false;
                s.locked = true;
                s.onAir = true;
                s.frequencyKHz = 107900;
                seconds << s;
            }
            QList<RecordEvent> events;
            for (int i = 0; i < 4; ++i)
                events << RecordEvent{QDateTime::fromSecsSinceEpoch(hourStart + i * 900, Qt::UTC),
                                      QStringLiteral("resume"),
                                      QStringLiteral("operator"),
                                      QString(),
                                      QString(),
                                      QString(),
                                      QStringLiteral("no answer"),
                                      QString()};
            if (!db.write(events, seconds) || !db.summariseMinutes(hourStart + 3600)) {
                std::fprintf(stderr, "%s\n", qPrintable(db.lastError()));
                return 1;
            }
        }
        // The record prunes once an hour; once a day is the same for the size.
        if (!db.prune(t0 + qint64(day + 1) * 86400, RawDays, KeepDays)) {
            std::fprintf(stderr, "%s\n", qPrintable(db.lastError()));
            return 1;
        }
        if ((day + 1) % 30 == 0 || day + 1 == days) {
            std::printf("day %3d: %.1f MB (file and write-ahead log), %.0f s so far\n", day + 1,
                        double(db.sizeBytes()) / 1e6, double(wall.elapsed()) / 1000.0);
            std::fflush(stdout);
        }
    }
    const qint64 end = t0 + qint64(days) * 86400;
    std::printf("after %d days: %lld seconds kept, %lld minutes kept, %.1f MB\n", days,
                static_cast<long long>(end - db.oldestSample()),
                static_cast<long long>(db.minutes(0, end).size()), double(db.sizeBytes()) / 1e6);
    return 0;
}
