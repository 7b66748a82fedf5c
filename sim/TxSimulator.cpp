// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/TxSimulator.h"

#include "sim/LineTimer.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr quint8 CmdForward = 4;
constexpr quint8 CmdReflected = 5;
constexpr quint8 CmdFirmware = 6;
constexpr quint8 CmdTemperature = 7;
constexpr quint8 CmdLock = 8;
constexpr quint8 CmdFrequency = 9;
constexpr quint8 CmdRfStatus = 10;
constexpr quint8 CmdRfOn = 11;
constexpr quint8 CmdRfOff = 12;
constexpr quint8 CmdProgram = 14;
constexpr int ProgramLength = 6;
constexpr int TemperatureLow = 140;
constexpr int TemperatureHigh = 160;
} // namespace

TxSimulator::TxSimulator(QObject *parent)
    : QObject(parent), m_inTimer(new LineTimer(this)), m_outTimer(new LineTimer(this))
{
    connect(m_inTimer, &LineTimer::timeout, this, &TxSimulator::processInput);
    connect(m_outTimer, &LineTimer::timeout, this, &TxSimulator::pumpOutput);
    m_clock.start();
}

TxSimulator::~TxSimulator()
{
    unplug();
}

bool TxSimulator::start()
{
    unplug();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        m_lastError = QString::fromLocal8Bit(std::strerror(errno));
        unplug();
        return false;
    }
    const char *name = ::ptsname(m_master);
    if (!name) {
        m_lastError = QString::fromLocal8Bit(std::strerror(errno));
        unplug();
        return false;
    }
    m_devicePath = QString::fromLocal8Bit(name);
    // Holding the slave open ourselves means the panel closing its end between
    // connections does not hang the line up.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slave < 0) {
        m_lastError =
            m_devicePath + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        unplug();
        return false;
    }
    termios tio{};
    if (::tcgetattr(m_slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B4800);
        ::tcsetattr(m_slave, TCSANOW, &tio);
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TxSimulator::onReadable);
    return true;
}

void TxSimulator::unplug()
{
    if (m_notifier) {
        m_notifier->setEnabled(false);
        delete m_notifier;
        m_notifier = nullptr;
    }
    m_inTimer->stop();
    m_outTimer->stop();
    m_inQueue.clear();
    m_outQueue.clear();
    m_programDigits = -1;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = -1;
    m_slave = -1;
}

void TxSimulator::setSilent(bool on)
{
    m_silent = on;
    // An instructor who says "answer" means now, not after some count runs out.
    if (!on)
        m_silentAfter = -1;
}

bool TxSimulator::isAnswering() const
{
    return !m_silent && !(m_silentAfter >= 0 && m_exchanges >= m_silentAfter);
}

void TxSimulator::setTemperature(int raw)
{
    m_temperature = raw;
    m_drift = false;
}

void TxSimulator::setTemperatureDrift(bool on, int everyExchanges)
{
    m_drift = on;
    m_driftEvery = qMax(1, everyExchanges);
}

void TxSimulator::setPieces(int pieces, int pauseMs)
{
    m_pieces = qMax(1, pieces);
    m_piecePauseMs = qMax(0, pauseMs);
}

void TxSimulator::onReadable()
{
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        const qint64 now = m_clock.nsecsElapsed();
        if (m_inQueue.isEmpty() && m_inLastNs < now)
            m_inLastNs = now;
        const QByteArray bytes(buffer, static_cast<qsizetype>(n));
        m_received.append(bytes);
        m_inQueue.append(bytes);
        Q_EMIT arrived(bytes);
    }
    processInput();
}

void TxSimulator::processInput()
{
    while (!m_inQueue.isEmpty() && m_master >= 0) {
        if (m_pacing) {
            const qint64 now = m_clock.nsecsElapsed();
            const qint64 due = m_inLastNs + ByteTimeNs;
            if (now < due) {
                m_inTimer->start(due - now);
                return;
            }
            // Keep to the line's own clock: a late timer must not slow the line down.
            m_inLastNs = due;
        }
        const auto byte = static_cast<quint8>(m_inQueue.at(0));
        m_inQueue.remove(0, 1);
        handleByte(byte);
    }
}

void TxSimulator::handleByte(quint8 byte)
{
    if (!isAnswering())
        return;
    bool answered = false;
    const QByteArray text = answerFor(byte, &answered);
    if (answered)
        queueReply(byte, text);
}

QByteArray TxSimulator::answerFor(quint8 byte, bool *answered)
{
    *answered = true;
    if (m_programDigits >= 0) {
        if (byte >= '0' && byte <= '9') {
            char heard = static_cast<char>(byte);
            // The third digit misheard: the transmitter both echoes and keeps
            // what it heard, as a noisy line would make it do.
            if (m_wrongEcho && m_programDigits == 2)
                heard = static_cast<char>('0' + (byte - '0' + 1) % 10);
            m_programmed.append(heard);
            if (++m_programDigits < ProgramLength)
                return QByteArray(1, heard);
            m_frequencyKHz = m_programmed.toInt();
            m_programDigits = -1;
            return QByteArray();
        }
        m_programDigits = -1;
    }
    switch (byte) {
    case CmdForward:
        return m_forward.toLatin1();
    case CmdReflected:
        return m_reflected.toLatin1();
    case CmdFirmware:
        return m_firmware.toLatin1();
    case CmdTemperature:
        return QByteArray::number(m_temperature).rightJustified(3, '0');
    case CmdLock:
        return m_locked ? "9" : "0";
    case CmdFrequency:
        return QByteArray::number(m_frequencyKHz).rightJustified(6, '0');
    case CmdRfStatus:
        return m_onAir ? "9" : "0";
    case CmdRfOn:
        m_onAir = true;
        return "9";
    case CmdRfOff:
        m_onAir = false;
        return "0";
    case CmdProgram:
        m_programDigits = 0;
        m_programmed.clear();
        return "OK";
    default:
        *answered = false;
        return QByteArray();
    }
}

void TxSimulator::queueReply(quint8 command, const QByteArray &text)
{
    QByteArray line;
    for (int i = 0; i < m_noiseBytes; ++i) {
        // Any byte but the carriage return, NUL and bytes above 127 included.
        char noise = '\r';
        while (noise == '\r')
            noise = static_cast<char>(m_random.bounded(256));
        line.append(noise);
    }
    line.append(text);
    line.append('\r');
    line.append(m_extra);

    const int pieces = qMin<int>(m_pieces, static_cast<int>(line.size()));
    const qsizetype pieceSize = (line.size() + pieces - 1) / pieces;
    QList<Segment> segments;
    for (qsizetype at = 0; at < line.size(); at += pieceSize) {
        Segment piece;
        piece.bytes = line.mid(at, pieceSize);
        piece.gapNs = (at == 0 ? m_replyDelayMs : m_piecePauseMs) * 1000000LL;
        if (!m_pacing) {
            segments.append(piece);
            continue;
        }
        for (qsizetype i = 0; i < piece.bytes.size(); ++i) {
            Segment one;
            one.bytes = piece.bytes.mid(i, 1);
            one.gapNs = (i == 0 ? piece.gapNs : 0) + ByteTimeNs;
            segments.append(one);
        }
    }
    segments.last().endOfReply = true;
    segments.last().command = command;

    // Paced, the answer starts from the moment the command's last bit was in,
    // not from when the timer that noticed it woke up.
    if (m_outQueue.isEmpty())
        m_outLastNs = qMax(m_outLastNs, m_pacing ? m_inLastNs : m_clock.nsecsElapsed());
    m_outQueue.append(segments);
    pumpOutput();
}

void TxSimulator::pumpOutput()
{
    while (!m_outQueue.isEmpty() && m_master >= 0) {
        const qint64 now = m_clock.nsecsElapsed();
        Segment &front = m_outQueue.first();
        const qint64 due = m_outLastNs + front.gapNs;
        if (now < due) {
            m_outTimer->start(due - now);
            return;
        }
        const ssize_t n =
            ::write(m_master, front.bytes.constData(), static_cast<size_t>(front.bytes.size()));
        // A full pseudo-terminal buffer: the rest goes out when it drains.
        if (n < front.bytes.size()) {
            if (n > 0)
                front.bytes.remove(0, n);
            front.gapNs = 0;
            m_outLastNs = now;
            m_outTimer->start(1000000);
            return;
        }
        // Keep to the line's own clock: a late timer must not slow the line down.
        m_outLastNs = due;
        const Segment done = m_outQueue.takeFirst();
        if (!done.endOfReply)
            continue;
        ++m_exchanges;
        driftTemperature();
        Q_EMIT exchanged(done.command);
        if (m_unplugAfter >= 0 && m_exchanges >= m_unplugAfter) {
            // A cable pulled once; plugging it back in must not pull it again.
            m_unplugAfter = -1;
            unplug();
        }
    }
}

void TxSimulator::driftTemperature()
{
    if (!m_drift || m_exchanges % m_driftEvery != 0)
        return;
    int step = m_random.bounded(2) == 0 ? -1 : 1;
    if (m_temperature + step < TemperatureLow || m_temperature + step > TemperatureHigh)
        step = -step;
    m_temperature = qBound(TemperatureLow, m_temperature + step, TemperatureHigh);
}
