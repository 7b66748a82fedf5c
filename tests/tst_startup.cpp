// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The window at rest: start-up from the settings store, the frequency display,
// SET FREQUENCY and the keypad's closed state, centring, and ending the program.
#include "app/PanelProgram.h"
#include "app/frmTerminale.h"
#include "link/Commands.h"
#include "link/LinkEngine.h"
#include "link/MSComm.h"
#include "panel/Key3D.h"
#include "panel/KeypadKeys.h"
#include "panel/LedDigit.h"
#include "panel/PanelStatusBar.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"
#include "sim/TxSimulator.h"
#include "support/LineBytes.h"
#include "support/PanelDriver.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {
// The settings folder a child process works in: its parent's, which the
// parent removes, as the child ends without unwinding.
const QString StoreDirVariable = QStringLiteral("TXPANEL_TEST_STORE");
} // namespace

class StartupTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void firstRunUsesDefaults();
    void storedValues_data();
    void storedValues();
    void startsIdleAndClosed();
    void unreadableStoreFailsClosed();
    void displayFrequency_data();
    void displayFrequency();
    void setFrequencyOpensAndRipristinaCloses();
    void centring_data();
    void centring();
    void endingTheProgram_data();
    void endingTheProgram();
    void exitWhileConnected_data();
    void exitWhileConnected();
};

void StartupTest::firstRunUsesDefaults()
{
    PanelDriver panel;
    frmTerminale &w = panel.openWindow();
    QCOMPARE(w.sbrStatus->panelText(3), QStringLiteral("Com: "));
    QCOMPARE(LimitUp, QVariant(qint32(1000000)));
    QCOMPARE(LimitDown.toInt(), 0);
    QVERIFY(!LimitDown.toString().isEmpty());
    QCOMPARE(w.sbrStatus->panelText(2), QStringLiteral("Settings: 4800,N,8,1"));
}

void StartupTest::storedValues_data()
{
    QTest::addColumn<QString>("comm");
    QTest::addColumn<QString>("up");
    QTest::addColumn<QString>("down");
    QTest::addColumn<QString>("panel3");
    QTest::addColumn<QString>("expectUp");
    QTest::addColumn<QString>("expectDown");
    QTest::newRow("port 2") << "2"
                            << ""
                            << ""
                            << "Com: 2"
                            << "1000000"
                            << "0";
    QTest::newRow("only upper limit") << "1"
                                      << "108000"
                                      << ""
                                      << "Com: 1"
                                      << "108000"
                                      << "";
    QTest::newRow("only lower limit") << ""
                                      << ""
                                      << "87500"
                                      << "Com: "
                                      << ""
                                      << "87500";
    QTest::newRow("both limits") << "1"
                                 << "108000"
                                 << "87500"
                                 << "Com: 1"
                                 << "108000"
                                 << "87500";
}

void StartupTest::storedValues()
{
    QFETCH(QString, comm);
    QFETCH(QString, up);
    QFETCH(QString, down);
    PanelDriver panel;
    if (!comm.isEmpty())
        panel.store(QStringLiteral("Comm"), comm);
    if (!up.isEmpty())
        panel.store(QStringLiteral("LimitUp"), up);
    if (!down.isEmpty())
        panel.store(QStringLiteral("LimitDown"), down);
    frmTerminale &w = panel.openWindow();
    QTEST(w.sbrStatus->panelText(3), "panel3");
    QTEST(LimitUp.toString(), "expectUp");
    QTEST(LimitDown.toString(), "expectDown");
    QCOMPARE(Comm.toString(), comm);
}

void StartupTest::startsIdleAndClosed()
{
    PanelDriver panel;
    frmTerminale &w = panel.openWindow();
    QVERIFY(w.DisplayEnabled);
    QCOMPARE(w.DigitPosition, qint16(1));
    QVERIFY(!w.PowerOn);
    QVERIFY(!w.AbortComm);
    for (int i = KeypadKey::First; i <= KeypadKey::Last; ++i)
        QVERIFY2(!w.cmdKey(i)->isEnabled(), qPrintable(w.cmdKey(i)->objectName()));
    QVERIFY(!w.cmdSend->isEnabled());
    QVERIFY(w.cmdPower->isEnabled());
    QCOMPARE(w.cmdPower->text(), QStringLiteral("ON"));
    for (QTimer *timer : std::initializer_list<QTimer *>{w.timer1, w.tmrTimeOutComm, w.tmrTimeOut,
                                                         w.tmrPausa, w.tmrPausaLabel})
        QVERIFY2(!timer->isActive(), qPrintable(timer->objectName()));
}

void StartupTest::unreadableStoreFailsClosed()
{
    PanelDriver panel;
    // A directory where the settings file should be: nothing can be read.
    QVERIFY(QDir().mkpath(panel.storePath()));
    frmTerminale &w = panel.openWindow();
    QCOMPARE(w.sbrStatus->panelText(3), QStringLiteral("Com: "));
    // Defaults for the port, never for the band: nothing can be sent.
    QVERIFY(!Band.accepts(98500));
    QCOMPARE(w.lblCommunications(0)->text(), QStringLiteral("SETTINGS DAMAGED - BAND CLOSED"));
    QVERIFY(QFileInfo(panel.storeDir() + QStringLiteral("/Tx_Orvel.conf")).isDir());

    PanelDriver healthy;
    QVERIFY(healthy.openWindow().lblCommunications(0)->text().isEmpty());
}

void StartupTest::displayFrequency_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("shown"); // digits 1..6 after the report, from 9 9 9 9 9 9
    QTest::newRow("six digits") << "107900"
                                << "107909";
    QTest::newRow("five digits") << "09850"
                                 << "098509";
    QTest::newRow("short") << "12"
                           << "129999";
    QTest::newRow("empty") << ""
                           << "999999";
    QTest::newRow("letters among digits") << "1a7b9"
                                          << "197999";
    QTest::newRow("non-ASCII and NUL") << QString::fromLatin1("\xff\x00"
                                                              "3",
                                                              3)
                                       << "993999";
}

void StartupTest::displayFrequency()
{
    QFETCH(QString, report);
    QFETCH(QString, shown);
    PanelDriver panel;
    frmTerminale &w = panel.openWindow();
    for (int i = 1; i <= 6; ++i)
        w.ledDigit(i)->setDigitValue(9);
    w.DisplayFrequency(report);
    QCOMPARE(panel.digitsShown(6), shown);
}

void StartupTest::setFrequencyOpensAndRipristinaCloses()
{
    PanelDriver panel;
    frmTerminale &w = panel.openWindow();
    w.TickCount = 37;
    panel.openKeypad();
    QVERIFY(!w.DisplayEnabled);
    QVERIFY(w.tmrTimeOut->isActive());
    QCOMPARE(w.TickCount, qint16(0));
    for (int i = KeypadKey::First; i <= KeypadKey::Zero; ++i)
        QVERIFY(w.cmdKey(i)->isEnabled());
    QVERIFY(!w.cmdKey(KeypadKey::Ok)->isEnabled());
    QCOMPARE(w.DigitPosition, qint16(1));

    w.cmdSend->setEnabled(true);
    w.Ripristina();
    QVERIFY(w.DisplayEnabled);
    QVERIFY(!w.cmdSend->isEnabled());
    for (int i = KeypadKey::First; i <= KeypadKey::Last; ++i)
        QVERIFY(!w.cmdKey(i)->isEnabled());
    // Closing the keypad leaves the entry blink running until its own limit.
    QVERIFY(w.tmrTimeOut->isActive());
    QVERIFY(w.cmdSetFrequency->isEnabled());
}

void StartupTest::centring_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QPoint>("topLeft");
    QTest::newRow("fits") << QRect(0, 0, 1024, 768) << QSize(764, 520) << QPoint(130, 124);
    QTest::newRow("larger than the screen, not clamped")
        << QRect(0, 0, 640, 480) << QSize(764, 520) << QPoint(-62, -20);
    QTest::newRow("odd difference") << QRect(0, 0, 801, 601) << QSize(100, 100) << QPoint(350, 250);
}

void StartupTest::centring()
{
    QFETCH(QRect, screen);
    QFETCH(QSize, window);
    QTEST(frmTerminale::centredPosition(screen, window), "topLeft");

    PanelDriver panel;
    frmTerminale &w = panel.openWindow();
    const QRect available = QGuiApplication::primaryScreen()->geometry();
    const QPoint expected = frmTerminale::centredPosition(available, w.frameGeometry().size());
    QCOMPARE(w.pos(), expected);
}

namespace {
// The ways the operator or the system ends the program, by the name the log gives them.
const QStringList EndingWays = {QStringLiteral("File, Exit"), QStringLiteral("close box"),
                                QStringLiteral("SIGTERM"), QStringLiteral("SIGINT"),
                                QStringLiteral("SIGHUP")};

void askTheEnd(frmTerminale &w, const QString &way)
{
    if (way == QLatin1String("File, Exit"))
        w.mnuFileExit_Click();
    else if (way == QLatin1String("close box"))
        w.close();
    else
        ::kill(::getpid(), way == QLatin1String("SIGTERM")  ? SIGTERM
                           : way == QLatin1String("SIGINT") ? SIGINT
                                                            : SIGHUP);
}
} // namespace

// The program as main() runs it, ended one way, in a process of its own:
// its exit status is the event loop's.
static int runChild(const QString &how)
{
    PanelDriver panel(qEnvironmentVariable(qPrintable(StoreDirVariable)));
    const QString way = how.section(QLatin1Char('/'), 1);
    PanelProgram program;
    frmTerminale &w = program.panel();
    LinkEngine &engine = w.engine();
    // Exchanges completed so far.
    int completed = 0;
    if (how.startsWith(QLatin1String("rest"))) {
        QTimer::singleShot(20, &w, [&w, way] { askTheEnd(w, way); });
    } else {
        const bool programming = how.startsWith(QLatin1String("programming"));
        QObject::connect(&engine, &LinkEngine::exchangeCompleted, &w,
                         [&, programming, way](quint8 command) {
                             ++completed;
                             // Asked as the first digit is about to go out: the programming
                             // must still go out whole, and nothing after it.
                             if (programming && command == TxCommand::CMD_SET_FREQUENCY) {
                                 std::printf("ASKED %lld\n", QDateTime::currentSecsSinceEpoch());
                                 std::fflush(stdout);
                                 askTheEnd(w, way);
                             }
                         });
        QObject::connect(&engine, &LinkEngine::readingTaken, &w, [&, programming, way] {
            if (engine.statusCycles() == 3 && programming) {
                w.cmdSetFrequency_Click();
                for (const QChar digit : QStringLiteral("10790"))
                    w.cmdKey_Click(PanelDriver::keyFor(digit));
                w.cmdKey_Click(KeypadKey::Ok);
                w.cmdSend_Click();
            }
            // Not within the last tenth of a second, so that the reading
            // just taken and the request fall in the same second.
            if (engine.statusCycles() < 10 || programming || w.ending() ||
                QDateTime::currentMSecsSinceEpoch() % 1000 > 900)
                return;
            std::printf("ASKED %lld\n", QDateTime::currentSecsSinceEpoch());
            std::fflush(stdout);
            askTheEnd(w, way);
        });
        // The feed's port is free as the program ends, not only once it is gone.
        QObject::connect(&w, &frmTerminale::programEnding, &w, [&completed] {
            std::printf("ENDED %d\n", completed);
            QTcpServer probe;
            const bool free =
                probe.listen(QHostAddress::LocalHost,
                             quint16(qEnvironmentVariableIntValue("TXPANEL_FEED_PORT")));
            std::printf("FEED %s\n", free ? "free" : "held");
            std::fflush(stdout);
        });
    }
    w.show();
    return qApp->exec();
}

void StartupTest::endingTheProgram_data()
{
    QTest::addColumn<QString>("way");
    for (const QString &way : EndingWays)
        QTest::newRow(qPrintable(way)) << way;
}

void StartupTest::endingTheProgram()
{
    QFETCH(QString, way);
    const PanelDriver settings;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TXPANEL_TEST_CHILD"), QStringLiteral("rest/") + way);
    env.insert(StoreDirVariable, settings.storeDir());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY(clock.elapsed() < 2500);
}

void StartupTest::exitWhileConnected_data()
{
    QTest::addColumn<QString>("how");
    for (const QString &way : EndingWays)
        QTest::newRow(qPrintable(way + QStringLiteral(" while polling")))
            << QStringLiteral("polling/") + way;
    for (const QString &way : EndingWays.mid(0, 3))
        QTest::newRow(qPrintable(way + QStringLiteral(" while programming")))
            << QStringLiteral("programming/") + way;
}

void StartupTest::exitWhileConnected()
{
    QFETCH(QString, how);
    const QString way = how.section(QLatin1Char('/'), 1);
    const bool programming = how.startsWith(QLatin1String("programming"));
    TxSimulator sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    sim.setFrequencyKHz(98500);
    // Slow enough that the end is asked for in the middle of the programming.
    if (programming)
        sim.setReplyDelayMs(40);
    PanelDriver settings;
    settings.store(QStringLiteral("Comm"), QStringLiteral("1"));
    settings.store(QStringLiteral("LimitUp"), QStringLiteral("108000"));
    settings.store(QStringLiteral("LimitDown"), QStringLiteral("87500"));
    settings.store(QStringLiteral("Link"), QStringLiteral("ConnectAtStart"),
                   QStringLiteral("true"));
    const QString record = settings.storeDir() + QStringLiteral("/record.sqlite");
    settings.store(QStringLiteral("Record"), QStringLiteral("Enabled"), QStringLiteral("true"));
    settings.store(QStringLiteral("Record"), QStringLiteral("Path"), record);
    quint16 feedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        feedPort = probe.serverPort();
    }
    settings.store(QStringLiteral("Feed"), QStringLiteral("Enabled"), QStringLiteral("true"));
    settings.store(QStringLiteral("Feed"), QStringLiteral("Address"), QStringLiteral("127.0.0.1"));
    settings.store(QStringLiteral("Feed"), QStringLiteral("Port"), QString::number(feedPort));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TXPANEL_TEST_CHILD"), how);
    env.insert(StoreDirVariable, settings.storeDir());
    env.insert(QStringLiteral("TXPANEL_COM1"), sim.devicePath());
    env.insert(QStringLiteral("TXPANEL_FEED_PORT"), QString::number(feedPort));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    // The simulator answers in this process's loop while the child polls it.
    QElapsedTimer askedFor;
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            output += child.readAllStandardOutput();
            if (!askedFor.isValid() && output.contains("ASKED"))
                askedFor.start();
            return child.state() == QProcess::NotRunning;
        }(),
        20000);
    output += child.readAllStandardOutput();
    QVERIFY2(askedFor.isValid(), output.constData());
    // Ended in order, at once: the event loop returned 0.
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY2(askedFor.elapsed() < 2000, qPrintable(QString::number(askedFor.elapsed())));
    const auto number = [&output](const char *word) {
        const qsizetype at = output.indexOf(word);
        return at < 0 ? -1 : output.mid(at).split('\n').first().split(' ').value(1).toLongLong();
    };
    const qint64 askedSecond = number("ASKED ");
    // Exchanges completed when the line closed for good.
    const qint64 completed = number("ENDED ");
    QVERIFY2(completed > 0, output.constData());

    // Not one byte after the request: at most the one whose reply was on its
    // way, or what finished the programming under way and nothing else.
    QVERIFY2(sim.received().startsWith(
                 LineBytes::commands({TxCommand::CMD_READ_FIRMWARE, TxCommand::CMD_READ_FORWARD,
                                      TxCommand::CMD_READ_REFLECTED})),
             sim.received().toHex().constData());
    QVERIFY2(
        sim.received().size() == completed ||
            (!programming && sim.received().size() == completed + 1),
        qPrintable(
            QStringLiteral("%1 written, %2 completed").arg(sim.received().size()).arg(completed)));
    if (programming) {
        QVERIFY2(sim.received().endsWith(LineBytes::programming("107900")),
                 sim.received().toHex().constData());
        QCOMPARE(sim.frequencyKHz(), 107900);
    }
    QVERIFY2(output.contains("FEED free"), output.constData());
    // The port was let go, lock file and all: the next program opens it at once.
    QString lockName = sim.devicePath().mid(int(qstrlen("/dev/")));
    lockName.replace(QLatin1Char('/'), QLatin1Char('_'));
    QVERIFY(!QFile::exists(QStringLiteral("/var/lock/LCK..") + lockName));
    PanelDriver::mapPort(1, sim.devicePath());
    MSComm next;
    next.setCommPort(1);
    QVERIFY2(next.setPortOpen(true), qPrintable(next.lastError()));
    next.setPortOpen(false);

    // The record holds the last second of readings and says how the panel was closed.
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("ended"));
        db.setDatabaseName(record);
        QVERIFY(db.open());
        QSqlQuery last(QStringLiteral("SELECT max(t) FROM samples"), db);
        QVERIFY(last.next());
        if (!programming)
            QCOMPARE(last.value(0).toLongLong(), askedSecond);
        else
            QVERIFY(last.value(0).toLongLong() >= askedSecond - 1);
        QSqlQuery closed(db);
        QVERIFY(closed.exec(QStringLiteral(
            "SELECT detail FROM events WHERE kind = 'panel' AND outcome = 'closed'")));
        QVERIFY(closed.next());
        QCOMPARE(closed.value(0).toString(), way);
        QVERIFY(!closed.next());
        if (programming) {
            QSqlQuery frequency(db);
            QVERIFY(frequency.exec(
                QStringLiteral("SELECT new_value, outcome FROM events WHERE kind = 'frequency'")));
            QVERIFY(frequency.next());
            QCOMPARE(frequency.value(0).toString(), QStringLiteral("107900"));
            QCOMPARE(frequency.value(1).toString(), QStringLiteral("programmed"));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("ended"));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString child = qEnvironmentVariable("TXPANEL_TEST_CHILD");
    if (!child.isEmpty())
        return runChild(child);
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
