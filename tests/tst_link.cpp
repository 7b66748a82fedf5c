// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// One command / reply exchange and one status cycle, over a real
// pseudo-terminal to the simulated transmitter.
#include "app/frmTerminale.h"
#include "link/Commands.h"
#include "link/LinkEngine.h"
#include "link/MSComm.h"
#include "link/TxReading.h"
#include "panel/LedDigit.h"
#include "panel/LedLamp.h"
#include "panel/PanelColors.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"
#include "panel/RibbonSwitch.h"
#include "settings/ProgramValues.h"
#include "sim/TxSimulator.h"
#include "support/LineBytes.h"
#include "support/PanelDriver.h"

#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSysInfo>
#include <QTimer>
#include <QtTest>

using namespace TxCommand;

class LinkTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void exchange_data();
    void exchange();
    void timeoutGivesEmptyAndStops();
    void closedPortAsksNothing();
    void lateReplyNeverCreditedToTheNextCommand();
    void endlessLineIsBounded();
    void unplugMidWait_data();
    void unplugMidWait();
    void reopeningAnOpenPort();
    void portThatCannotOpen_data();
    void portThatCannotOpen();
    void lockFilesLeftBehind_data();
    void lockFilesLeftBehind();
    void temperature_data();
    void temperature();
    void lockAndFrequencyQuestion_data();
    void lockAndFrequencyQuestion();
    void rfSwitch_data();
    void rfSwitch();
    void atoi_data();
    void atoi();
    void readingFromACycle();

private:
    // One exchange outside a connection, from its command to its end.
    struct Reply
    {
        QString text;
        bool lost = true;
        bool ended = false; // false: it never ended (or never started)
    };
    Reply ask(quint8 command);
    // One status cycle, from its first question to its reading.
    bool cycle();

    std::unique_ptr<PanelDriver> m_panel;
    std::unique_ptr<TxSimulator> m_sim;
    frmTerminale &w() { return m_panel->window(); }
    void connectPort() { QVERIFY(w().InitializeComPort(QStringLiteral("1"))); }
    // Reply time-outs in a few hundred milliseconds, for the tests about them
    // only; the others keep the full supervision a loaded machine never misses.
    void shortenSupervision() { w().tmrTimeOutComm->setInterval(300); }
};

void LinkTest::init()
{
    m_panel = std::make_unique<PanelDriver>();
    m_sim = std::make_unique<TxSimulator>();
    QVERIFY2(m_sim->start(), qPrintable(m_sim->lastError()));
    m_sim->setTemperature(150);
    PanelDriver::mapPort(1, m_sim->devicePath());
    m_panel->openWindow();
}

void LinkTest::cleanup()
{
    m_panel.reset();
    m_sim.reset();
}

LinkTest::Reply LinkTest::ask(quint8 command)
{
    QSignalSpy done(&w().engine(), &LinkEngine::exchangeCompleted);
    Reply reply;
    if (!w().fncCommandMicro(command))
        return reply;
    QElapsedTimer clock;
    clock.start();
    while (done.isEmpty() && clock.elapsed() < 30000)
        QTest::qWait(1);
    if (done.isEmpty())
        return reply;
    reply.text = done.at(0).at(1).toString();
    reply.lost = done.at(0).at(2).toBool();
    reply.ended = true;
    return reply;
}

bool LinkTest::cycle()
{
    QSignalSpy taken(&w().engine(), &LinkEngine::readingTaken);
    if (!w().ReadDataSerial())
        return false;
    QElapsedTimer clock;
    clock.start();
    while (taken.isEmpty() && clock.elapsed() < 30000)
        QTest::qWait(1);
    return !taken.isEmpty();
}

void LinkTest::exchange_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("pieces");
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<bool>("pacing");
    QTest::newRow("whole") << "V1.0" << 1 << QByteArray() << false;
    QTest::newRow("in pieces") << "V2.15 build 7" << 4 << QByteArray() << false;
    QTest::newRow("byte by byte, paced") << "V1.0" << 1 << QByteArray() << true;
    QTest::newRow("bytes after the carriage return") << "V1.0" << 1 << QByteArray("XY\r") << false;
    QTest::newRow("bare carriage return") << "" << 1 << QByteArray() << false;
}

void LinkTest::exchange()
{
    QFETCH(QString, firmware);
    QFETCH(int, pieces);
    QFETCH(QByteArray, extra);
    QFETCH(bool, pacing);
    m_sim->setFirmware(firmware);
    m_sim->setPieces(pieces, 15);
    m_sim->setExtraAfterReply(extra);
    m_sim->setPacing(pacing);
    connectPort();
    w().AbortComm = true; // a stop asked before the command is forgotten
    const Reply first = ask(CMD_READ_FIRMWARE);
    QVERIFY(first.ended && !first.lost);
    QCOMPARE(first.text, firmware);
    QVERIFY(!w().AbortComm);
    QVERIFY(!w().tmrTimeOutComm->isActive());
    // The next question gets its own answer, not what trailed the last one.
    QCOMPARE(ask(CMD_READ_FORWARD).text, QStringLiteral("12.5"));
    QCOMPARE(m_sim->received(), LineBytes::commands({CMD_READ_FIRMWARE, CMD_READ_FORWARD}));
}

void LinkTest::timeoutGivesEmptyAndStops()
{
    shortenSupervision();
    m_sim->setSilent(true);
    connectPort();
    QElapsedTimer clock;
    clock.start();
    const Reply reply = ask(CMD_READ_FIRMWARE);
    QVERIFY(reply.ended && reply.lost);
    QCOMPARE(reply.text, QString());
    QVERIFY(clock.elapsed() >= 250);
    QVERIFY(w().AbortComm);
    QVERIFY(!w().ReplyTimedOut);
    QVERIFY(!w().tmrTimeOutComm->isActive());
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral("No reply from TX"));
}

void LinkTest::closedPortAsksNothing()
{
    QSignalSpy done(&w().engine(), &LinkEngine::exchangeCompleted);
    QVERIFY(w().fncCommandMicro(CMD_READ_FORWARD));
    // Ended within the call, lost, without a byte or a wait.
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(1).toString(), QString());
    QVERIFY(done.at(0).at(2).toBool());
    QVERIFY(w().AbortComm);
    QVERIFY(!w().tmrTimeOutComm->isActive());
    QTest::qWait(20);
    QVERIFY(m_sim->received().isEmpty());
}

void LinkTest::lateReplyNeverCreditedToTheNextCommand()
{
    shortenSupervision();
    m_sim->setReplyDelayMs(500);
    connectPort();
    QVERIFY(ask(CMD_READ_FIRMWARE).lost); // times out at 300 ms
    QTest::qWait(300);                    // the late "V1.0" arrives now
    m_sim->setReplyDelayMs(0);
    QCOMPARE(ask(CMD_READ_FORWARD).text, QStringLiteral("12.5"));
    QVERIFY(!w().AbortComm);
}

void LinkTest::endlessLineIsBounded()
{
    m_sim->setNoiseBytes(5000);
    connectPort();
    const QString reply = ask(CMD_READ_FIRMWARE).text;
    QVERIFY(reply.endsWith(QStringLiteral("V1.0")));
    QVERIFY2(reply.size() <= 1024, qPrintable(QString::number(reply.size())));
}

void LinkTest::unplugMidWait_data()
{
    QTest::addColumn<int>("when"); // 0 before the write, 1 while silent, 2 mid-reply
    QTest::newRow("before the command") << 0;
    QTest::newRow("waiting for the reply") << 1;
    QTest::newRow("in the middle of the reply") << 2;
}

void LinkTest::unplugMidWait()
{
    QFETCH(int, when);
    connectPort();
    if (when == 0) {
        m_sim->unplug();
        QTest::qWait(20);
    } else if (when == 1) {
        m_sim->setSilent(true);
        QTimer::singleShot(50, m_sim.get(), &TxSimulator::unplug);
    } else {
        m_sim->setPieces(4, 100);
        QTimer::singleShot(150, m_sim.get(), &TxSimulator::unplug);
    }
    QElapsedTimer clock;
    clock.start();
    const Reply reply = ask(CMD_READ_FIRMWARE);
    QVERIFY(reply.ended && reply.lost);
    QCOMPARE(reply.text, QString());
    QVERIFY2(clock.elapsed() < 2000, "the exchange waited on a line that is gone");
    QVERIFY(w().AbortComm);
    QVERIFY(!w().tmrTimeOutComm->isActive());
    QVERIFY(!w().MSComm1->PortOpen());
    if (when > 0)
        QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral("No reply from TX"));
    const QString report = w().MSComm1->lastError();
    QVERIFY2(report.contains(m_sim->devicePath()), qPrintable(report));

    // The line stays closed with that one report; the CPU it costs meanwhile
    // is bench_unplug's figure.
    const QString label = w().lblCommunications(0)->text();
    QTest::qWait(300);
    QVERIFY(!w().MSComm1->PortOpen());
    QCOMPARE(w().MSComm1->lastError(), report);
    QCOMPARE(w().lblCommunications(0)->text(), label);
}

void LinkTest::reopeningAnOpenPort()
{
    connectPort();
    connectPort();
    QVERIFY(w().MSComm1->PortOpen());
    QCOMPARE(w().MSComm1->lineSettingsText(), QStringLiteral("4800,N,8,1"));
    QCOMPARE(ask(CMD_READ_FIRMWARE).text, QStringLiteral("V1.0"));
}

void LinkTest::portThatCannotOpen_data()
{
    QTest::addColumn<QVariant>("port");
    QTest::addColumn<QString>("reasonMentions");
    QTest::newRow("nothing stored") << QVariant(QString()) << "No serial port";
    QTest::newRow("not a number") << QVariant(QStringLiteral("abc")) << "abc";
    QTest::newRow("zero") << QVariant(QStringLiteral("0")) << "\"0\"";
    QTest::newRow("above 255") << QVariant(QStringLiteral("256")) << "256";
    QTest::newRow("missing device") << QVariant(QStringLiteral("3")) << "/nonexistent/ttyX";
    // Set but empty is not set: the port's usual device, not a device named "".
    QTest::newRow("empty TXPANEL_COM4") << QVariant(QStringLiteral("4")) << "/dev/ttyS3";
}

void LinkTest::portThatCannotOpen()
{
    QFETCH(QVariant, port);
    QFETCH(QString, reasonMentions);
    PanelDriver::mapPort(3, QStringLiteral("/nonexistent/ttyX"));
    PanelDriver::mapPort(4, QString());
    QVERIFY(!w().InitializeComPort(port));
    QVERIFY(!w().MSComm1->PortOpen());
    QVERIFY2(w().PortFailureReason.contains(reasonMentions), qPrintable(w().PortFailureReason));
}

void LinkTest::lockFilesLeftBehind_data()
{
    QTest::addColumn<bool>("holderRuns");
    QTest::addColumn<QString>("told");
    // Empty: the port opens.
    QTest::newRow("a lock of a process that has ended: removed, ON opens") << false << "";
    QTest::newRow("a lock of a running process: busy, naming it") << true << "busy: sleep (process";
}

void LinkTest::lockFilesLeftBehind()
{
    QFETCH(bool, holderRuns);
    QFETCH(QString, told);
    // A lock as Qt writes it: process id, program, host.
    QString name = QFileInfo(m_sim->devicePath()).canonicalFilePath().mid(5);
    const QString lockFile =
        QStringLiteral("/run/lock/LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (!QFileInfo(QStringLiteral("/run/lock")).isWritable())
        QSKIP("/run/lock is not writable here");
    QProcess holder;
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(holder.waitForStarted());
    const qint64 pid = holder.processId();
    if (!holderRuns) {
        holder.kill();
        QVERIFY(holder.waitForFinished());
    }
    {
        QFile lock(lockFile);
        QVERIFY(lock.open(QIODevice::WriteOnly | QIODevice::NewOnly));
        lock.write(
            QStringLiteral("%1\nsleep\n%2\n").arg(pid).arg(QSysInfo::machineHostName()).toLatin1());
    }
    // Whatever happens below, no lock of this test's is left behind.
    const auto removeLock = qScopeGuard([&] {
        QFile::remove(lockFile);
        holder.kill();
        holder.waitForFinished();
    });

    if (told.isEmpty()) {
        QVERIFY2(w().InitializeComPort(QStringLiteral("1")), qPrintable(w().MSComm1->lastError()));
        w().MSComm1->setPortOpen(false);
        QVERIFY(!QFileInfo::exists(lockFile));
        return;
    }
    QVERIFY(!w().InitializeComPort(QStringLiteral("1")));
    const QString said = w().MSComm1->lastError();
    QVERIFY2(said.contains(told) && said.contains(QString::number(pid)), qPrintable(said));
    QVERIFY(QFileInfo::exists(lockFile));
}

void LinkTest::temperature_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("lamp");
    QTest::newRow("176 alarms") << 176 << "72" << int(PanelColor::BrightRed);
    QTest::newRow("175 does not") << 175 << "70" << int(PanelColor::DarkRed);
    QTest::newRow("130") << 130 << "-20" << int(PanelColor::DarkRed);
    QTest::newRow("000") << 0 << "-280" << int(PanelColor::DarkRed);
    QTest::newRow("999") << 999 << "1718" << int(PanelColor::BrightRed);
}

void LinkTest::temperature()
{
    QFETCH(int, raw);
    m_sim->setTemperature(raw);
    connectPort();
    // The lamp starts the other way, so the cycle has to set it.
    w().ledTemp->setLampColor(raw > 175 ? PanelColor::DarkRed : PanelColor::BrightRed);
    QVERIFY(cycle());
    QTEST(w().lblTemp->text(), "shown");
    QTEST(w().ledTemp->LampColor(), "lamp");
    QCOMPARE(w().lblDirDigital(0)->text(), QStringLiteral("12.5"));
    QCOMPARE(w().lblRefDigital(0)->text(), QStringLiteral("0.3"));
    QVERIFY(w().ReplyText.isEmpty());
}

void LinkTest::lockAndFrequencyQuestion_data()
{
    QTest::addColumn<bool>("locked");
    QTest::addColumn<bool>("displayEnabled");
    QTest::addColumn<QByteArray>("asked");
    // Without the frequency question: the cycle asks all but that.
    const QByteArray noFrequency =
        LineBytes::commands({CMD_READ_FORWARD, CMD_READ_REFLECTED, CMD_READ_TEMPERATURE,
                             CMD_READ_LOCK, CMD_READ_RF_STATUS});
    QTest::newRow("locked, display follows") << true << true << LineBytes::statusCycle();
    QTest::newRow("not locked") << false << true << noFrequency;
    QTest::newRow("keypad owns the digits") << true << false << noFrequency;
}

void LinkTest::lockAndFrequencyQuestion()
{
    QFETCH(bool, locked);
    QFETCH(bool, displayEnabled);
    m_sim->setLocked(locked);
    m_sim->setFrequencyKHz(98500);
    connectPort();
    w().setDisplayEnabled(displayEnabled);
    QVERIFY(cycle());
    QTEST(m_sim->received(), "asked");
    QCOMPARE(w().ledLock->LampColor(), locked ? PanelColor::BrightRed : PanelColor::DarkRed);
    if (locked && displayEnabled) {
        QCOMPARE(w().ledDigit(2)->DigitValue(), 9);
        QCOMPARE(w().ledDigit(3)->DigitValue(), 8);
        QCOMPARE(w().ledDigit(4)->DigitValue(), 5);
    } else {
        QCOMPARE(w().ledDigit(2)->DigitValue(), 0);
    }
    QCOMPARE(w().ledRfInhibit->LampColor(), int(PanelColor::DarkYellow));
}

void LinkTest::rfSwitch_data()
{
    QTest::addColumn<bool>("onAir");
    QTest::addColumn<char>("command");
    QTest::addColumn<int>("lamp");
    QTest::newRow("off the air: RF on") << false << char(CMD_RF_ON) << int(PanelColor::Yellow);
    QTest::newRow("on the air: RF off") << true << char(CMD_RF_OFF) << int(PanelColor::DarkYellow);
}

void LinkTest::rfSwitch()
{
    QFETCH(bool, onAir);
    QFETCH(char, command);
    m_sim->setOnAir(onAir);
    // A press counts only while the poll runs.
    Comm = QStringLiteral("1");
    w().cmdPower_Click();
    QVERIFY(m_panel->waitForState(ConnectionState::Polling));
    w().ssRfSwitch->setPressed(true);
    QTRY_VERIFY(m_sim->received().contains(command));
    QTRY_COMPARE(m_sim->onAir(), !onAir);
    QTRY_VERIFY(!w().ssRfSwitch->Pressed());
    QTEST(w().ledRfInhibit->LampColor(), "lamp");
    // The next cycles ask nothing more of the switch.
    m_sim->clearReceived();
    QSignalSpy taken(&w().engine(), &LinkEngine::readingTaken);
    QTRY_VERIFY(taken.count() >= 2);
    QVERIFY(!m_sim->received().contains(command));
    QVERIFY(m_panel->disconnectAndWait());
}

void LinkTest::atoi_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("123") << "123" << 123;
    QTest::newRow("45.6") << "45.6" << 45;
    QTest::newRow("1234") << "1234" << 123;
    QTest::newRow("blank then 12") << " 12" << 12;
    QTest::newRow("point first") << ".5" << 0;
    QTest::newRow("0.5") << "0.5" << 0;
    QTest::newRow("ab9") << "ab9" << 9;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("one character") << "7" << 7;
    QTest::newRow("two characters") << "42" << 42;
    QTest::newRow("NUL and high bytes") << QString::fromLatin1("\x00\xff"
                                                               "5",
                                                               3)
                                        << 5;
}

void LinkTest::atoi()
{
    QFETCH(QString, text);
    QTEST(int(w().Atoi(text)), "value");
}

void LinkTest::readingFromACycle()
{
    // What the feed and the record get of one cycle: the same as the panel shows.
    m_sim->setForwardPower(QStringLiteral("12.5"));
    m_sim->setReflectedPower(QStringLiteral("--"));
    m_sim->setTemperature(176);
    m_sim->setFrequencyKHz(98500);
    m_sim->setOnAir(true);
    connectPort();
    QSignalSpy taken(&w().engine(), &LinkEngine::readingTaken);
    const qint64 before = TxReading::nowMs();
    QVERIFY(cycle());
    QCOMPARE(taken.count(), 1);
    const auto reading = taken.at(0).at(0).value<TxReading>();
    QCOMPARE(reading.forwardW.value, std::optional<double>(12.5));
    QCOMPARE(reading.forwardW.text, w().lblDirDigital(0)->text());
    QVERIFY(!reading.reflectedW.value); // "--" is shown, but is no number
    QCOMPARE(reading.reflectedW.text, QStringLiteral("--"));
    QVERIFY(reading.reflectedW.present());
    QCOMPARE(reading.temperatureC.value, std::optional<qint16>(72));
    QCOMPARE(reading.temperatureAlarm.value, std::optional<bool>(true));
    QCOMPARE(reading.locked.value, std::optional<bool>(true));
    QCOMPARE(reading.frequencyKHz.value, std::optional<qint32>(98500));
    QCOMPARE(reading.frequencyKHz.text, QStringLiteral("098.500 MHz"));
    QCOMPARE(reading.onAir.value, std::optional<bool>(true));
    QVERIFY(reading.forwardW.readAtMs >= before);
    QVERIFY(reading.onAir.readAtMs >= reading.forwardW.readAtMs);
    QCOMPARE(w().statusCycles(), quint64(1));
}

QTEST_MAIN(LinkTest)
#include "tst_link.moc"
