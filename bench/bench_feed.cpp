// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The status feed's cost to the poll. With txsim pacing the line at 4800
// baud: status cycles a second against the line-rate bound with the feed on
// and no client, with a client reading /status.json ten times a second, and
// under a loopback flood from wrk (with the requests a second the feed
// served meanwhile); the panel's CPU share while connected with the feed off
// and with the feed on and that client; the panel's memory as the flood is
// repeated; and (d) the poll and a monitoring client while 360 local
// clients dribble requests that never end (300 sending a byte every 2 s, 60
// every 0.5 s, each back at once when cut off): how many of the client's
// requests, four a second, were answered 200 within a second.
//
// The panel and txsim share one core, as in bench_link (a wake-up across
// this virtual machine's cores costs more than the panel's own work); the
// clients run on the other cores, so the CPU they use is not the panel's.
//
// The panel polls as in a connection: its engine runs the status cycles
// back to back from the program's event loop, and each figure is taken over
// whole cycles between the ends of two of them.
#include "app/frmTerminale.h"
#include "bench/PanelPower.h"
#include "bench/PollMeter.h"
#include "bench/SpawnedProgram.h"
#include "feed/FeedDocuments.h"
#include "feed/StatusFeed.h"
#include "link/LinkEngine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sched.h>
#include <unistd.h>
#include <vector>

namespace {
// Bytes of one status cycle both ways: 6 commands + replies "12.5\r" "0.3\r"
// "150\r" "9\r" "107900\r" "0\r"; ten bits a byte at 4800 baud.
constexpr double CycleBytes = 6 + 5 + 4 + 4 + 2 + 7 + 2;
constexpr double LineBound = 4800.0 / (CycleBytes * 10.0);

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// A program started outside the event loop (QProcess would add its pipes to
// every wait of the poll), its output to a file, on the given cores.
class Child : public SpawnedProgram
{
public:
    bool start(const QStringList &argv, const QString &outputFile, const cpu_set_t *cores)
    {
        return SpawnedProgram::start(argv, {}, QString(), outputFile, cores);
    }
    bool running() { return !ended(); }
};

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

struct Bench
{
    frmTerminale panel;
    std::unique_ptr<StatusFeed> feed;
    QTemporaryDir work;
    cpu_set_t panelCore{};
    cpu_set_t otherCores{};
    bool haveOtherCores = false;

    QString url(const char *path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2")
            .arg(feed ? feed->port() : 0)
            .arg(QLatin1String(path));
    }

    void startFeed()
    {
        FeedSettings settings;
        settings.enabled = true;
        settings.port = 0;
        settings.name = QStringLiteral("bench");
        feed = std::make_unique<StatusFeed>(panel.engine());
        feed->start(settings);
    }

    // The engine's poll over `cycles` status cycles or, with cycles 0, for
    // as long as `until` runs (to the end of the cycle it ends in).
    struct Run
    {
        double cyclesPerSecond = 0;
        double user = 0;
        double system = 0;
        long wakeUps = 0;
        double seconds = 0;
        quint64 answered = 0;
    };
    Run poll(int cycles, Child *until = nullptr)
    {
        Run run;
        quint64 answeredBefore = 0;
        bool started = false;
        // The answers are counted over the same whole cycles as the rest.
        const PollStretch stretch = measurePoll(panel.engine(), [&](int done, double) {
            if (!started) {
                started = true;
                answeredBefore = feed ? feed->answered() : 0;
            }
            const bool over = cycles > 0 ? done >= cycles : !until->running();
            if (over)
                run.answered = (feed ? feed->answered() : 0) - answeredBefore;
            return over;
        });
        if (!stretch.answered)
            std::fprintf(stderr, "the simulator stopped answering\n");
        run.seconds = stretch.seconds;
        run.cyclesPerSecond = stretch.cyclesPerSecond();
        run.user = stretch.cpu.user;
        run.system = stretch.cpu.system;
        run.wakeUps = stretch.cpu.wakeUps;
        return run;
    }

    // A monitoring client asking ten times a second, on one connection kept
    // open as Prometheus and txpanel-snmp keep theirs (or a new connection
    // for each request), on the panel's core or on the others.
    void startClientAtTenPerSecond(Child &client, double seconds, bool keepAlive, bool sameCore)
    {
        const QString script = QStringLiteral(
            "import http.client, sys, time\n"
            "port, seconds, keep = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3] == '1'\n"
            "end = time.monotonic() + seconds\n"
            "connection = None\n"
            "while time.monotonic() < end:\n"
            "    started = time.monotonic()\n"
            "    if connection is None:\n"
            "        connection = http.client.HTTPConnection('127.0.0.1', port, timeout=5)\n"
            "    connection.request('GET', '/status.json')\n"
            "    connection.getresponse().read()\n"
            "    if not keep:\n"
            "        connection.close()\n"
            "        connection = None\n"
            "    time.sleep(max(0.0, 0.1 - (time.monotonic() - started)))\n");
        client.start({QStringLiteral("python3"), QStringLiteral("-c"), script,
                      QString::number(feed->port()), QString::number(seconds),
                      keepAlive ? QStringLiteral("1") : QStringLiteral("0")},
                     work.filePath(QStringLiteral("client.out")),
                     sameCore || !haveOtherCores ? &panelCore : &otherCores);
    }

    // (d): 300 clients sending a byte every 2 s and 60 every 0.5 s, each
    // coming back at once when cut off, and a monitoring client asking for
    // /status.json four times a second on a new connection each time; it
    // prints what the client got.
    void startDribblers(Child &client, double seconds)
    {
        const QString script = QStringLiteral(
            "import asyncio, sys, time\n"
            "port, seconds = int(sys.argv[1]), float(sys.argv[2])\n"
            "end = time.monotonic() + seconds\n"
            "endless = b'GET /status.json HTTP/1.1\\r\\nHost: 127.0.0.1\\r\\nX-Pad: ' + b'a' * "
            "8000\n"
            "stats = {'comebacks': 0}\n"
            "async def dribbler(period):\n"
            "    while time.monotonic() < end:\n"
            "        try:\n"
            "            reader, writer = await asyncio.open_connection('127.0.0.1', port)\n"
            "            i = 0\n"
            "            while time.monotonic() < end and not reader.at_eof():\n"
            "                writer.write(endless[i % len(endless):i % len(endless) + 1])\n"
            "                i += 1\n"
            "                try:\n"
            "                    await asyncio.wait_for(reader.read(4096), period)\n"
            "                except asyncio.TimeoutError:\n"
            "                    pass\n"
            "            writer.close()\n"
            "        except OSError:\n"
            "            await asyncio.sleep(0.05)\n"
            "        stats['comebacks'] += 1\n"
            "async def ask():\n"
            "    started = time.monotonic()\n"
            "    try:\n"
            "        reader, writer = await asyncio.wait_for(\n"
            "            asyncio.open_connection('127.0.0.1', port), 1.0)\n"
            "        writer.write(b'GET /status.json HTTP/1.1\\r\\nHost: 127.0.0.1\\r\\n'\n"
            "                     b'Connection: close\\r\\n\\r\\n')\n"
            "        left = max(0.0, 1.0 - (time.monotonic() - started))\n"
            "        answer = await asyncio.wait_for(reader.read(), left)\n"
            "        writer.close()\n"
            "        return answer.startswith(b'HTTP/1.1 200 '), time.monotonic() - started\n"
            "    except (OSError, asyncio.TimeoutError):\n"
            "        return False, time.monotonic() - started\n"
            "async def monitor(results):\n"
            "    await asyncio.sleep(5)\n"
            "    while time.monotonic() < end - 1.5:\n"
            "        results.append(asyncio.ensure_future(ask()))\n"
            "        await asyncio.sleep(0.25)\n"
            "async def main():\n"
            "    results = []\n"
            "    tasks = [asyncio.ensure_future(dribbler(2.0)) for _ in range(300)]\n"
            "    tasks += [asyncio.ensure_future(dribbler(0.5)) for _ in range(60)]\n"
            "    await monitor(results)\n"
            "    answers = await asyncio.gather(*results)\n"
            "    await asyncio.gather(*tasks)\n"
            "    good = [t for ok, t in answers if ok]\n"
            "    slowest = max((t for ok, t in answers), default=0)\n"
            "    print(f'{len(good)} of {len(answers)} requests answered 200 within 1 s '\n"
            "          f'({100.0 * len(good) / max(1, len(answers)):.1f} %), the slowest in '\n"
            "          f'{slowest * 1000:.0f} ms; the dribblers came back {stats[\"comebacks\"]} "
            "times')\n"
            "asyncio.run(main())\n");
        client.start({QStringLiteral("python3"), QStringLiteral("-c"), script,
                      QString::number(feed->port()), QString::number(seconds)},
                     work.filePath(QStringLiteral("dribblers.out")),
                     haveOtherCores ? &otherCores : nullptr);
    }
};

void report(const char *what, const Bench::Run &run, const Bench::Run *baseline = nullptr)
{
    std::printf("%-48s %6.2f cycles/s = %5.1f %% of the line's %.2f", what, run.cyclesPerSecond,
                100.0 * run.cyclesPerSecond / LineBound, LineBound);
    if (baseline)
        std::printf(" (%5.1f %% of feed off)",
                    100.0 * run.cyclesPerSecond / baseline->cyclesPerSecond);
    std::printf("\n%-48s panel CPU %.2f %% of a core (user %.2f %%, system %.2f %%), "
                "%.1f wake-ups/s\n",
                "", 100.0 * (run.user + run.system) / run.seconds, 100.0 * run.user / run.seconds,
                100.0 * run.system / run.seconds, double(run.wakeUps) / run.seconds);
}
} // namespace

// "--minutes N": how many minutes the memory part runs (0: six floods in a row).
static int floodMinutes(const QStringList &arguments)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("--minutes"));
    return at >= 0 && at + 1 < arguments.size() ? std::max(0, arguments.at(at + 1).toInt()) : 0;
}

int main(int argc, char *argv[])
{
    // Each figure as soon as it is measured, also into a pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication app(argc, argv);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    // The port the power button takes.
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tx_Orvel"))
        .setValue(QStringLiteral("Startup/Comm"), QStringLiteral("1"));
    const bool haveWrk = !QStandardPaths::findExecutable(QStringLiteral("wrk")).isEmpty();
    const bool havePython = !QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty();

    auto bench = std::make_unique<Bench>();
    // The panel, and txsim started next, on the core this runs on now; the
    // clients on the others.
    CPU_ZERO(&bench->panelCore);
    const int here = sched_getcpu();
    CPU_SET(here, &bench->panelCore);
    cpu_set_t all;
    sched_getaffinity(0, sizeof all, &all);
    CPU_ZERO(&bench->otherCores);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (cpu != here && CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &bench->otherCores);
            bench->haveOtherCores = true;
        }
    }
    sched_setaffinity(0, sizeof bench->panelCore, &bench->panelCore);

    Child txsim;
    const QString simOut = bench->work.filePath(QStringLiteral("txsim.out"));
    txsim.start({QCoreApplication::applicationDirPath() + QStringLiteral("/../txsim"),
                 QStringLiteral("--pace"), QStringLiteral("--temperature"), QStringLiteral("150")},
                simOut, &bench->panelCore);
    QString device;
    for (int i = 0; i < 100 && device.isEmpty(); ++i) {
        usleep(50000);
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("DEVICE (\\S+)")).match(readFile(simOut));
        if (m.hasMatch())
            device = m.captured(1);
    }
    if (device.isEmpty()) {
        std::fprintf(stderr, "txsim did not start\n");
        return 1;
    }
    qputenv("TXPANEL_COM1", device.toLocal8Bit());
    // Connected and polling, as the power button leaves it: the feed then
    // serves every reading.
    PanelPower::on(bench->panel);

    constexpr int Cycles = 160; // ten seconds at the line's pace
    bench->poll(32);            // settled before the first figure
    const Bench::Run off = bench->poll(Cycles);
    report("feed off", off);
    bench->startFeed();
    if (!bench->feed->isListening()) {
        std::fprintf(stderr, "the feed did not start: %s\n", qPrintable(bench->feed->problem()));
        return 1;
    }
    report("(a) feed on, no client", bench->poll(Cycles), &off);
    {
        // What one answer costs to make, apart from the network.
        constexpr int Builds = 2000;
        const CpuTime before = CpuTime::now();
        qsizetype bytes = 0;
        for (int i = 0; i < Builds; ++i)
            bytes += FeedDocuments::statusJson(bench->feed->snapshot()).size();
        const CpuTime middle = CpuTime::now();
        for (int i = 0; i < Builds; ++i)
            bytes += FeedDocuments::metricsText(bench->feed->snapshot()).size();
        const CpuTime after = CpuTime::now();
        std::printf(
            "building one /status.json: %.1f us, one /metrics: %.1f us (%lld bytes in all)\n",
            (middle - before).total() / Builds * 1e6, (after - middle).total() / Builds * 1e6,
            static_cast<long long>(bytes));
    }
    if (havePython && !app.arguments().contains(QStringLiteral("--dribblers"))) {
        const struct
        {
            const char *what;
            bool keepAlive;
            bool sameCore;
        } clients[] = {
            {"(b) a client at 10/s, kept-alive, panel's core", true, true},
            {"(b) a client at 10/s, kept-alive, other core", true, false},
            {"(b) a client at 10/s, new connections, other core", false, false},
        };
        for (const auto &c : clients) {
            Child client;
            bench->startClientAtTenPerSecond(client, 30, c.keepAlive, c.sameCore);
            bench->poll(16); // past the client's start-up
            const Bench::Run run = bench->poll(Cycles);
            report(c.what, run, &off);
            std::printf("%-48s %.2f requests/s answered\n", "", run.answered / run.seconds);
        }
    } else if (!havePython) {
        std::printf("(b) skipped: no python3\n");
    }

    if (havePython) {
        Child dribblers;
        bench->startDribblers(dribblers, 35);
        const Bench::Run run = bench->poll(0, &dribblers);
        dribblers.stop();
        report("(d) 360 dribbling clients, a client at 4/s", run, &off);
        std::printf("%-48s %s", "",
                    qPrintable(readFile(bench->work.filePath(QStringLiteral("dribblers.out")))));
        if (app.arguments().contains(QStringLiteral("--dribblers")))
            return 0;
    } else {
        std::printf("(d) skipped: no python3\n");
    }

    if (!haveWrk) {
        std::printf("(c) and memory skipped: no wrk (Debian: wrk)\n");
        return 0;
    }
    const QStringList flood{QStringLiteral("wrk"),       QStringLiteral("-t1"),
                            QStringLiteral("-c64"),      QStringLiteral("-d10s"),
                            QStringLiteral("--timeout"), QStringLiteral("5s"),
                            bench->url("/status.json")};
    const QString wrkOut = bench->work.filePath(QStringLiteral("wrk.out"));
    Child wrk;
    wrk.start(flood, wrkOut, bench->haveOtherCores ? &bench->otherCores : nullptr);
    const Bench::Run run = bench->poll(0, &wrk);
    wrk.stop();
    report("(c) wrk flood, 64 connections, 10 s", run, &off);
    const QString said = readFile(wrkOut);
    const QRegularExpressionMatch rate =
        QRegularExpression(QStringLiteral("Requests/sec:\\s+([0-9.]+)")).match(said);
    const QRegularExpressionMatch non2xx =
        QRegularExpression(QStringLiteral("Non-2xx or 3xx responses:\\s+(\\d+)")).match(said);
    std::printf("%-44s %6.1f documents/s served; wrk saw %s requests/s, %s of them not 2xx\n", "",
                run.answered / run.seconds, rate.hasMatch() ? qPrintable(rate.captured(1)) : "?",
                non2xx.hasMatch() ? qPrintable(non2xx.captured(1)) : "none");

    // Memory: the flood again and again; the resident size after each.
    const QStringList shortFlood{QStringLiteral("wrk"),       QStringLiteral("-t1"),
                                 QStringLiteral("-c64"),      QStringLiteral("-d3s"),
                                 QStringLiteral("--timeout"), QStringLiteral("5s"),
                                 bench->url("/metrics")};
    // Quick by default: six floods one after the other. "--minutes N" spreads
    // N floods over N minutes of polling, one at the start of each minute,
    // for the long look at memory a station would see.
    const int minutes = floodMinutes(app.arguments());
    std::printf("memory: %ld KiB resident before the floods;", residentKiB());
    for (int round = 1; round <= (minutes > 0 ? minutes : 6); ++round) {
        QElapsedTimer minute;
        minute.start();
        Child again;
        again.start(shortFlood, wrkOut, bench->haveOtherCores ? &bench->otherCores : nullptr);
        bench->poll(0, &again);
        bench->poll(4); // the closed connections' deferred deletions run meanwhile
        while (minutes > 0 && minute.elapsed() < 60'000)
            bench->poll(4);
        std::printf(" %ld", residentKiB());
        std::fflush(stdout);
    }
    if (minutes > 0)
        std::printf(" KiB after each minute, each begun with a 3 s flood\n");
    else
        std::printf(" KiB after each of six 3 s floods\n");
    PanelPower::off(bench->panel);
    txsim.stop();
    return 0;
}
