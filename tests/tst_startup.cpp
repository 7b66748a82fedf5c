// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The window at rest: start-up from the settings store, the frequency display,
// SET FREQUENCY and the keypad's closed state, centring, and ending the program.
#include "app/frmTerminale.h"
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
#include <QEventLoop>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <cstdio>

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
    for (PanelTimer *timer :
         {w.timer1, w.tmrTimeOutComm, w.tmrTimeOut, w.tmrPausa, w.tmrPausaLabel})
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

void StartupTest::endingTheProgram_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("File, Exit") << "exit";
    QTest::newRow("window close") << "close";
}

// The child runs a handler that waits in a nested loop, as the polling loop
// does, and ends the program from inside it: the handler must never resume.
static int runChild(const QString &how)
{
    PanelDriver panel(qEnvironmentVariable(qPrintable(StoreDirVariable)));
    frmTerminale &w = panel.openWindow();
    if (how.startsWith(QLatin1String("connected")) ||
        how.startsWith(QLatin1String("programming"))) {
        const bool byClose = how.endsWith(QLatin1String("close"));
        auto endProgram = [&] {
            if (byClose)
                w.close();
            else
                w.mnuFileExit_Click();
        };
        QTimer::singleShot(0, &w, [&] {
            if (how.startsWith(QLatin1String("connected"))) {
                // Ended from inside the polling loop's wait.
                QTimer::singleShot(300, &w, endProgram);
            } else {
                // Ended while the frequency goes out, digit by digit.
                auto *watch = new QTimer(&w);
                QObject::connect(watch, &QTimer::timeout, &w, [&, watch] {
                    if (w.connectionState() == ConnectionState::Polling && !w.SendRequest &&
                        w.lblCommunications(0)->text().isEmpty() == false &&
                        w.EnteredDigits[5].isEmpty())
                        panel.typeAcceptAndSend(QStringLiteral("10790"));
                    if (w.lblCommunications(0)->text() ==
                        QLatin1String("SEND FREQUENCY TO TRANSMITTER")) {
                        watch->stop();
                        endProgram();
                        std::puts("ASKED");
                        std::fflush(stdout);
                    }
                });
                watch->start(5);
            }
            w.show();
            w.cmdPower_Click();
            std::puts("RESUMED");
            std::fflush(stdout);
            std::_Exit(7);
        });
        return qApp->exec() == 0 ? 8 : 9;
    }
    w.show();
    QTimer::singleShot(0, &w, [&] {
        QEventLoop nested;
        QTimer::singleShot(20, &w, [&] {
            if (how == QLatin1String("exit"))
                w.mnuFileExit_Click();
            else
                w.close();
        });
        QTimer::singleShot(3000, &nested, &QEventLoop::quit);
        nested.exec();
        std::puts("RESUMED");
        std::fflush(stdout);
        std::_Exit(7);
    });
    return qApp->exec() == 0 ? 8 : 9;
}

void StartupTest::endingTheProgram()
{
    QFETCH(QString, how);
    const PanelDriver settings;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TXPANEL_TEST_CHILD"), how);
    env.insert(StoreDirVariable, settings.storeDir());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(10000));
    QVERIFY2(!child.readAllStandardOutput().contains("RESUMED"), "a suspended handler resumed");
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY(clock.elapsed() < 2500);
}

void StartupTest::exitWhileConnected_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("File, Exit while polling") << "connected-exit";
    QTest::newRow("window close while polling") << "connected-close";
    QTest::newRow("File, Exit while programming") << "programming-exit";
    QTest::newRow("window close while programming") << "programming-close";
}

void StartupTest::exitWhileConnected()
{
    QFETCH(QString, how);
    TxSimulator sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    sim.setFrequencyKHz(98500);
    // Slow enough that the end is asked for in the middle of the programming.
    if (how.startsWith(QLatin1String("programming")))
        sim.setReplyDelayMs(40);
    PanelDriver settings;
    settings.store(QStringLiteral("Comm"), QStringLiteral("1"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TXPANEL_TEST_CHILD"), how);
    env.insert(StoreDirVariable, settings.storeDir());
    env.insert(QStringLiteral("TXPANEL_COM1"), sim.devicePath());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    // The simulator answers in this process's loop while the child polls it.
    QTRY_VERIFY_WITH_TIMEOUT(child.state() == QProcess::NotRunning, 20000);
    const QByteArray output = child.readAllStandardOutput();
    QVERIFY(!output.contains("RESUMED"));
    QCOMPARE(child.exitCode(), 0);
    QVERIFY2(sim.received().startsWith(
                 LineBytes::commands({TxCommand::CMD_READ_FIRMWARE, TxCommand::CMD_READ_FORWARD,
                                      TxCommand::CMD_READ_REFLECTED})),
             sim.received().toHex().constData());
    if (how.startsWith(QLatin1String("programming"))) {
        QVERIFY(output.contains("ASKED"));
        // The whole sequence went out and took; nothing after it.
        QVERIFY2(sim.received().endsWith(LineBytes::programming("107900")),
                 sim.received().toHex().constData());
        QCOMPARE(sim.frequencyKHz(), 107900);
    }
    // The port was let go, lock file and all: the next program opens it at once.
    QString lockName = sim.devicePath().mid(int(qstrlen("/dev/")));
    lockName.replace(QLatin1Char('/'), QLatin1Char('_'));
    QVERIFY(!QFile::exists(QStringLiteral("/var/lock/LCK..") + lockName));
    PanelDriver::mapPort(1, sim.devicePath());
    MSComm next;
    next.setCommPort(1);
    QVERIFY2(next.setPortOpen(true), qPrintable(next.lastError()));
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
