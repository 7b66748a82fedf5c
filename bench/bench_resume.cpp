// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Resuming after a lost link, as an unattended site sees it, with the
// product's own 2 s retry interval:
//  - the panel's CPU while it retries a port whose device does not exist;
//  - the time from a new device appearing (txsim plugged back in on a new
//    pseudo-terminal, the port's link re-pointed at it) to the first whole
//    status cycle of the resumed connection, over several outages.
//
// Usage: bench_resume [OUTAGES] [IDLE_SECONDS]   (default 10 and 20)
#include "app/frmTerminale.h"
#include "link/LinkEngine.h"
#include "link/TxReading.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <vector>

namespace {
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool repoint(const QString &link, const QString &device)
{
    const QString fresh = link + QStringLiteral(".new");
    QFile::remove(fresh);
    return QFile::link(device, fresh) &&
           ::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(link).constData()) == 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int outages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;

    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tx_Orvel"));
        store.setValue(QStringLiteral("Startup/Comm"), QStringLiteral("1"));
        store.setValue(QStringLiteral("Link/Resume"), QStringLiteral("true"));
    }
    const QString link = dir.filePath(QStringLiteral("transmitter"));
    qputenv("TXPANEL_COM1", QFile::encodeName(link));
    repoint(link, dir.filePath(QStringLiteral("nothing-here")));

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString txsim = QCoreApplication::applicationDirPath() + QStringLiteral("/../txsim");
    sim.start(txsim,
              {QStringLiteral("--pace"), QStringLiteral("--temperature"), QStringLiteral("150")});
    auto nextDevice = [&sim]() -> QString {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            while (sim.canReadLine()) {
                const QString line = QString::fromUtf8(sim.readLine()).trimmed();
                if (line.startsWith(QLatin1String("DEVICE ")))
                    return line.mid(7);
            }
            sim.waitForReadyRead(100);
        }
        return QString();
    };
    if (!sim.waitForStarted()) {
        std::fprintf(stderr, "bench_resume: cannot start %s\n", qPrintable(txsim));
        return 1;
    }
    QString device = nextDevice();
    sim.write("unplug\n"); // not there yet: the first part retries a missing device

    frmTerminale panel;
    std::vector<double> resumeMs;
    double idleShare = -1;
    QElapsedTimer sinceAppeared;
    int phase = 0; // 0 idle retries, 1 waiting for a resumed cycle, 2 connected
    double cpuStart = 0;
    QElapsedTimer idleWall;

    QObject::connect(&panel.engine(), &LinkEngine::readingTaken, &panel, [&](const TxReading &) {
        if (phase != 1 || panel.statusCycles() < 1)
            return;
        resumeMs.push_back(double(sinceAppeared.nsecsElapsed()) / 1e6);
        phase = 2;
        // Connected a little while, then the next outage.
        QTimer::singleShot(500, &panel, [&] {
            if (int(resumeMs.size()) >= outages) {
                // The program ends with the connection DISCONNECT ends.
                QObject::connect(&panel.engine(), &LinkEngine::connectionEnded, &app,
                                 &QCoreApplication::quit);
                panel.cmdDisconnect_Click();
                return;
            }
            sim.write("unplug\n");
            QTimer::singleShot(3000, &panel, [&] {
                sim.write("plug\n");
                device = nextDevice();
                phase = 1;
                repoint(link, device);
                sinceAppeared.start();
            });
        });
    });
    QTimer::singleShot(0, &panel, [&] {
        cpuStart = cpuSeconds();
        idleWall.start();
        QTimer::singleShot(idleSeconds * 1000, &panel, [&] {
            idleShare = (cpuSeconds() - cpuStart) / (double(idleWall.nsecsElapsed()) / 1e9);
            sim.write("plug\n");
            device = nextDevice();
            phase = 1;
            repoint(link, device);
            sinceAppeared.start();
        });
        panel.cmdPower_Click(); // ON: retried until the device is there, then the outages
    });
    // An outage that never resumes ends the run with what was measured.
    QTimer::singleShot((idleSeconds + 30 * outages + 60) * 1000, &app, [] {
        std::fprintf(stderr, "bench_resume: gave up waiting for the outages to resume\n");
        QCoreApplication::quit();
    });
    app.exec();

    sim.write("quit\n");
    sim.waitForFinished(3000);
    std::printf("CPU while retrying a missing device for %d s: %.3f %% of a core\n", idleSeconds,
                idleShare * 100);
    if (resumeMs.empty()) {
        std::printf("no outage resumed\n");
        return 1;
    }
    std::sort(resumeMs.begin(), resumeMs.end());
    std::printf("device appearing to the first status cycle, %zu outages: min %.0f ms, median "
                "%.0f ms, max %.0f ms (target <= 2500 ms)\n",
                resumeMs.size(), resumeMs.front(), resumeMs[resumeMs.size() / 2], resumeMs.back());
    return 0;
}
