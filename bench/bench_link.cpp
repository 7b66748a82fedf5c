// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Link throughput against the simulator on a pseudo-terminal: exchanges per
// second and CPU per exchange unpaced; with the line paced at 4800 baud,
// status cycles per second against the line-rate bound and the CPU share;
// then the simulator's own CPU share while idle with its input closed.
#include "app/frmTerminale.h"
#include "bench/SpawnedTxsim.h"
#include "link/MSComm.h"
#include "sim/TxSimulator.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <memory>
#include <sched.h>
#include <sys/resource.h>
#include <thread>

namespace {
double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// This process's CPU time so far, in its own code and in the kernel.
struct CpuTime
{
    double user = 0;
    double system = 0;
    long wakeUps = 0; // times the process slept and was woken
    double total() const { return user + system; }
};
CpuTime cpuTime()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {seconds(usage.ru_utime), seconds(usage.ru_stime), usage.ru_nvcsw};
}
SpawnedTxsim simulator;

// Time a process has run so far, in seconds, summed over its threads. Taken
// from the scheduler's own nanosecond count: the tick-sampled user and system
// times would round two idle seconds to nothing, or to one whole tick.
double runSeconds(pid_t pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task/").arg(pid);
    double total = 0;
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + task + QStringLiteral("/schedstat"));
        if (stat.open(QIODevice::ReadOnly))
            total += stat.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    return total;
}

// The simulator left alone with its standard input at its end, as scripts
// start it: a reader that kept polling a closed input would show here.
bool idleRun()
{
    if (simulator.start({"--temperature", "150"}).isEmpty()) {
        simulator.stop();
        return false;
    }
    // Past its start-up, which is not what is measured.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double before = runSeconds(simulator.pid());
    QElapsedTimer wall;
    wall.start();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double ran = runSeconds(simulator.pid()) - before;
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    simulator.stop();
    std::printf("idle, input closed: txsim CPU %.3f %% of one core\n", 100.0 * ran / elapsed);
    return true;
}

// Keeps this process, and the simulator it starts next, on the core it runs
// on now, or lets them go back to every core it was given.
class CoreBinding
{
public:
    CoreBinding() { sched_getaffinity(0, sizeof m_all, &m_all); }
    ~CoreBinding() { release(); }
    CoreBinding(const CoreBinding &) = delete;
    CoreBinding &operator=(const CoreBinding &) = delete;
    void bindToCurrentCore()
    {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        sched_setaffinity(0, sizeof one, &one);
    }
    void release() { sched_setaffinity(0, sizeof m_all, &m_all); }

private:
    cpu_set_t m_all{};
};

// Status cycles against txsim pacing at the line rate; prints throughput
// against the line-rate bound and the panel's CPU share while connected.
bool pacedRun(frmTerminale &panel, const char *placement, bool oneCore)
{
    CoreBinding binding;
    if (oneCore)
        binding.bindToCurrentCore();
    // It is started outside the event loop, so the panel waits on nothing a
    // real panel would not (QProcess would add its pipes and process handle
    // to every wait).
    const QByteArray device = simulator.start({"--pace", "--temperature", "150"});
    if (device.isEmpty()) {
        simulator.stop();
        return false;
    }
    qputenv("TXPANEL_COM1", device);
    if (!panel.InitializeComPort(QStringLiteral("1"))) {
        simulator.stop();
        return false;
    }

    // One status cycle with lock and display on: six questions, six replies.
    panel.ReadDataSerial();
    const int cycles = 200;
    const CpuTime before = cpuTime();
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < cycles; ++i)
        panel.ReadDataSerial();
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const CpuTime after = cpuTime();
    const double user = after.user - before.user;
    const double system = after.system - before.system;
    const bool answered = !panel.AbortComm;
    panel.MSComm1->setPortOpen(false);
    simulator.stop();
    if (!answered) {
        std::fprintf(stderr, "paced, %s: the simulator stopped answering\n", placement);
        return false;
    }

    // Bytes of one cycle both ways: 6 commands + replies "12.5\r" "0.3\r" "150\r" "9\r"
    // "107900\r" "0\r".
    const double cycleBytes = 6 + 5 + 4 + 4 + 2 + 7 + 2;
    const double bound = 4800.0 / (cycleBytes * 10.0);
    std::printf("paced, %s: %.2f cycles/s, line-rate bound %.2f cycles/s: %.1f %%\n", placement,
                cycles / elapsed, bound, 100.0 * (cycles / elapsed) / bound);
    // The split is sampled at the kernel's tick, so only the total is exact;
    // it still tells the panel's own code from the kernel's wake-ups.
    std::printf("paced, %s: panel CPU %.2f %% of one core while connected (user %.2f %%, "
                "system %.2f %%), %.2f wake-ups per exchange\n",
                placement, 100.0 * (user + system) / elapsed, 100.0 * user / elapsed,
                100.0 * system / elapsed, double(after.wakeUps - before.wakeUps) / (cycles * 6.0));
    return true;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    auto inProcess = std::make_unique<TxSimulator>();
    if (!inProcess->start()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(inProcess->lastError()));
        return 1;
    }
    inProcess->setTemperature(150);
    qputenv("TXPANEL_COM1", inProcess->devicePath().toLocal8Bit());
    frmTerminale panel;
    if (!panel.InitializeComPort(QStringLiteral("1")))
        return 1;

    const int exchanges = 3000;
    QElapsedTimer wall;
    double cpu = cpuTime().total();
    wall.start();
    for (int i = 0; i < exchanges; ++i)
        panel.fncCommandMicro(4);
    double elapsed = double(wall.nsecsElapsed()) / 1e9;
    cpu = cpuTime().total() - cpu;
    std::printf("unpaced: %.0f exchanges/s, %.1f us CPU per exchange (panel and simulator)\n",
                exchanges / elapsed, cpu / exchanges * 1e6);

    panel.MSComm1->setPortOpen(false);
    inProcess.reset();

    // Paced, the simulator runs as its own process, as the transmitter would be
    // its own machine: the CPU figure is then the panel's alone. On a virtual
    // machine a wake-up across virtual cores costs the kernel far more than
    // the panel's own work, and a real line's reply comes from the adapter's
    // interrupt, not from a process on another core; so the run is made with
    // both on one core, then again wherever the scheduler puts them.
    bool ok = pacedRun(panel, "one core", true);
    ok = pacedRun(panel, "as scheduled", false) && ok;
    ok = idleRun() && ok;
    return ok ? 0 : 1;
}
