// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The panel's CPU at the line's pace against the floor, side by side. Four
// pollers run in the same minute, each against its own `txsim --pace`:
//  - the floor, min_poller (built from ../shared/perf/min_poller.c into this
//    directory): the least a program can do to run the status cycle;
//  - the link engine alone, without a window (this program, run again with
//    --engine): what the event loop and the engine cost before any widget;
//  - the real txpanel, offscreen, connecting at start-up;
//  - the real txpanel with the status feed, the alarms and the record on.
// Absolute CPU shares on a virtual machine move by a factor of two from run
// to run, with the host, the clock and whatever else runs; what the panel
// costs is told by its ratio to the floor measured at the same time.
//
// All four are started together, left to settle past their start-up, then
// measured over the same seconds, by the same counters: status cycles a
// second (the questions its simulator recorded, six a cycle), CPU as a share
// of one core (from the scheduler's nanoseconds, all threads; the user and
// system split from utime and stime in /proc/PID/stat, which come in 10 ms
// ticks), wake-ups per exchange, and the process's own memory (RssAnon) at
// the start, at the end and the highest in between.
//
// Usage: bench_floor [SECONDS [ROUNDS]]   (default 60 s, 3 rounds)
#include "bench/SpawnedTxsim.h"
#include "link/LinkEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
// How long the pollers run after their first status cycles before the
// measured seconds start: their start-up (fonts, the first frames, the
// record's opening) is not what is measured.
constexpr int SettleMs = 3000;
constexpr int QuestionsPerCycle = 6;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A field of /proc/PID/status ("RssAnon").
qint64 statusField(pid_t pid, const QByteArray &name)
{
    const QByteArray text = readAll(QStringLiteral("/proc/%1/status").arg(pid));
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Time the process's threads have run so far, in seconds, from the
// scheduler's own nanosecond count.
double runSeconds(pid_t pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    double total = 0;
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray stat =
            readAll(tasks + QLatin1Char('/') + task + QStringLiteral("/schedstat"));
        total += stat.split(' ').value(0).toDouble() / 1e9;
    }
    return total;
}

// utime and stime of the whole process, every thread's, in seconds.
std::pair<double, double> userAndSystem(pid_t pid)
{
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    // After the command's closing parenthesis: state is field 3, utime 14, stime 15.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const double tick = double(sysconf(_SC_CLK_TCK));
    return {fields.value(11).toDouble() / tick, fields.value(12).toDouble() / tick};
}

// Times the process's threads went to sleep and were woken.
qint64 wakeUps(pid_t pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    qint64 total = 0;
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray status =
            readAll(tasks + QLatin1Char('/') + task + QStringLiteral("/status"));
        for (const QByteArray &line : status.split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                total += line.mid(24).trimmed().toLongLong();
        }
    }
    return total;
}

// Questions a simulator has recorded so far: one a line.
qint64 questions(const QString &record)
{
    return readAll(record).count('\n');
}

double loadAverage()
{
    return readAll(QStringLiteral("/proc/loadavg")).split(' ').value(0).toDouble();
}

// A loopback port free now, for the feed; the panel takes it a moment later.
quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), size) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// The first line of the answer to one GET on the loopback address, or empty.
QByteArray httpStatusLine(quint16 port, const char *path)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    QByteArray answer;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
        const QByteArray request =
            QByteArray("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        if (::write(fd, request.constData(), size_t(request.size())) == request.size()) {
            char buffer[512];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                answer = QByteArray(buffer, int(n));
        }
    }
    ::close(fd);
    return answer.left(answer.indexOf('\r'));
}

// A program started outside any event loop, with some variables of its own,
// in a folder, its output to a file.
class Program
{
public:
    Program() = default;
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;
    ~Program() { stop(); }

    bool start(const QStringList &argv, const QStringList &variables, const QString &folder,
               const QString &output)
    {
        std::vector<QByteArray> argBytes;
        for (const QString &arg : argv)
            argBytes.push_back(arg.toLocal8Bit());
        std::vector<char *> args;
        for (QByteArray &arg : argBytes)
            args.push_back(arg.data());
        args.push_back(nullptr);

        std::vector<QByteArray> envBytes;
        for (const QString &variable : variables)
            envBytes.push_back(variable.toLocal8Bit());
        for (char **entry = environ; *entry; ++entry) {
            const QByteArray inherited(*entry);
            const QByteArray name = inherited.left(inherited.indexOf('=') + 1);
            const bool overridden =
                std::any_of(envBytes.begin(), envBytes.end(),
                            [&](const QByteArray &own) { return own.startsWith(name); });
            if (!overridden)
                envBytes.push_back(inherited);
        }
        std::vector<char *> env;
        for (QByteArray &variable : envBytes)
            env.push_back(variable.data());
        env.push_back(nullptr);

        const QByteArray out = output.toLocal8Bit();
        const QByteArray dir = folder.toLocal8Bit();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        if (!folder.isEmpty())
            posix_spawn_file_actions_addchdir_np(&actions, dir.constData());
        const int failed = posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), env.data());
        posix_spawn_file_actions_destroy(&actions);
        if (failed != 0) {
            std::fprintf(stderr, "%s: %s\n", args[0], std::strerror(failed));
            m_pid = -1;
            return false;
        }
        return true;
    }
    pid_t pid() const { return m_pid; }
    bool ended()
    {
        if (m_pid <= 0)
            return true;
        if (::waitpid(m_pid, nullptr, WNOHANG) != m_pid)
            return false;
        m_pid = -1;
        return true;
    }
    // Asked to end as a shutdown asks (the panel writes its record), then made to.
    void stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        for (int i = 0; i < 100 && !ended(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
};

// One poller's counters at one moment.
struct Sample
{
    double cpu = 0;
    double user = 0;
    double system = 0;
    qint64 wakeUps = 0;
    qint64 questions = 0;
    qint64 ownKiB = 0;
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
    qint64 ownStartKiB = 0;
    qint64 ownEndKiB = 0;
    qint64 ownHighestKiB = 0;
};

enum class Kind
{
    Floor,
    Engine,
    Panel,
    PanelWithEverything,
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
    Program program;
    quint16 feedPort = 0;
    Sample start;
    qint64 highestKiB = 0;

    QString record() const { return folder + QStringLiteral("/asked"); }
    bool isPanel() const { return kind == Kind::Panel || kind == Kind::PanelWithEverything; }
    Sample sample() const
    {
        const pid_t pid = program.pid();
        const auto [user, system] = userAndSystem(pid);
        return {runSeconds(pid),
                user,
                system,
                wakeUps(pid),
                questions(record()),
                statusField(pid, "RssAnon")};
    }
};

bool writeSettings(Poller &panel)
{
    QDir().mkpath(panel.folder + QStringLiteral("/config"));
    QFile file(panel.folder + QStringLiteral("/config/Tx_Orvel.conf"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text = "[Startup]\nComm=1\nLimitUp=108000\nLimitDown=87500\n\n"
                      "[Link]\nConnectAtStart=true\n";
    if (panel.kind == Kind::PanelWithEverything) {
        panel.feedPort = freePort();
        // No desktop session bus in an offscreen run: alarms are raised,
        // logged and published, only not sent as desktop notifications.
        text += "\n[Feed]\nEnabled=true\nAddress=127.0.0.1\nPort=" +
                QByteArray::number(panel.feedPort) +
                "\nName=bench\n\n[Alarms]\nEnabled=true\nNotify=false\n\n"
                "[Record]\nEnabled=true\nPath=" +
                panel.folder.toLocal8Bit() + "/record.sqlite\n";
    }
    return file.write(text) == text.size();
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
    return {exchanges / QuestionsPerCycle / seconds,
            100.0 * (end.cpu - start.cpu) / seconds,
            100.0 * (end.user - start.user) / seconds,
            100.0 * (end.system - start.system) / seconds,
            exchanges > 0 ? (end.cpu - start.cpu) / exchanges * 1e6 : 0.0,
            exchanges > 0 ? double(end.wakeUps - start.wakeUps) / exchanges : 0.0,
            start.ownKiB,
            end.ownKiB,
            std::max(poller.highestKiB, end.ownKiB)};
}

constexpr int PollerCount = 4;
using RoundResult = std::array<Figures, PollerCount>;

bool runRound(int round, int seconds, const QString &dir, RoundResult &result)
{
    QTemporaryDir work(dir + QStringLiteral("/round-XXXXXX"));
    std::array<Poller, PollerCount> pollers{
        Poller{Kind::Floor, "floor (min_poller)", work.filePath(QStringLiteral("floor"))},
        Poller{Kind::Engine, "link engine, no window", work.filePath(QStringLiteral("engine"))},
        Poller{Kind::Panel, "panel", work.filePath(QStringLiteral("panel"))},
        Poller{Kind::PanelWithEverything, "panel, feed + alarms + record",
               work.filePath(QStringLiteral("everything"))}};
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
        poller.highestKiB = poller.start.ownKiB;
    }
    const auto began = std::chrono::steady_clock::now();
    const auto ends = began + std::chrono::seconds(seconds);
    // Five times a second, the memory; nothing else wakes this meanwhile.
    while (std::chrono::steady_clock::now() < ends) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        for (Poller &poller : pollers) {
            poller.highestKiB =
                std::max(poller.highestKiB, statusField(poller.program.pid(), "RssAnon"));
            if (poller.program.ended()) {
                std::fprintf(stderr, "%s: ended while measured\n", poller.name);
                return false;
            }
        }
    }
    std::array<Sample, PollerCount> end;
    for (size_t i = 0; i < pollers.size(); ++i)
        end[i] = pollers[i].sample();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const double loadAfter = loadAverage();
    for (size_t i = 0; i < pollers.size(); ++i)
        result[i] = between(pollers[i], end[i], elapsed);

    // The panel with everything on really had it on: its feed answers, its
    // record has been written.
    const Poller &full = pollers[3];
    const QByteArray feedAnswer = httpStatusLine(full.feedPort, "/status.json");
    for (Poller &poller : pollers) {
        poller.program.stop();
        poller.simulator.stop();
    }
    const QString recordPath = full.folder + QStringLiteral("/record.sqlite");
    const qint64 recordBytes =
        QFileInfo(recordPath).size() + QFileInfo(recordPath + QStringLiteral("-wal")).size();

    std::printf("round %d: %.1f s, load average %.2f before, %.2f after\n", round, elapsed,
                loadBefore, loadAfter);
    const Figures &floor = result[0];
    for (size_t i = 0; i < pollers.size(); ++i) {
        const Figures &f = result[i];
        std::printf("  %-30s %5.2f cycles/s, CPU %5.3f %% of a core (user %5.3f, system %5.3f)",
                    pollers[i].name, f.cyclesPerSecond, f.cpu, f.user, f.system);
        if (i > 0)
            std::printf(": x%.2f the floor", floor.cpu > 0 ? f.cpu / floor.cpu : 0.0);
        std::printf("\n  %-30s %5.1f us CPU and %4.2f wake-ups an exchange, "
                    "RssAnon %lld -> %lld KiB (highest %lld)\n",
                    "", f.cpuPerExchangeUs, f.wakeUpsPerExchange,
                    static_cast<long long>(f.ownStartKiB), static_cast<long long>(f.ownEndKiB),
                    static_cast<long long>(f.ownHighestKiB));
    }
    std::printf("  feed: \"%s\"; record: %.1f KiB\n", feedAnswer.constData(),
                double(recordBytes) / 1024.0);
    std::fflush(stdout);
    if (feedAnswer.isEmpty() || recordBytes <= 0) {
        std::fprintf(stderr, "the panel with everything on had no feed or no record\n");
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
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const QString here = QCoreApplication::applicationDirPath();
    for (const QString &needed :
         {here + QStringLiteral("/min_poller"), here + QStringLiteral("/../txpanel"),
          here + QStringLiteral("/../txsim")}) {
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
    const char *names[PollerCount] = {"", "link engine, no window", "panel",
                                      "panel, feed + alarms + record"};
    for (int i = 1; i < PollerCount; ++i) {
        double low = 1e9, high = 0;
        for (const RoundResult &r : results) {
            const double ratio = r[size_t(i)].cpu / r[0].cpu;
            low = std::min(low, ratio);
            high = std::max(high, ratio);
        }
        std::printf("%-30s %.2f to %.2f times the floor's CPU over %zu rounds\n", names[i], low,
                    high, results.size());
    }
    return 0;
}
