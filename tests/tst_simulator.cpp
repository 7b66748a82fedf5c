// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/Commands.h"
#include "link/MSComm.h"
#include "sim/LineReader.h"
#include "sim/LiveCommands.h"
#include "sim/TxSimulator.h"
#include "support/LineBytes.h"
#include "support/RawTerminal.h"
#include "support/SimProcess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/ioctl.h>
#include <termios.h>

#include <memory>
#include <optional>

using namespace TxCommand;
using LineBytes::commands;
using LineBytes::programming;

namespace {
// The device's settings as the terminal driver holds them, read through a
// descriptor this process has open on it (the panel's port, or the
// simulator's own end).
std::optional<termios> lineAttributes(const QString &device)
{
    for (int fd = 0; fd < 1024; ++fd) {
        const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
        termios tio{};
        if (QFileInfo(path).symLinkTarget() == device && ::tcgetattr(fd, &tio) == 0)
            return tio;
    }
    return std::nullopt;
}

// Every setting a live command can change, as "name=value".
QStringList stateOf(const TxSimulator &sim)
{
    const auto is = [](const char *name, const auto &value) {
        return QLatin1String(name) + QLatin1Char('=') + QVariant(value).toString();
    };
    return {is("plugged", sim.isPlugged()),
            is("answering", sim.isAnswering()),
            is("lock", sim.isLocked()),
            is("rf", sim.onAir()),
            is("frequency", sim.frequencyKHz()),
            is("temperature", sim.temperature()),
            is("drift", sim.temperatureDrifts()),
            is("forward", sim.forwardPower()),
            is("reflected", sim.reflectedPower()),
            is("firmware", sim.firmware()),
            is("delay", sim.replyDelayMs()),
            is("wrongEcho", sim.wrongEcho()),
            is("noise", sim.noiseBytes())};
}

QString apply(const char *line, TxSimulator &sim)
{
    return LiveCommands::apply(QString::fromUtf8(line), sim).text;
}
} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void replies_data();
    void replies();
    void unknownByteGetsNoReply();
    void receivedKeepsEveryByte();
    void programmingTakesSixDigitsAfterStart();
    void programmingRejected_data();
    void programmingRejected();
    void wrongEchoShowsOnTheLine();
    void rfOnAndOff();
    void lineFaults_data();
    void lineFaults();
    void pacingTakesLineTime();
    void reopenDropsStaleReply();
    void unplugClosesPortWithOneReport();
    void unplugAfterExchanges();
    void openFailures_data();
    void openFailures();
    void settings_data();
    void settings();
    void settingsReachOpenPort();
    void deviceNames();

    void liveCommands_data();
    void liveCommands();
    void helpListsTheCommands();
    void answersAgain_data();
    void answersAgain();
    void lineReader_data();
    void lineReader();
    void processTakesCommandsLive();
    void processUnplugAndPlug();
    void processServesWithoutInput_data();
    void processServesWithoutInput();

private:
    QByteArray line();
    void send(const QByteArray &bytes) { m_comm->Output(bytes); }

    std::unique_ptr<TxSimulator> m_sim;
    std::unique_ptr<MSComm> m_comm;
    QByteArray m_got;
};

void TestSimulator::init()
{
    m_sim = std::make_unique<TxSimulator>();
    QVERIFY2(m_sim->start(), qPrintable(m_sim->lastError()));
    qputenv("TXPANEL_COM1", m_sim->devicePath().toLocal8Bit());
    m_comm = std::make_unique<MSComm>();
    m_comm->setCommPort(1);
    QVERIFY2(m_comm->setPortOpen(true), qPrintable(m_comm->lastError()));
    m_got.clear();
}

void TestSimulator::cleanup()
{
    m_comm.reset();
    m_sim.reset();
    qunsetenv("TXPANEL_COM1");
}

QByteArray TestSimulator::line()
{
    m_got += m_comm->Input().toLatin1();
    return m_got;
}

void TestSimulator::replies_data()
{
    QTest::addColumn<quint8>("command");
    QTest::addColumn<bool>("unlocked");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("forward") << CMD_READ_FORWARD << false << QByteArray("12.5\r");
    QTest::newRow("reflected") << CMD_READ_REFLECTED << false << QByteArray("0.3\r");
    QTest::newRow("firmware") << CMD_READ_FIRMWARE << false << QByteArray("V1.0\r");
    QTest::newRow("temperature") << CMD_READ_TEMPERATURE << false << QByteArray("150\r");
    QTest::newRow("locked") << CMD_READ_LOCK << false << QByteArray("9\r");
    QTest::newRow("unlocked") << CMD_READ_LOCK << true << QByteArray("0\r");
    QTest::newRow("frequency") << CMD_READ_FREQUENCY << false << QByteArray("107900\r");
    QTest::newRow("rf status off") << CMD_READ_RF_STATUS << false << QByteArray("0\r");
    QTest::newRow("start programming") << CMD_SET_FREQUENCY << false << QByteArray("OK\r");
}

void TestSimulator::replies()
{
    QFETCH(quint8, command);
    QFETCH(bool, unlocked);
    QFETCH(QByteArray, reply);
    m_sim->setTemperature(150);
    m_sim->setLocked(!unlocked);
    send(QByteArray(1, char(command)));
    QTRY_COMPARE(line(), reply);
    QCOMPARE(m_sim->exchanges(), 1);
}

void TestSimulator::unknownByteGetsNoReply()
{
    send(QByteArray("\x63\x00\x0d", 3)); // no command among them
    send(commands({CMD_READ_FIRMWARE}));
    QTRY_COMPARE(line(), QByteArray("V1.0\r"));
    QTest::qWait(50);
    QCOMPARE(line(), QByteArray("V1.0\r"));
}

void TestSimulator::receivedKeepsEveryByte()
{
    // The record a watcher keeps from the signal must match received(), bytes
    // with no reply included, and must not wait for the paced line to take them.
    m_sim->setPacing(true);
    QSignalSpy arrivals(m_sim.get(), &TxSimulator::arrived);
    QList<int> exchangesAtArrival;
    QObject watcher;
    connect(m_sim.get(), &TxSimulator::arrived, &watcher,
            [&] { exchangesAtArrival.append(m_sim->exchanges()); });
    const auto arrivedSoFar = [&arrivals] {
        QByteArray all;
        for (const QList<QVariant> &arrival : arrivals)
            all += arrival.at(0).toByteArray();
        return all;
    };
    // 0x63 is no command; the programming is cut short by a question.
    const QByteArray sent =
        commands({CMD_READ_FORWARD, 0x63}) + programming("12") + commands({CMD_READ_FREQUENCY});
    send(sent);
    QTRY_COMPARE(arrivedSoFar(), sent);
    QCOMPARE(exchangesAtArrival, QList<int>(exchangesAtArrival.size(), 0));
    QTRY_COMPARE(m_sim->received(), sent);
    m_sim->clearReceived();
    send(commands({CMD_READ_REFLECTED}));
    QTRY_COMPARE(m_sim->received(), commands({CMD_READ_REFLECTED}));
    QTRY_COMPARE(arrivedSoFar(), sent + commands({CMD_READ_REFLECTED}));
}

void TestSimulator::programmingTakesSixDigitsAfterStart()
{
    m_sim->setFrequencyKHz(88000);
    send(programming("107900"));
    QTRY_COMPARE(line(), QByteArray("OK\r1\r0\r7\r9\r0\r\r"));
    QCOMPARE(m_sim->frequencyKHz(), 107900);
    send(commands({CMD_READ_FREQUENCY}));
    QTRY_COMPARE(line(), QByteArray("OK\r1\r0\r7\r9\r0\r\r107900\r"));
}

void TestSimulator::programmingRejected_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("digits without start") << QByteArray("107900") << QByteArray();
    QTest::newRow("command inside digits")
        << programming("107") + commands({CMD_READ_FIRMWARE}) + "900"
        << QByteArray("OK\r1\r0\r7\rV1.0\r");
    QTest::newRow("unknown byte inside digits")
        << programming("10x7900") << QByteArray("OK\r1\r0\r");
    QTest::newRow("five digits then a read")
        << programming("10790") + commands({CMD_READ_FREQUENCY})
        << QByteArray("OK\r1\r0\r7\r9\r0\r088000\r");
}

void TestSimulator::programmingRejected()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, reply);
    m_sim->setFrequencyKHz(88000);
    send(sent);
    QTRY_COMPARE(m_sim->received(), sent);
    QTRY_COMPARE(line(), reply);
    QTest::qWait(30);
    QCOMPARE(line(), reply);
    QCOMPARE(m_sim->frequencyKHz(), 88000);
}

void TestSimulator::wrongEchoShowsOnTheLine()
{
    m_sim->setWrongEcho(true);
    send(programming("107900"));
    QTRY_COMPARE(line(), QByteArray("OK\r1\r0\r8\r9\r0\r\r"));
    QVERIFY(m_sim->frequencyKHz() != 107900);
}

void TestSimulator::rfOnAndOff()
{
    send(commands({CMD_RF_ON, CMD_READ_RF_STATUS}));
    QTRY_COMPARE(line(), QByteArray("9\r9\r"));
    QVERIFY(m_sim->onAir());
    send(commands({CMD_RF_OFF, CMD_READ_RF_STATUS}));
    QTRY_COMPARE(line(), QByteArray("9\r9\r0\r0\r"));
    QVERIFY(!m_sim->onAir());
}

void TestSimulator::lineFaults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("minMs");
    QTest::newRow("silent") << QStringLiteral("silent") << QByteArray() << 0;
    QTest::newRow("silent after one") << QStringLiteral("silentAfter") << QByteArray("V1.0\r") << 0;
    QTest::newRow("delay") << QStringLiteral("delay") << QByteArray("V1.0\rV1.0\r") << 80;
    QTest::newRow("pieces") << QStringLiteral("pieces") << QByteArray("V1.0\rV1.0\r") << 100;
    QTest::newRow("extra") << QStringLiteral("extra") << QByteArray("V1.0\rXYV1.0\rXY") << 0;
}

void TestSimulator::lineFaults()
{
    QFETCH(QString, fault);
    QFETCH(QByteArray, reply);
    QFETCH(int, minMs);
    if (fault == QLatin1String("silent"))
        m_sim->setSilent(true);
    else if (fault == QLatin1String("silentAfter"))
        m_sim->setSilentAfter(1);
    else if (fault == QLatin1String("delay"))
        m_sim->setReplyDelayMs(40);
    else if (fault == QLatin1String("pieces"))
        m_sim->setPieces(2, 50);
    else if (fault == QLatin1String("extra"))
        m_sim->setExtraAfterReply("XY");

    QElapsedTimer clock;
    clock.start();
    send(commands({CMD_READ_FIRMWARE, CMD_READ_FIRMWARE}));
    QTRY_COMPARE(m_sim->received(), commands({CMD_READ_FIRMWARE, CMD_READ_FIRMWARE}));
    QTRY_COMPARE(line(), reply);
    QVERIFY2(clock.elapsed() >= minMs, qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(60);
    QCOMPARE(line(), reply);
}

void TestSimulator::pacingTakesLineTime()
{
    m_sim->setPacing(true);
    m_sim->setFirmware(QStringLiteral("123456789"));
    QElapsedTimer clock;
    clock.start();
    send(commands({CMD_READ_FIRMWARE}));
    QTRY_COMPARE(line(), QByteArray("123456789\r"));
    // One command byte in and ten out, each ten bits at 4800 baud.
    QVERIFY2(clock.elapsed() >= 20, qPrintable(QString::number(clock.elapsed())));
}

void TestSimulator::reopenDropsStaleReply()
{
    // The reply arrives while nobody has the port open and waits in the device.
    send(commands({CMD_READ_FIRMWARE}));
    QVERIFY(m_comm->setPortOpen(false));
    // The command was on the line before the close.
    QTRY_COMPARE(m_sim->received(), commands({CMD_READ_FIRMWARE}));
    QTRY_COMPARE(m_sim->exchanges(), 1);
    QVERIFY(m_comm->setPortOpen(true));
    send(commands({CMD_READ_FORWARD}));
    QTRY_COMPARE(line(), QByteArray("12.5\r"));

    QVERIFY(m_comm->setPortOpen(false));
    QVERIFY(!m_comm->PortOpen());
    QVERIFY(m_comm->setPortOpen(true));
    send(commands({CMD_READ_REFLECTED}));
    QTRY_COMPARE(line(), QByteArray("12.5\r0.3\r"));
}

void TestSimulator::unplugClosesPortWithOneReport()
{
    m_sim->unplug();
    QTRY_VERIFY(!m_comm->PortOpen());
    const QString report = m_comm->lastError();
    QVERIFY2(report.contains(m_sim->devicePath()), qPrintable(report));

    // The port stays closed with that one report; what the error storm Qt
    // raises on a dead pseudo-terminal would cost is bench_unplug's figure.
    QTest::qWait(300);
    QVERIFY(!m_comm->PortOpen());
    QCOMPARE(m_comm->lastError(), report);
    // Opening the same path again is not checked: the system hands a freed
    // pseudo-terminal number to the next program that asks, such as another
    // test running alongside.
}

void TestSimulator::unplugAfterExchanges()
{
    m_sim->setUnplugAfter(2);
    send(commands({CMD_READ_FORWARD, CMD_READ_REFLECTED, CMD_READ_FIRMWARE}));
    QTRY_VERIFY(!m_comm->PortOpen());
    QVERIFY2(m_comm->lastError().contains(m_sim->devicePath()), qPrintable(m_comm->lastError()));
    QCOMPARE(m_sim->exchanges(), 2);
    QVERIFY(!m_sim->isPlugged());

    // Started again, it stays: the cable was pulled once.
    QVERIFY2(m_sim->start(), qPrintable(m_sim->lastError()));
    qputenv("TXPANEL_COM1", m_sim->devicePath().toLocal8Bit());
    QVERIFY2(m_comm->setPortOpen(true), qPrintable(m_comm->lastError()));
    m_got.clear();
    send(commands({CMD_READ_FORWARD, CMD_READ_REFLECTED, CMD_READ_FIRMWARE}));
    QTRY_COMPARE(line(), QByteArray("12.5\r0.3\rV1.0\r"));
    QVERIFY(m_sim->isPlugged());
}

void TestSimulator::openFailures_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("missing device")
        << 1 << QByteArray("/nonexistent") << QStringLiteral("/nonexistent");
    QTest::newRow("port zero") << 0 << QByteArray() << QStringLiteral("0");
    QTest::newRow("port 256") << 256 << QByteArray() << QStringLiteral("256");
}

void TestSimulator::openFailures()
{
    QFETCH(int, port);
    QFETCH(QByteArray, device);
    QFETCH(QString, mentions);
    qputenv("TXPANEL_COM" + QByteArray::number(port),
            device.isEmpty() ? m_sim->devicePath().toLocal8Bit() : device);
    MSComm comm;
    comm.setCommPort(qint16(port));
    QVERIFY(!comm.setPortOpen(true));
    QVERIFY(!comm.PortOpen());
    QVERIFY2(comm.lastError().contains(mentions), qPrintable(comm.lastError()));
    QVERIFY(!comm.lastErrorWasPermission());
    qunsetenv("TXPANEL_COM" + QByteArray::number(port));
}

void TestSimulator::settings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("shown");
    QTest::newRow("usual") << QStringLiteral("4800,N,8,1") << true << QStringLiteral("4800,N,8,1");
    QTest::newRow("even two stop")
        << QStringLiteral("9600,E,7,2") << true << QStringLiteral("9600,E,7,2");
    QTest::newRow("lower case odd")
        << QStringLiteral("1200,o,8,1.5") << true << QStringLiteral("1200,O,8,1.5");
    QTest::newRow("mark") << QStringLiteral("2400,M,8,1") << true << QStringLiteral("2400,M,8,1");
    QTest::newRow("space") << QStringLiteral("2400,S,8,1") << true << QStringLiteral("2400,S,8,1");
    QTest::newRow("bad parity") << QStringLiteral("4800,X,8,1") << false
                                << QStringLiteral("4800,N,8,1");
    QTest::newRow("nine bits") << QStringLiteral("4800,N,9,1") << false
                               << QStringLiteral("4800,N,8,1");
    QTest::newRow("three stop") << QStringLiteral("4800,N,8,3") << false
                                << QStringLiteral("4800,N,8,1");
    QTest::newRow("missing field")
        << QStringLiteral("4800,N,8") << false << QStringLiteral("4800,N,8,1");
    QTest::newRow("words") << QStringLiteral("fast,N,8,1") << false << QStringLiteral("4800,N,8,1");
}

void TestSimulator::settings()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(QString, shown);
    MSComm comm;
    QCOMPARE(comm.setSettings(text), accepted);
    QCOMPARE(comm.lineSettingsText(), shown);
}

void TestSimulator::settingsReachOpenPort()
{
    QVERIFY(m_comm->setSettings(QStringLiteral("9600,N,8,2")));
    std::optional<termios> tio = lineAttributes(m_sim->devicePath());
    QVERIFY(tio);
    QCOMPARE(::cfgetospeed(&*tio), speed_t(B9600));
    QCOMPARE(::cfgetispeed(&*tio), speed_t(B9600));
    QVERIFY(tio->c_cflag & CSTOPB);

    // A pseudo-terminal refuses parity and seven bits; the line must survive that.
    QVERIFY(m_comm->setSettings(QStringLiteral("4800,E,7,1")));
    QCOMPARE(m_comm->lineSettingsText(), QStringLiteral("4800,E,7,1"));
    QVERIFY(m_comm->PortOpen());
    tio = lineAttributes(m_sim->devicePath());
    QVERIFY(tio);
    QCOMPARE(::cfgetospeed(&*tio), speed_t(B4800));
    QVERIFY(!(tio->c_cflag & CSTOPB));
    send(commands({CMD_READ_FIRMWARE}));
    QTRY_COMPARE(line(), QByteArray("V1.0\r"));
    QVERIFY(m_comm->PortOpen());
}

void TestSimulator::deviceNames()
{
    qputenv("TXPANEL_COM7", "/dev/ttyUSB0");
    QCOMPARE(MSComm::deviceNameFor(7), QStringLiteral("/dev/ttyUSB0"));
    qunsetenv("TXPANEL_COM7");
#ifdef Q_OS_WIN
    QCOMPARE(MSComm::deviceNameFor(3), QStringLiteral("COM3"));
#else
    QCOMPARE(MSComm::deviceNameFor(3), QStringLiteral("/dev/ttyS2"));
#endif
}

void TestSimulator::liveCommands_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("changed"); // from a fresh simulator's state
    const auto row = [](const char *name, const char *setup, const char *line, const char *reply,
                        const char *changed = "") {
        QTest::newRow(name) << QString::fromUtf8(setup) << QString::fromUtf8(line)
                            << QString::fromUtf8(reply)
                            << QString::fromUtf8(changed).split(QLatin1Char(';'),
                                                                Qt::SkipEmptyParts);
    };
    row("lock off", "", "lock off", "OK lock off", "lock=false");
    row("lock on again", "lock off", "lock on", "OK lock on");
    row("any case, extra blanks", "", " \tLOCK   Off  ", "OK lock off", "lock=false");
    row("carriage return", "", "rf on\r", "OK rf on", "rf=true");
    row("on-off missing", "", "lock", "ERROR lock: missing on or off");
    row("on-off wrong", "", "rf off now", "ERROR rf: expected on or off, got \"off now\"");
    row("temperature", "", "temperature 0180", "OK temperature 180", "temperature=180;drift=false");
    row("temperature missing", "", "temperature",
        "ERROR temperature: missing N, a whole number from 0 to 999");
    for (const char *bad : {"hot", "-5", "1000", "17.5", "+7", "0x10", "150 160"}) {
        const QByteArray line = QByteArray("temperature ") + bad;
        const QByteArray error =
            "ERROR temperature: N must be a whole number from 0 to 999, got \"" + QByteArray(bad) +
            '"';
        row(line.constData(), "", line.constData(), error.constData());
    }
    row("drift on again", "temperature 170", "drift on", "OK drift on", "temperature=170");
    row("text keeps inner blanks", "", "forward   1 .2  ", "OK forward 1 .2", "forward=1 .2");
    row("text in latin-1", "", "firmware V2\xc3\x9f", "OK firmware V2\xc3\x9f",
        "firmware=V2\xc3\x9f");
    row("reflected", "", "reflected 9", "OK reflected 9", "reflected=9");
    row("text missing", "", "forward", "ERROR forward: missing TEXT");
    row("text beyond latin-1", "", "firmware \xe2\x82\xac",
        "ERROR firmware: TEXT must be printable Latin-1 characters, got \"\xe2\x82\xac\"");
    row("text with a control byte", "", "firmware a\x01z",
        "ERROR firmware: TEXT must be printable Latin-1 characters, got \"a?z\"");
    row("frequency", "", "frequency 88000", "OK frequency 88000", "frequency=88000");
    row("frequency in MHz", "", "frequency 107.9",
        "ERROR frequency: KHZ must be a whole number from 0 to 999999, got \"107.9\"");
    row("silent", "", "silent", "OK silent", "answering=false");
    row("answer again", "silent", "answer", "OK answer");
    row("no argument expected", "", "silent now", "ERROR silent: takes no argument, got \"now\"");
    row("delay", "", "delay 250", "OK delay 250", "delay=250");
    row("wrong echo", "", "wrong-echo on", "OK wrong-echo on", "wrongEcho=true");
    row("noise", "", "noise 3", "OK noise 3", "noise=3");
    row("unplugged already", "", "unplug", "ERROR unplug: the line is already unplugged");
    row("status", "lock off", "status",
        "OK status unplugged, answering, lock off, rf off, frequency 107900, temperature 150 "
        "drifting, forward 12.5, reflected 0.3, firmware V1.0, delay 0, wrong-echo off, "
        "noise 0, exchanges 0",
        "lock=false");
    row("unknown", "", "frobnicate 3",
        "ERROR unknown command \"frobnicate\" (help lists the commands)");
    row("blank line", "", " \t ", "");
    row("quit", "", "quit", "OK quit");
}

void TestSimulator::liveCommands()
{
    QFETCH(QString, setup);
    QFETCH(QString, line);
    QFETCH(QString, reply);
    QFETCH(QStringList, changed);
    TxSimulator sim; // never started: no pseudo-terminal
    QStringList expected = stateOf(sim);
    for (const QString &change : changed) {
        const QString name = change.section(QLatin1Char('='), 0, 0) + QLatin1Char('=');
        for (QString &entry : expected) {
            if (entry.startsWith(name))
                entry = change;
        }
    }
    if (!setup.isEmpty())
        QVERIFY(LiveCommands::apply(setup, sim).text.startsWith(QLatin1String("OK ")));
    const LiveCommands::Reply got = LiveCommands::apply(line, sim);
    QCOMPARE(got.text, reply);
    QCOMPARE(got.quit, line == QLatin1String("quit"));
    QCOMPARE(stateOf(sim), expected);
}

void TestSimulator::helpListsTheCommands()
{
    TxSimulator sim;
    const QString help = LiveCommands::help();
    QCOMPARE(apply("help", sim), help + QStringLiteral("\nOK help"));
    QVERIFY(help.contains(QStringLiteral("\n  plug ")));
    QProcess txsim;
    txsim.start(SimProcess::program(), {QStringLiteral("--help")});
    QVERIFY(txsim.waitForFinished());
    QVERIFY(txsim.readAllStandardOutput().contains(help.toUtf8()));
}

void TestSimulator::answersAgain_data()
{
    QTest::addColumn<bool>("afterOne");
    QTest::addColumn<QByteArray>("beforeAnswer");
    QTest::newRow("silent") << false << QByteArray();
    QTest::newRow("silent after one") << true << QByteArray("V1.0\r");
}

void TestSimulator::answersAgain()
{
    QFETCH(bool, afterOne);
    QFETCH(QByteArray, beforeAnswer);
    if (afterOne)
        m_sim->setSilentAfter(1);
    else
        m_sim->setSilent(true);
    send(commands({CMD_READ_FIRMWARE, CMD_READ_FIRMWARE}));
    QTRY_COMPARE(m_sim->received(), commands({CMD_READ_FIRMWARE, CMD_READ_FIRMWARE}));
    QVERIFY(!m_sim->isAnswering());
    m_sim->setSilent(false);
    send(commands({CMD_READ_FORWARD}));
    QTRY_COMPARE(line(), beforeAnswer + "12.5\r");
}

void TestSimulator::lineReader_data()
{
    QTest::addColumn<QByteArrayList>("writes");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<int>("tooLong");
    const QByteArray longest(LineReader::MaxLineLength, 'x');
    QTest::newRow("split across reads") << QByteArrayList{"lo", "ck o", "ff\r", "\nrf on\n"}
                                        << QByteArrayList{"lock off", "rf on"} << 0;
    QTest::newRow("several in one read, blank ones")
        << QByteArrayList{"a\n\nb\r\nc\n"} << QByteArrayList{"a", "", "b", "c"} << 0;
    QTest::newRow("last line unended")
        << QByteArrayList{"rf on\nquit"} << QByteArrayList{"rf on", "quit"} << 0;
    QTest::newRow("longest kept") << QByteArrayList{longest + "\r\n"} << QByteArrayList{longest}
                                  << 0;
    QTest::newRow("too long in one read")
        << QByteArrayList{longest + "x\nrf on\n"} << QByteArrayList{"rf on"} << 1;
    QTest::newRow("too long across reads")
        << QByteArrayList{longest, longest, "x\nrf on\n"} << QByteArrayList{"rf on"} << 1;
    QTest::newRow("too long unended") << QByteArrayList{longest, "xx"} << QByteArrayList{} << 1;
    QTest::newRow("nothing") << QByteArrayList{} << QByteArrayList{} << 0;
}

void TestSimulator::lineReader()
{
    QFETCH(QByteArrayList, writes);
    QFETCH(QByteArrayList, lines);
    QFETCH(int, tooLong);
    int fds[2];
    QVERIFY(::pipe(fds) == 0);
    const auto closeBoth = qScopeGuard([&fds] {
        ::close(fds[0]);
        if (fds[1] >= 0)
            ::close(fds[1]);
    });
    const auto unread = [&fds] {
        int bytes = -1;
        ::ioctl(fds[0], FIONREAD, &bytes);
        return bytes;
    };
    LineReader reader(fds[0]);
    QSignalSpy read(&reader, &LineReader::lineRead);
    QSignalSpy dropped(&reader, &LineReader::lineTooLong);
    QSignalSpy finished(&reader, &LineReader::finished);
    for (const QByteArray &bytes : writes) {
        QCOMPARE(::write(fds[1], bytes.constData(), size_t(bytes.size())), bytes.size());
        // Taken in before the next write, so each write is a read of its own.
        QTRY_COMPARE(unread(), 0);
    }
    QVERIFY(!reader.atEnd());
    ::close(std::exchange(fds[1], -1));
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(reader.atEnd());
    QByteArrayList got;
    for (const QList<QVariant> &signal : read)
        got.append(signal.at(0).toByteArray());
    QCOMPARE(got, lines);
    QCOMPARE(dropped.count(), tooLong);
}

void TestSimulator::processTakesCommandsLive()
{
    QTemporaryDir dir;
    const QString record = dir.filePath(QStringLiteral("record"));
    SimProcess txsim;
    QVERIFY(txsim.start({QStringLiteral("--record"), record}));
    RawTerminal line(txsim.device());
    QVERIFY(line.isOpen());
    QCOMPARE(line.ask(commands({CMD_READ_LOCK})), QByteArray("9\r"));
    QCOMPARE(txsim.command(QStringLiteral("lock off")), QStringLiteral("OK lock off"));
    QCOMPARE(line.ask(commands({CMD_READ_LOCK})), QByteArray("0\r"));
    QVERIFY(txsim.command(QStringLiteral("lock sideways")).startsWith(QLatin1String("ERROR ")));
    QCOMPARE(line.ask(commands({CMD_READ_LOCK})), QByteArray("0\r"));

    QCOMPARE(txsim.command(QStringLiteral("silent")), QStringLiteral("OK silent"));
    QVERIFY(line.write(commands({CMD_READ_TEMPERATURE})));
    // Answering again only once the question is in, or it would be answered late.
    const auto recorded = [&record] {
        QFile file(record);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QTRY_COMPARE(recorded(), QByteArray("8\n8\n8\n7\n"));
    QCOMPARE(txsim.command(QStringLiteral("answer")), QStringLiteral("OK answer"));
    // Replies come in order: the silent question's would have come first.
    QCOMPARE(line.ask(commands({CMD_READ_FIRMWARE})), QByteArray("V1.0\r"));

    QCOMPARE(txsim.command(QStringLiteral("quit")), QStringLiteral("OK quit"));
    QTRY_COMPARE(txsim.process().state(), QProcess::NotRunning);
    QVERIFY(txsim.stop());
}

void TestSimulator::processUnplugAndPlug()
{
    SimProcess txsim;
    QVERIFY(txsim.start());
    RawTerminal before(txsim.device());
    QVERIFY(before.isOpen());
    QCOMPARE(txsim.command(QStringLiteral("frequency 88000")),
             QStringLiteral("OK frequency 88000"));
    QCOMPARE(txsim.command(QStringLiteral("unplug")), QStringLiteral("OK unplug"));
    QTRY_VERIFY(before.hungUp());

    QVERIFY(txsim.command(QStringLiteral("plug")).startsWith(QLatin1String("DEVICE /dev/")));
    QCOMPARE(txsim.nextLine(), QStringLiteral("OK plug"));
    QCOMPARE(txsim.command(QStringLiteral("plug")),
             QStringLiteral("ERROR plug: the line is already plugged in, on ") + txsim.device());
    RawTerminal after(txsim.device());
    QVERIFY(after.isOpen());
    QCOMPARE(after.ask(commands({CMD_READ_FREQUENCY})), QByteArray("088000\r"));
    QVERIFY(txsim.stop());
}

void TestSimulator::processServesWithoutInput_data()
{
    QTest::addColumn<bool>("nullDevice");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("lock");
    QTest::newRow("null device") << true << QByteArray() << QByteArray("9\r");
    QTest::newRow("closed after a command")
        << false << QByteArray("lock off\n") << QByteArray("0\r");
    QTest::newRow("closed in mid-line") << false << QByteArray("lock off") << QByteArray("0\r");
}

void TestSimulator::processServesWithoutInput()
{
    QFETCH(bool, nullDevice);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, lock);
    SimProcess txsim;
    QVERIFY(txsim.start({}, nullDevice));
    if (!nullDevice) {
        txsim.process().write(sent);
        txsim.process().closeWriteChannel();
        QCOMPARE(txsim.nextLine(), QStringLiteral("OK lock off"));
    }
    RawTerminal line(txsim.device());
    QVERIFY(line.isOpen());
    for (int i = 0; i < 3; ++i)
        QCOMPARE(line.ask(commands({CMD_READ_LOCK})), lock);
    QVERIFY(txsim.stop());
    // The end of the input is no command: nothing more was printed.
    QCOMPARE(txsim.linesPrinted(), nullDevice ? 1 : 2);
}

QTEST_MAIN(TestSimulator)
#include "tst_simulator.moc"
