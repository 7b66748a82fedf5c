// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The frequency keypad, its band check and warning, and the entry timers.
#include "app/frmTerminale.h"
#include "panel/Key3D.h"
#include "panel/KeypadKeys.h"
#include "panel/LedDigit.h"
#include "panel/PanelColors.h"
#include "panel/PanelTimer.h"
#include "sim/TxSimulator.h"
#include "support/PanelDriver.h"

#include <QMessageBox>
#include <QtTest>

using KeypadKey::Back;
using KeypadKey::Ok;

class KeypadTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void rangeCheck_data();
    void rangeCheck();
    void cursorAndDigits();
    void clicksIgnoredWhileNotConnected();
    void digitAfterAcceptWithdrawsIt();
    void blinkAndEntryLimit();
    void setFrequencyAgainRestartsTheMinute();
    void setFrequencyAgainStartsAtTheFirstDigit();
    void pauseWindowRestoresThePanel_data();
    void pauseWindowRestoresThePanel();
    void blinkGoesOnAfterRestoreWhenReopened();

private:
    // A window whose keypad is open, as in a running poll.
    frmTerminale &openWithKeypad();
    PanelDriver &panel() { return *m_panel; }
    std::unique_ptr<PanelDriver> m_panel;
    std::unique_ptr<TxSimulator> m_sim;
};

void KeypadTest::init()
{
    m_panel = std::make_unique<PanelDriver>();
}

void KeypadTest::cleanup()
{
    m_panel.reset();
    m_sim.reset();
}

frmTerminale &KeypadTest::openWithKeypad()
{
    frmTerminale &w = panel().openWindow();
    // The keys answer only while the poll runs: the engine polls a transmitter
    // that is never locked, so it never reports a frequency over the digits.
    m_sim = std::make_unique<TxSimulator>();
    if (!m_sim->start())
        QTest::qFail("the simulator did not start", __FILE__, __LINE__);
    m_sim->setLocked(false);
    w.PowerOn = true;
    if (!panel().startEngineOn(m_sim->devicePath()))
        QTest::qFail("the engine did not poll", __FILE__, __LINE__);
    panel().openKeypad();
    return w;
}

void KeypadTest::rangeCheck_data()
{
    QTest::addColumn<QString>("up");
    QTest::addColumn<QString>("down");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("warning");
    const QString band = QStringLiteral("OUT OF RANGE - LIMIT RANGE 87500 - 108000 KHz");
    QTest::newRow("inside") << "108000"
                            << "87500"
                            << "10790" << true << "";
    QTest::newRow("equal to upper") << "108000"
                                    << "87500"
                                    << "10800" << true << "";
    QTest::newRow("equal to lower") << "108000"
                                    << "87500"
                                    << "08750" << true << "";
    QTest::newRow("above") << "108000"
                           << "87500"
                           << "10801" << false << band;
    QTest::newRow("below") << "108000"
                           << "87500"
                           << "08749" << false << band;
    QTest::newRow("defaults accept all") << ""
                                         << ""
                                         << "99999" << true << "";
    QTest::newRow("defaults accept zero") << ""
                                          << ""
                                          << "00000" << true << "";
    QTest::newRow("only upper stored, low compares as 0") << "108000"
                                                          << ""
                                                          << "00010" << true << "";
    QTest::newRow("only lower stored, high compares as 1000000") << ""
                                                                 << "87500"
                                                                 << "99999" << true << "";
    QTest::newRow("only lower stored, below it")
        << ""
        << "87500"
        << "08000" << false << "OUT OF RANGE - LIMIT RANGE 87500 -  KHz";
    QTest::newRow("blanks around a limit") << " 108000 "
                                           << "87500"
                                           << "10790" << true << "";
    // An unusable limit says so, rather than print a range around the entry.
    const QString unusable = QStringLiteral(
        " is not a whole number of kHz. No frequency can be sent until the station engineer "
        "corrects it.");
    QTest::newRow("limit not a number fails closed")
        << "108 MHz"
        << "87500"
        << "10790" << false
        << QStringLiteral("OUT OF RANGE - BAND LIMITS UNUSABLE: LimitUp \"108 MHz\"") + unusable;
    QTest::newRow("negative text fails closed")
        << "108000"
        << "-5"
        << "10790" << false
        << QStringLiteral("OUT OF RANGE - BAND LIMITS UNUSABLE: LimitDown \"-5\"") + unusable;
}

void KeypadTest::rangeCheck()
{
    QFETCH(QString, up);
    QFETCH(QString, down);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    if (!up.isEmpty())
        panel().store(QStringLiteral("LimitUp"), up);
    if (!down.isEmpty())
        panel().store(QStringLiteral("LimitDown"), down);
    frmTerminale &w = openWithKeypad();
    panel().type(typed);
    QVERIFY(w.cmdKey(Ok)->isEnabled());
    // Answered if it opens, so that one opened in error fails the test, not hangs it.
    panel().answerNextBox();
    panel().accept();

    QCOMPARE(w.cmdSend->isEnabled(), accepted);
    QCOMPARE(w.DigitPosition, qint16(1));
    QVERIFY(!w.tmrTimeOut->isActive());
    QVERIFY(!w.cmdKey(Ok)->isEnabled());
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(w.ledDigit(i)->ForeColor(), PanelColor::BrightRed);
    const PanelDriver::Box &seen = panel().lastBox();
    if (accepted) {
        QCOMPARE(panel().messageBoxesAnswered(), 0);
        QVERIFY(!w.DisplayEnabled);
        QVERIFY(w.tmrPausa->isActive());
        QVERIFY(w.cmdKey(KeypadKey::First)->isEnabled());
        QVERIFY(w.cmdKey(Back)->isEnabled());
    } else {
        QCOMPARE(panel().messageBoxesAnswered(), 1);
        QTEST(seen.text, "warning");
        QCOMPARE(seen.title, QStringLiteral("WARNING"));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(seen.buttons, 1);
        QVERIFY(w.DisplayEnabled);
        for (int i = KeypadKey::First; i <= KeypadKey::Last; ++i)
            QVERIFY(!w.cmdKey(i)->isEnabled());
        // The typed digits stay on show until the transmitter's frequency returns.
        QCOMPARE(w.ledDigit(1)->DigitValue(), typed.at(0).digitValue());
    }
}

void KeypadTest::cursorAndDigits()
{
    frmTerminale &w = openWithKeypad();
    w.cmdKey_Click(Back); // "<" at position 1 stays at 1
    QCOMPARE(w.DigitPosition, qint16(1));
    panel().type(QStringLiteral("10790"));
    QCOMPARE(w.DigitPosition, qint16(5));
    QVERIFY(w.cmdKey(Ok)->isEnabled());
    panel().type(QStringLiteral("5")); // a sixth digit replaces the fifth
    QCOMPARE(w.DigitPosition, qint16(5));
    QCOMPARE(w.EnteredDigits[5], QStringLiteral("5"));
    QCOMPARE(w.ledDigit(5)->DigitValue(), 5);

    w.ledDigit(5)->setForeColor(PanelColor::Black); // caught in the dark blink phase
    w.cmdKey_Click(Back);
    QCOMPARE(w.DigitPosition, qint16(4));
    QCOMPARE(w.ledDigit(5)->ForeColor(), PanelColor::BrightRed);
    QCOMPARE(w.EnteredDigits[4], QStringLiteral("9"));
    QCOMPARE(w.ledDigit(4)->DigitValue(), 9);
    QVERIFY(w.cmdKey(Ok)->isEnabled());
    panel().type(QStringLiteral("8"));
    QCOMPARE(w.EnteredDigits[4], QStringLiteral("8"));
    QCOMPARE(w.DigitPosition, qint16(5));
}

void KeypadTest::clicksIgnoredWhileNotConnected()
{
    frmTerminale &w = panel().openWindow();
    panel().openKeypad(); // keys enabled, but no connection
    QVERIFY(w.cmdKey(KeypadKey::First)->isEnabled());
    w.ledDigit(1)->setDigitValue(7);
    for (int index = KeypadKey::First; index <= KeypadKey::Last; ++index)
        w.cmdKey_Click(index);
    QCOMPARE(w.DigitPosition, qint16(1));
    QCOMPARE(w.ledDigit(1)->DigitValue(), 7);
    for (const QString &slot : w.EnteredDigits)
        QVERIFY(slot.isEmpty());
}

void KeypadTest::digitAfterAcceptWithdrawsIt()
{
    panel().store(QStringLiteral("LimitUp"), QStringLiteral("108000"));
    panel().store(QStringLiteral("LimitDown"), QStringLiteral("87500"));
    frmTerminale &w = openWithKeypad();
    panel().type(QStringLiteral("10790"));
    panel().accept();
    QVERIFY(w.cmdSend->isEnabled());
    panel().type(QStringLiteral("2")); // out of the band, never checked
    QVERIFY(!w.cmdSend->isEnabled());
    QCOMPARE(w.EnteredDigits[1], QStringLiteral("2"));
    panel().type(QStringLiteral("0000"));
    QVERIFY(!w.cmdSend->isEnabled());
    panel().answerNextBox();
    panel().accept();
    QCOMPARE(panel().messageBoxesAnswered(), 1);
    QVERIFY(!w.cmdSend->isEnabled());
}

void KeypadTest::blinkAndEntryLimit()
{
    frmTerminale &w = openWithKeypad();
    QCOMPARE(w.ledDigit(1)->ForeColor(), PanelColor::DarkRed);
    w.tmrTimeOut_Timer();
    QCOMPARE(w.ledDigit(1)->ForeColor(), PanelColor::BrightRed);
    w.tmrTimeOut_Timer();
    QCOMPARE(w.ledDigit(1)->ForeColor(), PanelColor::Black);
    w.tmrTimeOut_Timer();
    QCOMPARE(w.ledDigit(1)->ForeColor(), PanelColor::BrightRed);
    QCOMPARE(w.ledDigit(2)->ForeColor(), PanelColor::DarkRed);

    // Through the real timer, shortened: the 120th tick closes the entry lit.
    w.cmdSend->setEnabled(true);
    w.tmrPausa->setEnabled(true);
    w.tmrTimeOut->setInterval(1);
    panel().openKeypad();
    QTRY_VERIFY_WITH_TIMEOUT(!w.tmrTimeOut->isActive(), 5000);
    QCOMPARE(w.TickCount, qint16(120));
    QCOMPARE(w.ledDigit(1)->ForeColor(), PanelColor::BrightRed);
    QVERIFY(!w.tmrPausa->isActive());
    QVERIFY(!w.cmdSend->isEnabled());
    // The keys stay as they were: the operator may still finish typing.
    QVERIFY(w.cmdKey(KeypadKey::First)->isEnabled());
}

void KeypadTest::setFrequencyAgainRestartsTheMinute()
{
    frmTerminale &w = openWithKeypad();
    for (int tick = 0; tick < 100; ++tick)
        w.tmrTimeOut_Timer();
    panel().openKeypad();
    QCOMPARE(w.TickCount, qint16(0));
    for (int tick = 0; tick < 100; ++tick)
        w.tmrTimeOut_Timer();
    QVERIFY(w.tmrTimeOut->isActive());
}

void KeypadTest::setFrequencyAgainStartsAtTheFirstDigit()
{
    frmTerminale &w = openWithKeypad();
    panel().type(QStringLiteral("107"));
    w.ledDigit(4)->setForeColor(PanelColor::Black); // the cursor caught in its dark blink phase
    panel().openKeypad();
    QCOMPARE(w.DigitPosition, qint16(1));
    QCOMPARE(w.ledDigit(4)->ForeColor(), PanelColor::BrightRed);
    // One digit of a new entry never offers OK on the old, hidden ones.
    panel().type(QStringLiteral("9"));
    QVERIFY(!w.cmdKey(Ok)->isEnabled());
    QCOMPARE(w.DigitPosition, qint16(2));
    QCOMPARE(w.EnteredDigits[1], QStringLiteral("9"));
}

void KeypadTest::pauseWindowRestoresThePanel_data()
{
    QTest::addColumn<bool>("sendPressed");
    QTest::newRow("SEND not pressed") << false;
    QTest::newRow("SEND pressed") << true;
}

void KeypadTest::pauseWindowRestoresThePanel()
{
    QFETCH(bool, sendPressed);
    frmTerminale &w = openWithKeypad();
    w.tmrPausa->setInterval(30);
    panel().type(QStringLiteral("10790"));
    panel().accept();
    if (sendPressed) {
        panel().send();
        QVERIFY(w.SendRequest);
        for (int i = KeypadKey::First; i <= KeypadKey::Last; ++i)
            QVERIFY(!w.cmdKey(i)->isEnabled());
    }
    QVERIFY(!w.DisplayEnabled);
    QTRY_VERIFY(!w.tmrPausa->isActive());
    QVERIFY(w.DisplayEnabled);
    QVERIFY(!w.cmdSend->isEnabled());
    for (int i = KeypadKey::First; i <= KeypadKey::Last; ++i)
        QVERIFY(!w.cmdKey(i)->isEnabled());
}

void KeypadTest::blinkGoesOnAfterRestoreWhenReopened()
{
    frmTerminale &w = openWithKeypad();
    w.tmrPausa->setInterval(30);
    panel().type(QStringLiteral("10790"));
    panel().accept();
    panel().openKeypad();
    QTRY_VERIFY(!w.tmrPausa->isActive());
    QVERIFY(w.DisplayEnabled);
    QVERIFY(w.tmrTimeOut->isActive());
}

QTEST_MAIN(KeypadTest)
#include "tst_keypad.moc"
