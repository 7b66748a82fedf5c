// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QTimer>

class QSerialPort;

// How commands go out and replies come in on an open port, so that the panel
// wakes once per exchange rather than once per byte.
//
// On Unix the device hands over whole lines: the terminal's canonical mode
// gathers a reply up to its carriage return in the kernel, which wakes the
// panel once for it. Every line-editing, signal and flow-control character is
// disabled, and echo, newline translation and the stripping of the eighth bit
// are off, so every byte of a reply reaches the panel as it was sent, NUL and
// DEL included; only a line end (the carriage return, or the line feed, which
// cannot be disabled) ends a read.
//
// A quarter second after the last command, input is taken byte by byte again
// (canonical mode off: what is already in, a partial line, becomes readable at
// once), so nothing stays held back: a slow reply, a line that never ends (seen
// as it grows, and bounded by the panel long before the kernel's own 4 KiB line
// buffer could fill) or bytes after a reply's end. The next command gathers
// whole lines again.
//
// A command is one byte, written straight to the device when nothing waits
// before it: Qt's own write path arms and disarms a write notifier for it,
// which wakes the event loop twice more per exchange. Anything short of a full
// write (a full buffer, a dead line) goes the Qt way, which reports errors.
//
// Elsewhere (Windows) nothing is gathered: commands go through Qt's write.
class LineGathering
{
public:
    // The port must outlive this.
    explicit LineGathering(QSerialPort &port);
    LineGathering(const LineGathering &) = delete;
    LineGathering &operator=(const LineGathering &) = delete;

    // The port has just been opened: whole lines from now on.
    void opened();
    // The port is closed, or is about to be: nothing is gathered any more.
    void closed();
    // Writes the command, out at once, and gathers its reply whole, whatever
    // the last one did.
    void send(const char *bytes, qsizetype size);
    void send(const QByteArray &bytes) { send(bytes.constData(), bytes.size()); }

private:
    // Whole lines (true) or every byte as it comes (false).
    void setWholeLines(bool on);

    QSerialPort &m_port;
    // Falls back to byte-by-byte input for a reply that is slow to end, a
    // quarter second after the last command.
    QTimer m_slowReply;
    QDeadlineTimer m_slowDue;
    bool m_wholeLines = false;
};
