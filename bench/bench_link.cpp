// Link throughput against the simulator on a pseudo-terminal: exchanges per
// second and CPU per exchange unpaced; with the line paced at 4800 baud,
// status cycles per second against the line-rate bound and the CPU share.
#include "app/frmTerminale.h"
#include "link/MSComm.h"
#include "sim/TxSimulator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto s = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    TxSimulator sim;
    if (!sim.start()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.lastError()));
        return 1;
    }
    sim.setTemperature(150);
    qputenv("TXPANEL_COM1", sim.devicePath().toLocal8Bit());
    frmTerminale panel;
    if (!panel.InitializeComPort(QStringLiteral("1")))
        return 1;

    const int exchanges = 3000;
    QElapsedTimer wall;
    double cpu = cpuSeconds();
    wall.start();
    for (int i = 0; i < exchanges; ++i)
        panel.fncCommandMicro(4);
    double seconds = double(wall.nsecsElapsed()) / 1e9;
    cpu = cpuSeconds() - cpu;
    std::printf("unpaced: %.0f exchanges/s, %.1f us CPU per exchange (panel and simulator)\n",
                exchanges / seconds, cpu / exchanges * 1e6);

    // One status cycle with lock and display on: six questions, six replies.
    sim.setPacing(true);
    panel.ReadDataSerial();
    sim.clearReceived();
    const int cycles = 20;
    cpu = cpuSeconds();
    wall.restart();
    for (int i = 0; i < cycles; ++i)
        panel.ReadDataSerial();
    seconds = double(wall.nsecsElapsed()) / 1e9;
    cpu = cpuSeconds() - cpu;
    // Bytes of one cycle both ways: 6 commands + replies "12.5\r" "0.3\r" "150\r" "9\r" "107900\r"
    // "0\r".
    const double cycleBytes = 6 + 5 + 4 + 4 + 2 + 7 + 2;
    const double bound = 4800.0 / (cycleBytes * 10.0);
    std::printf("paced: %.2f cycles/s, line-rate bound %.2f cycles/s: %.1f %%\n", cycles / seconds,
                bound, 100.0 * (cycles / seconds) / bound);
    std::printf("paced: CPU %.2f %% of one core (panel and simulator in one process)\n",
                100.0 * cpu / seconds);
    return 0;
}
