// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkEngine.h"

#include "link/Commands.h"
#include "link/MSComm.h"
#include "link/ReplyDecoding.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

using namespace TxCommand;
using ReplyDecoding::printable;
using ReplyDecoding::TwoState;
using ReplyDecoding::twoState;

namespace {
constexpr int SupervisionMs = 15000;
constexpr int ResumeEveryMs = 2000;
// A transmitter that is there answers its firmware question within a few
// tens of milliseconds; a retry need not wait the full supervision for one
// that is not.
constexpr int ProbeReplyMs = 2000;
// A line that never ends (noise, a babbling device) keeps at most this much.
constexpr int MaxReceiveText = 1024;

template <typename T>
void take(TxReading::Item<T> &item, std::optional<T> value, const QString &text = QString())
{
    item.value = value;
    item.text = text;
    item.readAtMs = TxReading::nowMs();
}

void takeOnAir(TxReading &reading, const QString &reply)
{
    const TwoState state = twoState(reply);
    take(reading.onAir,
         state == TwoState::Other ? std::nullopt : std::optional<bool>(state == TwoState::Yes),
         state == TwoState::Other ? printable(reply) : QString());
}

bool fiveDigits(const QString &digits)
{
    if (digits.size() != 5)
        return false;
    for (const QChar digit : digits) {
        if (digit < QLatin1Char('0') || digit > QLatin1Char('9'))
            return false;
    }
    return true;
}
} // namespace

LinkEngine::LinkEngine(QObject *parent) : QObject(parent), m_port(new MSComm(this))
{
    // Children, so the window's timers can be found by name with its own.
    m_supervision.setParent(this);
    m_resumeTimer.setParent(this);
    m_supervision.setSingleShot(true);
    m_supervision.setInterval(SupervisionMs);
    m_resumeTimer.setSingleShot(true);
    m_resumeTimer.setInterval(ResumeEveryMs);
    connect(&m_supervision, &QTimer::timeout, this, &LinkEngine::onSupervision);
    connect(&m_resumeTimer, &QTimer::timeout, this, &LinkEngine::tryResume);
    connect(m_port, &MSComm::replyData, this, &LinkEngine::onReplyData);
    connect(m_port, &MSComm::lineLost, this, &LinkEngine::onLineLost);
}

LinkEngine::~LinkEngine() = default;

bool LinkEngine::running() const
{
    return m_state == ConnectionState::Connecting || m_state == ConnectionState::Polling ||
           m_state == ConnectionState::Resuming;
}

void LinkEngine::setState(ConnectionState state)
{
    if (state == m_state)
        return;
    m_state = state;
    // Readings belong to the connection they were taken in.
    if (state == ConnectionState::Connecting || state == ConnectionState::Polling) {
        m_reading = TxReading();
        m_cycles = 0;
    }
    // A press belongs to the connection it was made in: none carries across
    // the start or the end of one.
    m_rfPressed = false;
    Q_EMIT stateChanged(state);
}

// --- inputs ---

void LinkEngine::powerOn()
{
    if (m_shutDown || m_state != ConnectionState::Off || busy())
        return;
    m_stop = m_disconnect = false;
    m_lastLost = false;
    m_lostBecause.clear();
    // The operator's power-on takes whatever answers, as it always has.
    m_lostAdapter.clear();
    m_lostFirmware.clear();
    m_otherDevice.clear();
    if (m_resume && !m_toldKernelName) {
        // ttyUSB0 today may be another adapter after a replug or a reboot.
        static const QRegularExpression kernelName(QStringLiteral("^/dev/tty(USB|ACM)[0-9]+$"));
        if (kernelName.match(m_line.device).hasMatch()) {
            m_toldKernelName = true;
            Q_EMIT lineNotice(
                QStringLiteral("%1 resumes on %2, a name the system may give another adapter "
                               "after a replug; a name under /dev/serial/by-id/ stays with the "
                               "adapter")
                    .arg(m_line.name, m_line.device));
        }
    }
    // A request left from an earlier connection would program an old frequency.
    m_programPending = false;
    m_run = Run::Connection;
    setState(ConnectionState::Connecting);
    if (!openLine()) {
        setState(ConnectionState::PortNotAvailable);
        Q_EMIT portFailed(m_portFailure);
        // An unattended PC may boot before its adapter is ready.
        if (m_resume && m_state == ConnectionState::PortNotAvailable)
            startResuming();
        return;
    }
    send(CMD_READ_FIRMWARE, Step::Firmware);
}

void LinkEngine::powerOff()
{
    if (m_shutDown)
        return;
    m_resumeTimer.stop();
    abandonExchange();
    m_programPending = false;
    m_programming = false;
    m_port->setPortOpen(false);
    m_firmware.clear();
    m_connectedSince = QDateTime();
    m_otherDevice.clear();
    setState(ConnectionState::Off);
}

void LinkEngine::stop()
{
    if (m_shutDown)
        return;
    m_disconnect = true;
    m_stop = true;
    // Retries have no exchange worth finishing: they stop at once.
    if (m_state == ConnectionState::Resuming) {
        m_resumeTimer.stop();
        abandonExchange();
        setState(ConnectionState::Ended);
    }
}

void LinkEngine::setRfPressed(bool pressed, RfWay way)
{
    if (!pressed) {
        m_rfPressed = false;
        return;
    }
    // Only a running poll acts on the switch; a press kept for later would
    // switch RF at the first cycle of a connection nobody pressed it in.
    if (m_state != ConnectionState::Polling || m_shutDown) {
        m_rfPressed = false;
        Q_EMIT rfReleased();
        return;
    }
    m_rfPressed = true;
    m_rfWay = way;
}

bool LinkEngine::requestProgramming(const QString &digits)
{
    if (m_state != ConnectionState::Polling || m_shutDown || !fiveDigits(digits) ||
        !m_band.accepts(qint64(digits.toInt()) * 10))
        return false;
    // Served after the status cycle running; one asked while digits go out
    // waits for the next cycle and never mixes into them.
    m_pendingDigits = digits;
    m_programPending = true;
    return true;
}

void LinkEngine::shutDown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_resumeTimer.stop();
    m_programPending = false;
    m_rfPressed = false;
    // A frequency half sent would leave the transmitter holding part of a
    // sequence: the programming ends first, then the line closes.
    if (m_programming)
        return;
    abandonExchange();
    finishShutDown();
}

void LinkEngine::finishShutDown()
{
    m_port->setPortOpen(false);
    Q_EMIT shutDownComplete();
}

// --- single operations ---

bool LinkEngine::openLine()
{
    m_portFailure.clear();
    if (m_port->PortOpen())
        m_port->setPortOpen(false);
    if (!m_line.problem.isEmpty()) {
        m_portFailure = m_line.problem;
        return false;
    }
    m_port->setSettings(QStringLiteral("4800,N,8,1"));
    m_port->setDevice(m_line.device);
    if (!m_port->setPortOpen(true)) {
        m_portFailure =
            QStringLiteral("%1 (%2): %3").arg(m_line.name, m_line.device, m_port->lastError());
        return false;
    }
    return true;
}

bool LinkEngine::exchange(quint8 command)
{
    if (busy() || running() || m_shutDown)
        return false;
    m_run = Run::Single;
    send(command, Step::Single);
    return true;
}

bool LinkEngine::statusCycle()
{
    if (busy() || running() || m_shutDown)
        return false;
    m_run = Run::Single;
    sendCycleStep(Step::Forward);
    return true;
}

bool LinkEngine::program(const QString &digits)
{
    if (busy() || running() || m_shutDown || !fiveDigits(digits) ||
        !m_band.accepts(qint64(digits.toInt()) * 10))
        return false;
    m_run = Run::Single;
    startProgramming(digits);
    return true;
}

// --- one exchange ---

void LinkEngine::send(quint8 command, Step step)
{
    const quint64 exchange = ++m_exchange;
    m_step = step;
    m_command = command;
    m_received.clear();
    m_lastLost = false;
    if (!m_port->PortOpen()) {
        // Nothing can be asked on a closed line: the connection must end.
        m_lostBecause = QStringLiteral("the line was lost");
        complete(QString(), true);
        return;
    }
    // A late or doubled reply to an earlier question belongs to no question.
    m_port->discardInput();
    m_port->sendCommand(command);
    // A write that failed has closed the line and completed the exchange.
    if (exchange != m_exchange || m_step == Step::None)
        return;
    // The supervision runs from each command. Its timer is not set anew for
    // every exchange (that is a good part of an exchange's work): each
    // command moves the deadline on, and the timer, when it fires, waits
    // for what is left of the deadline of the command then out.
    const int ms = step == Step::Probe ? qMin(supervisionMs(), ProbeReplyMs) : supervisionMs();
    m_replyDue.setRemainingTime(ms);
    if (!m_supervision.isActive() || m_supervision.interval() > ms)
        armSupervision(ms);
}

int LinkEngine::supervisionMs() const
{
    return m_supervisionMs > 0 ? m_supervisionMs : m_supervision.interval();
}

void LinkEngine::armSupervision(int ms)
{
    // The interval set on the timer stays what supervisionMs() gives.
    if (ms != supervisionMs() && m_supervisionMs == 0)
        m_supervisionMs = m_supervision.interval();
    m_supervision.setInterval(ms);
    m_supervision.start();
}

void LinkEngine::idleSupervision()
{
    m_supervision.stop();
    if (m_supervisionMs > 0) {
        m_supervision.setInterval(m_supervisionMs);
        m_supervisionMs = 0;
    }
}

void LinkEngine::onReplyData()
{
    if (m_step == Step::None)
        return;
    m_port->appendInputTo(m_received);
    const qsizetype end = m_received.indexOf(QLatin1Char(CarriageReturn));
    if (end < 0) {
        if (m_received.size() > MaxReceiveText)
            m_received = m_received.right(MaxReceiveText);
        return;
    }
    complete(m_received.left(end).right(MaxReceiveText), false);
}

void LinkEngine::onSupervision()
{
    if (m_step == Step::None) {
        idleSupervision();
        return;
    }
    // Armed for an earlier command: the one out now has time left.
    const qint64 left = m_replyDue.remainingTime();
    if (left > 0) {
        armSupervision(int(left));
        return;
    }
    // A reply that has come in whole, its readyRead not served yet, is taken.
    if (m_port->replyWaiting()) {
        onReplyData();
        if (m_step == Step::None)
            return;
    }
    m_lostBecause = QStringLiteral("the transmitter stopped answering");
    Q_EMIT replyLost(m_lostBecause);
    if (m_step != Step::None)
        complete(QString(), true);
}

void LinkEngine::onLineLost()
{
    if (m_step == Step::None)
        return;
    // The adapter went away (or the line closed) mid-exchange: end now as a
    // failed exchange instead of waiting on a line that is gone.
    m_lostBecause = QStringLiteral("the line was lost");
    Q_EMIT replyLost(m_lostBecause);
    if (m_step != Step::None)
        complete(QString(), true);
}

void LinkEngine::abandonExchange()
{
    ++m_epoch;
    if (m_step == Step::None)
        return;
    m_step = Step::None;
    idleSupervision();
    m_port->endOfReply();
}

void LinkEngine::complete(const QString &reply, bool lost)
{
    const Step step = m_step;
    const quint8 command = m_command;
    m_step = Step::None;
    m_port->endOfReply();
    m_lastLost = lost;

    // A step whose reply was lost decodes nothing: an empty text is no reading.
    switch (step) {
    case Step::Forward:
        if (!lost)
            take(m_reading.forwardW, ReplyDecoding::number(reply), printable(reply));
        break;
    case Step::Reflected:
        if (!lost)
            take(m_reading.reflectedW, ReplyDecoding::number(reply), printable(reply));
        break;
    case Step::Temperature:
        if (!lost) {
            const qint16 raw = reply.isEmpty() ? 0 : ReplyDecoding::leadingNumber(reply);
            const qint16 celsius = ReplyDecoding::celsiusFromRaw(raw);
            take(m_reading.temperatureC, std::optional<qint16>(celsius), QString::number(celsius));
            take(m_reading.temperatureAlarm,
                 std::optional<bool>(ReplyDecoding::temperatureAlarm(raw)));
        }
        break;
    case Step::Lock:
        m_locked = !lost && twoState(reply) == TwoState::Yes;
        if (!lost)
            take(m_reading.locked, std::optional<bool>(m_locked));
        break;
    case Step::Frequency:
        if (!lost) {
            const std::optional<qint32> kHz = ReplyDecoding::frequencyKHz(reply);
            take(m_reading.frequencyKHz, kHz,
                 kHz ? ReplyDecoding::frequencyText(*kHz) : printable(reply));
        }
        break;
    case Step::RfStatus:
        m_rfStatus = reply;
        if (!lost)
            takeOnAir(m_reading, reply);
        break;
    case Step::RfCommand:
        if (twoState(reply) == (command == CMD_RF_ON ? TwoState::Yes : TwoState::No))
            takeOnAir(m_reading, reply);
        break;
    case Step::None:
    case Step::Single:
    case Step::Firmware:
    case Step::Probe:
    case Step::SetFrequency:
    case Step::Digit:
        break;
    }

    const quint64 epoch = m_epoch;
    Q_EMIT exchangeCompleted(command, reply, lost);
    // Whoever heard it may have ended everything (power-off, the program's end).
    if (epoch != m_epoch || busy()) {
        if (!busy())
            idleSupervision();
        return;
    }
    advance(step, command, reply, lost);
    // No next exchange: nothing to supervise.
    if (!busy())
        idleSupervision();
}

// --- sequences ---

void LinkEngine::advance(Step step, quint8 command, const QString &reply, bool lost)
{
    switch (step) {
    case Step::None:
    case Step::Single:
        return;
    case Step::Firmware:
        if (lost || reply.isEmpty()) {
            Q_EMIT noReply();
            if (m_resume && !m_disconnect) {
                startResuming();
            } else {
                m_port->setPortOpen(false);
                setState(ConnectionState::Off);
            }
            return;
        }
        startConnection(reply);
        return;
    case Step::Probe:
        if (!lost && !reply.isEmpty()) {
            const QString other = mismatch(adapterIdentity(), printable(reply));
            if (!other.isEmpty()) {
                refuseOther(other);
                return;
            }
            Q_EMIT resumeAttempted(true);
            startConnection(reply);
            return;
        }
        Q_EMIT resumeAttempted(false);
        if (m_state == ConnectionState::Resuming)
            m_resumeTimer.start();
        return;
    case Step::Forward:
    case Step::Reflected:
    case Step::Temperature:
    case Step::Lock:
    case Step::Frequency:
    case Step::RfStatus:
    case Step::RfCommand:
        afterCycleStep(step, command, reply);
        return;
    case Step::SetFrequency:
    case Step::Digit:
        afterProgrammingStep(step, reply, lost);
        return;
    }
}

namespace {
// The status cycle's questions, in the order they are asked.
constexpr std::pair<LinkEngine::Step, quint8> CycleQuestions[] = {
    {LinkEngine::Step::Forward, CMD_READ_FORWARD},
    {LinkEngine::Step::Reflected, CMD_READ_REFLECTED},
    {LinkEngine::Step::Temperature, CMD_READ_TEMPERATURE},
    {LinkEngine::Step::Lock, CMD_READ_LOCK},
    {LinkEngine::Step::Frequency, CMD_READ_FREQUENCY},
    {LinkEngine::Step::RfStatus, CMD_READ_RF_STATUS},
};
} // namespace

void LinkEngine::sendCycleStep(Step step)
{
    for (const auto &[question, command] : CycleQuestions) {
        if (question == step) {
            send(command, step);
            return;
        }
    }
}

void LinkEngine::afterCycleStep(Step step, quint8 command, const QString &reply)
{
    // The stop check after each question: a stop ends the cycle at once.
    if (step != Step::RfCommand && stopPending()) {
        endCycle();
        return;
    }
    if (step == Step::RfStatus) {
        if (m_rfPressed) {
            const TwoState onAir = twoState(m_rfStatus);
            if (onAir == TwoState::Yes && m_rfWay != RfWay::OnAir) {
                send(CMD_RF_OFF, Step::RfCommand);
                return;
            }
            if (onAir == TwoState::No && m_rfWay != RfWay::OffAir) {
                send(CMD_RF_ON, Step::RfCommand);
                return;
            }
            // Neither on nor off, or already where the press was to take
            // it: nothing is sent and the press is let go.
            releaseRf();
        }
        endCycle();
        return;
    }
    if (step == Step::RfCommand) {
        const bool onAir = command == CMD_RF_ON;
        const bool confirmed = twoState(reply) == (onAir ? TwoState::Yes : TwoState::No);
        Q_EMIT rfCommandSent(onAir, confirmed);
        // Let go whatever was done to the switch while its command was out.
        releaseRf();
        endCycle();
        return;
    }
    // The next question; the frequency only while the digits follow the
    // transmitter and its synthesiser is locked.
    Step next = Step(int(step) + 1);
    if (next == Step::Frequency && !(m_follow && m_locked))
        next = Step::RfStatus;
    sendCycleStep(next);
}

void LinkEngine::releaseRf()
{
    m_rfPressed = false;
    Q_EMIT rfReleased();
}

void LinkEngine::endCycle()
{
    if (!stopPending())
        ++m_cycles;
    const quint64 epoch = m_epoch;
    // Whatever the cycle got, even cut short: the feed and the record see
    // each reading with its own time.
    Q_EMIT readingTaken(m_reading);
    if (epoch != m_epoch || busy() || m_run == Run::Single)
        return;
    if (stopPending()) {
        endConnection();
        return;
    }
    // A programming asked for during the cycle is served between two cycles.
    if (m_programPending) {
        startProgramming(m_pendingDigits);
        return;
    }
    sendCycleStep(Step::Forward);
}

void LinkEngine::startProgramming(const QString &digits)
{
    m_programPending = false;
    m_programming = true;
    m_programDigits = digits;
    m_digit = 0;
    Q_EMIT programmingStarted(digits);
    send(CMD_SET_FREQUENCY, Step::SetFrequency);
}

void LinkEngine::afterProgrammingStep(Step step, const QString &reply, bool lost)
{
    if (step == Step::SetFrequency) {
        // A lost reply to the programming command itself stops here: digits
        // sent to a transmitter that did not take the command would leave it
        // holding a partial sequence.
        if (lost) {
            endProgramming(false, true);
            return;
        }
    } else {
        // The first five echo their digit, the sixth (always 0) the empty text.
        const QString expected =
            m_digit <= 5 ? QString(m_programDigits.at(m_digit - 1)) : QString();
        // Sending a digit again could shift the transmitter's count of
        // digits: a wrong or missing echo ends the programming.
        if (lost || reply != expected) {
            endProgramming(false, lost);
            return;
        }
        if (m_digit == 6) {
            endProgramming(true, false);
            return;
        }
    }
    ++m_digit;
    const int value = m_digit <= 5 ? m_programDigits.at(m_digit - 1).unicode() - '0' : 0;
    send(quint8(DIGIT_ZERO + value), Step::Digit);
}

void LinkEngine::endProgramming(bool programmed, bool lost)
{
    m_programming = false;
    const quint64 epoch = m_epoch;
    Q_EMIT frequencyProgrammed(m_reading.frequencyKHz.value.value_or(-1),
                               m_programDigits.toInt() * 10, programmed, lost);
    if (m_shutDown) {
        finishShutDown();
        return;
    }
    if (epoch != m_epoch || busy() || m_run == Run::Single)
        return;
    // A stop asked for during the programming ends the connection now.
    if (stopPending())
        endConnection();
    else
        sendCycleStep(Step::Forward);
}

void LinkEngine::startConnection(const QString &firmware)
{
    m_run = Run::Connection;
    m_firmware = printable(firmware);
    m_adapter = adapterIdentity();
    m_otherDevice.clear();
    m_connectedSince = QDateTime::currentDateTime();
    m_lostBecause.clear();
    m_lastLost = false;
    const quint64 epoch = m_epoch;
    Q_EMIT connected(m_firmware);
    setState(ConnectionState::Polling);
    if (epoch != m_epoch || busy() || m_state != ConnectionState::Polling)
        return;
    sendCycleStep(Step::Forward);
}

void LinkEngine::endConnection()
{
    m_programPending = false;
    const QString why = m_disconnect              ? QStringLiteral("DISCONNECT pressed")
                        : m_lostBecause.isEmpty() ? QStringLiteral("no reply")
                                                  : m_lostBecause;
    // What only the same transmitter may resume: its adapter and firmware.
    m_lostAdapter = m_adapter;
    m_lostFirmware = m_firmware;
    Q_EMIT connectionEnded(why);
    setState(ConnectionState::Ended);
    m_firmware.clear();
    m_connectedSince = QDateTime();
    // With resume, a lost link (not one the operator ended) is tried again.
    if (m_resume && !m_disconnect && !m_shutDown && m_state == ConnectionState::Ended)
        startResuming();
}

void LinkEngine::startResuming()
{
    m_run = Run::Connection;
    setState(ConnectionState::Resuming);
    m_resumeTimer.start();
}

void LinkEngine::tryResume()
{
    if (m_state != ConnectionState::Resuming || m_shutDown || busy())
        return;
    // The same line, its device looked up again: an adapter back under the
    // same name or link is found.
    if (!openLine()) {
        Q_EMIT resumeAttempted(false);
        if (m_state == ConnectionState::Resuming)
            m_resumeTimer.start();
        return;
    }
    // Another adapter under the lost one's name is not asked anything.
    const QString other = mismatch(adapterIdentity(), QString());
    if (!other.isEmpty()) {
        refuseOther(other);
        return;
    }
    send(CMD_READ_FIRMWARE, Step::Probe);
}

QString LinkEngine::adapterIdentity() const
{
    const QString device = m_port->openedDevice();
    if (device.isEmpty())
        return QString();
    const QSerialPortInfo info(QFileInfo(device).fileName());
    if (info.isNull() || !info.hasVendorIdentifier())
        return QString();
    return QStringLiteral("USB %1:%2 serial %3")
        .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
        .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'))
        .arg(info.serialNumber().isEmpty() ? QStringLiteral("none") : info.serialNumber());
}

QString LinkEngine::mismatch(const QString &adapter, const QString &firmware) const
{
    // Only what is known on both sides is compared: a line without adapter
    // details (an on-board port) is told apart by its firmware alone.
    if (!m_lostAdapter.isEmpty() && !adapter.isEmpty() && adapter != m_lostAdapter)
        return QStringLiteral("adapter %1 where %2 was").arg(adapter, m_lostAdapter);
    if (!firmware.isNull() && !m_lostFirmware.isEmpty() && firmware != m_lostFirmware)
        return QStringLiteral("firmware %1 where %2 was").arg(firmware, m_lostFirmware);
    return QString();
}

void LinkEngine::refuseOther(const QString &why)
{
    // Closed at once, so the panel it belongs to can have it.
    m_port->setPortOpen(false);
    const bool told = m_otherDevice == why;
    m_otherDevice = why;
    Q_EMIT resumeAttempted(false);
    if (!told)
        Q_EMIT otherDeviceFound(why);
    // The lost transmitter may still come back under that name.
    if (m_state == ConnectionState::Resuming)
        m_resumeTimer.start();
}
