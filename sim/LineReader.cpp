// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/LineReader.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <unistd.h>

namespace {
constexpr int ForegroundCheckMs = 1000;

void chopCarriageReturn(QByteArray &line)
{
    if (line.endsWith('\r'))
        line.chop(1);
}
} // namespace

LineReader::LineReader(int fd, QObject *parent) : QObject(parent), m_fd(fd)
{
    if (fd < 0) {
        m_atEnd = true;
        return;
    }
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &LineReader::onReadable);
}

LineReader::~LineReader() = default;

void LineReader::onReadable()
{
    char buffer[1024];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n > 0) {
        m_pending.append(buffer, static_cast<qsizetype>(n));
        deliverLines();
        return;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
        return;
    if (n < 0 && errno == EIO && ::isatty(m_fd)) {
        waitForForeground();
        return;
    }
    finish();
}

void LineReader::deliverLines()
{
    for (qsizetype newline = m_pending.indexOf('\n'); newline >= 0;
         newline = m_pending.indexOf('\n')) {
        QByteArray line = m_pending.left(newline);
        m_pending.remove(0, newline + 1);
        if (m_dropping) {
            // The tail of a line already reported too long.
            m_dropping = false;
            continue;
        }
        chopCarriageReturn(line);
        if (line.size() > MaxLineLength)
            Q_EMIT lineTooLong();
        else
            Q_EMIT lineRead(line);
    }
    if (m_pending.size() > MaxLineLength) {
        if (!m_dropping)
            Q_EMIT lineTooLong();
        m_dropping = true;
        m_pending.clear();
    }
}

void LineReader::waitForForeground()
{
    m_notifier->setEnabled(false);
    if (!m_foregroundCheck) {
        m_foregroundCheck = new QTimer(this);
        m_foregroundCheck->setInterval(ForegroundCheckMs);
        connect(m_foregroundCheck, &QTimer::timeout, this, [this] {
            if (::tcgetpgrp(m_fd) != ::getpgrp())
                return;
            m_foregroundCheck->stop();
            m_notifier->setEnabled(true);
        });
    }
    m_foregroundCheck->start();
}

void LineReader::finish()
{
    m_atEnd = true;
    // Deleted later: we are inside its own notice.
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
    if (!m_dropping && !m_pending.isEmpty()) {
        chopCarriageReturn(m_pending);
        Q_EMIT lineRead(m_pending);
    }
    m_pending.clear();
    m_dropping = false;
    Q_EMIT finished();
}
