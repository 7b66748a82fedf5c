// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The link engine on its own, without a window, against the simulated
// transmitter: the order of the bytes on the line, the supervision, a stop
// honoured after the exchange in flight, a programming finished before the
// end, and two engines driving two transmitters in one process.
#include "link/Commands.h"
#include "link/LinkEngine.h"
#include "link/MSComm.h"
#include "sim/TxSimulator.h"
#include "support/LineBytes.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace TxCommand;

namespace {
LinkLine lineTo(const TxSimulator &sim)
{
    return {QStringLiteral("1"), QStringLiteral("COM1"), sim.devicePath(), QString()};
}

bool running(const LinkEngine &engine)
{
    return engine.state() == ConnectionState::Connecting ||
           engine.state() == ConnectionState::Polling;
}
} // namespace

class EngineTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void aConnectionInOrder();
    void silenceEndsItWithinTheSupervision();
    void eachCommandHasItsWholeSupervision_data();
    void eachCommandHasItsWholeSupervision();
    void stopAfterTheExchangeInFlight_data();
    void stopAfterTheExchangeInFlight();
    void programmingFinishedBeforeTheEnd_data();
    void programmingFinishedBeforeTheEnd();
    void oneExchangeAtATime();
    void twoEnginesTwoTransmitters();
    void twoNamesForOneDeviceLockEachOtherOut();
    void resumeOnAKernelNameIsToldOnce_data();
    void resumeOnAKernelNameIsToldOnce();

private:
    std::unique_ptr<TxSimulator> m_sim;
    std::unique_ptr<LinkEngine> m_engine;
};

void EngineTest::init()
{
    m_sim = std::make_unique<TxSimulator>();
    QVERIFY2(m_sim->start(), qPrintable(m_sim->lastError()));
    m_sim->setFrequencyKHz(98500);
    m_engine = std::make_unique<LinkEngine>();
    m_engine->setLine(lineTo(*m_sim));
}

void EngineTest::cleanup()
{
    m_engine.reset();
    m_sim.reset();
}

void EngineTest::aConnectionInOrder()
{
    QSignalSpy programmed(m_engine.get(), &LinkEngine::frequencyProgrammed);
    m_engine->powerOn();
    QCOMPARE(m_engine->state(), ConnectionState::Connecting);
    QTRY_VERIFY(m_engine->statusCycles() >= 2);
    // Asked between two cycles: served after the cycle running, whole.
    QVERIFY(m_engine->requestProgramming(QStringLiteral("10790")));
    QTRY_COMPARE(programmed.count(), 1);
    const quint64 after = m_engine->statusCycles();
    QTRY_VERIFY(m_engine->statusCycles() >= after + 1);
    m_engine->stop();
    QTRY_COMPARE(m_engine->state(), ConnectionState::Ended);

    const QByteArray line = m_sim->received();
    const qsizetype programming = line.indexOf(char(CMD_SET_FREQUENCY));
    QCOMPARE(line.left(programming), QByteArray(1, char(CMD_READ_FIRMWARE)) +
                                         LineBytes::statusCycle().repeated((programming - 1) / 6));
    QCOMPARE(line.mid(programming, 7), LineBytes::programming("107900"));
    QVERIFY(line.mid(programming + 7).startsWith(LineBytes::statusCycle()));
    QCOMPARE(m_sim->frequencyKHz(), 107900);
    QCOMPARE(programmed.at(0).at(2).toBool(), true);
}

void EngineTest::silenceEndsItWithinTheSupervision()
{
    m_engine->supervisionTimer().setInterval(300);
    QSignalSpy ended(m_engine.get(), &LinkEngine::connectionEnded);
    m_sim->setSilentAfter(20);
    m_engine->powerOn();
    QTRY_COMPARE(ended.count(), 1);
    QCOMPARE(ended.at(0).at(0).toString(), QStringLiteral("the transmitter stopped answering"));
    QCOMPARE(m_engine->state(), ConnectionState::Ended);
    // Nothing more is asked of a transmitter that has stopped answering.
    const QByteArray line = m_sim->received();
    QTest::qWait(500);
    QCOMPARE(m_sim->received(), line);
    QCOMPARE(line.size(), 21);
}

void EngineTest::eachCommandHasItsWholeSupervision_data()
{
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("lost");
    QTest::newRow("slow, within the supervision") << 250 << false;
    QTest::newRow("slower than the supervision") << 900 << true;
}

void EngineTest::eachCommandHasItsWholeSupervision()
{
    // After a second of quick replies, one slow reply: it is measured from
    // its own command, not from one long before it.
    QFETCH(int, delayMs);
    QFETCH(bool, lost);
    m_engine->supervisionTimer().setInterval(400);
    QSignalSpy ended(m_engine.get(), &LinkEngine::connectionEnded);
    m_engine->powerOn();
    QTest::qWait(1000);
    m_sim->setReplyDelayMs(delayMs);
    const quint64 cycles = m_engine->statusCycles();
    QTRY_VERIFY_WITH_TIMEOUT(m_engine->statusCycles() >= cycles + 2 || !ended.isEmpty(), 20000);
    QCOMPARE(ended.count(), lost ? 1 : 0);
    m_engine->powerOff();
    QVERIFY(!m_engine->supervisionTimer().isActive());
    QCOMPARE(m_engine->supervisionTimer().interval(), 400);
}

void EngineTest::stopAfterTheExchangeInFlight_data()
{
    QTest::addColumn<char>("during");
    QTest::newRow("forward") << char(CMD_READ_FORWARD);
    QTest::newRow("reflected") << char(CMD_READ_REFLECTED);
    QTest::newRow("temperature") << char(CMD_READ_TEMPERATURE);
    QTest::newRow("lock") << char(CMD_READ_LOCK);
    QTest::newRow("frequency") << char(CMD_READ_FREQUENCY);
    QTest::newRow("on air") << char(CMD_READ_RF_STATUS);
}

void EngineTest::stopAfterTheExchangeInFlight()
{
    QFETCH(char, during);
    m_sim->setReplyDelayMs(30);
    QSignalSpy completed(m_engine.get(), &LinkEngine::exchangeCompleted);
    // DISCONNECT as the question reaches the transmitter, in the second cycle.
    int seen = 0;
    connect(m_sim.get(), &TxSimulator::arrived, this, [&](const QByteArray &bytes) {
        if (bytes.contains(during) && ++seen == 2)
            m_engine->stop();
    });
    m_engine->powerOn();
    QTRY_COMPARE(m_engine->state(), ConnectionState::Ended);
    // Its reply was taken, and not one question followed it.
    QVERIFY(m_sim->received().endsWith(during));
    QCOMPARE(completed.constLast().at(0).value<quint8>(), quint8(during));
    QVERIFY(!completed.constLast().at(2).toBool());
    QCOMPARE(m_engine->statusCycles(), quint64(1));
}

void EngineTest::programmingFinishedBeforeTheEnd_data()
{
    QTest::addColumn<bool>("shutDown");
    QTest::newRow("DISCONNECT") << false;
    QTest::newRow("the program's end") << true;
}

void EngineTest::programmingFinishedBeforeTheEnd()
{
    QFETCH(bool, shutDown);
    m_sim->setReplyDelayMs(20);
    QSignalSpy done(m_engine.get(), &LinkEngine::shutDownComplete);
    connect(m_sim.get(), &TxSimulator::arrived, this, [&](const QByteArray &bytes) {
        if (!bytes.contains(char(CMD_SET_FREQUENCY)))
            return;
        if (shutDown)
            m_engine->shutDown();
        else
            m_engine->stop();
    });
    m_engine->powerOn();
    QTRY_VERIFY(m_engine->statusCycles() >= 1);
    QVERIFY(m_engine->requestProgramming(QStringLiteral("09180")));
    if (shutDown) {
        QTRY_COMPARE(done.count(), 1);
        QVERIFY(!m_engine->port()->PortOpen());
    } else {
        QTRY_COMPARE(m_engine->state(), ConnectionState::Ended);
    }
    QVERIFY(m_sim->received().endsWith(LineBytes::programming("091800")));
    QCOMPARE(m_sim->frequencyKHz(), 91800);
    if (!shutDown)
        return;
    // Once shut down, nothing the operator does reaches the line.
    const QByteArray line = m_sim->received();
    m_engine->powerOn();
    QVERIFY(!m_engine->exchange(CMD_READ_FORWARD));
    QTest::qWait(100);
    QCOMPARE(m_sim->received(), line);
}

void EngineTest::oneExchangeAtATime()
{
    QVERIFY(m_engine->openLine());
    QVERIFY(m_engine->exchange(CMD_READ_FIRMWARE));
    // A second caller while the reply is on its way is turned away.
    QVERIFY(!m_engine->exchange(CMD_READ_FORWARD));
    QVERIFY(!m_engine->statusCycle());
    QTRY_VERIFY(!m_engine->busy());
    QCOMPARE(m_sim->received(), LineBytes::commands({CMD_READ_FIRMWARE}));
    // Outside the band the engine was given, no programming starts.
    m_engine->setBand(BandLimits::fromStored(QVariant(QStringLiteral("108000")),
                                             QVariant(QStringLiteral("87500"))));
    QVERIFY(!m_engine->program(QStringLiteral("11000")));
    QVERIFY(!m_engine->program(QStringLiteral("1079")));
    QCOMPARE(m_sim->received(), LineBytes::commands({CMD_READ_FIRMWARE}));
}

void EngineTest::twoEnginesTwoTransmitters()
{
    TxSimulator other;
    QVERIFY2(other.start(), qPrintable(other.lastError()));
    other.setFirmware(QStringLiteral("V2.0"));
    LinkEngine second;
    second.setLine(lineTo(other));
    m_engine->powerOn();
    second.powerOn();
    QTRY_VERIFY(m_engine->statusCycles() >= 3 && second.statusCycles() >= 3);
    QCOMPARE(m_engine->firmware(), QStringLiteral("V1.0"));
    QCOMPARE(second.firmware(), QStringLiteral("V2.0"));
    // A programming on one line goes to its transmitter only.
    QVERIFY(second.requestProgramming(QStringLiteral("10010")));
    QTRY_COMPARE(other.frequencyKHz(), 100100);
    QCOMPARE(m_sim->frequencyKHz(), 98500);
    QVERIFY(!m_sim->received().contains(char(CMD_SET_FREQUENCY)));
    // One stops, the other polls on.
    m_engine->stop();
    QTRY_COMPARE(m_engine->state(), ConnectionState::Ended);
    const quint64 cycles = second.statusCycles();
    QTRY_VERIFY(second.statusCycles() >= cycles + 3);
    QVERIFY(running(second));
}

void EngineTest::twoNamesForOneDeviceLockEachOtherOut()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("by-id-transmitter"));
    QVERIFY(QFile::link(m_sim->devicePath(), link));
    m_engine->setLine({QStringLiteral("1"), QStringLiteral("COM1"), link, QString()});
    QVERIFY(m_engine->openLine());
    LinkEngine second;
    second.setLine(lineTo(*m_sim));
    QVERIFY(!second.openLine());
    QVERIFY2(second.portFailure().contains(QLatin1String("busy")),
             qPrintable(second.portFailure()));
}

void EngineTest::resumeOnAKernelNameIsToldOnce_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("told");
    QTest::newRow("a kernel name") << "/dev/ttyUSB97" << 1;
    QTest::newRow("a name that stays with the adapter")
        << "/dev/serial/by-id/usb-txpanel-test-if00" << 0;
}

void EngineTest::resumeOnAKernelNameIsToldOnce()
{
    QFETCH(QString, device);
    m_engine->setResume(true);
    m_engine->setLine({QStringLiteral("1"), QStringLiteral("COM1"), device, QString()});
    QSignalSpy notices(m_engine.get(), &LinkEngine::lineNotice);
    for (int power = 0; power < 2; ++power) {
        m_engine->powerOn();
        QCOMPARE(m_engine->state(), ConnectionState::Resuming);
        m_engine->powerOff();
    }
    QTEST(int(notices.count()), "told");
}

QTEST_GUILESS_MAIN(EngineTest)
#include "tst_engine.moc"
