// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The power button end to end against the simulated transmitter: connecting,
// live status, disconnecting, a silent or vanished line, a port that cannot be
// opened, programming a frequency, and the connection clock.
#include "app/frmTerminale.h"
#include "link/Commands.h"
#include "link/LinkEngine.h"
#include "link/MSComm.h"
#include "panel/Key3D.h"
#include "panel/KeypadKeys.h"
#include "panel/LedDigit.h"
#include "panel/LedLamp.h"
#include "panel/PanelColors.h"
#include "panel/PanelStatusBar.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"
#include "panel/RibbonSwitch.h"
#include "panel/ShapeWidget.h"
#include "sim/TxSimulator.h"
#include "support/LineBytes.h"
#include "support/PanelDriver.h"

#include <QApplication>
#include <QMessageBox>
#include <QtTest>

using namespace TxCommand;

class ConnectionTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void noTransmitter();
    void connectWatchDisconnectPowerOff();
    void lineFailsMidConnection_data();
    void lineFailsMidConnection();
    void portThatCannotOpen();
    void programmingAFrequency();
    void wrongEchoStopsTheProgramming();
    void disconnectDuringProgrammingIsKept();
    void pendingRequestDroppedAtTheEnd();
    void sendDuringProgrammingIsServedAfterIt();
    void frequencyReplyDuringEntryKeepsTheTypedDigit();
    void powerCycleWithdrawsAnOpenEntry();
    void clock_data();
    void clock();
    void labelTimerEndsWithTheConnection_data();
    void labelTimerEndsWithTheConnection();
    void programmingLostWithTheLine_data();
    void programmingLostWithTheLine();
    void keypadInertOutsideThePoll_data();
    void keypadInertOutsideThePoll();
    void entryOpenAtTheEndIsClosed_data();
    void entryOpenAtTheEndIsClosed();
    void portFailureAfterAConnection();
    void lostTemperatureReplyKeepsTheAlarm();
    void connectionStateFollowsThePowerSequence();
    void rfPressOutsideTheConnectionSendsNothing_data();
    void rfPressOutsideTheConnectionSendsNothing();
    void pollGoesOnUnderAnOpenBox_data();
    void pollGoesOnUnderAnOpenBox();
    void secondPanelOnThePortIsToldBusy();
    void firmwareControlBytesShowAsQuestionMarks();
    void connectAtStart_data();
    void connectAtStart();

private:
    // Status cycles the simulated line has carried (one on-air question each).
    int cyclesOnTheLine() const { return int(m_sim->received().count(char(CMD_READ_RF_STATUS))); }
    // Reply time-outs in a few hundred milliseconds, for the tests about them
    // only; the others keep the full supervision a loaded machine never misses.
    void shortenSupervision() { w().tmrTimeOutComm->setInterval(300); }
    // The ten seconds SEND is offered, for the test that waits for the
    // display to follow the transmitter again.
    void shortenSendWindow() { w().tmrPausa->setInterval(300); }
    PanelDriver &panel() { return *m_panel; }
    frmTerminale &w() { return m_panel->window(); }
    std::unique_ptr<PanelDriver> m_panel;
    std::unique_ptr<TxSimulator> m_sim;
};

void ConnectionTest::init()
{
    m_panel = std::make_unique<PanelDriver>();
    panel().store(QStringLiteral("Comm"), QStringLiteral("1"));
    m_sim = std::make_unique<TxSimulator>();
    QVERIFY2(m_sim->start(), qPrintable(m_sim->lastError()));
    m_sim->setFrequencyKHz(98500);
    PanelDriver::mapPort(1, m_sim->devicePath());
    panel().openWindow();
    // No test may poll until CTest gives up on it: past this, the connection
    // is ended and the test fails.
    panel().endConnectionAfter(90000);
}

void ConnectionTest::cleanup()
{
    const bool missed = panel().deadlineMissed();
    m_panel.reset();
    m_sim.reset();
    QVERIFY2(!missed, "the connection did not end within 90 s and was ended by the test");
}

void ConnectionTest::noTransmitter()
{
    shortenSupervision();
    m_sim->setSilent(true);
    w().cmdPower_Click();
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral("COMMUNICATIONS IN PROGRESS"));
    QVERIFY(!w().cmdPower->isEnabled());
    QVERIFY(panel().waitForTheEnd());

    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" NO REPLY FROM MICRO "));
    QCOMPARE(w().cmdPower->text(), QStringLiteral("ON"));
    QVERIFY(w().cmdPower->isEnabled());
    QVERIFY(!w().PowerOn);
    QVERIFY(!w().MSComm1->PortOpen());
    QCOMPARE(w().sbrStatus->panelText(4), QStringLiteral("Firmware: "));
    // No Turn_Off on this path: the panel keeps its lit look.
    QCOMPARE(w().lblCommunications(0)->BackColor(), int(PanelColor::Yellow));
    QCOMPARE(w().ledDigit(1)->ForeColor(), int(PanelColor::BrightRed));
    QVERIFY(!w().timer1->isActive());
    QCOMPARE(m_sim->received(), LineBytes::commands({CMD_READ_FIRMWARE}));
}

void ConnectionTest::connectWatchDisconnectPowerOff()
{
    m_sim->setTemperature(176);
    m_sim->setOnAir(true);
    w().cmdPower_Click();
    QTRY_COMPARE(w().sbrStatus->panelText(4), QStringLiteral("Firmware: V1.0"));
    QVERIFY(w().cmdDisconnect->isEnabled());
    QVERIFY(!w().cmdPower->isEnabled());
    QVERIFY(w().timer1->isActive());
    const QImage connectedPicture = w().sbrStatus->panelPicture(1);
    QVERIFY(!connectedPicture.isNull());
    QTRY_COMPARE(w().ledRfInhibit->LampColor(), int(PanelColor::Yellow));
    QCOMPARE(w().lblDirDigital(0)->text(), QStringLiteral("12.5"));
    QCOMPARE(w().lblTemp->text(), QStringLiteral("72"));
    QCOMPARE(w().ledTemp->LampColor(), int(PanelColor::BrightRed));
    QCOMPARE(w().ledLock->LampColor(), int(PanelColor::BrightRed));
    QTRY_COMPARE(panel().digitsShown(), QStringLiteral("09850"));
    QVERIFY(panel().disconnectAndWait());

    // Ended: every element of the end of a connection.
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" DISCONNECTED "));
    QCOMPARE(w().sbrStatus->panelText(4), QStringLiteral("Firmware: "));
    QCOMPARE(w().lblDirDigital(0)->text(), QStringLiteral("0"));
    QCOMPARE(w().lblRefDigital(0)->text(), QStringLiteral("0"));
    QCOMPARE(w().lblTemp->text(), QStringLiteral("0"));
    QCOMPARE(w().ledLock->LampColor(), int(PanelColor::DarkRed));
    QCOMPARE(w().ledRfInhibit->LampColor(), int(PanelColor::DarkYellow));
    QCOMPARE(w().ledTemp->LampColor(), int(PanelColor::BrightRed)); // the alarm lamp is not reset
    QVERIFY(w().sbrStatus->panelPicture(1) != connectedPicture);
    QVERIFY(w().sbrStatus->panelText(5).startsWith(QStringLiteral("Time of Connection: 00:00:")));
    QVERIFY(!w().timer1->isActive());
    QVERIFY(w().cmdPower->isEnabled());
    QCOMPARE(w().cmdPower->text(), QStringLiteral("OFF"));
    QVERIFY(w().PowerOn);
    QVERIFY(w().MSComm1->PortOpen());
    QVERIFY(w().cmdDisconnect->isEnabled());
    // The first exchange of a connection is the firmware question.
    QCOMPARE(m_sim->received().left(7), LineBytes::connectionOpening());

    w().cmdDisconnect_Click(); // a second DISCONNECT in the ended state does nothing visible
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" DISCONNECTED "));

    w().cmdPower_Click();
    QCOMPARE(w().cmdPower->text(), QStringLiteral("ON"));
    QVERIFY(!w().PowerOn);
    QVERIFY(!w().MSComm1->PortOpen());
    QCOMPARE(w().sbrStatus->panelText(5), QStringLiteral("Time of Connection: "));
    QCOMPARE(w().lblCommunications(0)->text(), QString());
    for (ReadoutLabel *label :
         {w().lblTemp, w().lblCommunications(0), w().lblDirDigital(0), w().lblRefDigital(0)}) {
        QCOMPARE(label->BackColor(), int(PanelColor::Olive));
        QCOMPARE(label->text(), QString());
    }
    for (int i = 1; i <= 6; ++i) {
        QCOMPARE(w().ledDigit(i)->ForeColor(), int(PanelColor::DarkRed));
        QCOMPARE(w().ledDigit(i)->DigitValue(), 0);
    }
    QCOMPARE(w().shpPunto->BackColor(), int(PanelColor::DarkRed));
    QVERIFY(!w().cmdDisconnect->isEnabled());
    QVERIFY(!w().cmdSend->isEnabled());
    QCOMPARE(w().DigitPosition, qint16(1));
}

void ConnectionTest::lineFailsMidConnection_data()
{
    QTest::addColumn<bool>("unplug");
    QTest::newRow("transmitter goes silent") << false;
    QTest::newRow("line unplugged") << true;
}

void ConnectionTest::lineFailsMidConnection()
{
    QFETCH(bool, unplug);
    shortenSupervision();
    QSignalSpy ended(&w().engine(), &LinkEngine::connectionEnded);
    if (unplug)
        m_sim->setUnplugAfter(9);
    else
        m_sim->setSilentAfter(9);
    QTimer heartbeat; // the window stays responsive whatever the line does
    int beats = 0;
    connect(&heartbeat, &QTimer::timeout, [&] { ++beats; });
    heartbeat.start(20);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(panel().powerOnAndWaitForTheEnd());
    QVERIFY(beats >= int(clock.elapsed() / 20) / 2);
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" DISCONNECTED "));
    QVERIFY(w().PowerOn);
    QCOMPARE(w().cmdPower->text(), QStringLiteral("OFF"));
    QVERIFY(w().cmdPower->isEnabled());
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.at(0).at(0).toString(),
             unplug ? QStringLiteral("the line was lost")
                    : QStringLiteral("the transmitter stopped answering"));
    w().cmdPower_Click();
    QCOMPARE(w().cmdPower->text(), QStringLiteral("ON"));
}

void ConnectionTest::portThatCannotOpen()
{
    PanelDriver::mapPort(3, QStringLiteral("/nonexistent/ttyX"));
    Comm = QStringLiteral("3");
    panel().answerNextBox();
    w().cmdPower_Click();
    QTRY_COMPARE(panel().messageBoxesAnswered(), 1);
    const QString boxText = panel().lastBox().text;
    QCOMPARE(panel().lastBox().icon, QMessageBox::Critical);
    QCOMPARE(panel().lastBox().title, QStringLiteral("WARNING"));
    QVERIFY2(boxText.contains(QStringLiteral("/nonexistent/ttyX")), qPrintable(boxText));
    QVERIFY(boxText.contains(QStringLiteral("COM3")));
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" PORT NOT AVAILABLE "));
    QVERIFY(w().PowerOn);
    QCOMPARE(w().cmdPower->text(), QStringLiteral("OFF"));
    QVERIFY(w().cmdPower->isEnabled());
    w().cmdPower_Click();
    QCOMPARE(w().cmdPower->text(), QStringLiteral("ON"));
    QVERIFY(!w().PowerOn);
}

void ConnectionTest::programmingAFrequency()
{
    QSignalSpy programmed(&w().engine(), &LinkEngine::frequencyProgrammed);
    QString labelDuringProgramming;
    connect(&w().engine(), &LinkEngine::frequencyProgrammed, this,
            [&] { labelDuringProgramming = w().lblCommunications(0)->text(); });
    shortenSendWindow(); // the display follows the transmitter again soon after SEND
    w().cmdPower_Click();
    // Once the transmitter's frequency is on the digits: typed any sooner, the
    // entry keeps the first cycle from asking it, and the record would have
    // no frequency to go from.
    QTRY_COMPARE(panel().digitsShown(), QStringLiteral("09850"));
    panel().typeAndAccept(QStringLiteral("10790"));
    QVERIFY(w().cmdSend->isEnabled());
    w().cmdSend_Click();
    QTRY_COMPARE(m_sim->frequencyKHz(), 107900);
    QTRY_VERIFY(w().DisplayEnabled && panel().digitsShown() == QLatin1String("10790"));
    QVERIFY(panel().disconnectAndWait());

    QCOMPARE(labelDuringProgramming, QStringLiteral("SEND FREQUENCY TO TRANSMITTER"));
    // The record hears of it: from the frequency last reported, to the one
    // sent, done, no reply lost.
    QCOMPARE(programmed.count(), 1);
    QCOMPARE(programmed.at(0), QList<QVariant>({QVariant(qint32(98500)), QVariant(qint32(107900)),
                                                QVariant(true), QVariant(false)}));
    QVERIFY(!w().SendRequest);
    const QByteArray line = m_sim->received();
    const qsizetype start = line.indexOf(char(CMD_SET_FREQUENCY));
    QVERIFY(start > 0);
    QCOMPARE(line.mid(start, 7), LineBytes::programming("107900"));
    QCOMPARE(line.count(char(CMD_SET_FREQUENCY)), 1);
}

void ConnectionTest::wrongEchoStopsTheProgramming()
{
    m_sim->setWrongEcho(true);
    w().cmdPower_Click();
    QTRY_VERIFY(w().cmdDisconnect->isEnabled());
    panel().typeAcceptAndSend(QStringLiteral("10790"));
    QTRY_COMPARE(w().lblCommunications(0)->text(), QStringLiteral("FREQUENCY NOT PROGRAMMED"));
    QVERIFY(panel().disconnectAndWait());
    QVERIFY(!w().SendRequest);
    QCOMPARE(m_sim->frequencyKHz(), 98500);
    const QByteArray line = m_sim->received();
    const qsizetype start = line.indexOf(char(CMD_SET_FREQUENCY));
    // The simulator garbles the third echo: not one more digit goes out after
    // it, the poll resumes.
    QCOMPARE(line.mid(start + 1, 4), "107" + LineBytes::commands({CMD_READ_FORWARD}));
}

void ConnectionTest::disconnectDuringProgrammingIsKept()
{
    m_sim->setPieces(2, 20);
    // DISCONNECT as the programming command reaches the transmitter.
    connect(m_sim.get(), &TxSimulator::arrived, this, [&](const QByteArray &bytes) {
        if (bytes.contains(char(CMD_SET_FREQUENCY)))
            w().cmdDisconnect_Click();
    });
    w().cmdPower_Click();
    QTRY_VERIFY(w().cmdDisconnect->isEnabled());
    panel().typeAcceptAndSend(QStringLiteral("10790"));
    QVERIFY(panel().waitForTheEnd());
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" DISCONNECTED "));
    // The programming ran to its end, and not one status question followed it.
    QCOMPARE(m_sim->frequencyKHz(), 107900);
    QVERIFY(m_sim->received().endsWith(LineBytes::programming("107900")));
}

void ConnectionTest::pendingRequestDroppedAtTheEnd()
{
    w().cmdPower_Click();
    QTRY_VERIFY(w().cmdDisconnect->isEnabled());
    panel().typeAcceptAndSend(QStringLiteral("10790"));
    w().cmdDisconnect_Click(); // in the same breath: before it is served
    QVERIFY(panel().waitForTheEnd());
    QVERIFY(!w().SendRequest);
    w().cmdPower_Click(); // OFF
    m_sim->clearReceived();
    w().cmdPower_Click(); // a new connection must not program the old entry
    QTRY_VERIFY(m_sim->received().size() > 20);
    QVERIFY(panel().disconnectAndWait());
    QVERIFY(!m_sim->received().contains(char(CMD_SET_FREQUENCY)));
    QCOMPARE(m_sim->frequencyKHz(), 98500);
}

void ConnectionTest::sendDuringProgrammingIsServedAfterIt()
{
    m_sim->setReplyDelayMs(20); // the programming takes long enough to act inside it
    bool secondSent = false;
    connect(m_sim.get(), &TxSimulator::arrived, this, [&](const QByteArray &bytes) {
        if (secondSent || !bytes.contains(char(CMD_SET_FREQUENCY)))
            return;
        secondSent = true;
        QVERIFY(!m_sim->received().contains(LineBytes::programming("091800")));
        panel().typeAcceptAndSend(QStringLiteral("08940"));
    });
    w().cmdPower_Click();
    QTRY_VERIFY(w().cmdDisconnect->isEnabled());
    panel().typeAcceptAndSend(QStringLiteral("09180"));
    QTRY_COMPARE_WITH_TIMEOUT(m_sim->frequencyKHz(), 89400, 20000);
    QVERIFY(panel().disconnectAndWait());
    // Both frequencies went out whole, one after the other, never a mix.
    const QByteArray line = m_sim->received();
    QCOMPARE(line.count(char(CMD_SET_FREQUENCY)), 2);
    const qsizetype first = line.indexOf(LineBytes::programming("091800"));
    const qsizetype second = line.indexOf(LineBytes::programming("089400"));
    QVERIFY(first >= 0);
    QVERIFY(second > first);
}

void ConnectionTest::frequencyReplyDuringEntryKeepsTheTypedDigit()
{
    m_sim->setReplyDelayMs(100);
    QString expected;
    QString shownAfterReply;
    int frequencyQuestions = 0;
    bool typed = false;
    connect(m_sim.get(), &TxSimulator::arrived, this, [&](const QByteArray &bytes) {
        // A whole cycle was shown, and the frequency question is out again:
        // SET FREQUENCY and one digit while its reply is on its way.
        if (bytes.contains(char(CMD_READ_FREQUENCY)) && ++frequencyQuestions == 2) {
            expected = QStringLiteral("1") + panel().digitsShown().mid(1);
            w().cmdSetFrequency_Click();
            panel().type(QStringLiteral("1"));
            typed = true;
        } else if (typed && shownAfterReply.isEmpty() && bytes.contains(char(CMD_READ_RF_STATUS))) {
            shownAfterReply = panel().digitsShown();
            w().cmdDisconnect_Click();
        }
    });
    QVERIFY(panel().powerOnAndWaitForTheEnd());
    QCOMPARE(shownAfterReply, expected);
    QCOMPARE(w().EnteredDigits[1], QStringLiteral("1"));
}

void ConnectionTest::powerCycleWithdrawsAnOpenEntry()
{
    w().cmdPower_Click();
    QTRY_VERIFY(w().cmdDisconnect->isEnabled());
    w().cmdSetFrequency_Click();
    panel().type(QStringLiteral("10790"));
    QVERIFY(w().cmdKey(KeypadKey::Ok)->isEnabled());
    QVERIFY(panel().disconnectAndWait());
    w().cmdPower_Click(); // OFF
    QVERIFY(!w().cmdKey(KeypadKey::Ok)->isEnabled());
    m_sim->clearReceived();

    w().cmdPower_Click();
    QVERIFY(!w().cmdKey(KeypadKey::Ok)->isEnabled());
    // A whole cycle of the new connection, its frequency reply shown.
    QTRY_VERIFY(cyclesOnTheLine() >= 1);
    QVERIFY(!w().cmdKey(KeypadKey::Ok)->isEnabled());
    QVERIFY(panel().disconnectAndWait());
    QVERIFY(w().DisplayEnabled);
    // The display is the transmitter's again: its 98.5 MHz, not the entry.
    QCOMPARE(panel().digitsShown(), QStringLiteral("09850"));
}

void ConnectionTest::clock_data()
{
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("one second") << qint64(1) << "00:00:01";
    QTest::newRow("1 h 2 min 3 s") << qint64(3723) << "01:02:03";
    QTest::newRow("25 hours") << qint64(25 * 3600) << "25:00:00";
    QTest::newRow("100 hours") << qint64(100 * 3600) << "100:00:00";
    QTest::newRow("a week, 1 h 2 min 3 s") << qint64(7 * 86400 + 3723) << "169:02:03";
    QTest::newRow("clock set back") << qint64(-90) << "00:00:00";
}

void ConnectionTest::clock()
{
    QFETCH(qint64, elapsed);
    QFETCH(QString, shown);
    w().ConnectionStart = QDateTime::currentDateTime().addSecs(-elapsed);
    w().timer1_Timer();
    QCOMPARE(w().sbrStatus->panelText(5),
             QStringLiteral("Time of Connection: ") + shown + QLatin1Char(' '));

    w().StartConnectionClock();
    w().StopConnectionClock();
    QCOMPARE(w().sbrStatus->panelText(5), QStringLiteral("Time of Connection: 00:00:00 "));
    QVERIFY(!w().timer1->isActive());
}

void ConnectionTest::labelTimerEndsWithTheConnection_data()
{
    QTest::addColumn<bool>("reconnectSilent");
    QTest::newRow("SEND, DISCONNECT, OFF") << false;
    QTest::newRow("SEND, DISCONNECT, OFF, ON without reply") << true;
}

void ConnectionTest::labelTimerEndsWithTheConnection()
{
    // Five seconds after SEND the label says "COMMUNICATIONS IN PROGRESS"
    // again, but never over a connection that has ended meanwhile.
    QFETCH(bool, reconnectSilent);
    w().tmrPausaLabel->setInterval(400);
    const int longerThanTheLabel = 1000;
    const auto sendThenDisconnect = [&] {
        w().cmdPower_Click();
        QVERIFY(panel().waitForState(ConnectionState::Polling));
        panel().typeAcceptAndSend(QStringLiteral("10790"));
        QVERIFY(panel().disconnectAndWait()); // ends before the label's five seconds
    };
    sendThenDisconnect();
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" DISCONNECTED "));
    QTest::qWait(longerThanTheLabel);
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" DISCONNECTED "));

    w().cmdPower_Click(); // OFF
    QTest::qWait(longerThanTheLabel);
    QCOMPARE(w().lblCommunications(0)->text(), QString());
    if (!reconnectSilent)
        return;

    // A new SEND's timer, then a power-on that gets no reply.
    sendThenDisconnect();
    w().cmdPower_Click(); // OFF
    shortenSupervision();
    m_sim->setSilent(true);
    QVERIFY(panel().powerOnAndWaitForTheEnd()); // the firmware question goes unanswered
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" NO REPLY FROM MICRO "));
    QTest::qWait(longerThanTheLabel);
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" NO REPLY FROM MICRO "));
}

void ConnectionTest::programmingLostWithTheLine_data()
{
    QTest::addColumn<int>("silentAt");
    QTest::newRow("at the programming command") << 0;
    QTest::newRow("at the third digit") << 3;
    QTest::newRow("at the last digit") << 6;
}

void ConnectionTest::programmingLostWithTheLine()
{
    // The transmitter falls silent in the middle of a programming: nothing
    // more goes out, the operator is told it did not take, and the digits
    // show the frequency the transmitter last reported, not the typed one.
    QFETCH(int, silentAt);
    shortenSupervision();
    w().tmrNotProgrammed->setInterval(400);
    w().tmrPausaLabel->setInterval(400);
    int digitsHeard = -1;
    connect(m_sim.get(), &TxSimulator::arrived, this, [&](const QByteArray &bytes) {
        for (const char byte : bytes) {
            if (byte == char(CMD_SET_FREQUENCY))
                digitsHeard = 0;
            else if (digitsHeard >= 0 && byte >= '0' && byte <= '9')
                ++digitsHeard;
            if (digitsHeard == silentAt)
                m_sim->setSilent(true);
        }
    });
    w().cmdPower_Click();
    QTRY_COMPARE(panel().digitsShown(), QStringLiteral("09850"));
    panel().typeAcceptAndSend(QStringLiteral("10790"));
    QVERIFY(panel().waitForTheEnd());

    QCOMPARE(w().connectionState(), ConnectionState::Ended);
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral("FREQUENCY NOT PROGRAMMED"));
    QCOMPARE(panel().digitsShown(), QStringLiteral("09850"));
    const QByteArray line = m_sim->received();
    const qsizetype start = line.indexOf(char(CMD_SET_FREQUENCY));
    QVERIFY(start > 0);
    // Not one byte after the one that went unanswered.
    QCOMPARE(line.mid(start), LineBytes::programming("107900").left(silentAt + 1));
    QTRY_COMPARE(w().lblCommunications(0)->text(), QStringLiteral(" DISCONNECTED "));
    QTest::qWait(1000);
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" DISCONNECTED "));
    QCOMPARE(panel().digitsShown(), QStringLiteral("09850"));
}

void ConnectionTest::keypadInertOutsideThePoll_data()
{
    QTest::addColumn<ConnectionState>("state");
    QTest::newRow("ended") << ConnectionState::Ended;
    QTest::newRow("port not available") << ConnectionState::PortNotAvailable;
    QTest::newRow("off") << ConnectionState::Off;
}

void ConnectionTest::keypadInertOutsideThePoll()
{
    QFETCH(ConnectionState, state);
    if (state == ConnectionState::Ended) {
        w().cmdPower_Click();
        QTRY_COMPARE(panel().digitsShown(), QStringLiteral("09850"));
        QVERIFY(panel().disconnectAndWait());
    } else if (state == ConnectionState::PortNotAvailable) {
        PanelDriver::mapPort(3, QStringLiteral("/nonexistent/ttyX"));
        Comm = QStringLiteral("3");
        panel().answerNextBox();
        w().cmdPower_Click();
        QTRY_COMPARE(panel().messageBoxesAnswered(), 1);
    }
    QCOMPARE(w().connectionState(), state);
    m_sim->clearReceived();
    const QString label = w().lblCommunications(0)->text();
    const QString digits = panel().digitsShown();

    panel().typeAcceptAndSend(QStringLiteral("10790"));
    QVERIFY(!w().SendRequest);
    QVERIFY(!w().cmdSend->isEnabled());
    QCOMPARE(w().lblCommunications(0)->text(), label);
    QCOMPARE(panel().digitsShown(), digits);
    QTest::qWait(100);
    QCOMPARE(m_sim->received(), QByteArray());

    // Nothing of it reaches the next connection either.
    if (w().PowerOn)
        w().cmdPower_Click(); // OFF
    Comm = QStringLiteral("1");
    w().cmdPower_Click();
    QTRY_VERIFY(cyclesOnTheLine() >= 3);
    QVERIFY(panel().disconnectAndWait());
    QVERIFY(!m_sim->received().contains(char(CMD_SET_FREQUENCY)));
    QCOMPARE(m_sim->frequencyKHz(), 98500);
}

void ConnectionTest::entryOpenAtTheEndIsClosed_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<QString>("shownAfter");
    QTest::newRow("open, three digits typed") << "open" << true << "09850";
    QTest::newRow("accepted, not sent") << "accepted" << true << "09850";
    QTest::newRow("no frequency reported since start-up") << "accepted" << false << "00000";
}

void ConnectionTest::entryOpenAtTheEndIsClosed()
{
    QFETCH(QString, entry);
    QFETCH(bool, locked);
    QFETCH(QString, shownAfter);
    // Unlocked, the transmitter is never asked its frequency.
    m_sim->setLocked(locked);
    w().tmrPausa->setInterval(60000); // the entry must still be open at the end
    w().cmdPower_Click();
    QTRY_VERIFY(cyclesOnTheLine() >= 2);
    if (entry == QLatin1String("open")) {
        w().cmdSetFrequency_Click();
        panel().type(QStringLiteral("107"));
    } else {
        panel().typeAndAccept(QStringLiteral("10790"));
        QVERIFY(w().cmdSend->isEnabled());
    }
    QVERIFY(panel().disconnectAndWait());

    QCOMPARE(w().connectionState(), ConnectionState::Ended);
    for (int index = KeypadKey::First; index <= KeypadKey::Last; ++index)
        QVERIFY2(!w().cmdKey(index)->isEnabled(), qPrintable(QString::number(index)));
    QVERIFY(!w().cmdSend->isEnabled());
    QVERIFY(!w().tmrPausa->isActive());
    QVERIFY(!w().tmrTimeOut->isActive());
    QVERIFY(w().cmdSetFrequency->isEnabled());
    for (int i = 1; i <= 6; ++i)
        QCOMPARE(w().ledDigit(i)->ForeColor(), int(PanelColor::BrightRed));
    QCOMPARE(panel().digitsShown(), shownAfter);
}

void ConnectionTest::portFailureAfterAConnection()
{
    w().cmdPower_Click();
    QTRY_VERIFY(cyclesOnTheLine() >= 1);
    QVERIFY(panel().disconnectAndWait());
    w().cmdPower_Click(); // OFF
    QCOMPARE(w().sbrStatus->panelText(5), QStringLiteral("Time of Connection: "));

    PanelDriver::mapPort(3, QStringLiteral("/nonexistent/ttyX"));
    Comm = QStringLiteral("3");
    panel().answerNextBox();
    w().cmdPower_Click();
    QTRY_COMPARE(panel().messageBoxesAnswered(), 1);
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" PORT NOT AVAILABLE "));
    QCOMPARE(w().connectionState(), ConnectionState::PortNotAvailable);
    // No connection happened, so no connection time is shown.
    QCOMPARE(w().sbrStatus->panelText(5), QStringLiteral("Time of Connection: "));
    QCOMPARE(w().cmdPower->text(), QStringLiteral("OFF"));
}

void ConnectionTest::lostTemperatureReplyKeepsTheAlarm()
{
    // An overheating transmitter that falls silent must not look cooled down.
    shortenSupervision();
    m_sim->setTemperature(176);
    bool alarmSeen = false;
    connect(m_sim.get(), &TxSimulator::arrived, this, [&](const QByteArray &bytes) {
        if (alarmSeen && bytes.contains(char(CMD_READ_TEMPERATURE)))
            m_sim->setSilent(true);
    });
    w().cmdPower_Click();
    QTRY_COMPARE(w().ledTemp->LampColor(), int(PanelColor::BrightRed));
    QCOMPARE(w().lblTemp->text(), QStringLiteral("72"));
    alarmSeen = true;
    QVERIFY(panel().waitForTheEnd());
    QCOMPARE(w().connectionState(), ConnectionState::Ended);
    QVERIFY(m_sim->received().endsWith(char(CMD_READ_TEMPERATURE)));
    QCOMPARE(w().ledTemp->LampColor(), int(PanelColor::BrightRed));
}

void ConnectionTest::connectionStateFollowsThePowerSequence()
{
    QList<ConnectionState> seen;
    connect(&w(), &frmTerminale::connectionStateChanged, this,
            [&](ConnectionState state) { seen << state; });
    w().cmdPower_Click();
    QTRY_VERIFY(cyclesOnTheLine() >= 1);
    QVERIFY(panel().disconnectAndWait());
    w().cmdPower_Click();
    m_sim->setSilent(true);
    shortenSupervision();
    QVERIFY(panel().powerOnAndWaitForTheEnd()); // no reply: back to off
    const QList<ConnectionState> expected = {ConnectionState::Connecting, ConnectionState::Polling,
                                             ConnectionState::Ended,      ConnectionState::Off,
                                             ConnectionState::Connecting, ConnectionState::Off};
    QCOMPARE(seen, expected);
}

void ConnectionTest::rfPressOutsideTheConnectionSendsNothing_data()
{
    QTest::addColumn<ConnectionState>("when");
    QTest::newRow("off") << ConnectionState::Off;
    QTest::newRow("connecting") << ConnectionState::Connecting;
    QTest::newRow("ended") << ConnectionState::Ended;
}

void ConnectionTest::rfPressOutsideTheConnectionSendsNothing()
{
    // A click on RF INHIBIT while nothing polls must not put the transmitter
    // on the air at the next connection.
    QFETCH(ConnectionState, when);
    m_sim->setOnAir(false);
    if (when == ConnectionState::Ended) {
        w().cmdPower_Click();
        QTRY_VERIFY(cyclesOnTheLine() >= 1);
        QVERIFY(panel().disconnectAndWait());
        QCOMPARE(w().connectionState(), ConnectionState::Ended);
        w().ssRfSwitch->click();
        QVERIFY(!w().ssRfSwitch->Pressed());
        w().cmdPower_Click(); // OFF
    } else if (when == ConnectionState::Off) {
        w().ssRfSwitch->click();
        QVERIFY(!w().ssRfSwitch->Pressed());
    } else {
        // Pressed while the firmware question is out.
        m_sim->setReplyDelayMs(200);
        connect(m_sim.get(), &TxSimulator::arrived, this, [&](const QByteArray &bytes) {
            if (bytes.contains(char(CMD_READ_FIRMWARE)))
                QTimer::singleShot(50, this, [&] {
                    QCOMPARE(w().connectionState(), ConnectionState::Connecting);
                    w().ssRfSwitch->click();
                    QVERIFY(!w().ssRfSwitch->Pressed());
                });
        });
    }
    m_sim->clearReceived();
    w().cmdPower_Click();
    QTRY_VERIFY_WITH_TIMEOUT(cyclesOnTheLine() >= 3, 20000);
    QVERIFY(panel().disconnectAndWait());
    QVERIFY(!m_sim->received().contains(char(CMD_RF_ON)));
    QVERIFY(!m_sim->received().contains(char(CMD_RF_OFF)));
    QVERIFY(!m_sim->onAir());
}

void ConnectionTest::pollGoesOnUnderAnOpenBox_data()
{
    QTest::addColumn<bool>("fallsSilent");
    QTest::newRow("the transmitter answers") << false;
    QTest::newRow("the transmitter falls silent meanwhile") << true;
}

void ConnectionTest::pollGoesOnUnderAnOpenBox()
{
    // The OUT OF RANGE box stays open several supervision times: the poll
    // goes on under it, and a transmitter that stops answering meanwhile is
    // noticed on time, not once the box is closed.
    QFETCH(bool, fallsSilent);
    panel().store(QStringLiteral("LimitUp"), QStringLiteral("108000"));
    panel().store(QStringLiteral("LimitDown"), QStringLiteral("87500"));
    panel().openWindow();
    shortenSupervision();
    QSignalSpy ended(&w().engine(), &LinkEngine::connectionEnded);
    w().cmdPower_Click();
    QTRY_VERIFY(cyclesOnTheLine() >= 1);
    const int cyclesBefore = cyclesOnTheLine();
    if (fallsSilent)
        QTimer::singleShot(200, m_sim.get(), [this] { m_sim->setSilent(true); });
    int endsWhileOpen = -1;
    QTimer::singleShot(1500, this, [&] { endsWhileOpen = int(ended.count()); });
    panel().answerNextBox(QMessageBox::Ok, 2000);
    panel().typeAndAccept(QStringLiteral("11000")); // out of the band: the box opens and holds
    QCOMPARE(panel().messageBoxesAnswered(), 1);
    QVERIFY(panel().lastBox().text.startsWith(QLatin1String("OUT OF RANGE")));
    if (fallsSilent) {
        // Ended within the supervision, while the box was still open.
        QCOMPARE(endsWhileOpen, 1);
        QCOMPARE(w().connectionState(), ConnectionState::Ended);
        QCOMPARE(ended.at(0).at(0).toString(), QStringLiteral("the transmitter stopped answering"));
        return;
    }
    // About 15 cycles a second at the line's pace: the box held none of them.
    QVERIFY2(cyclesOnTheLine() - cyclesBefore >= 10,
             qPrintable(QString::number(cyclesOnTheLine() - cyclesBefore)));
    QCOMPARE(ended.count(), 0);
    QCOMPARE(w().connectionState(), ConnectionState::Polling);
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral("COMMUNICATIONS IN PROGRESS"));
    QVERIFY(panel().disconnectAndWait());
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" DISCONNECTED "));
}

void ConnectionTest::secondPanelOnThePortIsToldBusy()
{
    MSComm first;
    first.setCommPort(1);
    QVERIFY2(first.setPortOpen(true), qPrintable(first.lastError()));
    panel().answerNextBox();
    w().cmdPower_Click();
    QTRY_COMPARE(panel().messageBoxesAnswered(), 1);
    const QString boxText = panel().lastBox().text;
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" PORT NOT AVAILABLE "));
    QVERIFY2(boxText.contains(QLatin1String("busy")), qPrintable(boxText));
    // The lock file names the holder: this very process.
    QVERIFY2(boxText.contains(QString::number(QCoreApplication::applicationPid())),
             qPrintable(boxText));
    QVERIFY2(!boxText.contains(QLatin1String("group")), qPrintable(boxText));
    w().cmdPower_Click(); // OFF
}

void ConnectionTest::firmwareControlBytesShowAsQuestionMarks()
{
    m_sim->setFirmware(QString::fromLatin1("V1\x01\x7f"));
    w().cmdPower_Click();
    QVERIFY(panel().waitForState(ConnectionState::Polling));
    QCOMPARE(w().sbrStatus->panelText(4), QStringLiteral("Firmware: V1??"));
    QVERIFY(panel().disconnectAndWait());
}

void ConnectionTest::connectAtStart_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<bool>("portStored");
    QTest::addColumn<bool>("connects");
    QTest::addColumn<bool>("deviceNamed");
    QTest::newRow("asked, port stored") << "true" << true << true << false;
    QTest::newRow("asked, no port") << "true" << false << false << false;
    QTest::newRow("not asked") << "false" << true << false << false;
    QTest::newRow("not a yes or no") << "maybe" << true << false << false;
    // [Link] Device names the line outright, no port chosen.
    QTest::newRow("asked, device named") << "true" << false << true << true;
}

void ConnectionTest::connectAtStart()
{
    // A site PC rebooted after a power cut: the panel starts monitoring with
    // nobody there to press ON.
    QFETCH(QString, setting);
    QFETCH(bool, portStored);
    QFETCH(bool, connects);
    QFETCH(bool, deviceNamed);
    panel().closeWindow();
    panel().clearStore();
    if (portStored)
        panel().store(QStringLiteral("Comm"), QStringLiteral("1"));
    if (deviceNamed)
        panel().store(QStringLiteral("Link"), QStringLiteral("Device"), m_sim->devicePath());
    panel().store(QStringLiteral("Link"), QStringLiteral("ConnectAtStart"), setting);
    panel().openWindow();
    w().show();
    if (connects) {
        QTRY_VERIFY(cyclesOnTheLine() >= 2);
        QVERIFY(panel().disconnectAndWait());
        QCOMPARE(w().connectionState(), ConnectionState::Ended);
        QVERIFY(m_sim->received().startsWith(LineBytes::connectionOpening()));
        if (deviceNamed) {
            QCOMPARE(w().engine().line().device, m_sim->devicePath());
            QCOMPARE(w().sbrStatus->panelText(int(StatusPanel::Port)),
                     QStringLiteral("Com: ") + m_sim->devicePath().mid(5));
        }
        return;
    }
    QTest::qWait(200);
    QCOMPARE(w().connectionState(), ConnectionState::Off);
    QCOMPARE(m_sim->received(), QByteArray());
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(w().lblCommunications(0)->text(),
             portStored ? QString() : QStringLiteral(" NO PORT CHOSEN "));
}

QTEST_MAIN(ConnectionTest)
#include "tst_connection.moc"
