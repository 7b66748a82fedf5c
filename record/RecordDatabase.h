// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "record/MinuteSummary.h"
#include "record/RecordEvent.h"
#include "record/RecordSample.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QSqlDatabase;
class QSqlQuery;
class QSqlError;

// The transmitter log as an SQLite file, through Qt SQL: the events, the
// readings one a second, and per-minute summaries of the readings. Events
// are never changed once written (a trigger refuses it); age alone removes
// rows.
//
// Write-ahead log, synchronous=NORMAL: a commit reaches the operating system
// at once and the disk at the next checkpoint, so a killed program loses
// nothing it committed and leaves a file that opens; only a power cut can
// take back the last commits, never the file's consistency. A full sync at
// every commit would cost a disk flush a second for no gain against the
// program dying.
//
// Used from one thread (the GUI thread): Qt SQL connections are per thread.
class RecordDatabase
{
public:
    enum class Fault
    {
        None,
        Damaged, // not a database, or a damaged one
        Full,    // no space left, or a file-size limit
        Busy,    // another program holds the file for a moment
        Other,   // cannot be created or opened, read-only, an I/O error
    };

    explicit RecordDatabase(const QString &path);
    ~RecordDatabase();
    RecordDatabase(const RecordDatabase &) = delete;
    RecordDatabase &operator=(const RecordDatabase &) = delete;

    // Opens the file, creating it and its folder when missing. A file that is
    // not a database, or a damaged one, is renamed aside with the time (UTC)
    // in its name, never written over, and a new one started.
    bool open(const QDateTime &nowUtc);
    void close();
    bool isOpen() const { return m_open; }
    // The open file found damaged while in use: moved aside, a new one begun.
    bool startAfresh(const QDateTime &nowUtc);

    QString path() const { return m_path; }
    // Why the file at path() is no longer the one open (deleted, or another
    // put in its place, as by hand or by a cleaning script); empty while it
    // is. Writes to the open file would then go where nobody reads them.
    QString goneFromDisk() const;
    // Closes and opens path() again: a new file where the old one went.
    bool reopen();
    // Where open() or startAfresh() put a damaged file (empty when none).
    QString movedAsideTo() const { return m_movedAsideTo; }
    QString lastError() const { return m_lastError; }
    Fault lastFault() const { return m_lastFault; }

    // All in one transaction; samples of a second already stored replace it.
    bool write(const QList<RecordEvent> &events, const QList<RecordSample> &samples);
    // Summarises every minute that ended by untilUtcSeconds and is not yet.
    bool summariseMinutes(qint64 untilUtcSeconds);
    // Drops samples older than rawDays (once summarised), and minutes and
    // events older than keepDays.
    bool prune(qint64 nowUtcSeconds, int rawDays, int keepDays);

    // Newest first; from inclusive, to exclusive; kinds empty for every kind;
    // at most limit rows (negative: no limit).
    QList<RecordEvent> events(const QDateTime &from, const QDateTime &to,
                              const QStringList &kinds = {}, int limit = -1);
    qint64 eventCount(const QDateTime &from, const QDateTime &to, const QStringList &kinds = {});
    // Oldest first, in [from, to).
    QList<RecordSample> samples(qint64 fromUtcSeconds, qint64 toUtcSeconds);
    QList<MinuteSummary> minutes(qint64 fromUtcSeconds, qint64 toUtcSeconds);
    // What the chart draws, one a second, oldest first in [from, to): times
    // and the four quantities, NaN where not read. Columns, not rows: a day
    // of them is read in a fraction of the time.
    struct ChartColumns
    {
        std::vector<qint64> utcSeconds;
        std::vector<double> forwardW;
        std::vector<double> reflectedW;
        std::vector<double> vswr;
        std::vector<double> temperatureC;
    };
    ChartColumns chartColumns(qint64 fromUtcSeconds, qint64 toUtcSeconds);
    // The oldest sample still kept one a second (-1: none).
    qint64 oldestSample();
    // The file and its write-ahead log, in bytes.
    qint64 sizeBytes() const;

    // Times as the log keeps them: ISO 8601, UTC, milliseconds, "Z".
    static QString utcText(const QDateTime &time);

private:
    bool openFile();
    bool setUp();
    bool moveAside(const QDateTime &nowUtc);
    bool fail(const QSqlError &error, const QString &what);
    bool endTransaction(QSqlDatabase &db, bool ok);
    bool exec(QSqlQuery &query, const QString &what);
    bool exec(const QString &statement);
    void prepareWrites();

    QString m_path;
    QString m_connection;
    // The file open, as the system knows it (device and inode).
    quint64 m_device = 0;
    quint64 m_inode = 0;
    bool m_open = false;
    QString m_movedAsideTo;
    QString m_lastError;
    Fault m_lastFault = Fault::None;
    qint64 m_summarisedUntil = -1;
    // Prepared once: the writes of every second reuse them.
    std::unique_ptr<QSqlQuery> m_insertEvent;
    std::unique_ptr<QSqlQuery> m_insertSample;
};
