// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "record/RecordDatabase.h"
#include "record/RecordSettings.h"

#include <QDateTime>
#include <QList>
#include <QLockFile>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

// Keeps the transmitter log: takes events and readings as they happen,
// holds them in memory, and writes what has gathered once a second in one
// transaction, so the poll never waits on the disk for more than that
// commit. A reading is kept at most once a second (the last of its second).
// Once a second and once an hour the minutes are summarised and old rows
// dropped.
//
// One panel at a time writes a record: a lock file beside it
// (record.sqlite.lock) names the panel holding it, and a second panel's
// record stops naming that one; a lock left by a panel that no longer runs
// is taken over. A file deleted or replaced while in use is noticed at the
// next write: a new file is started at the same path, and its first entry
// says why.
//
// A record that cannot be opened or written stops: stopped() is emitted
// once, with the reason, and nothing more is tried until the program starts
// again. A file found damaged is moved aside and a new one started
// (movedAside()), once; damaged again, the record stops.
class Recorder : public QObject
{
    Q_OBJECT
public:
    using WallClock = std::function<QDateTime()>;

    explicit Recorder(const RecordSettings &settings, QObject *parent = nullptr);
    ~Recorder() override;

    // Opens the file and starts the writes; false (and stopped()) when it cannot.
    bool start();
    bool recording() const { return m_recording; }
    QString problem() const { return m_problem; }
    // For the Station window's reads; null once stopped.
    RecordDatabase *database() { return m_recording ? m_db.get() : nullptr; }
    const RecordSettings &settings() const { return m_settings; }

    void addEvent(RecordEvent event);
    // The panel's reading now; kept once a second, the latest of its second.
    void addReading(const TxReading &reading);
    // Writes what has gathered; the flush timer calls it every second.
    void flush();
    // Drops what has outlived [Record] RawDays and KeepDays.
    void prune();

    // A test may run the clock or shorten the once-a-second write.
    void setWallClock(WallClock clock) { m_clock = std::move(clock); }
    QTimer &flushTimer() { return m_flushTimer; }

Q_SIGNALS:
    // After a flush that wrote anything: how many events and seconds.
    void written(int events, int seconds);
    void stopped(const QString &why);
    void movedAside(const QString &from, const QString &to);
    // The file was deleted or replaced while in use; a new one was started.
    void reopened(const QString &path, const QString &why);

private:
    void stop(const QString &why);
    // Takes the record's lock; false, with the reason, when another panel has it.
    bool lock(QString *why);
    // Before a write: the file still the one open, or a new one started.
    bool stillOnDisk();
    // A write that failed: a damaged file is started afresh once, a busy one
    // tried again at the next second, anything else stops the record.
    void handleFailure();

    RecordSettings m_settings;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<RecordDatabase> m_db;
    WallClock m_clock;
    QTimer m_flushTimer;
    QTimer m_pruneTimer;
    QList<RecordEvent> m_events;
    QList<RecordSample> m_samples;
    bool m_recording = false;
    bool m_startedAfresh = false;
    QString m_problem;
};
