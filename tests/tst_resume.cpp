// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Unattended operation against the simulated transmitter: a lost link tried
// again until it answers, on the same port name, with nothing carried over
// from the connection that was lost; and live changes of the transmitter.
#include "app/frmTerminale.h"
#include "link/Commands.h"
#include "panel/LedLamp.h"
#include "panel/PanelColors.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"
#include "panel/RibbonSwitch.h"
#include "sim/TxSimulator.h"
#include "support/LineBytes.h"
#include "support/PanelDriver.h"
#include "support/SimProcess.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace TxCommand;

namespace {
const QString Resuming = QStringLiteral(" LINK DOWN - RETRYING ");
const QString InProgress = QStringLiteral("COMMUNICATIONS IN PROGRESS");
// What the operator asked for: RF switched, a frequency programmed, its digits.
bool forbiddenBytes(const QByteArray &line)
{
    for (const char byte : line) {
        if (byte == char(CMD_RF_ON) || byte == char(CMD_RF_OFF) ||
            byte == char(CMD_SET_FREQUENCY) ||
            (byte >= char(DIGIT_ZERO) && byte <= char(DIGIT_ZERO + 9)))
            return true;
    }
    return false;
}
} // namespace

class ResumeTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void resumesOnANewLineAtTheSamePath();
    void silentTransmitterAnswersAgain();
    void disconnectStopsTheRetries();
    void withoutResumeALostLinkEnds();
    void powerOnBeforeTheAdapterIsThere();
    void onlyTheSameTransmitterIsResumed_data();
    void onlyTheSameTransmitterIsResumed();
    void liveChangesShowOnTheLamps();

private:
    void makePanel(bool resume);
    // The first line pulled out: its link goes with it, as udev removes a
    // by-id link, so the retries never open a pseudo-terminal the system has
    // since given to another program.
    void unplugFirst();
    // A panel that resumes, connected to the first line, which is then lost.
    void loseTheFirstLine();
    // The port's device is a link the test points at whichever line is plugged in.
    void pointLineAt(const QString &device);
    // Reply time-outs in a few hundred milliseconds, for the test about them only.
    void shortenSupervision() { w().tmrTimeOutComm->setInterval(300); }
    PanelDriver &panel() { return *m_panel; }
    frmTerminale &w() { return m_panel->window(); }

    std::unique_ptr<PanelDriver> m_panel;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TxSimulator> m_first;
    std::unique_ptr<TxSimulator> m_second;
    QString m_link;
    QList<ConnectionState> m_states;
    QStringList m_labels;
    QTimer m_labelWatch;
};

void ResumeTest::init()
{
    m_panel = std::make_unique<PanelDriver>();
    panel().store(QStringLiteral("Comm"), QStringLiteral("1"));
    m_dir = std::make_unique<QTemporaryDir>();
    m_link = m_dir->filePath(QStringLiteral("by-id-transmitter"));
    PanelDriver::mapPort(1, m_link);
    m_first = std::make_unique<TxSimulator>();
    m_second = std::make_unique<TxSimulator>();
    m_states.clear();
    m_labels.clear();
}

void ResumeTest::cleanup()
{
    m_labelWatch.stop();
    m_labelWatch.disconnect();
    m_panel.reset();
    m_first.reset();
    m_second.reset();
    m_dir.reset();
}

void ResumeTest::makePanel(bool resume)
{
    panel().store(QStringLiteral("Link"), QStringLiteral("Resume"),
                  resume ? QStringLiteral("true") : QStringLiteral("false"));
    panel().openWindow();
    if (resume)
        w().tmrResume->setInterval(200);
    connect(&w(), &frmTerminale::connectionStateChanged, this,
            [this](ConnectionState state) { m_states << state; });
    // Every text the label shows, in order, as the operator would have read it.
    m_labelWatch.setInterval(1);
    connect(&m_labelWatch, &QTimer::timeout, this, [this] {
        const QString text = w().lblCommunications(0)->text();
        if (m_labels.isEmpty() || m_labels.constLast() != text)
            m_labels << text;
    });
    m_labelWatch.start();
}

void ResumeTest::unplugFirst()
{
    m_first->unplug();
    pointLineAt(m_dir->filePath(QStringLiteral("unplugged")));
}

void ResumeTest::loseTheFirstLine()
{
    QVERIFY(m_first->start());
    pointLineAt(m_first->devicePath());
    makePanel(true);
    w().cmdPower_Click();
    QTRY_VERIFY(m_first->received().count(char(CMD_READ_RF_STATUS)) >= 1);
    unplugFirst();
    QVERIFY(panel().waitForState(ConnectionState::Resuming));
}

void ResumeTest::pointLineAt(const QString &device)
{
    // Re-pointed in one step, as udev swaps a /dev/serial/by-id/ link.
    const QString fresh = m_link + QStringLiteral(".new");
    QFile::remove(fresh);
    QVERIFY(QFile::link(device, fresh));
    QVERIFY(::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(m_link).constData()) ==
            0);
}

void ResumeTest::resumesOnANewLineAtTheSamePath()
{
    QVERIFY(m_first->start());
    pointLineAt(m_first->devicePath());
    makePanel(true);
    w().cmdPower_Click();
    QTRY_VERIFY(m_first->received().count(char(CMD_READ_RF_STATUS)) >= 2);
    // An RF press and a SEND just before the line goes: neither may act in
    // the connection that comes back.
    w().ssRfSwitch->click();
    QVERIFY(w().ssRfSwitch->Pressed());
    panel().typeAcceptAndSend(QStringLiteral("10790"));
    unplugFirst();
    QVERIFY(panel().waitForState(ConnectionState::Resuming));
    QVERIFY(!w().ssRfSwitch->Pressed());
    QVERIFY(m_second->start());
    pointLineAt(m_second->devicePath());
    // Polling again, and the label read as the operator reads it: the
    // label's watch is a timer, which a loaded machine may run only after the
    // first few cycles of the new line.
    QTRY_VERIFY_WITH_TIMEOUT(m_second->received().count(char(CMD_READ_RF_STATUS)) >= 3 &&
                                 !m_labels.isEmpty() && m_labels.constLast() == InProgress,
                             20000);
    QVERIFY(panel().disconnectAndWait());

    const QList<ConnectionState> expected = {ConnectionState::Connecting, ConnectionState::Polling,
                                             ConnectionState::Ended,      ConnectionState::Resuming,
                                             ConnectionState::Polling,    ConnectionState::Ended};
    QCOMPARE(m_states, expected);
    const qsizetype resuming = m_labels.indexOf(Resuming);
    QVERIFY2(resuming > 0, qPrintable(m_labels.join(QLatin1Char('|'))));
    QVERIFY2(m_labels.indexOf(InProgress, resuming) > resuming,
             qPrintable(m_labels.join(QLatin1Char('|'))));
    // The new line: the firmware question first, then status cycles, and
    // nothing the operator asked for in the lost connection.
    const QByteArray line = m_second->received();
    QVERIFY2(line.startsWith(LineBytes::connectionOpening()), line.toHex().constData());
    QVERIFY2(!forbiddenBytes(line), line.toHex().constData());
    QVERIFY(!m_second->onAir());
    QCOMPARE(m_second->frequencyKHz(), 107900);
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" DISCONNECTED "));
    w().cmdPower_Click(); // OFF, as ever
    QCOMPARE(w().connectionState(), ConnectionState::Off);
}

void ResumeTest::silentTransmitterAnswersAgain()
{
    QVERIFY(m_first->start());
    pointLineAt(m_first->devicePath());
    makePanel(true);
    shortenSupervision();
    w().cmdPower_Click();
    QTRY_VERIFY(m_first->received().count(char(CMD_READ_RF_STATUS)) >= 1);
    m_first->setSilent(true);
    QVERIFY(panel().waitForState(ConnectionState::Resuming));
    m_first->clearReceived();
    // Two questions tried in vain, then the transmitter is back.
    QTRY_VERIFY_WITH_TIMEOUT(m_first->received().count(char(CMD_READ_FIRMWARE)) >= 2, 20000);
    m_first->setSilent(false);
    QVERIFY(panel().waitForState(ConnectionState::Polling));
    QCOMPARE(w().lblCommunications(0)->text(), InProgress);
    QTRY_VERIFY(m_first->received().count(char(CMD_READ_RF_STATUS)) >= 2);
    QVERIFY(panel().disconnectAndWait());
    QVERIFY(m_states.contains(ConnectionState::Resuming));
    QCOMPARE(m_states.constLast(), ConnectionState::Ended);
    QVERIFY(!forbiddenBytes(m_first->received()));
}

void ResumeTest::disconnectStopsTheRetries()
{
    loseTheFirstLine();
    QVERIFY(w().cmdDisconnect->isEnabled());
    QVERIFY(!w().cmdPower->isEnabled());
    QVERIFY(panel().disconnectAndWait());
    QCOMPARE(w().connectionState(), ConnectionState::Ended);
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" DISCONNECTED "));
    QVERIFY(w().cmdPower->isEnabled());
    // A line that comes back now is left alone.
    QVERIFY(m_second->start());
    pointLineAt(m_second->devicePath());
    QTest::qWait(1000);
    QCOMPARE(m_second->received(), QByteArray());
    w().cmdPower_Click(); // OFF
    QCOMPARE(w().cmdPower->text(), QStringLiteral("ON"));
}

void ResumeTest::withoutResumeALostLinkEnds()
{
    QVERIFY(m_first->start());
    pointLineAt(m_first->devicePath());
    makePanel(false);
    w().cmdPower_Click();
    QTRY_VERIFY(m_first->received().count(char(CMD_READ_RF_STATUS)) >= 1);
    unplugFirst();
    QVERIFY(panel().waitForTheEnd());
    QCOMPARE(w().connectionState(), ConnectionState::Ended);
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" DISCONNECTED "));
    QVERIFY(!m_states.contains(ConnectionState::Resuming));
    QVERIFY(m_second->start());
    pointLineAt(m_second->devicePath());
    QTest::qWait(1000);
    QCOMPARE(m_second->received(), QByteArray());
}

void ResumeTest::powerOnBeforeTheAdapterIsThere()
{
    // After a power cut the PC may be up before the adapter or the transmitter.
    pointLineAt(m_dir->filePath(QStringLiteral("not-plugged-yet")));
    makePanel(true);
    w().cmdPower_Click();
    QVERIFY(panel().waitForState(ConnectionState::Resuming));
    // No box nobody could close: the reason is the label's tool tip.
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY2(w().lblCommunications(0)->toolTip().contains(QLatin1String("No such file")),
             qPrintable(w().lblCommunications(0)->toolTip()));
    QVERIFY(m_first->start());
    pointLineAt(m_first->devicePath());
    QTRY_VERIFY_WITH_TIMEOUT(m_first->received().count(char(CMD_READ_RF_STATUS)) >= 1, 20000);
    QVERIFY(panel().disconnectAndWait());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY2(m_labels.contains(Resuming), qPrintable(m_labels.join(QLatin1Char('|'))));
    QCOMPARE(m_states.mid(0, 3),
             QList<ConnectionState>({ConnectionState::Connecting, ConnectionState::PortNotAvailable,
                                     ConnectionState::Resuming}));
    QVERIFY(
        m_first->received().startsWith(LineBytes::commands({CMD_READ_FIRMWARE, CMD_READ_FORWARD})));
}

void ResumeTest::onlyTheSameTransmitterIsResumed_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<bool>("resumed");
    // The adapter back under its by-id link: the same transmitter.
    QTest::newRow("the same transmitter") << "V1.0" << true;
    // Two adapters swapped by a replug: the link now leads to another one.
    QTest::newRow("another transmitter") << "V2.0" << false;
}

void ResumeTest::onlyTheSameTransmitterIsResumed()
{
    QFETCH(QString, firmware);
    QFETCH(bool, resumed);
    loseTheFirstLine();
    m_second->setFirmware(firmware);
    QVERIFY(m_second->start());
    pointLineAt(m_second->devicePath());
    if (resumed) {
        QVERIFY(panel().waitForState(ConnectionState::Polling));
        QVERIFY(panel().disconnectAndWait());
        return;
    }
    QTRY_COMPARE(w().lblCommunications(0)->text(), QStringLiteral(" OTHER DEVICE ON PORT "));
    QVERIFY2(w().lblCommunications(0)->toolTip().contains(QLatin1String("firmware V2.0")),
             qPrintable(w().lblCommunications(0)->toolTip()));
    // Asked who it is, again and again, and nothing else: no status cycle, no RF.
    QTRY_VERIFY(m_second->received().count(char(CMD_READ_FIRMWARE)) >= 2);
    QCOMPARE(w().connectionState(), ConnectionState::Resuming);
    QCOMPARE(m_second->received(),
             QByteArray(m_second->received().size(), char(CMD_READ_FIRMWARE)));
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral(" OTHER DEVICE ON PORT "));
    // The operator's OFF and ON take it.
    QVERIFY(panel().disconnectAndWait());
    w().cmdPower_Click(); // OFF
    w().cmdPower_Click(); // ON
    QVERIFY(panel().waitForState(ConnectionState::Polling));
    QCOMPARE(w().firmware(), QStringLiteral("V2.0"));
    QVERIFY(panel().disconnectAndWait());
}

void ResumeTest::liveChangesShowOnTheLamps()
{
    // txsim as an instructor runs it, changed from its standard input.
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--temperature"), QStringLiteral("150")}));
    pointLineAt(sim.device());
    makePanel(false);
    w().cmdPower_Click();
    QTRY_COMPARE(w().ledLock->LampColor(), int(PanelColor::BrightRed));
    QCOMPARE(w().ledTemp->LampColor(), int(PanelColor::DarkRed));
    const QString lockReply = sim.command(QStringLiteral("lock off"));
    const QString temperatureReply = sim.command(QStringLiteral("temperature 180"));
    QTRY_VERIFY(w().ledLock->LampColor() == PanelColor::DarkRed &&
                w().ledTemp->LampColor() == PanelColor::BrightRed);
    QCOMPARE(w().lblTemp->text(), QStringLiteral("80"));
    QVERIFY(panel().disconnectAndWait());
    QVERIFY2(lockReply.startsWith(QLatin1String("OK")), qPrintable(lockReply));
    QVERIFY2(temperatureReply.startsWith(QLatin1String("OK")), qPrintable(temperatureReply));
}

QTEST_MAIN(ResumeTest)
#include "tst_resume.moc"
