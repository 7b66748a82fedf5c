// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The panel's CPU at the line's pace against the floor, side by side. Four
// pollers run in the same minute, each against its own `txsim --pace`:
//  - the floor, min_poller (built from ../shared/perf/min_poller.c into this
//    directory): the least a program can do to run the status cycle;
//  - the link engine alone, without a window (this program, run again with
//    --engine): what the event loop and the engine cost before any widget;
//  - the real txpanel, offscreen, connecting at start-up;
//  - the real txpanel with the status feed, the alarms and the record on;
//  - txpaneld, the station service, with the same three on: its settings in
//    a file of its own in a temporary folder, its record in STATE_DIRECTORY
//    there.
// Absolute CPU shares on a virtual machine move by a factor of two from run
// to run, with the host, the clock and whatever else runs; what the panel
// costs is told by its ratio to the floor measured at the same time.
//
// All four are started together, left to settle past their start-up, then
// measured over the same seconds, by the same counters: status cycles a
// second (the questions its simulator recorded, six a cycle), CPU as a share
// of one core (from the scheduler's nanoseconds, all threads; the user and
// system split from utime and stime in /proc/PID/stat, which come in 10 ms
// ticks), wake-ups per exchange, and the process's memory at the start, at
// the end and the highest in between: resident (VmRSS, the shared libraries'
// pages included) and its own (RssAnon, what a leak grows). Rounds of two
// minutes or more print the memory each minute, so an hour's trend shows.
//
// Usage: bench_floor [--service] [SECONDS [ROUNDS]]   (default 60 s, 3 rounds)
// With --service only the floor and txpaneld run, as a service runs for
// hours: `bench_floor --service 3600 1` is an hour.
#include "bench/SpawnedProgram.h"
#include "bench/SpawnedTxsim.h"
#include "link/LinkEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
// How long the pollers run after their first status cycles before the
// measured seconds start: their start-up (fonts, the first frames, the
// record's opening) is not what is measured.
constexpr int SettleMs = 3000;
constexpr int QuestionsPerCycle = 6;

using namespace ProcFigures;

// Questions a simulator has recorded so far: one a line.
qint64 questions(const QString &record)
{
    return readAll(record).count('\n');
}

// One poller's counters at one moment.
struct Sample
{
    double cpu = 0;
    double user = 0;
    double system = 0;
    qint64 wakeUps = 0;
    qint64 questions = 0;
    qint64 ownKiB = 0;
    qint64 residentKiB = 0;
};

// A memory figure over the measured seconds.
struct Memory
{
    qint64 startKiB = 0;
    qint64 endKiB = 0;
    qint64 highestKiB = 0;
};

struct Figures
{
    double cyclesPerSecond = 0;
    // Shares of one core.
    double cpu = 0;
    double user = 0;
    double system = 0;
    double cpuPerExchangeUs = 0;
    double wakeUpsPerExchange = 0;
    Memory own;
    Memory resident;
};

enum class Kind
{
    Floor,
    Engine,
    Panel,
    PanelWithEverything,
    Service,
};

// One poller and its own simulator, which records each question asked.
struct Poller
{
    Poller(Kind kind, const char *name, const QString &folder)
        : kind(kind), name(name), folder(folder)
    {
    }

    Kind kind;
    const char *name;
    QString folder;
    SpawnedTxsim simulator;
    SpawnedProgram program;
    quint16 feedPort = 0;
    Sample start;
    qint64 highestOwnKiB = 0;
    qint64 highestResidentKiB = 0;

    QString record() const { return folder + QStringLiteral("/asked"); }
    // Where its record of the station is, when it keeps one.
    QString stationRecord() const
    {
        return folder + (kind == Kind::Service ? QStringLiteral("/state/record.sqlite")
                                               : QStringLiteral("/record.sqlite"));
    }
    bool hasEverything() const
    {
        return kind == Kind::PanelWithEverything || kind == Kind::Service;
    }
    Sample sample() const
    {
        const pid_t pid = program.pid();
        const auto [user, system] = userAndSystem(pid);
        return {runSeconds(pid),
                user,
                system,
                wakeUps(pid),
                questions(record()),
                statusField(pid, "RssAnon"),
                statusField(pid, "VmRSS")};
    }
    void sampleMemory()
    {
        highestOwnKiB = std::max(highestOwnKiB, statusField(program.pid(), "RssAnon"));
        highestResidentKiB = std::max(highestResidentKiB, statusField(program.pid(), "VmRSS"));
    }
};

// The feed, the alarms and the record as a station runs them: the feed on a
// loopback port of its own.
QByteArray everythingOn(Poller &poller)
{
    poller.feedPort = freeLoopbackPort();
    return "\n[Feed]\nEnabled=true\nAddress=127.0.0.1\nPort=" +
           QByteArray::number(poller.feedPort) + "\nName=bench\n\n[Alarms]\nEnabled=true\n" +
           // No desktop session bus in an offscreen run: alarms are raised,
           // logged and published, only not sent as desktop notifications.
           (poller.kind == Kind::PanelWithEverything ? "Notify=false\n" : "") +
           "\n[Record]\nEnabled=true\n" +
           // The service's record goes where systemd's StateDirectory= puts it.
           (poller.kind == Kind::PanelWithEverything
                ? "Path=" + poller.folder.toLocal8Bit() + "/record.sqlite\n"
                : QByteArray());
}

bool writeFile(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

bool writeSettings(Poller &panel)
{
    QByteArray text = "[Startup]\nComm=1\nLimitUp=108000\nLimitDown=87500\n\n"
                      "[Link]\nConnectAtStart=true\n";
    if (panel.kind == Kind::PanelWithEverything)
        text += everythingOn(panel);
    return writeFile(panel.folder + QStringLiteral("/config/Tx_Orvel.conf"), text);
}

bool start(Poller &poller)
{
    QDir().mkpath(poller.folder + QStringLiteral("/run"));
    const QByteArray record = poller.record().toLocal8Bit();
    const QByteArray device =
        poller.simulator.start({"--pace", "--temperature", "150", "--record", record.constData()});
    if (device.isEmpty())
        return false;
    const QString here = QCoreApplication::applicationDirPath();
    const QString log = poller.folder + QStringLiteral("/log");
    switch (poller.kind) {
    case Kind::Floor:
        // Longer than it is measured: it is stopped once measured.
        return poller.program.start({here + QStringLiteral("/min_poller"),
                                     QString::fromLocal8Bit(device), QStringLiteral("100000")},
                                    {QStringLiteral("LINE=1")}, QString(), log);
    case Kind::Engine:
        return poller.program.start({QCoreApplication::applicationFilePath(),
                                     QStringLiteral("--engine"), QString::fromLocal8Bit(device)},
                                    {}, QString(), log);
    case Kind::Panel:
    case Kind::PanelWithEverything:
        if (!writeSettings(poller))
            return false;
        return poller.program.start(
            {here + QStringLiteral("/../txpanel")},
            {QStringLiteral("QT_QPA_PLATFORM=offscreen"),
             QStringLiteral("XDG_CONFIG_HOME=") + poller.folder + QStringLiteral("/config"),
             QStringLiteral("TXPANEL_COM1=") + QString::fromLocal8Bit(device)},
            poller.folder + QStringLiteral("/run"), log);
    case Kind::Service: {
        const QString settings = poller.folder + QStringLiteral("/bench.conf");
        if (!writeFile(settings, "[Startup]\nLimitUp=108000\nLimitDown=87500\n\n[Link]\nDevice=" +
                                     device + '\n' + everythingOn(poller)) ||
            !QDir().mkpath(poller.folder + QStringLiteral("/state")))
            return false;
        // No service manager here: an inherited NOTIFY_SOCKET is hidden.
        return poller.program.start(
            {here + QStringLiteral("/../txpaneld"), QStringLiteral("--config"), settings},
            {QStringLiteral("STATE_DIRECTORY=") + poller.folder + QStringLiteral("/state"),
             QStringLiteral("NOTIFY_SOCKET=")},
            poller.folder + QStringLiteral("/run"), log);
    }
    }
    return false;
}

// Waits until the poller has asked its simulator a few whole cycles.
bool pollingSoon(Poller &poller)
{
    for (int i = 0; i < 300; ++i) {
        if (questions(poller.record()) > 1 + 2 * QuestionsPerCycle)
            return true;
        if (poller.program.ended())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

Figures between(const Poller &poller, const Sample &end, double seconds)
{
    const Sample &start = poller.start;
    const double exchanges = double(end.questions - start.questions);
    return {
        exchanges / QuestionsPerCycle / seconds,
        100.0 * (end.cpu - start.cpu) / seconds,
        100.0 * (end.user - start.user) / seconds,
        100.0 * (end.system - start.system) / seconds,
        exchanges > 0 ? (end.cpu - start.cpu) / exchanges * 1e6 : 0.0,
        exchanges > 0 ? double(end.wakeUps - start.wakeUps) / exchanges : 0.0,
        {start.ownKiB, end.ownKiB, std::max(poller.highestOwnKiB, end.ownKiB)},
        {start.residentKiB, end.residentKiB, std::max(poller.highestResidentKiB, end.residentKiB)}};
}

struct Entry
{
    Kind kind;
    const char *name;
    const char *folder;
};
constexpr Entry AllPollers[] = {
    {Kind::Floor, "floor (min_poller)", "floor"},
    {Kind::Engine, "link engine, no window", "engine"},
    {Kind::Panel, "panel", "panel"},
    {Kind::PanelWithEverything, "panel, feed + alarms + record", "everything"},
    {Kind::Service, "txpaneld, feed + alarms + record", "service"},
};
// The floor first: every ratio is to it.
std::vector<Entry> chosen;

using RoundResult = std::vector<Figures>;

void printMemoryLine(int minute, const std::deque<Poller> &pollers)
{
    std::printf("  minute %3d: RssAnon", minute);
    for (size_t i = 0; i < pollers.size(); ++i)
        std::printf(" %s %lld", chosen[i].folder,
                    static_cast<long long>(statusField(pollers[i].program.pid(), "RssAnon")));
    std::printf(" KiB\n");
    std::fflush(stdout);
}

bool runRound(int round, int seconds, const QString &dir, RoundResult &result)
{
    QTemporaryDir work(dir + QStringLiteral("/round-XXXXXX"));
    std::deque<Poller> pollers;
    for (const Entry &entry : chosen)
        pollers.emplace_back(entry.kind, entry.name, work.filePath(QLatin1String(entry.folder)));
    for (Poller &poller : pollers) {
        if (!start(poller)) {
            std::fprintf(stderr, "%s: did not start\n", poller.name);
            return false;
        }
    }
    for (Poller &poller : pollers) {
        if (!pollingSoon(poller)) {
            std::fprintf(stderr, "%s: not polling 30 s after its start; its output:\n%s\n",
                         poller.name, readAll(poller.folder + QStringLiteral("/log")).constData());
            return false;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(SettleMs));

    const double loadBefore = loadAverage();
    for (Poller &poller : pollers) {
        poller.start = poller.sample();
        poller.highestOwnKiB = poller.start.ownKiB;
        poller.highestResidentKiB = poller.start.residentKiB;
    }
    const auto began = std::chrono::steady_clock::now();
    const auto ends = began + std::chrono::seconds(seconds);
    const bool byMinute = seconds >= 120;
    int minute = 0;
    if (byMinute)
        printMemoryLine(0, pollers);
    // Five times a second, the memory; nothing else wakes this meanwhile.
    while (std::chrono::steady_clock::now() < ends) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        for (Poller &poller : pollers) {
            poller.sampleMemory();
            if (poller.program.ended()) {
                std::fprintf(stderr, "%s: ended while measured\n", poller.name);
                return false;
            }
        }
        if (byMinute &&
            std::chrono::steady_clock::now() - began >= std::chrono::minutes(minute + 1))
            printMemoryLine(++minute, pollers);
    }
    std::vector<Sample> end;
    for (const Poller &poller : pollers)
        end.push_back(poller.sample());
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const double loadAfter = loadAverage();
    result.clear();
    for (size_t i = 0; i < pollers.size(); ++i)
        result.push_back(between(pollers[i], end[i], elapsed));

    // Those with everything on really had it on: their feed answers, their
    // record has been written.
    std::vector<QByteArray> feedAnswers(pollers.size());
    for (size_t i = 0; i < pollers.size(); ++i) {
        if (pollers[i].hasEverything())
            feedAnswers[i] = httpStatusLine(pollers[i].feedPort, "/status.json");
    }
    bool endedOnRequest = true;
    for (Poller &poller : pollers) {
        endedOnRequest = poller.program.stop() && endedOnRequest;
        poller.simulator.stop();
    }

    std::printf("round %d: %.1f s, load average %.2f before, %.2f after\n", round, elapsed,
                loadBefore, loadAfter);
    const Figures &floor = result[0];
    for (size_t i = 0; i < pollers.size(); ++i) {
        const Figures &f = result[i];
        std::printf("  %-32s %5.2f cycles/s, CPU %5.3f %% of a core (user %5.3f, system %5.3f)",
                    pollers[i].name, f.cyclesPerSecond, f.cpu, f.user, f.system);
        if (i > 0)
            std::printf(": x%.2f the floor", floor.cpu > 0 ? f.cpu / floor.cpu : 0.0);
        std::printf(
            "\n  %-32s %5.1f us CPU and %4.2f wake-ups an exchange, "
            "RssAnon %lld -> %lld KiB (highest %lld), VmRSS %lld -> %lld KiB "
            "(highest %lld)\n",
            "", f.cpuPerExchangeUs, f.wakeUpsPerExchange, static_cast<long long>(f.own.startKiB),
            static_cast<long long>(f.own.endKiB), static_cast<long long>(f.own.highestKiB),
            static_cast<long long>(f.resident.startKiB), static_cast<long long>(f.resident.endKiB),
            static_cast<long long>(f.resident.highestKiB));
    }
    bool everythingOnHad = true;
    for (size_t i = 0; i < pollers.size(); ++i) {
        if (!pollers[i].hasEverything())
            continue;
        const QString path = pollers[i].stationRecord();
        const qint64 recordBytes =
            QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
        std::printf("  %s: feed \"%s\"; record %.1f KiB\n", pollers[i].name,
                    feedAnswers[i].constData(), double(recordBytes) / 1024.0);
        everythingOnHad = everythingOnHad && !feedAnswers[i].isEmpty() && recordBytes > 0;
    }
    std::fflush(stdout);
    if (!everythingOnHad) {
        std::fprintf(stderr, "a program with everything on had no feed or no record\n");
        return false;
    }
    if (!endedOnRequest) {
        std::fprintf(stderr, "a program did not end within 10 s of SIGTERM\n");
        return false;
    }
    return true;
}

// The link engine alone polling a device, as the engine line of the
// comparison: no window, no widget, Qt Core's event loop. Runs until stopped.
int engineOnly(const QString &device)
{
    LinkEngine engine;
    engine.setLine(LinkLine{QStringLiteral("1"), QStringLiteral("COM1"), device, QString()});
    QObject::connect(&engine, &LinkEngine::connectionEnded, qApp, [](const QString &why) {
        std::fprintf(stderr, "engine: the connection ended: %s\n", qPrintable(why));
        QCoreApplication::exit(1);
    });
    engine.powerOn();
    return QCoreApplication::exec();
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--engine") == 0)
        return engineOnly(QString::fromLocal8Bit(argv[2]));
    int first = 1;
    const bool serviceOnly = argc > 1 && std::strcmp(argv[1], "--service") == 0;
    if (serviceOnly)
        ++first;
    const int seconds = argc > first ? std::max(5, std::atoi(argv[first])) : 60;
    const int rounds = argc > first + 1 ? std::max(1, std::atoi(argv[first + 1])) : 3;
    for (const Entry &entry : AllPollers) {
        if (!serviceOnly || entry.kind == Kind::Floor || entry.kind == Kind::Service)
            chosen.push_back(entry);
    }
    const QString here = QCoreApplication::applicationDirPath();
    for (const QString &needed :
         {here + QStringLiteral("/min_poller"), here + QStringLiteral("/../txpanel"),
          here + QStringLiteral("/../txpaneld"), here + QStringLiteral("/../txsim")}) {
        if (!QFileInfo(needed).isExecutable()) {
            std::fprintf(stderr,
                         "%s is missing: build it (min_poller is built from "
                         "../shared/perf/min_poller.c when that file is there)\n",
                         qPrintable(QDir::cleanPath(needed)));
            return 1;
        }
    }
    QTemporaryDir dir;
    std::printf("%d rounds of %d s; each poller against its own txsim --pace, as scheduled on "
                "%ld cores\n",
                rounds, seconds, sysconf(_SC_NPROCESSORS_ONLN));
    std::fflush(stdout);
    std::vector<RoundResult> results;
    for (int round = 1; round <= rounds; ++round) {
        RoundResult result;
        if (!runRound(round, seconds, dir.path(), result)) {
            std::fprintf(stderr, "round %d failed\n", round);
            return 1;
        }
        results.push_back(result);
    }
    for (size_t i = 1; i < chosen.size(); ++i) {
        double low = 1e9, high = 0, cyclesLow = 1e9, cyclesHigh = 0;
        qint64 residentHighest = 0;
        for (const RoundResult &r : results) {
            const double ratio = r[i].cpu / r[0].cpu;
            low = std::min(low, ratio);
            high = std::max(high, ratio);
            const double cycles = r[i].cyclesPerSecond / r[0].cyclesPerSecond;
            cyclesLow = std::min(cyclesLow, cycles);
            cyclesHigh = std::max(cyclesHigh, cycles);
            residentHighest = std::max(residentHighest, r[i].resident.highestKiB);
        }
        std::printf("%-32s %.2f to %.2f times the floor's CPU, %.1f to %.1f %% of its cycles a "
                    "second over %zu rounds; VmRSS at most %.1f MiB\n",
                    chosen[i].name, low, high, 100.0 * cyclesLow, 100.0 * cyclesHigh,
                    results.size(), double(residentHighest) / 1024.0);
    }
    return 0;
}
