// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

// One end of a pseudo-terminal opened raw, so the test sees exactly the bytes
// on the line, as the panel's serial port would.
class RawTerminal
{
public:
    explicit RawTerminal(const QString &path)
        : m_fd(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios tio{};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~RawTerminal()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RawTerminal(const RawTerminal &) = delete;
    RawTerminal &operator=(const RawTerminal &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    bool write(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Writes the question; the reply up to its carriage return, or what came in time.
    QByteArray ask(const QByteArray &question)
    {
        if (!write(question))
            return QByteArray();
        [[maybe_unused]] const bool whole =
            QTest::qWaitFor([this] { return !readAvailable() || m_got.contains('\r'); }, 10000);
        const QByteArray reply = m_got.left(m_got.indexOf('\r') + 1);
        m_got.remove(0, reply.size());
        return reply.isEmpty() ? std::exchange(m_got, {}) : reply;
    }
    // Once the other end has closed, a terminal reads as its end or fails with EIO.
    bool hungUp() { return !readAvailable(); }

private:
    // False once the line is gone.
    bool readAvailable()
    {
        char buffer[256];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0)
                m_got.append(buffer, n);
            else
                return n < 0 && errno != EIO;
        }
    }

    int m_fd;
    QByteArray m_got;
};
