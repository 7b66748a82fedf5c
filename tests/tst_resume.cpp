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
#include "support/Scenario.h"
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
    void liveChangesShowOnTheLamps();

private:
    void makePanel(bool resume);
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
    Scenario &scenario = panel().scenario(30000);
    scenario
        .when([&] { return m_first->received().count(char(CMD_READ_RF_STATUS)) >= 2; },
              [&] {
                  // An RF press and a SEND just before the line goes: neither
                  // may act in the connection that comes back.
                  w().ssRfSwitch->click();
                  QVERIFY(w().ssRfSwitch->Pressed());
                  panel().typeAcceptAndSend(QStringLiteral("10790"));
                  m_first->unplug();
              })
        .when([&] { return w().connectionState() == ConnectionState::Resuming; },
              [&] {
                  QVERIFY(!w().ssRfSwitch->Pressed());
                  QVERIFY(m_second->start());
                  pointLineAt(m_second->devicePath());
              })
        // Polling again, and the label read as the operator reads it: the
        // label's watch is a timer, which a loaded machine may run only after
        // the first few cycles of the new line.
        .when(
            [&] {
                return m_second->received().count(char(CMD_READ_RF_STATUS)) >= 3 &&
                       !m_labels.isEmpty() && m_labels.constLast() == InProgress;
            },
            [&] { w().cmdDisconnect_Click(); });
    scenario.start();
    w().cmdPower_Click();
    QVERIFY2(scenario.finished(), qPrintable(scenario.report()));

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
    Scenario &scenario = panel().scenario(30000);
    scenario
        .when([&] { return m_first->received().count(char(CMD_READ_RF_STATUS)) >= 1; },
              [&] { m_first->setSilent(true); })
        .when([&] { return w().connectionState() == ConnectionState::Resuming; },
              [&] { m_first->clearReceived(); })
        // Two questions tried in vain, then the transmitter is back.
        .when([&] { return m_first->received().count(char(CMD_READ_FIRMWARE)) >= 2; },
              [&] { m_first->setSilent(false); })
        .when([&] { return w().connectionState() == ConnectionState::Polling; },
              [&] { QCOMPARE(w().lblCommunications(0)->text(), InProgress); })
        .when([&] { return m_first->received().count(char(CMD_READ_RF_STATUS)) >= 2; },
              [&] { w().cmdDisconnect_Click(); });
    scenario.start();
    w().cmdPower_Click();
    QVERIFY2(scenario.finished(), qPrintable(scenario.report()));
    QVERIFY(m_states.contains(ConnectionState::Resuming));
    QCOMPARE(m_states.constLast(), ConnectionState::Ended);
    QVERIFY(!forbiddenBytes(m_first->received()));
}

void ResumeTest::disconnectStopsTheRetries()
{
    QVERIFY(m_first->start());
    pointLineAt(m_first->devicePath());
    makePanel(true);
    Scenario &scenario = panel().scenario(30000);
    scenario
        .when([&] { return m_first->received().count(char(CMD_READ_RF_STATUS)) >= 1; },
              [&] { m_first->unplug(); })
        .when([&] { return w().connectionState() == ConnectionState::Resuming; },
              [&] {
                  QVERIFY(w().cmdDisconnect->isEnabled());
                  w().cmdDisconnect_Click();
              });
    scenario.start();
    w().cmdPower_Click();
    QVERIFY2(scenario.finished(), qPrintable(scenario.report()));
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
    Scenario &scenario = panel().scenario(30000);
    scenario.when([&] { return m_first->received().count(char(CMD_READ_RF_STATUS)) >= 1; },
                  [&] { m_first->unplug(); });
    scenario.start();
    w().cmdPower_Click();
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
    bool boxSeen = false;
    Scenario &scenario = panel().scenario(30000);
    scenario
        .when([&] { return w().connectionState() == ConnectionState::Resuming; },
              [&] {
                  boxSeen = QApplication::activeModalWidget() != nullptr;
                  QVERIFY2(
                      w().lblCommunications(0)->toolTip().contains(QLatin1String("No such file")),
                      qPrintable(w().lblCommunications(0)->toolTip()));
                  QVERIFY(m_first->start());
                  pointLineAt(m_first->devicePath());
              })
        .when([&] { return m_first->received().count(char(CMD_READ_RF_STATUS)) >= 1; },
              [&] { w().cmdDisconnect_Click(); });
    scenario.start();
    w().cmdPower_Click();
    QVERIFY2(scenario.finished(), qPrintable(scenario.report()));
    // No box nobody could close: the reason is the label's tool tip.
    QVERIFY(!boxSeen);
    QVERIFY2(m_labels.contains(Resuming), qPrintable(m_labels.join(QLatin1Char('|'))));
    QCOMPARE(m_states.mid(0, 3),
             QList<ConnectionState>({ConnectionState::Connecting, ConnectionState::PortNotAvailable,
                                     ConnectionState::Resuming}));
    QVERIFY(
        m_first->received().startsWith(LineBytes::commands({CMD_READ_FIRMWARE, CMD_READ_FORWARD})));
}

void ResumeTest::liveChangesShowOnTheLamps()
{
    // txsim as an instructor runs it, changed from its standard input.
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--temperature"), QStringLiteral("150")}));
    pointLineAt(sim.device());
    makePanel(false);
    QString lockReply, temperatureReply;
    Scenario &scenario = panel().scenario(30000);
    scenario
        .when([&] { return w().ledLock->LampColor() == PanelColor::BrightRed; },
              [&] {
                  QCOMPARE(w().ledTemp->LampColor(), int(PanelColor::DarkRed));
                  lockReply = sim.command(QStringLiteral("lock off"));
                  temperatureReply = sim.command(QStringLiteral("temperature 180"));
              })
        .when(
            [&] {
                return w().ledLock->LampColor() == PanelColor::DarkRed &&
                       w().ledTemp->LampColor() == PanelColor::BrightRed;
            },
            [&] {
                QCOMPARE(w().lblTemp->text(), QStringLiteral("80"));
                w().cmdDisconnect_Click();
            });
    scenario.start();
    w().cmdPower_Click();
    QVERIFY2(scenario.finished(), qPrintable(scenario.report()));
    QVERIFY2(lockReply.startsWith(QLatin1String("OK")), qPrintable(lockReply));
    QVERIFY2(temperatureReply.startsWith(QLatin1String("OK")), qPrintable(temperatureReply));
}

QTEST_MAIN(ResumeTest)
#include "tst_resume.moc"
