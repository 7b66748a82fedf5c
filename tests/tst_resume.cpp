// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Unattended operation against the simulated transmitter: a lost link tried
// again until it answers, on the same port name, with nothing carried over
// from the connection that was lost; and live changes of the transmitter.
#include "app/frmTerminale.h"
#include "panel/LedLamp.h"
#include "panel/PanelColors.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"
#include "panel/RibbonSwitch.h"
#include "settings/SettingsStore.h"
#include "sim/TxSimulator.h"
#include "support/PanelFixture.h"
#include "support/Scenario.h"
#include "support/SimProcess.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString Resuming = QStringLiteral(" LINK DOWN - RETRYING ");
const QString InProgress = QStringLiteral("COMMUNICATIONS IN PROGRESS");
int keyFor(QChar digit)
{
    return digit == QLatin1Char('0') ? 10 : digit.unicode() - '1';
}
bool forbiddenBytes(const QByteArray &line)
{
    for (const char byte : line) {
        if (byte == '\x0b' || byte == '\x0c' || byte == '\x0e' || (byte >= '0' && byte <= '9'))
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
    void endConnectionNow();
    frmTerminale &w() { return *m_w; }

    std::unique_ptr<SettingsSandbox> m_sandbox;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TxSimulator> m_first;
    std::unique_ptr<TxSimulator> m_second;
    std::unique_ptr<frmTerminale> m_w;
    QString m_link;
    QList<ConnectionState> m_states;
    QStringList m_labels;
    QTimer m_labelWatch;
    QTimer m_ender;
};

void ResumeTest::init()
{
    m_sandbox = std::make_unique<SettingsSandbox>();
    m_sandbox->store(QStringLiteral("Comm"), QStringLiteral("1"));
    m_dir = std::make_unique<QTemporaryDir>();
    m_link = m_dir->filePath(QStringLiteral("by-id-transmitter"));
    mapPort(1, m_link);
    m_first = std::make_unique<TxSimulator>();
    m_second = std::make_unique<TxSimulator>();
    m_states.clear();
    m_labels.clear();
}

void ResumeTest::cleanup()
{
    m_labelWatch.stop();
    m_labelWatch.disconnect();
    m_ender.stop();
    m_ender.disconnect();
    m_w.reset();
    m_first.reset();
    m_second.reset();
    m_dir.reset();
    m_sandbox.reset();
}

void ResumeTest::makePanel(bool resume)
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, SettingsStore::Application)
        .setValue(QStringLiteral("Link/Resume"),
                  resume ? QStringLiteral("true") : QStringLiteral("false"));
    m_w = std::make_unique<frmTerminale>();
    w().tmrResume->setInterval(200);
    w().tmrTimeOutComm->setInterval(300);
    connect(m_w.get(), &frmTerminale::connectionStateChanged, this,
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

void ResumeTest::endConnectionNow()
{
    m_ender.setInterval(20);
    connect(&m_ender, &QTimer::timeout, this, [this] {
        if (w().PowerOn && !w().cmdPower->isEnabled())
            w().cmdDisconnect_Click();
        else
            m_ender.stop();
    });
    m_ender.start();
}

void ResumeTest::resumesOnANewLineAtTheSamePath()
{
    QVERIFY(m_first->start());
    pointLineAt(m_first->devicePath());
    makePanel(true);
    Scenario scenario(30000);
    scenario.otherwise([this] { endConnectionNow(); });
    scenario
        .when([&] { return m_first->received().count('\x0a') >= 2; },
              [&] {
                  // An RF press and a SEND just before the line goes: neither
                  // may act in the connection that comes back.
                  w().ssRfSwitch->click();
                  QVERIFY(w().ssRfSwitch->Pressed());
                  w().cmdSetFrequency_Click();
                  for (const QChar digit : QStringLiteral("10790"))
                      w().cmdKey_Click(keyFor(digit));
                  w().cmdKey_Click(11);
                  w().cmdSend_Click();
                  m_first->unplug();
              })
        .when([&] { return w().connectionState() == ConnectionState::Resuming; },
              [&] {
                  QVERIFY(!w().ssRfSwitch->Pressed());
                  QVERIFY(m_second->start());
                  pointLineAt(m_second->devicePath());
              })
        .when([&] { return m_second->received().count('\x0a') >= 3; },
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
    QVERIFY2(line.startsWith("\x06\x04\x05\x07\x08\x09\x0a"), line.toHex().constData());
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
    Scenario scenario(30000);
    scenario.otherwise([this] { endConnectionNow(); });
    scenario
        .when([&] { return m_first->received().count('\x0a') >= 1; },
              [&] { m_first->setSilent(true); })
        .when([&] { return w().connectionState() == ConnectionState::Resuming; },
              [&] { m_first->clearReceived(); })
        // Two questions tried in vain, then the transmitter is back.
        .when([&] { return m_first->received().count('\x06') >= 2; },
              [&] { m_first->setSilent(false); })
        .when([&] { return w().connectionState() == ConnectionState::Polling; },
              [&] { QCOMPARE(w().lblCommunications(0)->text(), InProgress); })
        .when([&] { return m_first->received().count('\x0a') >= 2; },
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
    Scenario scenario(30000);
    scenario.otherwise([this] { endConnectionNow(); });
    scenario
        .when([&] { return m_first->received().count('\x0a') >= 1; }, [&] { m_first->unplug(); })
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
    Scenario scenario(30000);
    scenario.otherwise([this] { endConnectionNow(); });
    scenario.when([&] { return m_first->received().count('\x0a') >= 1; },
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
    Scenario scenario(30000);
    scenario.otherwise([this] { endConnectionNow(); });
    scenario
        .when([&] { return w().connectionState() == ConnectionState::Resuming; },
              [&] {
                  boxSeen = QApplication::activeModalWidget() != nullptr;
                  QVERIFY2(w().lblCommunications(0)->toolTip().contains(
                               QLatin1String("No such file")),
                           qPrintable(w().lblCommunications(0)->toolTip()));
                  QVERIFY(m_first->start());
                  pointLineAt(m_first->devicePath());
              })
        .when([&] { return m_first->received().count('\x0a') >= 1; },
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
    QVERIFY(m_first->received().startsWith("\x06\x04"));
}

void ResumeTest::liveChangesShowOnTheLamps()
{
    // txsim as an instructor runs it, changed from its standard input.
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--temperature"), QStringLiteral("150")}));
    pointLineAt(sim.device());
    makePanel(false);
    w().tmrTimeOutComm->setInterval(15000);
    QString lockReply, temperatureReply;
    Scenario scenario(30000);
    scenario.otherwise([this] { endConnectionNow(); });
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
