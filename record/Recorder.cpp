// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Recorder.h"

#include "record/OperatingSystemUser.h"
#include "record/RecordFiles.h"

#include <QDir>
#include <QFileInfo>

namespace {
constexpr int FlushMs = 1000;
constexpr int PruneMs = 3600 * 1000;
// A file busy for this long (another program on it) is given up: memory is
// not to grow without bound for a record that cannot be written.
constexpr qsizetype MaxPendingSamples = 600;
} // namespace

Recorder::Recorder(const RecordSettings &settings, QObject *parent)
    : QObject(parent), m_settings(settings), m_db(std::make_unique<RecordDatabase>(settings.path)),
      m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    m_flushTimer.setInterval(FlushMs);
    m_pruneTimer.setInterval(PruneMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &Recorder::flush);
    connect(&m_pruneTimer, &QTimer::timeout, this, &Recorder::prune);
}

Recorder::~Recorder()
{
    // What gathered since the last second is kept on a clean exit too.
    if (m_recording)
        flush();
}

bool Recorder::lock(QString *why)
{
    const QFileInfo file(m_settings.path);
    if (!QDir().mkpath(file.absolutePath())) {
        *why = file.absolutePath() + QStringLiteral(": the folder cannot be created");
        return false;
    }
    m_lock = std::make_unique<QLockFile>(m_settings.path + QStringLiteral(".lock"));
    // Only a lock whose panel no longer runs is stale, however old it is.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    qint64 pid = 0;
    QString host;
    QString program;
    switch (m_lock->error()) {
    case QLockFile::LockFailedError:
        if (m_lock->getLockInfo(&pid, &host, &program))
            *why = QStringLiteral("%1 is in use by another panel (%2, process %3 on %4)")
                       .arg(m_settings.path, program.isEmpty() ? QStringLiteral("?") : program)
                       .arg(pid)
                       .arg(host);
        else
            *why = QStringLiteral("%1 is in use by another panel (%2 is held)")
                       .arg(m_settings.path, m_lock->fileName());
        break;
    case QLockFile::PermissionError:
        *why = QStringLiteral("%1: the lock %2 cannot be created (permission denied)")
                   .arg(m_settings.path, m_lock->fileName());
        break;
    case QLockFile::NoError:
    case QLockFile::UnknownError:
        *why = QStringLiteral("%1: the lock %2 cannot be taken")
                   .arg(m_settings.path, m_lock->fileName());
        break;
    }
    m_lock.reset();
    return false;
}

bool Recorder::start()
{
    RecordFiles::keepRunningPastFileSizeLimit();
    const QDateTime now = m_clock();
    if (QString why; !lock(&why)) {
        stop(why);
        return false;
    }
    if (!m_db->open(now)) {
        stop(m_db->lastError());
        return false;
    }
    m_recording = true;
    if (!m_db->movedAsideTo().isEmpty()) {
        m_startedAfresh = true;
        addEvent({now, QStringLiteral("record"), QString(), QString(), QString(), QString(),
                  QStringLiteral("moved aside"), m_db->movedAsideTo()});
        Q_EMIT movedAside(m_db->path(), m_db->movedAsideTo());
    }
    addEvent({now, QStringLiteral("record"), QString(), QString(), QString(), QString(),
              QStringLiteral("opened"), m_db->path()});
    // Minutes that ended while the program was not running, then old rows.
    m_db->summariseMinutes(now.toSecsSinceEpoch());
    prune();
    flush();
    if (m_recording) {
        m_flushTimer.start();
        m_pruneTimer.start();
    }
    return m_recording;
}

void Recorder::addEvent(RecordEvent event)
{
    if (!m_recording)
        return;
    if (!event.utc.isValid())
        event.utc = m_clock();
    if (event.user.isEmpty())
        event.user = OperatingSystemUser::name();
    m_events << std::move(event);
}

void Recorder::addReading(const TxReading &reading)
{
    if (!m_recording)
        return;
    const qint64 second = m_clock().toSecsSinceEpoch();
    if (!m_samples.isEmpty() && m_samples.constLast().utcSeconds == second)
        m_samples.last() = RecordSample::fromReading(reading, second);
    else
        m_samples << RecordSample::fromReading(reading, second);
}

bool Recorder::stillOnDisk()
{
    const QString gone = m_db->goneFromDisk();
    if (gone.isEmpty())
        return true;
    if (!m_db->reopen()) {
        stop(gone + QStringLiteral("; a new one cannot be started: ") + m_db->lastError());
        return false;
    }
    // What gathered since the last write goes into the new file after this.
    m_events.prepend({m_clock(), QStringLiteral("record"), OperatingSystemUser::name(), QString(),
                      QString(), QString(), QStringLiteral("reopened"),
                      gone + QStringLiteral("; this is a new record")});
    Q_EMIT reopened(m_db->path(), gone);
    return true;
}

void Recorder::flush()
{
    if (!m_recording || (m_events.isEmpty() && m_samples.isEmpty()))
        return;
    if (!stillOnDisk())
        return;
    if (!m_db->write(m_events, m_samples)) {
        handleFailure();
        return;
    }
    const auto events = int(m_events.size());
    const auto seconds = int(m_samples.size());
    m_events.clear();
    m_samples.clear();
    if (!m_db->summariseMinutes(m_clock().toSecsSinceEpoch())) {
        handleFailure();
        return;
    }
    Q_EMIT written(events, seconds);
}

void Recorder::prune()
{
    if (m_recording &&
        !m_db->prune(m_clock().toSecsSinceEpoch(), m_settings.rawDays, m_settings.keepDays))
        handleFailure();
}

void Recorder::handleFailure()
{
    switch (m_db->lastFault()) {
    case RecordDatabase::Fault::Busy:
        if (m_samples.size() <= MaxPendingSamples)
            return;
        break;
    case RecordDatabase::Fault::Damaged:
        if (!m_startedAfresh) {
            m_startedAfresh = true;
            const QString why = m_db->lastError();
            if (m_db->startAfresh(m_clock())) {
                // What could not be written goes into the new file.
                addEvent({m_clock(), QStringLiteral("record"), QString(), QString(), QString(),
                          QString(), QStringLiteral("moved aside"),
                          m_db->movedAsideTo() + QStringLiteral(" (") + why + QLatin1Char(')')});
                Q_EMIT movedAside(m_db->path(), m_db->movedAsideTo());
                return;
            }
        }
        break;
    case RecordDatabase::Fault::None:
    case RecordDatabase::Fault::Full:
    case RecordDatabase::Fault::Other:
        break;
    }
    stop(m_db->lastError());
}

void Recorder::stop(const QString &why)
{
    const bool wasTold = !m_problem.isEmpty();
    m_recording = false;
    m_flushTimer.stop();
    m_pruneTimer.stop();
    m_events.clear();
    m_samples.clear();
    m_db->close();
    m_lock.reset();
    if (wasTold)
        return;
    m_problem = why;
    Q_EMIT stopped(why);
}
