// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;
class QTimer;

// Lines from a file descriptor (the simulator's standard input) as they come,
// served by the event loop so the line to the panel is never kept waiting.
//
// The descriptor is not made non-blocking, since a terminal's or a pipe's
// open file is shared with the shell that started us and would stay so after
// we exit; instead each readiness notice is met with exactly one read(),
// which then cannot block. At the end of the input (a closed pipe, /dev/null)
// the notifier goes, so a closed input costs nothing. On a terminal whose
// foreground is another process group, read() fails with EIO (SIGTTIN must be
// ignored, or the kernel would stop the whole simulator instead): reading
// then pauses until we are in the foreground again.
class LineReader : public QObject
{
    Q_OBJECT
public:
    // Longer lines are dropped whole, so a stray binary file cannot grow the
    // buffer without bound.
    static constexpr qsizetype MaxLineLength = 4096;

    // Does not take ownership of fd.
    explicit LineReader(int fd, QObject *parent = nullptr);
    ~LineReader() override;

    bool atEnd() const { return m_atEnd; }

Q_SIGNALS:
    // Without its newline, nor a carriage return before it.
    void lineRead(const QByteArray &line);
    void lineTooLong();
    // Nothing more will come; a last line without a newline was read first.
    void finished();

private:
    void onReadable();
    void deliverLines();
    void waitForForeground();
    void finish();

    int m_fd;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_foregroundCheck = nullptr;
    QByteArray m_pending;
    bool m_dropping = false;
    bool m_atEnd = false;
};
