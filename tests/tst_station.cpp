// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The station's watch end to end against the simulated transmitter: an
// alarm raised once after its delay, shown in the window title, the Station
// window and the log, then cleared and acknowledged; the link and RF alarms;
// the main window unchanged but for the Station menu; the chart of a day of
// seconds; a record that cannot be kept, told without a box.
#include "app/Station.h"
#include "app/frmTerminale.h"
#include "link/LinkEngine.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"
#include "panel/RibbonSwitch.h"
#include "record/AlarmBook.h"
#include "record/DesktopNotifier.h"
#include "record/OperatingSystemUser.h"
#include "record/ReadingsChart.h"
#include "record/RecordDatabase.h"
#include "record/Recorder.h"
#include "record/StationWindow.h"
#include "settings/SettingsStore.h"
#include "sim/TxSimulator.h"
#include "support/PanelDriver.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineSeries>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

namespace {
const QString Title = QStringLiteral("ORVEL   BROADCAST ");

AlarmSettings alarmsOn()
{
    AlarmSettings settings = AlarmSettings::defaults();
    settings.enabled = true;
    settings.readings = 3;
    settings[AlarmKind::ReflectedHigh] = {2.0, 1.5, 1.0, true};
    settings[AlarmKind::RfOff] = {0, 0, 0.3, true};
    settings[AlarmKind::LinkLost] = {0, 0, 0.0, true};
    return settings;
}

// Bytes a status poll never sends: RF on and off, a programming and its digits.
bool commandsBeyondThePoll(const QByteArray &line)
{
    for (const char byte : line) {
        if (byte == '\x0b' || byte == '\x0c' || byte == '\x0e' || (byte >= '0' && byte <= '9'))
            return true;
    }
    return false;
}

QStringList column(const QTableWidget *table, int column)
{
    QStringList cells;
    for (int row = 0; row < table->rowCount(); ++row)
        cells << (table->item(row, column) ? table->item(row, column)->text() : QString());
    return cells;
}
} // namespace

class StationTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void mainWindowGetsOnlyTheMenu_data();
    void mainWindowGetsOnlyTheMenu();
    void reflectedPowerAlarmEndToEnd();
    void rfOffTheAir_data();
    void rfOffTheAir();
    void linkLostUntilTheOperatorStops();
    void chartOfADayOfSeconds();
    void exportWhileThePollGoesOn();
    void recordThatCannotBeKeptIsToldWithoutABox();

private:
    void makePanel(const AlarmSettings &alarms, const RecordSettings &record);
    // DISCONNECT, and the wait until the connection has ended.
    void disconnectAndWait();
    void writeADayOfSeconds(qint64 now, qint64 spike);
    frmTerminale &w() { return *m_w; }
    QString recordPath() const { return m_dir.filePath(QStringLiteral("record.sqlite")); }

    std::unique_ptr<PanelDriver> m_sandbox;
    std::unique_ptr<TxSimulator> m_sim;
    std::unique_ptr<frmTerminale> m_w;
    Station *m_station = nullptr;
    QTemporaryDir m_dir;
};

void StationTest::init()
{
    m_sandbox = std::make_unique<PanelDriver>();
    m_sandbox->store(QStringLiteral("Comm"), QStringLiteral("1"));
    m_sim = std::make_unique<TxSimulator>();
    QVERIFY2(m_sim->start(), qPrintable(m_sim->lastError()));
    PanelDriver::mapPort(1, m_sim->devicePath());
}

void StationTest::cleanup()
{
    m_station = nullptr;
    m_w.reset();
    m_sim.reset();
    m_sandbox.reset();
    QFile::remove(recordPath());
}

void StationTest::makePanel(const AlarmSettings &alarms, const RecordSettings &record)
{
    m_w = std::make_unique<frmTerminale>();
    w().tmrTimeOutComm->setInterval(1000);
    m_station = new Station(w(), alarms, record);
}

void StationTest::disconnectAndWait()
{
    w().cmdDisconnect_Click();
    QTRY_COMPARE(w().connectionState(), ConnectionState::Ended);
}

void StationTest::mainWindowGetsOnlyTheMenu_data()
{
    QTest::addColumn<bool>("alarms");
    QTest::addColumn<bool>("record");
    QTest::newRow("both off: the panel as it always was") << false << false;
    QTest::newRow("alarms on") << true << false;
    QTest::newRow("record on") << false << true;
    QTest::newRow("both on") << true << true;
}

void StationTest::mainWindowGetsOnlyTheMenu()
{
    QFETCH(bool, alarms);
    QFETCH(bool, record);
    frmTerminale plain;
    plain.show();
    AlarmSettings alarmSettings = AlarmSettings::defaults();
    alarmSettings.enabled = alarms;
    RecordSettings recordSettings;
    recordSettings.enabled = record;
    recordSettings.path = recordPath();
    makePanel(alarmSettings, recordSettings);
    w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&w()));

    QCOMPARE(w().windowTitle(), Title);
    QCOMPARE(w().centralWidget()->size(), QSize(758, 490));
    QCOMPARE(w().minimumSize(), w().maximumSize());
    QCOMPARE(w().size(), plain.size());
    QStringList menus;
    const QList<QAction *> actions = w().menuBar()->actions();
    for (const QAction *action : actions)
        menus << action->text();
    QCOMPARE(menus, alarms || record
                        ? QStringList({QStringLiteral("&File"), QStringLiteral("&Station")})
                        : QStringList({QStringLiteral("&File")}));
    // Nothing written unless the record is on.
    QCOMPARE(QFileInfo::exists(recordPath()), record);
    if (!alarms && !record)
        return;
    m_station->openAction()->trigger();
    QVERIFY(m_station->window()->isVisible());
    QVERIFY(!m_station->window()->isModal());
    QVERIFY(!QApplication::activeModalWidget());
    // The front panel stays exactly where it was.
    QCOMPARE(w().centralWidget()->size(), QSize(758, 490));
    QCOMPARE(w().size(), plain.size());
}

void StationTest::reflectedPowerAlarmEndToEnd()
{
    makePanel(alarmsOn(), {true, recordPath(), 7, 400});
    AlarmBook *book = m_station->alarmBook();
    QSignalSpy changes(book, &AlarmBook::changed);
    QSignalSpy notified(m_station->notifier(), &DesktopNotifier::notified);
    QElapsedTimer clock;
    qint64 raisedAtMs = -1;
    QDateTime highFromUtc;
    QString titleActive, titleCleared, stateShown, clearedShown;
    qsizetype linePastAcknowledge = 0;
    QStringList alarmsShownAfterAcknowledge;

    const AlarmEntry &reflected = book->entry(AlarmKind::ReflectedHigh);
    w().cmdPower_Click();
    QTRY_VERIFY(w().statusCycles() >= 3);
    QCOMPARE(w().windowTitle(), Title);
    m_sim->setReflectedPower(QStringLiteral("2.5"));
    clock.start();
    highFromUtc = QDateTime::currentDateTimeUtc();
    QTRY_VERIFY_WITH_TIMEOUT(reflected.active(), 10000);
    raisedAtMs = clock.elapsed();
    titleActive = w().windowTitle();
    m_station->openWindow();
    stateShown = column(m_station->window()->alarmTable(), 1).join(QLatin1Char('|'));
    // Held high well past the delay: still the one raise.
    QTest::qWait(2500);
    m_sim->setReflectedPower(QStringLiteral("0.3"));
    QTRY_VERIFY_WITH_TIMEOUT(reflected.state == AlarmEntry::State::ClearedUnacknowledged, 10000);
    titleCleared = w().windowTitle();
    clearedShown = column(m_station->window()->alarmTable(), 1).join(QLatin1Char('|'));
    linePastAcknowledge = m_sim->received().size();
    m_station->window()->alarmTable()->selectRow(0);
    m_station->window()->acknowledgeButton()->click();
    alarmsShownAfterAcknowledge = column(m_station->window()->alarmTable(), 0);
    QTRY_VERIFY(m_sim->received().size() > linePastAcknowledge + 40);
    disconnectAndWait();

    // Raised once, after its delay, then cleared and acknowledged.
    QCOMPARE(changes.size(), 3);
    QVERIFY2(raisedAtMs >= 1000, qPrintable(QString::number(raisedAtMs)));
    QVERIFY(reflected.raisedUtc >= highFromUtc.addMSecs(1000));
    QCOMPARE(reflected.raisedValue, QStringLiteral("2.5 W"));
    QCOMPARE(reflected.state, AlarmEntry::State::Normal);
    QCOMPARE(reflected.acknowledgedBy, OperatingSystemUser::name());
    // Seen without being looked for: the title and one desktop notification.
    QCOMPARE(titleActive, Title + QStringLiteral("- ALARM: REFLECTED POWER HIGH"));
    QCOMPARE(titleCleared,
             Title + QStringLiteral("- ALARM CLEARED, NOT ACKNOWLEDGED: REFLECTED POWER HIGH"));
    QCOMPARE(w().windowTitle(), Title);
    QCOMPARE(notified.size(), 1);
    QCOMPARE(notified.at(0).at(0).toString(), QStringLiteral("ALARM: REFLECTED POWER HIGH"));
    // The Station window, at each step.
    QCOMPARE(stateShown, QStringLiteral("active, unacknowledged"));
    QCOMPARE(clearedShown, QStringLiteral("cleared, unacknowledged"));
    QCOMPARE(alarmsShownAfterAcknowledge, QStringList());
    // Acknowledging sent nothing to the transmitter; the poll went on.
    QVERIFY2(!commandsBeyondThePoll(m_sim->received()), m_sim->received().toHex().constData());
    QVERIFY(m_sim->received().mid(linePastAcknowledge).count('\x04') >= 5);

    // The log: the three steps, once each, with who and when.
    m_station->recorder()->flush();
    RecordDatabase *db = m_station->recorder()->database();
    const QDateTime from = highFromUtc.addSecs(-60),
                    to = QDateTime::currentDateTimeUtc().addSecs(5);
    const QList<RecordEvent> raised = db->events(from, to, {QStringLiteral("alarm-raised")});
    QCOMPARE(raised.size(), 1);
    QCOMPARE(raised[0].subject, QStringLiteral("reflected-high"));
    QCOMPARE(raised[0].newValue, QStringLiteral("2.5 W"));
    QCOMPARE(raised[0].utc, reflected.raisedUtc);
    QCOMPARE(db->events(from, to, {QStringLiteral("alarm-cleared")}).size(), 1);
    const QList<RecordEvent> acknowledged =
        db->events(from, to, {QStringLiteral("alarm-acknowledged")});
    QCOMPARE(acknowledged.size(), 1);
    QCOMPARE(acknowledged[0].user, OperatingSystemUser::name());
    QCOMPARE(acknowledged[0].utc, reflected.acknowledgedUtc);
    const QList<RecordEvent> ended = db->events(from, to, {QStringLiteral("connection")});
    QCOMPARE(ended.constFirst().outcome, QStringLiteral("ended"));
    QCOMPARE(ended.constFirst().detail, QStringLiteral("DISCONNECT pressed"));
    // Seconds were kept while connected, with the reflected power seen.
    const QList<RecordSample> seconds = db->samples(from.toSecsSinceEpoch(), to.toSecsSinceEpoch());
    QVERIFY(seconds.size() >= 3);
    bool sawHigh = false;
    for (const RecordSample &s : seconds)
        sawHigh = sawHigh || s.reflectedW == std::optional<double>(2.5);
    QVERIFY(sawHigh);

    // The Station window's log lists them too.
    StationWindow *window = m_station->window();
    window->tabs()->setCurrentIndex(1);
    window->kindFilter()->setCurrentIndex(1); // Alarms
    QCOMPARE(column(window->logTable(), 1),
             QStringList({QStringLiteral("alarm-acknowledged"), QStringLiteral("alarm-cleared"),
                          QStringLiteral("alarm-raised")}));
    QCOMPARE(window->logTable()->item(2, 3)->text(), QStringLiteral("reflected-high"));
}

void StationTest::rfOffTheAir_data()
{
    QTest::addColumn<bool>("byOperator");
    QTest::newRow("gone off by itself") << false;
    QTest::newRow("switched off with RF INHIBIT") << true;
}

void StationTest::rfOffTheAir()
{
    QFETCH(bool, byOperator);
    m_sim->setOnAir(true);
    makePanel(alarmsOn(), {true, recordPath(), 7, 400});
    const AlarmEntry &rf = m_station->alarmBook()->entry(AlarmKind::RfOff);
    QElapsedTimer offFor;
    w().cmdPower_Click();
    QTRY_VERIFY(w().statusCycles() >= 3 && w().reading().onAir.value == true);
    if (byOperator)
        w().ssRfSwitch->click();
    else
        m_sim->setOnAir(false);
    QTRY_VERIFY(!m_sim->onAir());
    offFor.start();
    // Long past the delay.
    QTRY_VERIFY_WITH_TIMEOUT(rf.active() || offFor.elapsed() > 3000, 10000);
    disconnectAndWait();
    QCOMPARE(rf.raises, byOperator ? 0 : 1);
    m_station->recorder()->flush();
    const QList<RecordEvent> commands = m_station->recorder()->database()->events(
        QDateTime::currentDateTimeUtc().addSecs(-120), QDateTime::currentDateTimeUtc().addSecs(5),
        {QStringLiteral("rf-command")});
    QCOMPARE(commands.size(), byOperator ? 1 : 0);
    if (byOperator) {
        QCOMPARE(commands[0].newValue, QStringLiteral("off"));
        QCOMPARE(commands[0].outcome, QStringLiteral("confirmed"));
    }
}

void StationTest::linkLostUntilTheOperatorStops()
{
    makePanel(alarmsOn(), {false, QString(), 7, 400});
    const AlarmEntry &link = m_station->alarmBook()->entry(AlarmKind::LinkLost);
    w().cmdPower_Click();
    QTRY_VERIFY(w().statusCycles() >= 2);
    m_sim->unplug();
    QTRY_COMPARE(w().connectionState(), ConnectionState::Ended);
    QCOMPARE(w().connectionState(), ConnectionState::Ended);
    QCOMPARE(link.state, AlarmEntry::State::ActiveUnacknowledged);
    QCOMPARE(w().windowTitle(), Title + QStringLiteral("- ALARM: LINK LOST"));
    // The operator switches the panel off: the alarm clears, and stays
    // listed until acknowledged.
    w().cmdPower_Click();
    QCOMPARE(w().connectionState(), ConnectionState::Off);
    QCOMPARE(link.state, AlarmEntry::State::ClearedUnacknowledged);
    QVERIFY(m_station->acknowledge(AlarmKind::LinkLost));
    QCOMPARE(w().windowTitle(), Title);
    // DISCONNECT is no lost link.
    QVERIFY(m_sim->start());
    PanelDriver::mapPort(1, m_sim->devicePath());
    w().cmdPower_Click();
    QTRY_VERIFY(w().statusCycles() >= 2);
    disconnectAndWait();
    QCOMPARE(link.raises, 1);
    QCOMPARE(link.state, AlarmEntry::State::Normal);
}

void StationTest::writeADayOfSeconds(qint64 now, qint64 spike)
{
    // A day of seconds, with one spike of a single second and an hour off.
    RecordDatabase db(recordPath());
    QVERIFY(db.open(QDateTime::currentDateTimeUtc()));
    QList<RecordSample> seconds;
    for (qint64 t = now - 86400 + 1; t <= now; ++t) {
        if (t > now - 12 * 3600 && t <= now - 11 * 3600)
            continue;
        RecordSample s;
        s.utcSeconds = t;
        s.forwardW = t == spike ? 50.0 : 12.0 + double(t % 7) * 0.1;
        s.reflectedW = 0.3;
        s.vswr = 1.4;
        s.temperatureC = 30;
        seconds << s;
    }
    QVERIFY(db.write({}, seconds));
}

void StationTest::chartOfADayOfSeconds()
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 spike = now - 5 * 3600;
    writeADayOfSeconds(now, spike);
    makePanel(AlarmSettings::defaults(), {true, recordPath(), 7, 400});
    m_station->openWindow();
    StationWindow *window = m_station->window();
    const qint64 openedFrom = QDateTime::currentSecsSinceEpoch();
    window->tabs()->setCurrentIndex(2);
    const qint64 openedBy = QDateTime::currentSecsSinceEpoch();
    ReadingsChart *chart = window->chart();
    QTRY_VERIFY(chart->pointsShown(ReadingsChart::Forward) > 0);
    // The last 24 hours as of the opening: the day written, but for the
    // seconds that have gone out of it since it was written.
    const auto inDayOf = [now](qint64 opened) {
        return qsizetype(qMin<qint64>(86400, now - (opened + 1 - 86400) + 1) - 3600);
    };
    QVERIFY2(chart->pointsLoaded() >= inDayOf(openedBy) &&
                 chart->pointsLoaded() <= inDayOf(openedFrom),
             qPrintable(QStringLiteral("%1 loaded, %2 to %3 expected")
                            .arg(chart->pointsLoaded())
                            .arg(inDayOf(openedBy))
                            .arg(inDayOf(openedFrom))));
    const int width = int(chart->chart()->plotArea().width());
    QVERIFY2(chart->pointsShown(ReadingsChart::Forward) <= qsizetype(width) * 2 * 4 + 16,
             qPrintable(QString::number(chart->pointsShown(ReadingsChart::Forward))));
    // Thinned, the one-second spike is still drawn; the hour off breaks the line.
    double highest = 0;
    int runs = 0;
    const QList<QAbstractSeries *> series = chart->chart()->series();
    for (QAbstractSeries *one : series) {
        auto *line = static_cast<QLineSeries *>(one);
        if (!line->name().startsWith(QLatin1String("Forward")) || line->count() == 0)
            continue;
        ++runs;
        for (const QPointF &p : line->points())
            highest = qMax(highest, p.y());
    }
    QCOMPARE(highest, 50.0);
    QCOMPARE(runs, 2);
    // Zoomed to ten minutes, every second is there.
    chart->setVisibleRange(QDateTime::fromSecsSinceEpoch(spike - 300),
                           QDateTime::fromSecsSinceEpoch(spike + 300));
    QTRY_COMPARE(chart->pointsShown(ReadingsChart::Forward), qsizetype(601 + 2));
}

void StationTest::exportWhileThePollGoesOn()
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 spike = now - 5 * 3600;
    writeADayOfSeconds(now, spike);
    makePanel(AlarmSettings::defaults(), {true, recordPath(), 7, 400});
    m_station->openWindow();
    StationWindow *window = m_station->window();
    window->tabs()->setCurrentIndex(2);
    QTRY_VERIFY(window->chart()->pointsShown(ReadingsChart::Forward) > 0);
    // The range to export follows the chart when it is zoomed.
    window->chart()->setVisibleRange(QDateTime::fromSecsSinceEpoch(spike - 300),
                                     QDateTime::fromSecsSinceEpoch(spike + 300));
    const QString file = m_dir.filePath(QStringLiteral("ten-minutes.csv"));
    w().cmdPower_Click();
    QTRY_VERIFY(w().statusCycles() >= 2);
    const QList<QPushButton *> buttons = window->findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        if (button->text() == QStringLiteral("Export s&econds…"))
            button->click();
    }
    // The file dialog is open, and the poll goes on under it.
    QTRY_VERIFY(window->findChild<QFileDialog *>() != nullptr);
    const qsizetype linesWhileOpen = m_sim->received().size();
    QTRY_VERIFY(m_sim->received().size() > linesWhileOpen + 30);
    // The operator's choice, as the dialog tells it.
    auto *dialog = window->findChild<QFileDialog *>();
    Q_EMIT dialog->fileSelected(file);
    dialog->close();
    // Done or failed: either ends the export.
    QTRY_VERIFY(!window->exportNote()->text().startsWith(QLatin1String("Exporting")));
    disconnectAndWait();
    QCOMPARE(window->exportNote()->text(),
             QStringLiteral("Export done: 600 rows written to ") + file);
    QFile csv(file);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    // The header, the 600 seconds of [from, to), nothing after the last CR LF.
    QCOMPARE(lines.size(), 602);
    QVERIFY(lines.at(1).startsWith(
        QDateTime::fromSecsSinceEpoch(spike - 300, Qt::UTC).toString(Qt::ISODate).toUtf8()));
    QVERIFY(lines.at(301).contains(",50,"));
}

void StationTest::recordThatCannotBeKeptIsToldWithoutABox()
{
    const QString blocker = m_dir.filePath(QStringLiteral("not-a-folder"));
    {
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    m_w = std::make_unique<frmTerminale>();
    // The notifier exists before the record is opened: catch its word.
    int told = 0;
    auto *station = new Station(w(), AlarmSettings::defaults(),
                                {true, blocker + QStringLiteral("/record.sqlite"), 7, 400});
    m_station = station;
    QCOMPARE(w().windowTitle(), Title + QStringLiteral("- RECORD STOPPED"));
    QVERIFY(!QApplication::activeModalWidget());
    connect(station->notifier(), &DesktopNotifier::notified, this, [&] { ++told; });
    station->openWindow();
    QVERIFY2(station->window()->recordStatus().startsWith(QLatin1String("RECORD STOPPED: ")),
             qPrintable(station->window()->recordStatus()));
    QVERIFY(station->window()->recordStatus().contains(blocker));
    // Monitoring goes on; the record stays stopped and quiet.
    w().cmdPower_Click();
    QTRY_VERIFY(w().statusCycles() >= 5);
    disconnectAndWait();
    QCOMPARE(told, 0);
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" DISCONNECTED "));
}

QTEST_MAIN(StationTest)
#include "tst_station.moc"
