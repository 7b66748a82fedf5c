// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordDatabase.h"

#include "record/RecordFiles.h"
#include "settings/FileTarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>
#include <limits>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {
// SQLite's primary result codes, as Qt's driver reports them.
constexpr int SqliteBusy = 5;
constexpr int SqliteLocked = 6;
constexpr int SqliteCorrupt = 11;
constexpr int SqliteFull = 13;
constexpr int SqliteNotADatabase = 26;
constexpr qint64 Day = 86400;

QString newConnectionName()
{
    static std::atomic<int> next{0};
    return QStringLiteral("txpanel-record-%1").arg(next++);
}

template <typename T> QVariant orNull(const std::optional<T> &value)
{
    return value ? QVariant::fromValue(*value) : QVariant();
}
QVariant flagOrNull(const std::optional<bool> &value)
{
    return value ? QVariant(int(*value)) : QVariant();
}

template <typename T> std::optional<T> optionalFrom(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return value.value<T>();
}

const char *const Schema[] = {
    "CREATE TABLE IF NOT EXISTS events("
    " id INTEGER PRIMARY KEY,"
    " utc TEXT NOT NULL,"
    " kind TEXT NOT NULL,"
    " user TEXT NOT NULL,"
    " subject TEXT NOT NULL DEFAULT '',"
    " old_value TEXT NOT NULL DEFAULT '',"
    " new_value TEXT NOT NULL DEFAULT '',"
    " outcome TEXT NOT NULL DEFAULT '',"
    " detail TEXT NOT NULL DEFAULT '')",
    "CREATE INDEX IF NOT EXISTS events_by_time ON events(utc)",
    // The log is kept as written: only its age removes a row.
    "CREATE TRIGGER IF NOT EXISTS events_are_kept BEFORE UPDATE ON events"
    " BEGIN SELECT RAISE(ABORT, 'the transmitter log is append-only'); END",
    // One row a second; the time is the row's key, so no index is needed.
    "CREATE TABLE IF NOT EXISTS samples("
    " t INTEGER PRIMARY KEY,"
    " forward REAL, reflected REAL, vswr REAL, temperature INTEGER,"
    " temperature_alarm INTEGER, locked INTEGER, on_air INTEGER, frequency INTEGER)",
    "CREATE TABLE IF NOT EXISTS minutes("
    " t INTEGER PRIMARY KEY,"
    " samples INTEGER NOT NULL,"
    " forward_min REAL, forward_mean REAL, forward_max REAL,"
    " reflected_min REAL, reflected_mean REAL, reflected_max REAL,"
    " vswr_min REAL, vswr_mean REAL, vswr_max REAL,"
    " temperature_min REAL, temperature_mean REAL, temperature_max REAL,"
    " on_air_share REAL, locked_share REAL)",
    "PRAGMA user_version = 1",
};
} // namespace

RecordDatabase::RecordDatabase(const QString &path) : m_path(path) {}

RecordDatabase::~RecordDatabase()
{
    close();
}

QString RecordDatabase::utcText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

// Commits what went well, or leaves the file as it was: a half-written
// second or a half-made schema is never kept.
bool RecordDatabase::endTransaction(QSqlDatabase &db, bool ok)
{
    if (ok && db.commit())
        return true;
    if (ok)
        fail(db.lastError(), m_path);
    db.rollback();
    return false;
}

bool RecordDatabase::fail(const QSqlError &error, const QString &what)
{
    const int code = error.nativeErrorCode().toInt();
    switch (code) {
    case SqliteCorrupt:
    case SqliteNotADatabase:
        m_lastFault = Fault::Damaged;
        break;
    case SqliteFull:
        m_lastFault = Fault::Full;
        break;
    case SqliteBusy:
    case SqliteLocked:
        m_lastFault = Fault::Busy;
        break;
    default:
        m_lastFault = Fault::Other;
        break;
    }
    const QString why = error.driverText().isEmpty() || error.databaseText().isEmpty()
                            ? error.text()
                            : error.databaseText();
    m_lastError = what + QStringLiteral(": ") + why;
    if (m_lastFault == Fault::Full || m_lastFault == Fault::Other)
        m_lastError += RecordFiles::fileSizeLimitNote();
    return false;
}

bool RecordDatabase::exec(QSqlQuery &query, const QString &what)
{
    return query.exec() || fail(query.lastError(), what);
}

bool RecordDatabase::exec(const QString &statement)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    return query.exec(statement) || fail(query.lastError(), m_path);
}

bool RecordDatabase::open(const QDateTime &nowUtc)
{
    m_movedAsideTo.clear();
    if (openFile())
        return true;
    if (m_lastFault != Fault::Damaged)
        return false;
    close();
    if (!moveAside(nowUtc))
        return false;
    return openFile();
}

bool RecordDatabase::startAfresh(const QDateTime &nowUtc)
{
    close();
    m_movedAsideTo.clear();
    return moveAside(nowUtc) && openFile();
}

bool RecordDatabase::openFile()
{
    m_lastFault = Fault::None;
    m_lastError.clear();
    const QFileInfo file(m_path);
    if (!QDir().mkpath(file.absolutePath())) {
        m_lastFault = Fault::Other;
        m_lastError = file.absolutePath() + QStringLiteral(": the folder cannot be created");
        return false;
    }
    // The log and the files SQLite keeps beside it are written only as
    // plain files: never through a link to a device, a pipe or nothing.
    for (const QString &suffix :
         {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")}) {
        if (const QString why = FileTarget::refusal(m_path + suffix); !why.isEmpty()) {
            m_lastFault = Fault::Other;
            m_lastError = why;
            return false;
        }
    }
    m_connection = newConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        if (!db.isValid()) {
            m_lastFault = Fault::Other;
            m_lastError = QStringLiteral("Qt's SQLite driver is not installed (Debian: "
                                         "libqt6sql6-sqlite)");
            close();
            return false;
        }
        db.setDatabaseName(m_path);
        // A second program on the same file is told at once rather than
        // holding the panel's thread.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=100"));
        if (!db.open()) {
            fail(db.lastError(), m_path);
            close();
            return false;
        }
    }
    m_open = true;
    if (!setUp()) {
        const Fault fault = m_lastFault;
        const QString error = m_lastError;
        close();
        m_lastFault = fault;
        m_lastError = error;
        return false;
    }
    // The schema is written: the file is there now, and this is it.
#ifdef Q_OS_UNIX
    struct stat opened
    {
    };
    if (::stat(QFile::encodeName(m_path).constData(), &opened) == 0) {
        m_device = quint64(opened.st_dev);
        m_inode = quint64(opened.st_ino);
    }
#endif
    return true;
}

QString RecordDatabase::goneFromDisk() const
{
#ifdef Q_OS_UNIX
    if (!m_open || m_inode == 0)
        return QString();
    struct stat now
    {
    };
    if (::lstat(QFile::encodeName(m_path).constData(), &now) != 0)
        return m_path + QStringLiteral(" was deleted while in use");
    struct stat target
    {
    };
    if (::stat(QFile::encodeName(m_path).constData(), &target) != 0 ||
        quint64(target.st_dev) != m_device || quint64(target.st_ino) != m_inode)
        return m_path + QStringLiteral(" was replaced by another file while in use");
#endif
    return QString();
}

bool RecordDatabase::reopen()
{
    close();
    m_movedAsideTo.clear();
    return openFile();
}

bool RecordDatabase::setUp()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // Reading the journal mode is the first read of the file: a file that is
    // no database fails here.
    {
        QSqlQuery mode(db);
        if (!mode.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
            return fail(mode.lastError(), m_path);
        // Done with, or it would hold the transaction below open.
        mode.finish();
    }
    if (!exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
        return false;
    // The whole schema at once: a damaged page found here moves the file aside.
    if (!db.transaction())
        return fail(db.lastError(), m_path);
    bool created = true;
    for (const char *statement : Schema)
        created = created && exec(QString::fromLatin1(statement));
    if (!endTransaction(db, created))
        return false;

    // Where summarising goes on from: after the last minute summarised, or
    // the first sample when none is.
    QSqlQuery last(db);
    if (!last.exec(QStringLiteral("SELECT (SELECT max(t) + 60 FROM minutes),"
                                  " (SELECT min(t) / 60 * 60 FROM samples)")) ||
        !last.next())
        return fail(last.lastError(), m_path);
    m_summarisedUntil = !last.value(0).isNull()   ? last.value(0).toLongLong()
                        : !last.value(1).isNull() ? last.value(1).toLongLong()
                                                  : -1;
    last.finish();
    prepareWrites();
    return true;
}

void RecordDatabase::prepareWrites()
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    m_insertEvent = std::make_unique<QSqlQuery>(db);
    m_insertEvent->prepare(
        QStringLiteral("INSERT INTO events(utc, kind, user, subject, old_value, new_value,"
                       " outcome, detail) VALUES(?, ?, ?, ?, ?, ?, ?, ?)"));
    m_insertSample = std::make_unique<QSqlQuery>(db);
    m_insertSample->prepare(QStringLiteral("INSERT OR REPLACE INTO samples VALUES(?, ?, ?, ?, ?, "
                                           "?, ?, ?, ?)"));
}

void RecordDatabase::close()
{
    m_insertEvent.reset();
    m_insertSample.reset();
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
    m_open = false;
    m_device = 0;
    m_inode = 0;
}

bool RecordDatabase::moveAside(const QDateTime &nowUtc)
{
    // Never over an earlier one: a second damaged file the same second gets a number.
    const QString stamp = nowUtc.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString aside = m_path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo::exists(aside + QStringLiteral("-wal"));
         ++n)
        aside =
            m_path + QStringLiteral(".damaged-") + stamp + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(m_path, aside)) {
        m_lastFault = Fault::Other;
        m_lastError = m_path + QStringLiteral(" is damaged and cannot be moved aside");
        return false;
    }
    // Its log and index go with it, under the names SQLite looks for beside it.
    for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        if (QFileInfo::exists(m_path + suffix))
            QFile::rename(m_path + suffix, aside + suffix);
    }
    m_movedAsideTo = aside;
    return true;
}

bool RecordDatabase::write(const QList<RecordEvent> &events, const QList<RecordSample> &samples)
{
    if (!m_open) {
        m_lastFault = Fault::Other;
        m_lastError = m_path + QStringLiteral(": not open");
        return false;
    }
    if (events.isEmpty() && samples.isEmpty())
        return true;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return fail(db.lastError(), m_path);
    bool ok = true;
    for (const RecordEvent &event : events) {
        QSqlQuery &q = *m_insertEvent;
        q.bindValue(0, utcText(event.utc));
        q.bindValue(1, event.kind);
        q.bindValue(2, event.user);
        q.bindValue(3, event.subject.isNull() ? QStringLiteral("") : event.subject);
        q.bindValue(4, event.oldValue.isNull() ? QStringLiteral("") : event.oldValue);
        q.bindValue(5, event.newValue.isNull() ? QStringLiteral("") : event.newValue);
        q.bindValue(6, event.outcome.isNull() ? QStringLiteral("") : event.outcome);
        q.bindValue(7, event.detail.isNull() ? QStringLiteral("") : event.detail);
        if (!(ok = exec(q, m_path)))
            break;
    }
    for (int i = 0; ok && i < samples.size(); ++i) {
        const RecordSample &s = samples.at(i);
        QSqlQuery &q = *m_insertSample;
        q.bindValue(0, s.utcSeconds);
        q.bindValue(1, orNull(s.forwardW));
        q.bindValue(2, orNull(s.reflectedW));
        q.bindValue(3, orNull(s.vswr));
        q.bindValue(4, orNull(s.temperatureC));
        q.bindValue(5, flagOrNull(s.temperatureAlarm));
        q.bindValue(6, flagOrNull(s.locked));
        q.bindValue(7, flagOrNull(s.onAir));
        q.bindValue(8, orNull(s.frequencyKHz));
        ok = exec(q, m_path);
    }
    if (!endTransaction(db, ok))
        return false;
    if (m_summarisedUntil < 0 && !samples.isEmpty())
        m_summarisedUntil = samples.constFirst().utcSeconds / 60 * 60;
    return true;
}

bool RecordDatabase::summariseMinutes(qint64 untilUtcSeconds)
{
    if (!m_open)
        return false;
    const qint64 until = untilUtcSeconds / 60 * 60;
    if (m_summarisedUntil < 0 || until <= m_summarisedUntil)
        return true;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO minutes SELECT t / 60 * 60, count(*),"
                             " min(forward), avg(forward), max(forward),"
                             " min(reflected), avg(reflected), max(reflected),"
                             " min(vswr), avg(vswr), max(vswr),"
                             " min(temperature), avg(temperature), max(temperature),"
                             " avg(on_air), avg(locked)"
                             " FROM samples WHERE t >= ? AND t < ? GROUP BY t / 60"));
    q.bindValue(0, m_summarisedUntil);
    q.bindValue(1, until);
    if (!exec(q, m_path))
        return false;
    m_summarisedUntil = until;
    return true;
}

bool RecordDatabase::prune(qint64 nowUtcSeconds, int rawDays, int keepDays)
{
    if (!m_open)
        return false;
    // Seconds go only once their minute is summarised.
    qint64 rawLimit = nowUtcSeconds - qint64(rawDays) * Day;
    if (m_summarisedUntil >= 0)
        rawLimit = qMin(rawLimit, m_summarisedUntil);
    const qint64 keepLimit = nowUtcSeconds - qint64(keepDays) * Day;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return fail(db.lastError(), m_path);
    QSqlQuery samples(db);
    samples.prepare(QStringLiteral("DELETE FROM samples WHERE t < ?"));
    samples.bindValue(0, rawLimit);
    QSqlQuery minutes(db);
    minutes.prepare(QStringLiteral("DELETE FROM minutes WHERE t < ?"));
    minutes.bindValue(0, keepLimit);
    QSqlQuery events(db);
    events.prepare(QStringLiteral("DELETE FROM events WHERE utc < ?"));
    events.bindValue(0, utcText(QDateTime::fromSecsSinceEpoch(keepLimit, Qt::UTC)));
    return endTransaction(db,
                          exec(samples, m_path) && exec(minutes, m_path) && exec(events, m_path));
}

namespace {
QString kindFilter(const QStringList &kinds)
{
    if (kinds.isEmpty())
        return QString();
    QStringList marks;
    for (qsizetype i = 0; i < kinds.size(); ++i)
        marks << QStringLiteral("?");
    return QStringLiteral(" AND kind IN (") + marks.join(QLatin1Char(',')) + QLatin1Char(')');
}
} // namespace

QList<RecordEvent> RecordDatabase::events(const QDateTime &from, const QDateTime &to,
                                          const QStringList &kinds, int limit)
{
    QList<RecordEvent> found;
    if (!m_open)
        return found;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT utc, kind, user, subject, old_value, new_value, outcome,"
                             " detail FROM events WHERE utc >= ? AND utc < ?") +
              kindFilter(kinds) + QStringLiteral(" ORDER BY id DESC LIMIT ?"));
    int n = 0;
    q.bindValue(n++, utcText(from));
    q.bindValue(n++, utcText(to));
    for (const QString &kind : kinds)
        q.bindValue(n++, kind);
    q.bindValue(n, limit);
    if (!exec(q, m_path))
        return found;
    while (q.next()) {
        RecordEvent event;
        event.utc = QDateTime::fromString(q.value(0).toString(), Qt::ISODateWithMs);
        event.kind = q.value(1).toString();
        event.user = q.value(2).toString();
        event.subject = q.value(3).toString();
        event.oldValue = q.value(4).toString();
        event.newValue = q.value(5).toString();
        event.outcome = q.value(6).toString();
        event.detail = q.value(7).toString();
        found << event;
    }
    return found;
}

qint64 RecordDatabase::eventCount(const QDateTime &from, const QDateTime &to,
                                  const QStringList &kinds)
{
    if (!m_open)
        return 0;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT count(*) FROM events WHERE utc >= ? AND utc < ?") +
              kindFilter(kinds));
    int n = 0;
    q.bindValue(n++, utcText(from));
    q.bindValue(n++, utcText(to));
    for (const QString &kind : kinds)
        q.bindValue(n++, kind);
    if (!exec(q, m_path) || !q.next())
        return 0;
    return q.value(0).toLongLong();
}

QList<RecordSample> RecordDatabase::samples(qint64 fromUtcSeconds, qint64 toUtcSeconds)
{
    QList<RecordSample> found;
    if (!m_open)
        return found;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT t, forward, reflected, vswr, temperature, temperature_alarm,"
                             " locked, on_air, frequency FROM samples WHERE t >= ? AND t < ?"
                             " ORDER BY t"));
    q.bindValue(0, fromUtcSeconds);
    q.bindValue(1, toUtcSeconds);
    if (!exec(q, m_path))
        return found;
    while (q.next()) {
        RecordSample s;
        s.utcSeconds = q.value(0).toLongLong();
        s.forwardW = optionalFrom<double>(q.value(1));
        s.reflectedW = optionalFrom<double>(q.value(2));
        s.vswr = optionalFrom<double>(q.value(3));
        s.temperatureC = optionalFrom<int>(q.value(4));
        s.temperatureAlarm = optionalFrom<bool>(q.value(5));
        s.locked = optionalFrom<bool>(q.value(6));
        s.onAir = optionalFrom<bool>(q.value(7));
        s.frequencyKHz = optionalFrom<qint32>(q.value(8));
        found << s;
    }
    return found;
}

QList<MinuteSummary> RecordDatabase::minutes(qint64 fromUtcSeconds, qint64 toUtcSeconds)
{
    QList<MinuteSummary> found;
    if (!m_open)
        return found;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT * FROM minutes WHERE t >= ? AND t < ? ORDER BY t"));
    q.bindValue(0, fromUtcSeconds);
    q.bindValue(1, toUtcSeconds);
    if (!exec(q, m_path))
        return found;
    auto range = [&q](int first) {
        return MinuteSummary::Range{optionalFrom<double>(q.value(first)),
                                    optionalFrom<double>(q.value(first + 1)),
                                    optionalFrom<double>(q.value(first + 2))};
    };
    while (q.next()) {
        MinuteSummary m;
        m.utcSeconds = q.value(0).toLongLong();
        m.samples = q.value(1).toInt();
        m.forwardW = range(2);
        m.reflectedW = range(5);
        m.vswr = range(8);
        m.temperatureC = range(11);
        m.onAirShare = optionalFrom<double>(q.value(14));
        m.lockedShare = optionalFrom<double>(q.value(15));
        found << m;
    }
    return found;
}

RecordDatabase::ChartColumns RecordDatabase::chartColumns(qint64 fromUtcSeconds,
                                                          qint64 toUtcSeconds)
{
    ChartColumns columns;
    if (!m_open)
        return columns;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT t, forward, reflected, vswr, temperature FROM samples"
                             " WHERE t >= ? AND t < ? ORDER BY t"));
    q.bindValue(0, fromUtcSeconds);
    q.bindValue(1, toUtcSeconds);
    if (!exec(q, m_path))
        return columns;
    const auto expected =
        std::size_t(qBound(qint64(0), toUtcSeconds - fromUtcSeconds, qint64(400000)));
    for (std::vector<double> *column :
         {&columns.forwardW, &columns.reflectedW, &columns.vswr, &columns.temperatureC})
        column->reserve(expected);
    columns.utcSeconds.reserve(expected);
    const auto number = [&q](int index) {
        const QVariant value = q.value(index);
        return value.isNull() ? std::numeric_limits<double>::quiet_NaN() : value.toDouble();
    };
    while (q.next()) {
        columns.utcSeconds.push_back(q.value(0).toLongLong());
        columns.forwardW.push_back(number(1));
        columns.reflectedW.push_back(number(2));
        columns.vswr.push_back(number(3));
        columns.temperatureC.push_back(number(4));
    }
    return columns;
}

qint64 RecordDatabase::oldestSample()
{
    if (!m_open)
        return -1;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("SELECT min(t) FROM samples")) || !q.next() || q.value(0).isNull())
        return -1;
    return q.value(0).toLongLong();
}

qint64 RecordDatabase::sizeBytes() const
{
    return QFileInfo(m_path).size() + QFileInfo(m_path + QStringLiteral("-wal")).size();
}
