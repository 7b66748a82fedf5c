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

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
    double total() const { return user + system; }
};
CpuTime cpuTime()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}
pid_t pacedSimulator = -1;

// Starts txsim pacing at the line rate; returns the device it opened, or an
// empty text (reason printed) when it could not.
QByteArray startPacedSimulator()
{
    int out[2];
    if (::pipe(out) != 0)
        return {};
    const QByteArray program = QCoreApplication::applicationDirPath().toLocal8Bit() + "/../txsim";
    char *const args[] = {const_cast<char *>(program.constData()), const_cast<char *>("--pace"),
                          const_cast<char *>("--temperature"), const_cast<char *>("150"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const int failed =
        posix_spawn(&pacedSimulator, program.constData(), &actions, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (failed != 0) {
        std::fprintf(stderr, "txsim: %s\n", std::strerror(failed));
        ::close(out[0]);
        return {};
    }
    // The first line names the device; the pipe then stays open and unread,
    // so the simulator never meets a closed output.
    QByteArray line;
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        line.append(c);
    if (!line.startsWith("DEVICE ")) {
        std::fprintf(stderr, "txsim: %s\n", line.constData());
        return {};
    }
    return line.mid(7).trimmed();
}

void stopPacedSimulator()
{
    if (pacedSimulator <= 0)
        return;
    ::kill(pacedSimulator, SIGTERM);
    ::waitpid(pacedSimulator, nullptr, 0);
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

    // Paced, the simulator runs as its own process, as the transmitter would be
    // its own machine: the CPU figure is then the panel's alone. It is started
    // outside the event loop, so the panel waits on nothing a real panel would
    // not (QProcess would add its pipes and process handle to every wait).
    const QByteArray device = startPacedSimulator();
    if (device.isEmpty())
        return 1;
    qputenv("TXPANEL_COM1", device);
    if (!panel.InitializeComPort(QStringLiteral("1")))
        return 1;
    inProcess.reset();

    // One status cycle with lock and display on: six questions, six replies.
    panel.ReadDataSerial();
    const int cycles = 200;
    const CpuTime before = cpuTime();
    wall.restart();
    for (int i = 0; i < cycles; ++i)
        panel.ReadDataSerial();
    elapsed = double(wall.nsecsElapsed()) / 1e9;
    const CpuTime after = cpuTime();
    const double user = after.user - before.user;
    const double system = after.system - before.system;
    // Bytes of one cycle both ways: 6 commands + replies "12.5\r" "0.3\r" "150\r" "9\r"
    // "107900\r" "0\r".
    const double cycleBytes = 6 + 5 + 4 + 4 + 2 + 7 + 2;
    const double bound = 4800.0 / (cycleBytes * 10.0);
    std::printf("paced: %.2f cycles/s, line-rate bound %.2f cycles/s: %.1f %%\n", cycles / elapsed,
                bound, 100.0 * (cycles / elapsed) / bound);
    // The split tells where the time goes: in the panel's own code, or in the
    // kernel waking it for each byte of a reply.
    std::printf("paced: panel CPU %.2f %% of one core while connected (user %.2f %%, system %.2f "
                "%%)\n",
                100.0 * (user + system) / elapsed, 100.0 * user / elapsed,
                100.0 * system / elapsed);
    panel.MSComm1->setPortOpen(false);
    stopPacedSimulator();
    return 0;
}
