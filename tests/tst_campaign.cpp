// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A long run under random line faults and a random operator. After every step
// the panel must have written only what the transmitter understands, tuned it
// only to a frequency the band check accepted, shown only printable read-outs
// and stayed responsive, with its memory bounded.
//
// TXPANEL_CAMPAIGN_SEED and TXPANEL_CAMPAIGN_EXCHANGES choose another run; the
// seed of a failing run is printed with the failure, so it can be replayed.
#include "app/frmTerminale.h"
#include "link/Commands.h"
#include "link/MSComm.h"
#include "panel/Key3D.h"
#include "panel/KeypadKeys.h"
#include "panel/LedDigit.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"
#include "panel/RibbonSwitch.h"
#include "settings/ProgramValues.h"
#include "settings/frmCom.h"
#include "sim/TxSimulator.h"
#include "support/MachineClock.h"
#include "support/PanelDriver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSet>
#include <QtTest>

#include <deque>
#include <functional>

namespace {
constexpr quint32 DefaultSeed = 20261207;
constexpr int DefaultExchanges = 20000;
constexpr qint32 LimitDownKHz = 87500;
constexpr qint32 FirstFrequencyKHz = 98500;
// The window must answer within this, whatever the line does.
constexpr qint64 HeartbeatMs = 100;
constexpr qint64 MaxHeartbeatGapMs = 250;
constexpr qint64 MaxMemoryGrowthKiB = 16 * 1024;
constexpr qint64 WallBudgetMs = 500000;

int envNumber(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

constexpr bool addressSanitized()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#else
    return false;
#endif
}

bool printableReadout(const QString &text)
{
    if (text.size() > 1024)
        return false;
    for (const QChar character : text) {
        if (character.unicode() < 32 || character.unicode() > 126)
            return false;
    }
    return true;
}

// A settings file as an engineer, a damaged disk or a careless edit leaves
// it, and the band the panel must then hold to: none at all when unusable.
struct SettingsForm
{
    const char *name;
    QByteArray content;
    bool usable;
    qint32 down;
    qint32 up;
};
const SettingsForm SettingsForms[] = {
    {"the FM band", "[Startup]\nComm=1\nLimitUp=108000\nLimitDown=87500\n", true, 87500, 108000},
    {"a narrow band", "[Startup]\nComm=1\nLimitUp=100000\nLimitDown=90000\n", true, 90000, 100000},
    {"a thousands comma", "[Startup]\nComm=1\nLimitUp=108,000\nLimitDown=87500\n", false, 0, 0},
    {"a trailing comma", "[Startup]\nComm=1\nLimitUp=108000,\nLimitDown=87500\n", false, 0, 0},
    {"an invalid value", "[Startup]\nComm=1\nLimitUp=@Invalid()\nLimitDown=87500\n", false, 0, 0},
    {"a typed value", "[Startup]\nComm=1\nLimitUp=@Rect(0 0 1 1)\nLimitDown=87500\n", false, 0, 0},
    {"an empty limit", "[Startup]\nComm=1\nLimitUp=\nLimitDown=87500\n", false, 0, 0},
    // The upper limit left out: open above.
    {"only the lower limit", "[Startup]\nComm=1\nLimitDown=87500\n", true, 87500, 1000000},
    // Not read, and not taken as no limit either: the band is closed.
    {"a misspelt key", "[Startup]\nComm=1\nLimitup=100000\nLimitDown=87500\n", false, 0, 0},
    {"NUL bytes", QByteArray(64, '\0'), false, 0, 0},
    {"an empty file", QByteArray(), false, 0, 0},
};

// The line faults, each one "episode" of the run.
enum class Fault
{
    Clean,
    Delay,
    Pieces,
    Noise,
    Overlong,
    Extra,
    WrongEcho,
    Silence,
    SilentAfter,
    Unplug,
    Count
};
} // namespace

class Campaign : public QObject
{
    Q_OBJECT
public:
    Campaign(quint32 seed, int targetExchanges);
    void run();

    QString violation;
    QString summary;
    int programmed() const { return m_programmed; }
    int rfCommands() const { return m_rfCommands; }
    int connections() const { return m_connections; }
    int unplugEpisodes() const { return m_episodes[size_t(Fault::Unplug)]; }

private:
    void tick();
    void heartbeat();
    void checkLine();
    void checkPanel();
    void fail(const QString &what);
    void nextEpisode();
    void handleModal(QWidget *modal);
    void operate();
    void planProgramming();
    void act(const std::function<void()> &action);
    void clickKey(int index);
    void clickOk();
    void clickSend();
    void restartSimulator();
    // Between two runs of the panel: a new settings file, a new window.
    void restartPanel();
    void onStateChanged(ConnectionState state);
    // The exchanges asked for, and at least one of each thing the run must
    // have tried (the engine answers so fast that a short run may not).
    bool done() const
    {
        return m_sim.exchanges() >= m_target && m_programmed > 0 && m_rfCommands > 0 &&
               m_episodes[size_t(Fault::Unplug)] > 0;
    }
    bool connectionRuns() const
    {
        const ConnectionState state = m_w->connectionState();
        return state == ConnectionState::Connecting || state == ConnectionState::Polling ||
               state == ConnectionState::Resuming;
    }

    quint32 m_seed;
    int m_target;
    QRandomGenerator m_random;
    TxSimulator m_sim;
    // The settings file and the window, which goes before the simulator.
    PanelDriver m_panel;
    frmTerminale *m_w = nullptr;
    QTimer m_ticker;
    QTimer m_heartbeat;
    MachineClock m_machine;
    MachineClock::Clock::time_point m_lastBeat;
    qint64 m_longestMachineStallMs = 0;
    QElapsedTimer m_wall;
    qint64 m_maxGapMs = 0;

    // What the line carried so far, checked byte by byte.
    qsizetype m_lineChecked = 0;
    int m_digitsAllowed = 0;
    QByteArray m_programmedDigits;
    int m_rfCommands = 0;
    int m_rfCommandsThisConnection = 0;
    int m_programStartsThisConnection = 0;

    // What the operator did, as the operator knows it; a press or a SEND
    // counts only in the connection it was made in, while it polled.
    int m_rfPressesThisConnection = 0;
    int m_sendClicksThisConnection = 0;
    int m_rfPressesOutside = 0;
    const SettingsForm *m_form = &SettingsForms[0];
    int m_panelRestarts = 0;
    std::array<int, 6> m_typed{};
    qint32 m_accepted = -1;
    QSet<qint32> m_sent;
    qint32 m_lastTuned = FirstFrequencyKHz;
    bool m_rangeWarningSeen = false;
    bool m_acting = false;
    std::deque<std::function<void()>> m_plan;

    Fault m_fault = Fault::Clean;
    int m_episodeEndsAt = 0;
    qint64 m_episodeEndsMs = 0;
    std::array<int, size_t(Fault::Count)> m_episodes{};

    qint64 m_baselineKiB = -1;
    qint64 m_endKiB = -1;
    int m_connections = 0;
    int m_programmed = 0;
    int m_rangeWarnings = 0;
    int m_portDialogs = 0;
};

namespace {
QtMessageHandler defaultHandler = nullptr;

// The offscreen platform says this of every message box; thousands of boxes
// would drown the run's own report.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints")))
        return;
    defaultHandler(type, context, message);
}
} // namespace

Campaign::Campaign(quint32 seed, int targetExchanges)
    : m_seed(seed), m_target(targetExchanges), m_random(seed)
{
    defaultHandler = qInstallMessageHandler(quietHandler);
    m_sim.setRandomSeed(seed);
    m_sim.setFrequencyKHz(FirstFrequencyKHz);
    // Port 2 leads nowhere: choosing it in the dialog tries the failure path.
    PanelDriver::mapPort(2, QStringLiteral("/nonexistent/txpanel-campaign"));
    restartSimulator();
    restartPanel();

    m_ticker.setInterval(2);
    connect(&m_ticker, &QTimer::timeout, this, &Campaign::tick);
    m_heartbeat.setInterval(int(HeartbeatMs));
    m_heartbeat.setTimerType(Qt::PreciseTimer);
    connect(&m_heartbeat, &QTimer::timeout, this, &Campaign::heartbeat);
}

void Campaign::restartSimulator()
{
    if (!m_sim.start()) {
        fail(QStringLiteral("the simulator could not restart: ") + m_sim.lastError());
        return;
    }
    m_sim.setUnplugAfter(-1);
    PanelDriver::mapPort(1, m_sim.devicePath());
}

void Campaign::restartPanel()
{
    m_panel.closeWindow();
    m_w = nullptr;
    // The first run has the FM band; later ones a form picked at random.
    // Half the later runs too, so that frequencies still get programmed.
    if (m_panelRestarts++ > 0)
        m_form = m_random.bounded(2) == 0
                     ? &SettingsForms[0]
                     : &SettingsForms[m_random.bounded(int(std::size(SettingsForms)))];
    if (!m_panel.storeRaw(m_form->content))
        return fail(QStringLiteral("the settings file could not be written"));
    m_w = &m_panel.openWindow();
    // Shortened so that a run of faults takes seconds, not hours.
    m_w->tmrTimeOutComm->setInterval(30);
    m_w->tmrTimeOut->setInterval(5);
    m_w->tmrPausa->setInterval(300);
    m_w->tmrPausaLabel->setInterval(50);
    m_w->tmrNotProgrammed->setInterval(50);
    connect(m_w, &frmTerminale::connectionStateChanged, this, &Campaign::onStateChanged);
}

void Campaign::onStateChanged(ConnectionState state)
{
    // A new connection: nothing the operator did before it may act in it.
    if (state == ConnectionState::Connecting) {
        m_rfPressesThisConnection = 0;
        m_sendClicksThisConnection = 0;
        m_rfCommandsThisConnection = 0;
        m_programStartsThisConnection = 0;
    }
}

void Campaign::run()
{
    m_wall.start();
    // A connection that never ends would keep the run from its budget check.
    m_panel.endConnectionAfter(int(WallBudgetMs));
    m_lastBeat = MachineClock::Clock::now();
    m_ticker.start();
    m_heartbeat.start();
    while (violation.isEmpty() && !done()) {
        if (m_wall.elapsed() > WallBudgetMs) {
            fail(QStringLiteral("the run took too long"));
            break;
        }
        if (!m_sim.isPlugged())
            restartSimulator();
        // On a port that leads nowhere the operator soon picks another one.
        if (Comm.toString() != QLatin1String("1") && m_random.bounded(2) == 0)
            m_w->mnuFilePort->trigger();
        if (!m_w->PowerOn) {
            ++m_connections;
            // Now and then the panel is closed and started again on another
            // settings file; now and then RF INHIBIT is clicked while it is off.
            if (m_random.bounded(16) == 0)
                restartPanel();
            if (m_random.bounded(4) == 0) {
                ++m_rfPressesOutside;
                m_w->ssRfSwitch->click();
            }
        }
        // ON returns at once; the engine runs the connection until it ends.
        m_w->cmdPower->click();
        while (violation.isEmpty() && connectionRuns()) {
            if (m_wall.elapsed() > WallBudgetMs) {
                fail(QStringLiteral("the connection never ended"));
                break;
            }
            QTest::qWait(1);
        }
        checkLine();
        checkPanel();
    }
    m_ticker.stop();
    m_heartbeat.stop();
    m_endKiB = residentKiB();
    if (violation.isEmpty() && !addressSanitized() && m_baselineKiB > 0 &&
        m_endKiB - m_baselineKiB > MaxMemoryGrowthKiB)
        fail(QStringLiteral("memory grew from %1 KiB to %2 KiB").arg(m_baselineKiB).arg(m_endKiB));

    QStringList episodes;
    for (size_t i = 0; i < m_episodes.size(); ++i)
        episodes << QString::number(m_episodes[i]);
    summary =
        QStringLiteral(
            "seed %1: %2 exchanges, %3 connections, %4 frequencies programmed, "
            "%5 RF commands (%13 presses outside a connection), %6 range warnings, %7 port "
            "dialogs, %14 panel restarts, longest "
            "heartbeat gap %8 ms (machine stalls up to %9 ms left out), memory %10 -> %11 KiB, "
            "episodes by fault [%12]")
            .arg(m_seed)
            .arg(m_sim.exchanges())
            .arg(m_connections)
            .arg(m_programmed)
            .arg(m_rfCommands)
            .arg(m_rangeWarnings)
            .arg(m_portDialogs)
            .arg(m_maxGapMs)
            .arg(m_longestMachineStallMs)
            .arg(m_baselineKiB)
            .arg(m_endKiB)
            .arg(episodes.join(QLatin1Char(' ')))
            .arg(m_rfPressesOutside)
            .arg(m_panelRestarts);
}

void Campaign::fail(const QString &what)
{
    if (!violation.isEmpty())
        return;
    violation = QStringLiteral("seed %1, after %2 exchanges, fault %3: %4")
                    .arg(m_seed)
                    .arg(m_sim.exchanges())
                    .arg(int(m_fault))
                    .arg(what);
    // End the connection so the run stops here.
    m_panel.endConnectionNow();
}

void Campaign::heartbeat()
{
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    const auto now = MachineClock::Clock::now();
    const qint64 gapMs = duration_cast<milliseconds>(now - m_lastBeat).count();
    // While the whole machine stood still, no window could have answered.
    const qint64 machineMs =
        duration_cast<milliseconds>(m_machine.stalledWithin(m_lastBeat, now)).count();
    m_lastBeat = now;
    m_longestMachineStallMs = qMax(m_longestMachineStallMs, machineMs);
    m_maxGapMs = qMax(m_maxGapMs, gapMs - machineMs);
    if (m_maxGapMs > MaxHeartbeatGapMs)
        fail(
            QStringLiteral("the window did not answer for %1 ms (the machine stood still for %2 ms "
                           "of it)")
                .arg(gapMs)
                .arg(machineMs));
}

void Campaign::tick()
{
    checkLine();
    checkPanel();
    if (!violation.isEmpty())
        return;
    if (m_baselineKiB < 0 && m_sim.exchanges() >= 2000)
        m_baselineKiB = residentKiB();
    if (done()) {
        m_panel.endConnectionNow();
        return;
    }
    if (m_sim.exchanges() >= m_episodeEndsAt || m_wall.elapsed() >= m_episodeEndsMs)
        nextEpisode();
    if (QWidget *modal = QApplication::activeModalWidget()) {
        if (m_random.bounded(5) == 0)
            handleModal(modal);
        return;
    }
    if (!m_acting && m_w->cmdDisconnect->isEnabled() && m_random.bounded(4) == 0)
        operate();
    // A press while the firmware question is out is no press at all.
    if (m_w->connectionState() == ConnectionState::Connecting && m_random.bounded(50) == 0) {
        ++m_rfPressesOutside;
        m_w->ssRfSwitch->click();
    }
}

void Campaign::checkLine()
{
    const QByteArray line = m_sim.received();
    for (; m_lineChecked < line.size(); ++m_lineChecked) {
        const auto byte = quint8(line.at(m_lineChecked));
        if (byte >= TxCommand::DIGIT_ZERO && byte <= TxCommand::DIGIT_ZERO + 9) {
            if (m_digitsAllowed-- <= 0)
                return fail(QStringLiteral("digit %1 sent outside a programming").arg(byte));
            m_programmedDigits.append(char(byte));
            if (m_programmedDigits.size() == 6) {
                const qint32 kHz = m_programmedDigits.toInt();
                if (!m_form->usable || kHz < m_form->down || kHz > m_form->up)
                    return fail(QStringLiteral("%1 kHz programmed outside the band of %2")
                                    .arg(kHz)
                                    .arg(QLatin1String(m_form->name)));
            }
            continue;
        }
        m_digitsAllowed = 0;
        switch (byte) {
        case TxCommand::CMD_READ_FORWARD:
        case TxCommand::CMD_READ_REFLECTED:
        case TxCommand::CMD_READ_FIRMWARE:
        case TxCommand::CMD_READ_TEMPERATURE:
        case TxCommand::CMD_READ_LOCK:
        case TxCommand::CMD_READ_FREQUENCY:
        case TxCommand::CMD_READ_RF_STATUS:
            break;
        case TxCommand::CMD_RF_ON:
        case TxCommand::CMD_RF_OFF:
            ++m_rfCommands;
            if (++m_rfCommandsThisConnection > m_rfPressesThisConnection)
                return fail(QStringLiteral("RF switched without a press in this connection"));
            break;
        case TxCommand::CMD_SET_FREQUENCY:
            if (++m_programStartsThisConnection > m_sendClicksThisConnection)
                return fail(QStringLiteral("programming started without SEND in this connection"));
            m_digitsAllowed = 6;
            m_programmedDigits.clear();
            break;
        default:
            return fail(QStringLiteral("byte %1 is not a command").arg(byte));
        }
    }
}

void Campaign::checkPanel()
{
    const qint32 tuned = m_sim.frequencyKHz();
    if (tuned != m_lastTuned) {
        if (!m_sent.contains(tuned)) {
            QStringList sent;
            for (const qint32 kHz : std::as_const(m_sent))
                sent << QString::number(kHz);
            QString captured;
            for (int i = 1; i <= 5; ++i)
                captured += m_w->SendDigits[size_t(i)];
            return fail(QStringLiteral("the transmitter was tuned to %1 kHz, never accepted "
                                       "(sent: %2; captured at SEND: %3)")
                            .arg(tuned)
                            .arg(sent.join(QLatin1Char(' ')), captured));
        }
        m_lastTuned = tuned;
        ++m_programmed;
    }
    if (!printableReadout(m_w->lblDirDigital(0)->text()) ||
        !printableReadout(m_w->lblRefDigital(0)->text()))
        fail(QStringLiteral("a power read-out shows unprintable or overlong text"));
}

void Campaign::nextEpisode()
{
    m_sim.setReplyDelayMs(0);
    m_sim.setPieces(1, 0);
    m_sim.setNoiseBytes(0);
    m_sim.setExtraAfterReply(QByteArray());
    m_sim.setWrongEcho(false);
    m_sim.setSilent(false);
    m_sim.setSilentAfter(-1);
    m_sim.setUnplugAfter(-1);

    // Half the time the line is clean, so connections last and get used.
    const bool clean = m_random.bounded(2) == 0;
    m_fault = clean ? Fault::Clean : Fault(1 + m_random.bounded(int(Fault::Count) - 1));
    ++m_episodes[size_t(m_fault)];
    const int now = m_sim.exchanges();
    m_episodeEndsAt = now + 20 + int(m_random.bounded(400));
    m_episodeEndsMs = m_wall.elapsed() + 100 + m_random.bounded(600);
    switch (m_fault) {
    case Fault::Clean:
    case Fault::Count:
        break;
    case Fault::Delay:
        // Some beyond the 30 ms supervision.
        m_sim.setReplyDelayMs(1 + int(m_random.bounded(40)));
        break;
    case Fault::Pieces:
        m_sim.setPieces(2 + int(m_random.bounded(5)), int(m_random.bounded(6)));
        break;
    case Fault::Noise:
        m_sim.setNoiseBytes(1 + int(m_random.bounded(8)));
        break;
    case Fault::Overlong:
        m_sim.setNoiseBytes(1025 + int(m_random.bounded(2000)));
        break;
    case Fault::Extra: {
        QByteArray extra;
        const int length = 1 + int(m_random.bounded(6));
        for (int i = 0; i < length; ++i)
            extra.append(char(m_random.bounded(256)));
        // A doubled reply, sometimes late.
        if (m_random.bounded(2) == 0)
            extra = "9\r" + extra;
        m_sim.setExtraAfterReply(extra);
        if (m_random.bounded(2) == 0)
            m_sim.setPieces(2, int(m_random.bounded(4)));
        break;
    }
    case Fault::WrongEcho:
        m_sim.setWrongEcho(true);
        planProgramming();
        break;
    case Fault::Silence:
        m_sim.setSilent(true);
        break;
    case Fault::SilentAfter:
        m_sim.setSilentAfter(now + 1 + int(m_random.bounded(50)));
        break;
    case Fault::Unplug:
        m_sim.setUnplugAfter(now + 1 + int(m_random.bounded(100)));
        break;
    }
}

void Campaign::handleModal(QWidget *modal)
{
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        if (box->text().startsWith(QLatin1String("OUT OF RANGE")))
            m_rangeWarningSeen = true;
        box->button(QMessageBox::Ok)->click();
        return;
    }
    if (auto *dialog = qobject_cast<frmCom *>(modal)) {
        ++m_portDialogs;
        (m_random.bounded(4) == 0 ? dialog->optCom2 : dialog->optCom1)->setChecked(true);
        (m_random.bounded(3) == 0 ? dialog->cmdCancelCom : dialog->cmdOkCom)->click();
        return;
    }
    fail(QStringLiteral("an unexpected window: ") + modal->windowTitle());
}

// Runs an operator's click as an event of its own: a click that opens a modal
// box then waits in it while the ticks go on and close the box.
void Campaign::act(const std::function<void()> &action)
{
    m_acting = true;
    QTimer::singleShot(0, this, [this, action] {
        action();
        m_acting = false;
    });
}

void Campaign::planProgramming()
{
    m_plan.clear();
    m_plan.emplace_back([this] { m_w->cmdSetFrequency->click(); });
    // Mostly a frequency in the band, in 100 kHz steps as the keypad types it.
    const qint32 kHz = m_random.bounded(4) == 0
                           ? qint32(m_random.bounded(100000)) * 10
                           : LimitDownKHz + qint32(m_random.bounded(206)) * 100;
    const QString digits = QStringLiteral("%1").arg(kHz / 10, 5, 10, QLatin1Char('0'));
    for (const QChar digit : digits) {
        const int index = PanelDriver::keyFor(digit);
        m_plan.emplace_back([this, index] { clickKey(index); });
    }
    m_plan.emplace_back([this] { clickOk(); });
    m_plan.emplace_back([this] { clickSend(); });
}

void Campaign::clickKey(int index)
{
    Key3D *key = m_w->cmdKey(index);
    // Outside the running poll the keys change nothing, whatever SET FREQUENCY enabled.
    if (!key->isEnabled() || m_w->connectionState() != ConnectionState::Polling)
        return;
    // The blinking digit is where the operator types.
    const QString caption = key->text();
    if (caption != QLatin1String("<"))
        m_typed[size_t(m_w->DigitPosition)] = caption.toInt();
    key->click();
}

void Campaign::clickOk()
{
    if (!m_w->cmdKey(KeypadKey::Ok)->isEnabled() ||
        m_w->connectionState() != ConnectionState::Polling)
        return;
    qint32 typed = 0;
    for (int i = 1; i <= 5; ++i)
        typed = typed * 10 + m_typed[size_t(i)];
    typed *= 10;
    m_rangeWarningSeen = false;
    m_w->cmdKey(KeypadKey::Ok)->click();
    const bool inBand = m_form->usable && typed >= m_form->down && typed <= m_form->up;
    if (m_rangeWarningSeen) {
        ++m_rangeWarnings;
        if (inBand) {
            QString entered;
            for (int i = 1; i <= 5; ++i)
                entered += QLatin1Char('[') + m_w->EnteredDigits[size_t(i)] + QLatin1Char(']');
            fail(QStringLiteral("%1 kHz refused, though in the band; panel %2")
                     .arg(typed)
                     .arg(entered));
        }
        return;
    }
    if (!inBand)
        return fail(QStringLiteral("%1 kHz accepted, though out of the band").arg(typed));
    if (!m_w->cmdSend->isEnabled())
        return fail(QStringLiteral("%1 kHz accepted, yet SEND stays disabled").arg(typed));
    // What SEND will program must be what the operator sees on the digits.
    qint32 shown = 0;
    for (int i = 1; i <= 5; ++i)
        shown = shown * 10 + m_w->ledDigit(i)->DigitValue();
    if (shown * 10 != typed)
        return fail(QStringLiteral("%1 kHz accepted while the digits show %2 kHz")
                        .arg(typed)
                        .arg(shown * 10));
    m_accepted = typed;
}

void Campaign::clickSend()
{
    if (m_w->cmdSend->isEnabled() && m_w->connectionState() == ConnectionState::Polling) {
        ++m_sendClicksThisConnection;
        m_sent.insert(m_accepted);
    }
    m_w->cmdSend->click();
}

void Campaign::operate()
{
    if (!m_plan.empty() && m_random.bounded(4) != 0) {
        auto step = m_plan.front();
        m_plan.pop_front();
        return act(step);
    }
    const quint32 pick = m_random.bounded(1000);
    if (pick < 40 && m_plan.empty())
        return planProgramming();
    if (pick < 400)
        // Any key but OK, "<" included.
        return act([this] {
            clickKey(KeypadKey::First + int(m_random.bounded(KeypadKey::Ok - KeypadKey::First)));
        });
    if (pick < 450)
        return act([this] { clickOk(); });
    if (pick < 500)
        return act([this] { m_w->cmdSetFrequency->click(); });
    if (pick < 540)
        return act([this] { clickSend(); });
    if (pick < 570)
        return act([this] {
            if (m_w->connectionState() != ConnectionState::Polling)
                ++m_rfPressesOutside;
            else if (!m_w->ssRfSwitch->Pressed())
                ++m_rfPressesThisConnection;
            m_w->ssRfSwitch->click();
        });
    if (pick < 575)
        return act([this] { m_w->cmdDisconnect->click(); });
    if (pick < 578)
        return act([this] { m_w->mnuFilePort->trigger(); });
}

class CampaignTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void invariantsHoldUnderRandomFaults();
};

void CampaignTest::invariantsHoldUnderRandomFaults()
{
    const auto seed = quint32(envNumber("TXPANEL_CAMPAIGN_SEED", int(DefaultSeed)));
    const int exchanges = envNumber("TXPANEL_CAMPAIGN_EXCHANGES", DefaultExchanges);
    Campaign campaign(seed, exchanges);
    campaign.run();
    qInfo().noquote() << campaign.summary;
    QVERIFY2(campaign.violation.isEmpty(), qPrintable(campaign.violation));
    // A run that never programmed, switched RF or lost the line proved little.
    QVERIFY(campaign.programmed() > 0);
    QVERIFY(campaign.rfCommands() > 0);
    QVERIFY(campaign.unplugEpisodes() > 0);
    QVERIFY(campaign.connections() > 1);
}

QTEST_MAIN(CampaignTest)
#include "tst_campaign.moc"
