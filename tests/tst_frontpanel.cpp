// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The front panel against its layout tables: names, containers, positions,
// captions, and the colours and states of a freshly opened window.
#include "app/Station.h"
#include "app/frmTerminale.h"
#include "link/LinkEngine.h"
#include "panel/Key3D.h"
#include "panel/KeypadKeys.h"
#include "panel/LedBar.h"
#include "panel/LedDigit.h"
#include "panel/LedLamp.h"
#include "panel/LineWidget.h"
#include "panel/Panel3D.h"
#include "panel/PanelColors.h"
#include "panel/PanelStatusBar.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"
#include "panel/RibbonSwitch.h"
#include "panel/ShapeWidget.h"
#include "sim/TxSimulator.h"
#include "support/PanelDriver.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

namespace {
int px(int twips)
{
    return qRound(twips / 15.0);
}
} // namespace

class FrontPanelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { m_panel = std::make_unique<PanelDriver>(); }
    void cleanup() { m_panel.reset(); }
    void window_data();
    void window();
    void controls_data();
    void controls();
    void initialColours_data();
    void initialColours();
    void arraysHaveOnlyTheirIndices();
    void statusBarPanels_data();
    void statusBarPanels();
    void timersAndMenu();
    void panelCaptionNotifies();
    void shapesLieBehindWhatCoversThem();
    void lampsReadableWithoutColour_data();
    void lampsReadableWithoutColour();
    void readoutsAndDigitsSpeakTheirText();
    void messagesFitTheLabel_data();
    void messagesFitTheLabel();

private:
    std::unique_ptr<PanelDriver> m_panel;
};

void FrontPanelTest::window_data()
{
    QTest::addColumn<bool>("station");
    QTest::newRow("as built") << false;
    // Alarms on: the Station menu joins File, and nothing else changes.
    QTest::newRow("with the Station menu") << true;
}

void FrontPanelTest::window()
{
    QFETCH(bool, station);
    frmTerminale &w = m_panel->openWindow();
    if (station) {
        AlarmSettings alarms = AlarmSettings::defaults();
        alarms.enabled = true;
        QVERIFY((new Station(w, alarms, RecordSettings()))->menu());
    }
    QCOMPARE(w.windowTitle(), QStringLiteral("ORVEL   BROADCAST "));
    QCOMPARE(w.centralWidget()->size(), QSize(758, 490));
    QCOMPARE(w.centralWidget()->objectName(), QStringLiteral("window"));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(!w.windowIcon().isNull());
}

void FrontPanelTest::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption"); // "-" where the control has none
    auto row = [](const char *name, const char *container, int l, int t, int w, int h,
                  const char *caption = "-") {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(container)
                            << QRect(l, t, w, h) << QString::fromUtf8(caption);
    };
    row("SSPanel4", "window", 360, 120, 3600, 1710);
    row("Image1", "SSPanel4", 150, 135, 3300, 1425);
    row("Shape1", "window", 4230, 165, 6945, 900);
    row("SSPanel1", "window", 4320, 276, 3024, 684);
    row("lblTemp", "SSPanel1", 168, 168, 1032, 348, "");
    row("Label7", "SSPanel1", 1320, 264, 1488, 156, "°C  TEMPERATURE");
    row("ledTemp", "window", 7620, 300, 732, 384);
    row("Label1", "window", 7548, 804, 1140, 168, "ALARM TEMP");
    row("ledLock", "window", 8976, 288, 516, 396);
    row("Label8", "window", 8976, 768, 540, 204, "LOCK");
    row("ledRfInhibit", "window", 10224, 288, 504, 372);
    row("Label9", "window", 9984, 768, 1164, 204, "ON THE AIR");
    row("SSPanel2", "window", 4200, 1200, 5655, 615);
    row("lblCommunications(0)", "SSPanel2", 120, 120, 5385, 375, "");
    row("SSPanel3", "window", 360, 1920, 9060, 4950);
    row("SSPanel7", "SSPanel3", 225, 180, 3330, 1050);
    row("Shape9", "SSPanel7", 156, 144, 2988, 744);
    row("ledDigit(1)", "SSPanel7", 288, 180, 348, 672);
    row("ledDigit(4)", "SSPanel7", 1440, 180, 348, 672);
    row("ledDigit(6)", "SSPanel7", 2172, 180, 348, 672);
    row("shpPunto", "SSPanel7", 1350, 720, 75, 75);
    row("Label5", "SSPanel7", 2556, 360, 516, 288, "MHz");
    row("SSPanel5", "SSPanel3", 3960, 240, 2145, 930);
    row("lblDirDigital(0)", "SSPanel5", 165, 165, 1395, 420, "");
    row("Label11", "SSPanel5", 1680, 348, 252, 216, "W");
    row("Label4", "SSPanel5", 120, 600, 1440, 165, "RF - FORWARD");
    row("SSPanel6", "SSPanel3", 6480, 240, 2145, 930);
    row("lblRefDigital(0)", "SSPanel6", 180, 180, 1395, 405, "");
    row("Label12", "SSPanel6", 1716, 336, 288, 276, "W");
    row("Label6", "SSPanel6", 204, 648, 1644, 168, "RF - REFLECTED");
    row("cmdKey(0)", "SSPanel3", 972, 1656, 516, 516, "1");
    row("cmdKey(1)", "SSPanel3", 1635, 1665, 510, 510, "2");
    row("cmdKey(8)", "SSPanel3", 2304, 2988, 516, 516, "9");
    row("cmdKey(9)", "SSPanel3", 975, 3645, 510, 510, "<");
    row("cmdKey(10)", "SSPanel3", 1644, 3648, 516, 516, "0");
    row("cmdKey(11)", "SSPanel3", 2310, 3645, 510, 510, "OK");
    row("Label3", "SSPanel3", 885, 4305, 2055, 255, "SETTING FREQUENCY");
    row("ledDeviation", "SSPanel3", 4440, 3600, 3330, 780);
    row("Shape2", "window", 9960, 360, 1212, 4488);
    row("Shape6", "window", 9480, 1968, 732, 2880);
    row("cmdSend", "window", 9696, 2256, 1200, 432, "  SEND  ");
    row("cmdSetFrequency", "window", 9696, 2880, 1212, 444, "SET FREQUENCY");
    row("cmdDisconnect", "window", 9648, 3504, 1272, 480, "DISCONNECT");
    row("ssRfSwitch", "window", 9648, 4128, 1308, 492);
    row("Shape3", "window", 9480, 5100, 1692, 1704);
    row("cmdPower", "window", 9705, 5424, 1212, 732, "ON");
    row("Label2", "window", 9840, 6384, 852, 252, "POWER");
    row("sbrStatus", "window", 0, 6990, 11370, 360);
}

void FrontPanelTest::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    frmTerminale &w = m_panel->openWindow();
    const auto matches = w.findChildren<QWidget *>(name);
    QCOMPARE(matches.size(), 1);
    QWidget *control = matches.first();
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(control->geometry(),
             QRect(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height())));
    if (caption == QLatin1String("-"))
        return;
    if (auto *button = qobject_cast<QAbstractButton *>(control))
        QCOMPARE(button->text(), caption);
    else if (auto *label = qobject_cast<QLabel *>(control))
        QCOMPARE(label->text(), caption);
    else
        QFAIL("a captioned control must be a button or a label");
}

void FrontPanelTest::initialColours_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<int>("value");
    for (int i = 1; i <= 6; ++i)
        QTest::addRow("ledDigit(%d)", i) << QStringLiteral("ledDigit(%1)").arg(i)
                                         << QByteArray("ForeColor") << PanelColor::DarkRed;
    QTest::newRow("shpPunto") << "shpPunto" << QByteArray("BackColor") << PanelColor::DarkRed;
    QTest::newRow("ledTemp") << "ledTemp" << QByteArray("LampColor") << PanelColor::DarkRed;
    QTest::newRow("ledLock") << "ledLock" << QByteArray("LampColor") << PanelColor::DarkRed;
    QTest::newRow("ledRfInhibit") << "ledRfInhibit" << QByteArray("LampColor")
                                  << PanelColor::DarkYellow;
    for (const char *label :
         {"lblTemp", "lblCommunications(0)", "lblDirDigital(0)", "lblRefDigital(0)"})
        QTest::newRow(label) << QString::fromLatin1(label) << QByteArray("BackColor")
                             << PanelColor::Olive;
    QTest::newRow("ssRfSwitch released") << "ssRfSwitch" << QByteArray("Pressed") << 0;
    QTest::newRow("ledDeviation") << "ledDeviation" << QByteArray("Value") << 0;
}

void FrontPanelTest::initialColours()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(int, value);
    frmTerminale &w = m_panel->openWindow();
    QWidget *control = w.findChild<QWidget *>(name);
    QVERIFY(control);
    const QVariant actual = control->property(property.constData());
    QVERIFY2(actual.isValid(), property.constData());
    QCOMPARE(actual.toInt(), value);
}

void FrontPanelTest::arraysHaveOnlyTheirIndices()
{
    frmTerminale &w = m_panel->openWindow();
    QVERIFY(!w.ledDigit(0));
    QVERIFY(w.ledDigit(6));
    QVERIFY(!w.ledDigit(7));
    QVERIFY(!w.lblDirDigital(1));
    QVERIFY(!w.lblRefDigital(1));
    QVERIFY(!w.lblCommunications(1));
    QVERIFY(!w.cmdKey(KeypadKey::Last + 1));
    // The decimal point stands between the third and fourth digits.
    QVERIFY(w.shpPunto->x() > w.ledDigit(3)->geometry().right());
    QVERIFY(w.shpPunto->geometry().right() < w.ledDigit(4)->x());
    for (int segment = 1; segment <= 10; ++segment) {
        const int colour = w.ledDeviation->segmentColor(segment);
        const int unlit = segment <= 6   ? PanelColor::DarkGreen
                          : segment <= 8 ? PanelColor::Olive
                                         : PanelColor::DarkRed;
        QCOMPARE(colour, unlit);
    }
}

void FrontPanelTest::statusBarPanels_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("tip");
    QTest::newRow("1") << 1 << "Status"
                       << "Communications Port Status";
    QTest::newRow("2") << 2 << "Settings"
                       << "Communications Port Settings";
    QTest::newRow("3") << 3 << ""
                       << "";
    QTest::newRow("4") << 4 << "Firmware"
                       << "Firmware Version";
    QTest::newRow("5") << 5 << ""
                       << "";
}

void FrontPanelTest::statusBarPanels()
{
    QFETCH(int, index);
    frmTerminale &w = m_panel->openWindow();
    QTEST(w.sbrStatus->panelKey(index), "key");
    QTEST(w.sbrStatus->panelToolTip(index), "tip");
    QCOMPARE(w.sbrStatus->panelText(1), QStringLiteral("Status:"));
    QCOMPARE(w.sbrStatus->panelText(4), QStringLiteral("Firmware:"));
    QCOMPARE(w.sbrStatus->panelText(5), QStringLiteral("Time of Connection:"));
    QVERIFY(!w.sbrStatus->panelPicture(1).isNull());
    QCOMPARE(w.sbrStatus->panelRect(3).width(), px(1440));
    QCOMPARE(w.sbrStatus->panelRect(5).width(), px(3500));
    QVERIFY(w.sbrStatus->panelRect(4).width() >= px(2000));
    QVERIFY(w.sbrStatus->panelRect(1).width() >= px(800));
    QVERIFY(w.sbrStatus->panelText(0).isEmpty());
    QVERIFY(w.sbrStatus->panelPicture(6).isNull());
}

void FrontPanelTest::timersAndMenu()
{
    frmTerminale &w = m_panel->openWindow();
    const QList<QPair<QString, int>> timers = {{QStringLiteral("timer1"), 1000},
                                               {QStringLiteral("tmrTimeOutComm"), 15000},
                                               {QStringLiteral("tmrTimeOut"), 500},
                                               {QStringLiteral("tmrPausa"), 10000},
                                               {QStringLiteral("tmrPausaLabel"), 5000}};
    for (const auto &[name, interval] : timers) {
        auto *timer = w.findChild<QTimer *>(name);
        QVERIFY2(timer, qPrintable(name));
        QCOMPARE(timer->interval(), interval);
    }
    auto *menu = w.findChild<QMenu *>(QStringLiteral("mnuFile"));
    QVERIFY(menu);
    QCOMPARE(menu->title(), QStringLiteral("&File"));
    const auto actions = menu->actions();
    QCOMPARE(actions.size(), 2);
    QCOMPARE(actions.at(0)->objectName(), QStringLiteral("mnuFilePort"));
    QCOMPARE(actions.at(0)->text(), QStringLiteral("Setting &Port"));
    QCOMPARE(actions.at(1)->objectName(), QStringLiteral("mnuFileExit"));
    QCOMPARE(actions.at(1)->text(), QStringLiteral("&Exit"));
}

void FrontPanelTest::shapesLieBehindWhatCoversThem()
{
    frmTerminale &w = m_panel->openWindow();
    // Children paint in creation order: a shape must come before what lies on it.
    auto order = [](QWidget *widget) { return widget->parentWidget()->children().indexOf(widget); };
    QVERIFY(order(w.Shape9) < order(w.ledDigit(1)));
    QVERIFY(order(w.Shape9) < order(w.shpPunto));
    QVERIFY(order(w.Shape1) < order(w.SSPanel1));
    QVERIFY(order(w.Shape1) < order(w.ledTemp));
    QVERIFY(order(w.Shape3) < order(w.cmdPower));
    QVERIFY(order(w.Shape2) < order(w.cmdSend));
    QVERIFY(order(w.Line4) < order(w.cmdKey(KeypadKey::First)));
}

namespace {
// What a screen reader hears of a control.
QString spoken(QWidget *widget, QAccessible::Text what)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(what) : QStringLiteral("<no accessible interface>");
}
} // namespace

void FrontPanelTest::lampsReadableWithoutColour_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("colour");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("state");
    QTest::newRow("lock lit") << "ledLock" << int(PanelColor::BrightRed) << "LOCK"
                              << "LOCK: locked";
    QTest::newRow("lock dark") << "ledLock" << int(PanelColor::DarkRed) << "LOCK"
                               << "LOCK: not locked";
    QTest::newRow("alarm lit") << "ledTemp" << int(PanelColor::BrightRed) << "ALARM TEMP"
                               << "ALARM TEMP: alarm";
    QTest::newRow("alarm dark") << "ledTemp" << int(PanelColor::DarkRed) << "ALARM TEMP"
                                << "ALARM TEMP: no alarm";
    QTest::newRow("on the air") << "ledRfInhibit" << int(PanelColor::Yellow) << "ON THE AIR"
                                << "ON THE AIR: on the air";
    QTest::newRow("off the air") << "ledRfInhibit" << int(PanelColor::DarkYellow) << "ON THE AIR"
                                 << "ON THE AIR: off the air";
}

void FrontPanelTest::lampsReadableWithoutColour()
{
    QFETCH(QString, control);
    QFETCH(int, colour);
    QFETCH(QString, caption);
    QFETCH(QString, state);
    frmTerminale &w = m_panel->openWindow();
    auto *lamp = w.findChild<LedLamp *>(control);
    QVERIFY(lamp);
    const QSize sizeBefore = lamp->size();
    // Away and back, so the words follow a change whichever colour it starts in.
    lamp->setLampColor(colour == PanelColor::BrightRed || colour == PanelColor::Yellow
                           ? PanelColor::Black
                           : PanelColor::White);
    lamp->setLampColor(colour);
    QCOMPARE(spoken(lamp, QAccessible::Name), caption);
    QCOMPARE(spoken(lamp, QAccessible::Description), state);
    QCOMPARE(lamp->toolTip(), state);
    QCOMPARE(lamp->LampColor(), colour);
    QCOMPARE(lamp->size(), sizeBefore);
}

void FrontPanelTest::readoutsAndDigitsSpeakTheirText()
{
    frmTerminale &w = m_panel->openWindow();
    QCOMPARE(spoken(w.ssRfSwitch, QAccessible::Name), QStringLiteral("RF INHIBIT"));
    QCOMPARE(spoken(w.ssRfSwitch, QAccessible::Description),
             QStringLiteral("RF INHIBIT: released"));
    // A press holds only while the poll runs.
    TxSimulator sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    QVERIFY(m_panel->startEngineOn(sim.devicePath()));
    w.ssRfSwitch->setPressed(true);
    QCOMPARE(spoken(w.ssRfSwitch, QAccessible::Description), QStringLiteral("RF INHIBIT: pressed"));
    QCOMPARE(w.ssRfSwitch->toolTip(), QStringLiteral("RF INHIBIT: pressed"));
    w.engine().powerOff();

    w.lblDirDigital(0)->setText(QStringLiteral("12.5"));
    w.lblTemp->setText(QStringLiteral("72"));
    QCOMPARE(spoken(w.lblDirDigital(0), QAccessible::Name), QStringLiteral("12.5"));
    QCOMPARE(spoken(w.lblTemp, QAccessible::Name), QStringLiteral("72"));

    w.DisplayFrequency(QStringLiteral("107900"));
    QCOMPARE(spoken(w.SSPanel7, QAccessible::Name), QStringLiteral("107.900 MHz"));
    QCOMPARE(spoken(w.ledDigit(3), QAccessible::Name), QStringLiteral("7"));
    w.DisplayFrequency(QStringLiteral("08750"));
    QCOMPARE(spoken(w.SSPanel7, QAccessible::Name), QStringLiteral("087.500 MHz"));
}

void FrontPanelTest::messagesFitTheLabel_data()
{
    QTest::addColumn<QString>("message");
    for (const char *message :
         {"COMMUNICATIONS IN PROGRESS", "SEND FREQUENCY TO TRANSMITTER", "FREQUENCY NOT PROGRAMMED",
          "No reply from TX", " NO REPLY FROM MICRO ", " DISCONNECTED ", " PORT NOT AVAILABLE ",
          "SETTINGS DAMAGED - BAND CLOSED", "SETTING Limitdown NOT USED"})
        QTest::newRow(message) << QString::fromLatin1(message);
}

void FrontPanelTest::messagesFitTheLabel()
{
    // A clipped message is one the operator cannot read.
    QFETCH(QString, message);
    frmTerminale &w = m_panel->openWindow();
    ReadoutLabel *label = w.lblCommunications(0);
    const int room = label->contentsRect().width();
    const int needed = label->fontMetrics().horizontalAdvance(message);
    QVERIFY2(needed <= room, qPrintable(QStringLiteral("%1 px for %2 px").arg(needed).arg(room)));
}

// The Caption property announces each change through its NOTIFY signal, once,
// and stays quiet when set to what it already is.
void FrontPanelTest::panelCaptionNotifies()
{
    frmTerminale &w = m_panel->openWindow();
    Panel3D *panel = w.findChild<Panel3D *>(QStringLiteral("SSPanel2"));
    QVERIFY(panel);
    const QMetaProperty caption =
        panel->metaObject()->property(panel->metaObject()->indexOfProperty("Caption"));
    QVERIFY(caption.isValid());
    QVERIFY(caption.hasNotifySignal());
    QCOMPARE(caption.read(panel).toString(), QStringLiteral("SSPanel2"));

    QSignalSpy spy(panel, &Panel3D::captionChanged);
    QCOMPARE(caption.notifySignal(), QMetaMethod::fromSignal(&Panel3D::captionChanged));
    QVERIFY(caption.write(panel, QStringLiteral("Front")));
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("Front"));
    QCOMPARE(panel->Caption(), QStringLiteral("Front"));
    panel->setCaption(QStringLiteral("Front"));
    QCOMPARE(spy.size(), 1);
}

QTEST_MAIN(FrontPanelTest)
#include "tst_frontpanel.moc"
