// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What the transmitter log and the alarms cost the poll: the panel's CPU
// while connected to txsim at the line's pace (4800 baud), with the station
// off and with alarms and recording on, in alternating rounds of the same
// run, against the same simulator. Both run on one core (see bench_link for
// why that is the panel's own figure on a virtual machine). Each panel polls
// as in a connection, its engine running the cycles back to back from the
// program's event loop.
//
// Usage: bench_record [ROUNDS [CYCLES]]   (default 3 rounds of 160 status cycles each way)
#include "app/Station.h"
#include "app/frmTerminale.h"
#include "bench/PanelPower.h"
#include "bench/PollMeter.h"
#include "bench/SpawnedTxsim.h"
#include "link/LinkEngine.h"
#include "record/Recorder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sched.h>

namespace {
SpawnedTxsim simulator;

struct Round
{
    double cpu = 0;
    double wall = 0;
    int cycles = 0;
};

// A connection of this panel, switched on and off as the operator would;
// measured from the end of its first status cycle over `cycles` more.
bool poll(frmTerminale &panel, int cycles, Round &total)
{
    PanelPower::on(panel);
    const PollStretch run =
        measurePoll(panel.engine(), [cycles](int done, double) { return done >= cycles; });
    total.wall += run.seconds;
    total.cpu += run.cpu.total();
    total.cycles += run.cycles;
    PanelPower::off(panel);
    return run.answered;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int cycles = argc > 2 ? std::max(10, std::atoi(argv[2])) : 160;
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    // The port the power button takes.
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tx_Orvel"))
        .setValue(QStringLiteral("Startup/Comm"), QStringLiteral("1"));

    // Panel and simulator on the core the benchmark starts on.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof one, &one);
    const QByteArray device = simulator.start({"--pace", "--temperature", "150"});
    if (device.isEmpty())
        return 1;
    qputenv("TXPANEL_COM1", device);

    frmTerminale plain;
    frmTerminale watched;
    AlarmSettings alarms = AlarmSettings::defaults();
    alarms.enabled = true;
    alarms.notify = false;
    RecordSettings record;
    record.enabled = true;
    record.path = dir.filePath(QStringLiteral("record.sqlite"));
    auto *station = new Station(watched, alarms, record);
    if (!station->recorder() || !station->recorder()->recording()) {
        std::fprintf(stderr, "the record did not open\n");
        return 1;
    }
    // The record's own once-a-second write, timed: the longest is the
    // longest the poll can wait on the disk.
    Recorder *recorder = station->recorder();
    recorder->flushTimer().stop();
    QTimer flush;
    flush.setInterval(recorder->flushTimer().interval());
    qint64 longestNs = 0, totalNs = 0;
    int flushes = 0;
    QObject::connect(&flush, &QTimer::timeout, recorder, [&] {
        QElapsedTimer took;
        took.start();
        recorder->flush();
        longestNs = std::max(longestNs, took.nsecsElapsed());
        totalNs += took.nsecsElapsed();
        ++flushes;
    });

    Round off, on;
    bool ok = true;
    for (int r = 0; r < rounds && ok; ++r) {
        // The recording panel's timer stays out of the plain panel's rounds.
        flush.stop();
        ok = poll(plain, cycles, off);
        flush.start();
        ok = ok && poll(watched, cycles, on);
        recorder->flush();
    }
    simulator.stop();
    if (!ok) {
        std::fprintf(stderr, "the simulator stopped answering\n");
        return 1;
    }
    const double offShare = 100.0 * off.cpu / off.wall;
    const double onShare = 100.0 * on.cpu / on.wall;
    std::printf("paced, one core, %d rounds of %d status cycles each way\n", rounds, cycles);
    std::printf("station off: %.2f cycles/s, panel CPU %.3f %% of one core\n",
                off.cycles / off.wall, offShare);
    std::printf("alarms and record on: %.2f cycles/s, panel CPU %.3f %% of one core\n",
                on.cycles / on.wall, onShare);
    std::printf("added by alarms and record: %+.3f %% of one core\n", onShare - offShare);
    std::printf("the record's writes: %d, %.2f ms each on average, %.2f ms the longest\n", flushes,
                flushes ? double(totalNs) / flushes / 1e6 : 0.0, double(longestNs) / 1e6);
    std::printf("record after the run: %.1f KiB\n",
                double(QFileInfo(record.path).size() +
                       QFileInfo(record.path + QStringLiteral("-wal")).size()) /
                    1024.0);
    return 0;
}
