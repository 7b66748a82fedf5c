// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/frmTerminale.h"
#include "panel/PanelColors.h"
#include "panel/PanelStatusBar.h"
#include "panel/ReadoutLabel.h"
#include "settings/ProgramValues.h"
#include "settings/SettingsStore.h"
#include "settings/frmCom.h"
#include "support/PanelDriver.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QTest>

#include <memory>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using Answer = PanelDriver::Answer;

class tst_PortDialog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void firstRunDefaults();
    void preselection_data();
    void preselection();
    void bandLimits_data();
    void bandLimits();
    void okStoresChoice_data();
    void okStoresChoice();
    void leavingWithoutOk_data();
    void leavingWithoutOk();
    void keyboardDoesNotEndDialog_data();
    void keyboardDoesNotEndDialog();
    void dialogLayout_data();
    void dialogLayout();
    void dialogLooks();
    void askBeforePowerOn_data();
    void askBeforePowerOn();
    void storeReadability_data();
    void storeReadability();
    void storedLimitForms_data();
    void storedLimitForms();
    void damagedStoreFailsClosed_data();
    void damagedStoreFailsClosed();
    void misspeltKeyIsToldAndNotUsed();
    void choiceNotSavedIsTold_data();
    void choiceNotSavedIsTold();

private:
    PanelDriver &panel() { return *m_panel; }
    std::unique_ptr<PanelDriver> m_panel;
};

void tst_PortDialog::init()
{
    m_panel = std::make_unique<PanelDriver>();
    QVERIFY(QFileInfo(panel().storeDir()).isDir());
    Comm = QVariant();
    LimitUp = QVariant();
    LimitDown = QVariant();
}

void tst_PortDialog::cleanup()
{
    m_panel.reset();
}

void tst_PortDialog::firstRunDefaults()
{
    frmTerminale &window = panel().openWindow();
    QCOMPARE(window.sbrStatus->panelText(3), QStringLiteral("Com: "));
    QCOMPARE(Comm.toString(), QString());
    // Numbers, not texts: the band check compares them as numbers.
    QVERIFY(LimitUp.typeId() != QMetaType::QString);
    QVERIFY(LimitDown.typeId() != QMetaType::QString);
    QCOMPARE(LimitUp.toLongLong(), 1000000);
    QCOMPARE(LimitDown.toLongLong(), 0);
}

void tst_PortDialog::preselection_data()
{
    QTest::addColumn<QString>("storedComm");
    QTest::addColumn<bool>("comm1Checked");
    QTest::newRow("port 1") << QStringLiteral("1") << true;
    QTest::newRow("port 2") << QStringLiteral("2") << false;
    QTest::newRow("nothing stored") << QString() << false;
    QTest::newRow("unknown port") << QStringLiteral("7") << false;
    QTest::newRow("garbage") << QStringLiteral("abc") << false;
}

void tst_PortDialog::preselection()
{
    QFETCH(QString, storedComm);
    QFETCH(bool, comm1Checked);
    if (!storedComm.isEmpty())
        panel().store(QStringLiteral("Comm"), storedComm);
    frmTerminale &window = panel().openWindow();

    bool seen1 = false;
    bool seen2 = false;
    panel().answerNextPortDialog(Answer::Cancel, [&](frmCom &dialog) {
        seen1 = dialog.optCom1->isChecked();
        seen2 = dialog.optCom2->isChecked();
    });
    window.mnuFilePort_Click();
    QCOMPARE(panel().portDialogsAnswered(), 1);
    QCOMPARE(seen1, comm1Checked);
    QCOMPARE(seen2, !comm1Checked);
}

void tst_PortDialog::bandLimits_data()
{
    QTest::addColumn<QString>("up");
    QTest::addColumn<QString>("down");
    QTest::addColumn<QString>("expectedUp");
    QTest::addColumn<QString>("expectedDown");
    QTest::newRow("both stored") << "108000"
                                 << "87500"
                                 << "108000"
                                 << "87500";
    QTest::newRow("only upper") << "108000"
                                << ""
                                << "108000"
                                << "";
    QTest::newRow("only lower") << ""
                                << "87500"
                                << ""
                                << "87500";
    QTest::newRow("neither") << ""
                             << ""
                             << "1000000"
                             << "0";
}

void tst_PortDialog::bandLimits()
{
    QFETCH(QString, up);
    QFETCH(QString, down);
    QFETCH(QString, expectedUp);
    QFETCH(QString, expectedDown);
    if (!up.isEmpty())
        panel().store(QStringLiteral("LimitUp"), up);
    if (!down.isEmpty())
        panel().store(QStringLiteral("LimitDown"), down);
    panel().openWindow();
    QCOMPARE(LimitUp.toString(), expectedUp);
    QCOMPARE(LimitDown.toString(), expectedDown);
}

void tst_PortDialog::okStoresChoice_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("pickComm1");
    QTest::addColumn<QString>("after");
    QTest::newRow("first run, default") << QString() << false << "2";
    QTest::newRow("first run, port 1") << QString() << true << "1";
    QTest::newRow("1 to 2") << "1" << false << "2";
    QTest::newRow("garbage to 2") << "abc" << false << "2";
}

void tst_PortDialog::okStoresChoice()
{
    QFETCH(QString, before);
    QFETCH(bool, pickComm1);
    QFETCH(QString, after);
    if (!before.isEmpty())
        panel().store(QStringLiteral("Comm"), before);

    {
        frmTerminale &window = panel().openWindow();
        panel().answerNextPortDialog(Answer::Ok, [&](frmCom &dialog) {
            QTest::mouseClick(pickComm1 ? dialog.optCom1 : dialog.optCom2, Qt::LeftButton);
        });
        window.mnuFilePort_Click();
        QCOMPARE(panel().portDialogsAnswered(), 1);
        QCOMPARE(panel().lastBox().result, int(QDialog::Accepted));
        QCOMPARE(window.sbrStatus->panelText(3), QStringLiteral("Com: ") + after);
        QCOMPARE(Comm.toString(), after);
        QCOMPARE(panel().stored(QStringLiteral("Comm")).toString(), after);
        // The dialog lives only as long as the menu command.
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    // After a restart the choice is back, on the status bar and in the dialog.
    Comm = QVariant();
    frmTerminale &restarted = panel().openWindow();
    QCOMPARE(Comm.toString(), after);
    QCOMPARE(restarted.sbrStatus->panelText(3), QStringLiteral("Com: ") + after);
    frmCom dialog(&restarted);
    QCOMPARE(dialog.optCom1->isChecked(), after == QLatin1String("1"));
}

void tst_PortDialog::leavingWithoutOk_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<Answer>("how");
    QTest::newRow("first run, Cancel") << QString() << Answer::Cancel;
    QTest::newRow("first run, close box") << QString() << Answer::CloseBox;
    QTest::newRow("port 1, Cancel") << "1" << Answer::Cancel;
    QTest::newRow("port 1, close box") << "1" << Answer::CloseBox;
}

void tst_PortDialog::leavingWithoutOk()
{
    QFETCH(QString, before);
    QFETCH(Answer, how);
    if (!before.isEmpty())
        panel().store(QStringLiteral("Comm"), before);
    frmTerminale &window = panel().openWindow();

    panel().answerNextPortDialog(how, [&](frmCom &dialog) {
        // A different choice is made, then abandoned.
        QTest::mouseClick(before == QLatin1String("1") ? dialog.optCom2 : dialog.optCom1,
                          Qt::LeftButton);
    });
    window.mnuFilePort_Click();
    QCOMPARE(panel().portDialogsAnswered(), 1);
    QCOMPARE(panel().lastBox().result, int(QDialog::Rejected));
    QCOMPARE(Comm.toString(), before);
    QCOMPARE(window.sbrStatus->panelText(3), QStringLiteral("Com: ") + before);
    QCOMPARE(panel().stored(QStringLiteral("Comm")).isValid(), !before.isEmpty());
    QCOMPARE(panel().stored(QStringLiteral("Comm")).toString(), before);
}

void tst_PortDialog::keyboardDoesNotEndDialog_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Escape") << int(Qt::Key_Escape);
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
}

void tst_PortDialog::keyboardDoesNotEndDialog()
{
    QFETCH(int, key);
    frmTerminale &window = panel().openWindow();
    bool stillOpen = false;
    panel().answerNextPortDialog(Answer::Cancel, [&](frmCom &dialog) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget()
                                                    : static_cast<QWidget *>(&dialog),
                        Qt::Key(key));
        QTest::keyClick(dialog.cmdOkCom, Qt::Key(key));
        stillOpen = dialog.isVisible() && panel().lastBox().result == -1;
    });
    window.mnuFilePort_Click();
    QVERIFY(stillOpen);
    QCOMPARE(panel().lastBox().result, int(QDialog::Rejected));
    QVERIFY(!panel().stored(QStringLiteral("Comm")).isValid());
}

void tst_PortDialog::dialogLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("Cancel") << "cmdCancelCom"
                            << "Cancel" << QRect(24, 88, 111, 45);
    QTest::newRow("Ok") << "cmdOkCom"
                        << "Ok" << QRect(22, 22, 111, 45);
    QTest::newRow("Comm1") << "optCom1"
                           << "Comm1" << QRect(231, 44, 78, 23);
    QTest::newRow("Comm2") << "optCom2"
                           << "Comm2" << QRect(231, 88, 78, 23);
}

void tst_PortDialog::dialogLayout()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, geometry);
    frmTerminale &window = panel().openWindow();
    frmCom dialog(&window);
    auto *control = dialog.findChild<QAbstractButton *>(name);
    QVERIFY(control);
    QCOMPARE(control->text(), caption);
    QCOMPARE(control->geometry(), geometry);
}

void tst_PortDialog::dialogLooks()
{
    frmTerminale &window = panel().openWindow();
    frmCom dialog(&window);
    QCOMPARE(dialog.objectName(), QStringLiteral("frmCom"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Menu Com Port"));
    QCOMPARE(dialog.parentWidget(), &window);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.size(), QSize(362, 162));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QVERIFY(!dialog.windowIcon().isNull());
    QVERIFY(dialog.autoFillBackground());
    QCOMPARE(dialog.palette().color(QPalette::Window),
             PanelColor::toQColor(PanelColor::DialogNavy));
    QCOMPARE(dialog.optCom1->palette().color(QPalette::WindowText),
             PanelColor::toQColor(PanelColor::White));
    QCOMPARE(dialog.optCom2->palette().color(QPalette::WindowText),
             PanelColor::toQColor(PanelColor::White));

    for (QPushButton *button : {dialog.cmdCancelCom, dialog.cmdOkCom}) {
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }

    QCOMPARE(QApplication::focusWidget(), dialog.cmdCancelCom);
    const QList<QWidget *> order{dialog.cmdCancelCom, dialog.cmdOkCom, dialog.optCom1,
                                 dialog.optCom2};
    for (int i = 0; i + 1 < order.size(); ++i)
        QCOMPARE(order[i]->nextInFocusChain(), order[i + 1]);
    // Tab from the focused Cancel button walks the same way.
    QTest::keyClick(dialog.cmdCancelCom, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), dialog.cmdOkCom);
}

void tst_PortDialog::askBeforePowerOn_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<Answer>("how");
    QTest::addColumn<bool>("goAhead");
    QTest::addColumn<int>("dialogs");
    QTest::addColumn<QString>("after");
    QTest::newRow("port stored") << "1" << Answer::Cancel << true << 0 << "1";
    QTest::newRow("none, Ok") << QString() << Answer::Ok << true << 1 << "2";
    QTest::newRow("none, Cancel") << QString() << Answer::Cancel << false << 1 << "";
    QTest::newRow("none, close box") << QString() << Answer::CloseBox << false << 1 << "";
}

void tst_PortDialog::askBeforePowerOn()
{
    QFETCH(QString, before);
    QFETCH(Answer, how);
    QFETCH(bool, goAhead);
    QFETCH(int, dialogs);
    QFETCH(QString, after);
    if (!before.isEmpty())
        panel().store(QStringLiteral("Comm"), before);
    frmTerminale &window = panel().openWindow();

    panel().answerNextPortDialog(how);
    QCOMPARE(window.askForPortIfNone(), goAhead);
    QCOMPARE(panel().portDialogsAnswered(), dialogs);
    QCOMPARE(Comm.toString(), after);
    QCOMPARE(window.sbrStatus->panelText(3), QStringLiteral("Com: ") + after);
    QCOMPARE(panel().stored(QStringLiteral("Comm")).toString(), after);
}

void tst_PortDialog::storeReadability_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("readable");
    QTest::newRow("no file yet") << "none" << true;
    QTest::newRow("ordinary file") << "file" << true;
    QTest::newRow("directory in its place") << "directory" << false;
    QTest::newRow("no read permission") << "locked" << false;
}

void tst_PortDialog::storeReadability()
{
    QFETCH(QString, what);
    QFETCH(bool, readable);
    const QString path = panel().storePath();
    if (what == QLatin1String("file")) {
        panel().store(QStringLiteral("Comm"), QStringLiteral("1"));
    } else if (what == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(path));
    } else if (what == QLatin1String("locked")) {
        panel().store(QStringLiteral("Comm"), QStringLiteral("1"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
        QFile probe(path);
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("Running with privileges that ignore file permissions");
    }
    QCOMPARE(SettingsStore::readable(), readable);
    if (what == QLatin1String("locked"))
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

namespace {
// What the path holds, to prove nothing touched it: a file's checksum, or its kind.
QByteArray fingerprint(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        return "link to " + info.symLinkTarget().toUtf8();
    if (info.isDir())
        return "folder";
    if (!info.exists())
        return "absent";
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode))
        return "fifo";
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "unreadable";
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

} // namespace

void tst_PortDialog::storedLimitForms_data()
{
    // The [Startup] lines as an engineer might write them, and whether
    // 107.90 MHz then passes the band check.
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<bool>("accepts");
    QTest::newRow("both whole numbers") << QByteArray("LimitUp=108000\nLimitDown=87500\n") << true;
    QTest::newRow("neither stored") << QByteArray("Comm=1\n") << true;
    QTest::newRow("only upper") << QByteArray("LimitUp=108000\n") << true;
    QTest::newRow("blanks around") << QByteArray("LimitUp= 108000 \nLimitDown=87500\n") << true;
    QTest::newRow("a thousands comma reads as a list")
        << QByteArray("LimitUp=108,000\nLimitDown=87500\n") << false;
    QTest::newRow("a trailing comma reads as a list")
        << QByteArray("LimitUp=108000,\nLimitDown=87500\n") << false;
    QTest::newRow("an invalid value")
        << QByteArray("LimitUp=@Invalid()\nLimitDown=87500\n") << false;
    QTest::newRow("a typed value")
        << QByteArray("LimitUp=@Rect(0 0 10 10)\nLimitDown=87500\n") << false;
    QTest::newRow("empty but present") << QByteArray("LimitUp=\nLimitDown=87500\n") << false;
    QTest::newRow("both empty but present") << QByteArray("LimitUp=\nLimitDown=\n") << false;
    QTest::newRow("megahertz") << QByteArray("LimitUp=108.0\nLimitDown=87.5\n") << false;
    QTest::newRow("negative") << QByteArray("LimitUp=108000\nLimitDown=-1\n") << false;
    QTest::newRow("far too many digits")
        << QByteArray("LimitUp=99999999999999999999\nLimitDown=0\n") << false;
}

void tst_PortDialog::storedLimitForms()
{
    QFETCH(QByteArray, lines);
    QFETCH(bool, accepts);
    QVERIFY(panel().storeRaw("[Startup]\n" + lines));
    panel().openWindow();
    QCOMPARE(Band.accepts(107900), accepts);
    // A limit that is not usable never reads as an open band either.
    if (!accepts) {
        QVERIFY(!Band.accepts(0));
        QVERIFY(!Band.accepts(1000000));
        QVERIFY2(Band.refusal().contains(QLatin1String("UNUSABLE")), qPrintable(Band.refusal()));
    }
}

void tst_PortDialog::damagedStoreFailsClosed_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("NUL-filled") << "nul";
    QTest::newRow("random bytes") << "random";
    QTest::newRow("empty") << "empty";
    QTest::newRow("no [Startup] section") << "nosection";
    QTest::newRow("a FIFO") << "fifo";
    QTest::newRow("a link to a device") << "device";
    QTest::newRow("a link to nothing") << "dangling";
    QTest::newRow("a folder") << "folder";
}

void tst_PortDialog::damagedStoreFailsClosed()
{
    QFETCH(QString, what);
    const QString path = panel().storePath();
    if (what == QLatin1String("nul")) {
        QVERIFY(panel().storeRaw(QByteArray(512, '\0')));
    } else if (what == QLatin1String("random")) {
        QByteArray bytes;
        QRandomGenerator random(7);
        for (int i = 0; i < 512; ++i)
            bytes.append(char(random.bounded(256)));
        QVERIFY(panel().storeRaw("[Startup]\nLimitUp=108000\n" + bytes));
    } else if (what == QLatin1String("empty")) {
        QVERIFY(panel().storeRaw(QByteArray()));
    } else if (what == QLatin1String("nosection")) {
        QVERIFY(panel().storeRaw("LimitUp=108000\nLimitDown=87500\n"));
    } else if (what == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (what == QLatin1String("device")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    } else if (what == QLatin1String("dangling")) {
        QVERIFY(QFile::link(panel().storeDir() + QStringLiteral("/nowhere"), path));
    } else {
        QVERIFY(QDir().mkpath(path));
    }
    const QByteArray before = fingerprint(path);

    // A FIFO nobody writes to would hold start-up for ever if it were opened.
    frmTerminale &window = panel().openWindow();
    QCOMPARE(window.lblCommunications(0)->text(), QStringLiteral("SETTINGS DAMAGED - BAND CLOSED"));
    QVERIFY(!Band.usable());
    QVERIFY(!Band.accepts(98500));
    QCOMPARE(Comm.toString(), QString());

    // Ok keeps the choice for this run, says it was not saved, writes nothing.
    panel().answerNextPortDialog(
        Answer::Ok, [](frmCom &dialog) { QTest::mouseClick(dialog.optCom1, Qt::LeftButton); });
    panel().answerNextBox();
    window.mnuFilePort_Click();
    QCOMPARE(Comm.toString(), QStringLiteral("1"));
    QCOMPARE(window.sbrStatus->panelText(3), QStringLiteral("Com: 1"));
    const QString told = panel().lastBox().text;
    QVERIFY2(told.contains(QLatin1String("could not be saved")), qPrintable(told));
    QCOMPARE(fingerprint(path), before);
    // Through a link, the device it names is left a device.
    struct stat zero
    {
    };
    QCOMPARE(::stat("/dev/zero", &zero), 0);
    QVERIFY(S_ISCHR(zero.st_mode));
}

void tst_PortDialog::misspeltKeyIsToldAndNotUsed()
{
    QVERIFY(panel().storeRaw("[Startup]\nLimitup=108000\nLimitDown=87500\n"));
    frmTerminale &window = panel().openWindow();
    QCOMPARE(window.lblCommunications(0)->text(), QStringLiteral("SETTING Limitup NOT USED"));
    // Not read as the upper limit, nor taken as none: 150 MHz is not
    // programmed, and the refusal names the key.
    QVERIFY(!Band.accepts(150000));
    QVERIFY(!Band.accepts(98000));
    QVERIFY(!Band.accepts(87400));
    QVERIFY2(Band.refusal().contains(QLatin1String("Limitup is not LimitUp")),
             qPrintable(Band.refusal()));
}

void tst_PortDialog::choiceNotSavedIsTold_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("no folder can be made") << "notdir";
    QTest::newRow("the disk is full (file size limit)") << "full";
    // Swapped after the start, when the store was found fine: never written
    // through, never replaced by a plain file.
    QTest::newRow("the store became a link to a device") << "device link";
    QTest::newRow("the store became a pipe") << "fifo";
}

void tst_PortDialog::choiceNotSavedIsTold()
{
    QFETCH(QString, how);
    rlimit saved{};
    if (how == QLatin1String("notdir")) {
        // A file where the store's folder should be: as root too, nothing can be made there.
        QFile blocker(panel().storeDir() + QStringLiteral("/blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly) && blocker.write("x") == 1);
        blocker.close();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           blocker.fileName() + QStringLiteral("/config"));
    } else if (how == QLatin1String("full")) {
        panel().store(QStringLiteral("Comm"), QStringLiteral("2"));
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit tiny = saved;
        tiny.rlim_cur = 8;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    } else {
        panel().store(QStringLiteral("Comm"), QStringLiteral("2"));
    }
    frmTerminale &window = panel().openWindow();
    const QString store = panel().storeDir() + QStringLiteral("/Tx_Orvel.conf");
    if (how == QLatin1String("device link")) {
        QVERIFY(QFile::remove(store));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), store));
    } else if (how == QLatin1String("fifo")) {
        QVERIFY(QFile::remove(store));
        QCOMPARE(::mkfifo(QFile::encodeName(store).constData(), 0600), 0);
    }
    panel().answerNextPortDialog(
        Answer::Ok, [](frmCom &dialog) { QTest::mouseClick(dialog.optCom1, Qt::LeftButton); });
    panel().answerNextBox();
    window.mnuFilePort_Click();
    if (how == QLatin1String("full"))
        ::setrlimit(RLIMIT_FSIZE, &saved);
    const QString told = panel().lastBox().text;
    QVERIFY2(told.contains(QLatin1String("Comm1 is used until the panel is closed")),
             qPrintable(told));
    if (how == QLatin1String("device link")) {
        QVERIFY2(told.contains(QLatin1String("links to a device")), qPrintable(told));
        QCOMPARE(QFileInfo(store).symLinkTarget(), QStringLiteral("/dev/null"));
    } else if (how == QLatin1String("fifo")) {
        QVERIFY2(told.contains(QLatin1String("is a pipe (FIFO)")), qPrintable(told));
        struct stat after
        {
        };
        QCOMPARE(::lstat(QFile::encodeName(store).constData(), &after), 0);
        QVERIFY(S_ISFIFO(after.st_mode));
    }
    QCOMPARE(Comm.toString(), QStringLiteral("1"));
    QCOMPARE(window.sbrStatus->panelText(3), QStringLiteral("Com: 1"));
}

QTEST_MAIN(tst_PortDialog)
#include "tst_portdialog.moc"
