// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/LineGathering.h"

#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <termios.h>
#include <unistd.h>
#endif

namespace {
// Long enough for any reply the transmitter gives at 4800 baud, short enough
// that even at 115200 baud a line without end stays far below the 4 KiB the
// kernel keeps of one line.
constexpr int SlowReplyMs = 250;
} // namespace

LineGathering::LineGathering(QSerialPort &port) : m_port(port)
{
    m_slowReply.setSingleShot(true);
    m_slowReply.setInterval(SlowReplyMs);
    QObject::connect(&m_slowReply, &QTimer::timeout, &m_slowReply, [this] {
        // Armed for an earlier command: the last one has time left.
        const qint64 left = m_slowDue.remainingTime();
        if (left > 0)
            m_slowReply.start(int(left));
        else
            setWholeLines(false);
    });
}

void LineGathering::opened()
{
    setWholeLines(true);
}

void LineGathering::closed()
{
    m_slowReply.stop();
    m_wholeLines = false;
}

void LineGathering::send(const char *bytes, qsizetype size)
{
#ifdef Q_OS_UNIX
    setWholeLines(true);
    // From each command; the timer is set once for many (see above).
    m_slowDue.setRemainingTime(SlowReplyMs);
    if (!m_slowReply.isActive())
        m_slowReply.start(SlowReplyMs);
    qsizetype sent = 0;
    if (m_port.bytesToWrite() == 0) {
        const ssize_t written = ::write(int(m_port.handle()), bytes, size_t(size));
        sent = written > 0 ? qsizetype(written) : 0;
        if (sent == size)
            return;
    }
    m_port.write(bytes + sent, size - sent);
#else
    m_port.write(bytes, size);
#endif
    // Out now, not on the event loop's next pass: the reply can only start once
    // the command is on the line, and it saves one wake-up per exchange. A
    // write that failed has closed the port already.
    if (m_port.isOpen())
        m_port.flush();
}

void LineGathering::setWholeLines(bool on)
{
#ifdef Q_OS_UNIX
    if (on == m_wholeLines || !m_port.isOpen())
        return;
    termios tio{};
    const int handle = int(m_port.handle());
    if (::tcgetattr(handle, &tio) != 0)
        return;
    if (on) {
        // Line assembly without any line editing: every byte but the line
        // ends reaches the panel as it was sent, NUL and DEL included.
        tio.c_lflag |= ICANON;
        tio.c_lflag &= ~tcflag_t(ECHO | ECHONL | ISIG | IEXTEN);
        tio.c_iflag &= ~tcflag_t(ICRNL | INLCR | IGNCR | ISTRIP | IXON);
        for (const int special : {VERASE, VKILL, VEOF, VEOL2, VWERASE, VLNEXT, VREPRINT})
            tio.c_cc[special] = _POSIX_VDISABLE;
        tio.c_cc[VEOL] = '\r';
    } else {
        // What is already in (a partial line) becomes readable at once.
        tio.c_lflag &= ~tcflag_t(ICANON);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
    }
    if (::tcsetattr(handle, TCSANOW, &tio) == 0)
        m_wholeLines = on;
#else
    Q_UNUSED(on);
#endif
}
