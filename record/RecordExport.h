// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QObject>
#include <QStringList>

#include <memory>

class CsvWriter;
class QSaveFile;
class RecordDatabase;

// One time range of the log or of the readings written to a CSV file (see
// CsvWriter), times in ISO 8601 UTC, a header row with the units. It works
// through the range a slice at a time from the event loop, so a week of
// seconds never holds up the poll; the file appears whole or not at all.
class RecordExport : public QObject
{
    Q_OBJECT
public:
    enum class What
    {
        Log,      // the events, oldest first
        Readings, // one row a second
        Minutes,  // one row a minute: minimum, mean, maximum
    };

    // kinds narrows the log to those kinds (empty: all); from inclusive, to exclusive.
    RecordExport(RecordDatabase &database, What what, const QDateTime &from, const QDateTime &to,
                 const QStringList &kinds, const QString &fileName, QObject *parent = nullptr);
    ~RecordExport() override;

    // Asynchronous: finished() tells the end.
    void start();
    // All at once, for small ranges and tests; true when the file was written.
    bool run();
    qint64 rows() const { return m_rows; }

    static QStringList header(What what);

Q_SIGNALS:
    void finished(bool ok, const QString &message);

private:
    // One slice; false when there is no more (or it failed).
    bool step();
    bool begin();
    void end(bool ok, const QString &why = QString());

    RecordDatabase &m_db;
    What m_what;
    qint64 m_from;
    qint64 m_to;
    qint64 m_next;
    QStringList m_kinds;
    QString m_fileName;
    std::unique_ptr<QSaveFile> m_file;
    std::unique_ptr<CsvWriter> m_csv;
    qint64 m_rows = 0;
    bool m_done = false;
    bool m_written = false;
};
