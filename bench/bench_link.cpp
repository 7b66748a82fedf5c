// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Link throughput against the simulator on a pseudo-terminal, the link
// engine alone (no window): exchanges per second and CPU per exchange
// unpaced; with the line paced at 4800 baud, status cycles per second against
// the line-rate bound and the CPU share while the engine polls; then the
// simulator's own CPU share while idle with its input closed.
//
// Everything is served by the program's own event loop, as in the panel:
// each exchange is sent when the last one completes, its reply comes by the
// port's readyRead.
#include "bench/PollMeter.h"
#include "bench/SpawnedTxsim.h"
#include "link/Commands.h"
#include "link/LinkEngine.h"
#include "sim/TxSimulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <sched.h>
#include <thread>

namespace {
// How long the paced poll is measured: about two hundred status cycles.
constexpr double PacedSeconds = 12.5;

SpawnedTxsim simulator;

LinkLine lineTo(const QString &device)
{
    return LinkLine{QStringLiteral("1"), QStringLiteral("COM1"), device, QString()};
}

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

// Exchanges one after the other against the simulator in this process, each
// sent as the last one completes; false when one went unanswered.
bool unpacedRun()
{
    TxSimulator inProcess;
    if (!inProcess.start()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(inProcess.lastError()));
        return false;
    }
    inProcess.setTemperature(150);
    LinkEngine engine;
    engine.setLine(lineTo(inProcess.devicePath()));
    if (!engine.openLine()) {
        std::fprintf(stderr, "port: %s\n", qPrintable(engine.portFailure()));
        return false;
    }
    const int exchanges = 3000;
    int done = 0;
    bool lost = false;
    QEventLoop loop;
    QObject::connect(&engine, &LinkEngine::exchangeCompleted, &loop,
                     [&](quint8, const QString &, bool wasLost) {
                         lost = wasLost;
                         if (lost || ++done == exchanges)
                             loop.quit();
                         else
                             engine.exchange(TxCommand::CMD_READ_FORWARD);
                     });
    QElapsedTimer wall;
    const CpuTime before = CpuTime::now();
    wall.start();
    QTimer::singleShot(0, &engine, [&engine] { engine.exchange(TxCommand::CMD_READ_FORWARD); });
    loop.exec();
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = (CpuTime::now() - before).total();
    engine.powerOff();
    if (lost) {
        std::fprintf(stderr, "unpaced: exchange %d went unanswered\n", done + 1);
        return false;
    }
    std::printf("unpaced: %.0f exchanges/s, %.1f us CPU per exchange (engine and simulator)\n",
                exchanges / elapsed, cpu / exchanges * 1e6);
    return true;
}

// The engine's own poll against txsim pacing at the line rate; prints
// throughput against the line-rate bound and this process's CPU share.
bool pacedRun(const char *placement, bool oneCore)
{
    CoreBinding binding;
    if (oneCore)
        binding.bindToCurrentCore();
    // It is started outside the event loop, so the engine waits on nothing a
    // real panel would not (QProcess would add its pipes and process handle
    // to every wait).
    const QByteArray device = simulator.start({"--pace", "--temperature", "150"});
    if (device.isEmpty()) {
        simulator.stop();
        return false;
    }
    LinkEngine engine;
    engine.setLine(lineTo(QString::fromLocal8Bit(device)));
    engine.powerOn();
    // Timed from the end of the first cycle, past the connection's start.
    const PollStretch run =
        measurePoll(engine, [](int, double seconds) { return seconds >= PacedSeconds; });
    engine.powerOff();
    simulator.stop();
    if (!run.answered) {
        std::fprintf(stderr, "paced, %s: the simulator stopped answering\n", placement);
        return false;
    }

    // Bytes of one cycle both ways: 6 commands + replies "12.5\r" "0.3\r" "150\r" "9\r"
    // "107900\r" "0\r".
    const double cycleBytes = 6 + 5 + 4 + 4 + 2 + 7 + 2;
    const double bound = 4800.0 / (cycleBytes * 10.0);
    std::printf("paced, %s: %.2f cycles/s over %d cycles, line-rate bound %.2f cycles/s: %.1f %%\n",
                placement, run.cyclesPerSecond(), run.cycles, bound,
                100.0 * run.cyclesPerSecond() / bound);
    // The split is sampled at the kernel's tick, so only the total is exact;
    // it still tells the engine's own code from the kernel's wake-ups.
    std::printf("paced, %s: engine CPU %.2f %% of one core while polling (user %.2f %%, "
                "system %.2f %%), %.2f wake-ups per exchange\n",
                placement, 100.0 * run.cpu.total() / run.seconds,
                100.0 * run.cpu.user / run.seconds, 100.0 * run.cpu.system / run.seconds,
                run.exchanges ? double(run.cpu.wakeUps) / run.exchanges : 0.0);
    return true;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    bool ok = unpacedRun();
    // Paced, the simulator runs as its own process, as the transmitter would be
    // its own machine: the CPU figure is then the engine's alone. On a virtual
    // machine a wake-up across virtual cores costs the kernel far more than
    // the engine's own work, and a real line's reply comes from the adapter's
    // interrupt, not from a process on another core; so the run is made with
    // both on one core, then again wherever the scheduler puts them.
    ok = pacedRun("one core", true) && ok;
    ok = pacedRun("as scheduled", false) && ok;
    ok = idleRun() && ok;
    return ok ? 0 : 1;
}
