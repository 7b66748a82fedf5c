#include "link/MSComm.h"
#include "sim/TxSimulator.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <sys/resource.h>

#include <memory>

namespace {
qint64 cpuTimeUs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL + usage.ru_utime.tv_usec +
           usage.ru_stime.tv_usec;
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
    void unplugFailsPortOnceAndQuietly();
    void unplugAfterExchanges();
    void openFailures_data();
    void openFailures();
    void settings_data();
    void settings();
    void settingsReachOpenPort();
    void deviceNames();
    void answersAgain_data();
    void answersAgain();

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
    QTest::newRow("forward") << quint8(4) << false << QByteArray("12.5\r");
    QTest::newRow("reflected") << quint8(5) << false << QByteArray("0.3\r");
    QTest::newRow("firmware") << quint8(6) << false << QByteArray("V1.0\r");
    QTest::newRow("temperature") << quint8(7) << false << QByteArray("150\r");
    QTest::newRow("locked") << quint8(8) << false << QByteArray("9\r");
    QTest::newRow("unlocked") << quint8(8) << true << QByteArray("0\r");
    QTest::newRow("frequency") << quint8(9) << false << QByteArray("107900\r");
    QTest::newRow("rf status off") << quint8(10) << false << QByteArray("0\r");
    QTest::newRow("start programming") << quint8(14) << false << QByteArray("OK\r");
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
    send(QByteArray("\x63\x00\x0d", 3));
    send(QByteArray(1, '\x06'));
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
    const QByteArray sent("\x04\x63\x0e"
                          "12\x09",
                          6);
    send(sent);
    QTRY_COMPARE(arrivedSoFar(), sent);
    QCOMPARE(exchangesAtArrival, QList<int>(exchangesAtArrival.size(), 0));
    QTRY_COMPARE(m_sim->received(), sent);
    m_sim->clearReceived();
    send(QByteArray(1, '\x05'));
    QTRY_COMPARE(m_sim->received(), QByteArray(1, '\x05'));
    QTRY_COMPARE(arrivedSoFar(), sent + '\x05');
}

void TestSimulator::programmingTakesSixDigitsAfterStart()
{
    m_sim->setFrequencyKHz(88000);
    send(QByteArray("\x0e"
                    "107900"));
    QTRY_COMPARE(line(), QByteArray("OK\r1\r0\r7\r9\r0\r\r"));
    QCOMPARE(m_sim->frequencyKHz(), 107900);
    send(QByteArray(1, '\x09'));
    QTRY_COMPARE(line(), QByteArray("OK\r1\r0\r7\r9\r0\r\r107900\r"));
}

void TestSimulator::programmingRejected_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("digits without start") << QByteArray("107900") << QByteArray();
    QTest::newRow("command inside digits") << QByteArray("\x0e"
                                                         "107\x06"
                                                         "900")
                                           << QByteArray("OK\r1\r0\r7\rV1.0\r");
    QTest::newRow("unknown byte inside digits") << QByteArray("\x0e"
                                                              "10x7900")
                                                << QByteArray("OK\r1\r0\r");
    QTest::newRow("five digits then a read") << QByteArray("\x0e"
                                                           "10790\x09")
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
    send(QByteArray("\x0e"
                    "107900"));
    QTRY_COMPARE(line(), QByteArray("OK\r1\r0\r8\r9\r0\r\r"));
    QVERIFY(m_sim->frequencyKHz() != 107900);
}

void TestSimulator::rfOnAndOff()
{
    send(QByteArray("\x0b\x0a"));
    QTRY_COMPARE(line(), QByteArray("9\r9\r"));
    QVERIFY(m_sim->onAir());
    send(QByteArray("\x0c\x0a"));
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
    send(QByteArray(2, '\x06'));
    QTRY_COMPARE(m_sim->received(), QByteArray(2, '\x06'));
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
    send(QByteArray(1, '\x06'));
    QTRY_COMPARE(line(), QByteArray("123456789\r"));
    // One command byte in and ten out, each ten bits at 4800 baud.
    QVERIFY2(clock.elapsed() >= 20, qPrintable(QString::number(clock.elapsed())));
}

void TestSimulator::reopenDropsStaleReply()
{
    // The reply arrives while nobody has the port open and waits in the device.
    send(QByteArray(1, '\x06'));
    QVERIFY(m_comm->serialPort()->flush());
    QVERIFY(m_comm->setPortOpen(false));
    QTRY_COMPARE(m_sim->exchanges(), 1);
    QVERIFY(m_comm->setPortOpen(true));
    send(QByteArray(1, '\x04'));
    QTRY_COMPARE(line(), QByteArray("12.5\r"));

    QVERIFY(m_comm->setPortOpen(false));
    QVERIFY(!m_comm->PortOpen());
    QVERIFY(m_comm->setPortOpen(true));
    send(QByteArray(1, '\x05'));
    QTRY_COMPARE(line(), QByteArray("12.5\r0.3\r"));
}

void TestSimulator::unplugFailsPortOnceAndQuietly()
{
    QSignalSpy failed(m_comm.get(), &MSComm::portFailed);
    m_sim->unplug();
    QTRY_COMPARE(failed.count(), 1);
    QVERIFY(!m_comm->PortOpen());
    QVERIFY(failed.at(0).at(0).toString().contains(m_sim->devicePath()));

    const qint64 cpuBefore = cpuTimeUs();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(1000);
    const qint64 cpuUs = cpuTimeUs() - cpuBefore;
    QVERIFY2(cpuUs < wall.elapsed() * 1000 / 20, qPrintable(QString::number(cpuUs)));
    QCOMPARE(failed.count(), 1);
    // Opening the same path again is not checked: the system hands a freed
    // pseudo-terminal number to the next program that asks, such as another
    // test running alongside.
}

void TestSimulator::unplugAfterExchanges()
{
    QSignalSpy failed(m_comm.get(), &MSComm::portFailed);
    m_sim->setUnplugAfter(2);
    send(QByteArray("\x04\x05\x06"));
    QTRY_COMPARE(failed.count(), 1);
    QCOMPARE(m_sim->exchanges(), 2);
    QVERIFY(!m_sim->isPlugged());

    // Started again, it stays: the cable was pulled once.
    QVERIFY2(m_sim->start(), qPrintable(m_sim->lastError()));
    qputenv("TXPANEL_COM1", m_sim->devicePath().toLocal8Bit());
    QVERIFY2(m_comm->setPortOpen(true), qPrintable(m_comm->lastError()));
    m_got.clear();
    send(QByteArray("\x04\x05\x06"));
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
    QSerialPort *port = m_comm->serialPort();
    QCOMPARE(port->baudRate(), 9600);
    QCOMPARE(port->stopBits(), QSerialPort::TwoStop);

    // A pseudo-terminal refuses parity and seven bits; the line must survive that.
    QSignalSpy failed(m_comm.get(), &MSComm::portFailed);
    QVERIFY(m_comm->setSettings(QStringLiteral("4800,E,7,1")));
    QCOMPARE(m_comm->lineSettingsText(), QStringLiteral("4800,E,7,1"));
    QVERIFY(m_comm->PortOpen());
    send(QByteArray(1, '\x06'));
    QTRY_COMPARE(line(), QByteArray("V1.0\r"));
    QCOMPARE(failed.count(), 0);
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
    send(QByteArray(2, '\x06'));
    QTRY_COMPARE(m_sim->received(), QByteArray(2, '\x06'));
    QVERIFY(!m_sim->isAnswering());
    m_sim->setSilent(false);
    send(QByteArray(1, '\x04'));
    QTRY_COMPARE(line(), beforeAnswer + "12.5\r");
}

QTEST_MAIN(TestSimulator)
#include "tst_simulator.moc"
