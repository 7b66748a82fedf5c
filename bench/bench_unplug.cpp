// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What a line that goes away costs afterwards: the share of one core the
// panel uses in the second after the simulated adapter is pulled out, first
// with the port alone and idle, then with the panel in the middle of an
// exchange (before its command, waiting for the reply, mid-reply). Qt 6.4
// repeats the error of a dead pseudo-terminal at a furious rate while the
// port stays open; the port closing on the first error keeps these near zero.
#include "app/frmTerminale.h"
#include "link/LinkEngine.h"
#include "link/MSComm.h"
#include "sim/TxSimulator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {
constexpr int MeasuredMs = 1000;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Serves events for the given time.
void serve(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Serves events until the condition holds, for at most five seconds.
template <typename Condition> bool serveUntil(Condition condition)
{
    QElapsedTimer wall;
    wall.start();
    while (!condition()) {
        if (wall.elapsed() > 5000)
            return false;
        serve(10);
    }
    return true;
}

// This process's share of one core while it serves events for a second.
double idleShare()
{
    const double before = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    serve(MeasuredMs);
    return (cpuSeconds() - before) / (double(wall.nsecsElapsed()) / 1e9);
}

bool portAlone()
{
    TxSimulator sim;
    if (!sim.start()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.lastError()));
        return false;
    }
    qputenv("TXPANEL_COM1", sim.devicePath().toLocal8Bit());
    MSComm comm;
    comm.setCommPort(1);
    if (!comm.setPortOpen(true)) {
        std::fprintf(stderr, "port: %s\n", qPrintable(comm.lastError()));
        return false;
    }
    sim.unplug();
    if (!serveUntil([&comm] { return !comm.PortOpen(); })) {
        std::fprintf(stderr, "port alone: still open five seconds after the unplug\n");
        return false;
    }
    std::printf("port alone, idle: %.2f %% of one core in the second after the unplug\n",
                100.0 * idleShare());
    return true;
}

enum class When
{
    BeforeTheCommand,
    WaitingForTheReply,
    MidReply
};

bool panelMidExchange(When when, const char *name)
{
    TxSimulator sim;
    if (!sim.start()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.lastError()));
        return false;
    }
    sim.setTemperature(150);
    qputenv("TXPANEL_COM1", sim.devicePath().toLocal8Bit());
    frmTerminale panel;
    panel.engine().supervisionTimer().setInterval(15000);
    if (!panel.InitializeComPort(QStringLiteral("1"))) {
        std::fprintf(stderr, "port: %s\n", qPrintable(panel.PortFailureReason));
        return false;
    }
    switch (when) {
    case When::BeforeTheCommand:
        sim.unplug();
        serve(20);
        break;
    case When::WaitingForTheReply:
        sim.setSilent(true);
        QTimer::singleShot(50, &sim, &TxSimulator::unplug);
        break;
    case When::MidReply:
        sim.setPieces(4, 100);
        QTimer::singleShot(150, &sim, &TxSimulator::unplug);
        break;
    }
    bool ended = false;
    QObject::connect(&panel.engine(), &LinkEngine::exchangeCompleted, &panel,
                     [&ended] { ended = true; });
    if (!panel.fncCommandMicro(6)) {
        std::fprintf(stderr, "panel, %s: the exchange did not start\n", name);
        return false;
    }
    // The unplug ends the exchange long before its supervision would.
    if (!serveUntil([&ended] { return ended; })) {
        std::fprintf(stderr, "panel, %s: the exchange did not end\n", name);
        return false;
    }
    if (panel.MSComm1->PortOpen()) {
        std::fprintf(stderr, "panel, %s: the port is still open\n", name);
        return false;
    }
    std::printf("panel, %s: %.2f %% of one core in the second after the exchange ended\n", name,
                100.0 * idleShare());
    return true;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    bool ok = portAlone();
    ok = panelMidExchange(When::BeforeTheCommand, "unplugged before the command") && ok;
    ok = panelMidExchange(When::WaitingForTheReply, "unplugged waiting for the reply") && ok;
    ok = panelMidExchange(When::MidReply, "unplugged mid-reply") && ok;
    return ok ? 0 : 1;
}
