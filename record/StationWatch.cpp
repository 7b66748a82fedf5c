// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/StationWatch.h"

#include "link/LinkEngine.h"
#include "record/Recorder.h"

StationWatch::StationWatch(LinkEngine &engine, const AlarmSettings &alarms,
                           const RecordSettings &record, QObject *parent)
    : QObject(parent), m_engine(engine), m_alarmSettings(alarms), m_recordSettings(record),
      m_monotonic(&TxReading::nowMs), m_wall([] { return QDateTime::currentDateTimeUtc(); })
{
    setObjectName(QStringLiteral("StationWatch"));
    // Off, the program is exactly as it was without any of this.
    if (enabled())
        attach();
}

StationWatch::~StationWatch() = default;

void StationWatch::setClocks(MonotonicClock monotonic, WallClock wall)
{
    m_monotonic = std::move(monotonic);
    m_wall = std::move(wall);
    if (m_recorder)
        m_recorder->setWallClock(m_wall);
}

void StationWatch::attach()
{
    m_lastPort = m_engine.line().port;
    if (m_alarmSettings.enabled) {
        m_rules = std::make_unique<AlarmRules>(m_alarmSettings);
        m_book = new AlarmBook(this);
        connect(m_book, &AlarmBook::changed, this,
                [this](const AlarmEntry &entry, AlarmBook::Transition transition) {
                    logAlarm(entry.kind, transition);
                    Q_EMIT alarmChanged(entry.kind, transition);
                });
        connect(m_book, &AlarmBook::chatterChanged, this,
                [this](const AlarmEntry &entry, bool chattering) {
                    Q_EMIT chatterChanged(entry.kind, chattering);
                });
        m_tick.setInterval(1000);
        connect(&m_tick, &QTimer::timeout, this, [this] { apply(m_rules->tick(m_monotonic())); });
    }
    if (m_recordSettings.enabled) {
        m_recorder = new Recorder(m_recordSettings, this);
        connect(m_recorder, &Recorder::stopped, this, [this](const QString &why) {
            m_recordProblem = why;
            Q_EMIT recordStopped(why);
        });
        connect(m_recorder, &Recorder::movedAside, this, &StationWatch::recordMovedAside);
        connect(m_recorder, &Recorder::reopened, this, &StationWatch::recordReopened);
    }

    connect(&m_engine, &LinkEngine::stateChanged, this, &StationWatch::stateChanged);
    connect(&m_engine, &LinkEngine::readingTaken, this, &StationWatch::readingTaken);
    connect(&m_engine, &LinkEngine::rfCommandSent, this, [this](bool onAir, bool confirmed) {
        logEvent(QStringLiteral("rf-command"), QString(), QString(),
                 onAir ? QStringLiteral("on") : QStringLiteral("off"),
                 confirmed ? QStringLiteral("confirmed") : QStringLiteral("not confirmed"),
                 QString());
        if (m_rules)
            apply(m_rules->rfCommand(onAir, m_monotonic()));
    });
    connect(&m_engine, &LinkEngine::frequencyProgrammed, this,
            [this](qint32 fromKHz, qint32 toKHz, bool programmed) {
                logEvent(QStringLiteral("frequency"), QString(),
                         fromKHz < 0 ? QString() : QString::number(fromKHz), QString::number(toKHz),
                         programmed ? QStringLiteral("programmed")
                                    : QStringLiteral("not programmed"),
                         QString());
            });
    connect(&m_engine, &LinkEngine::connectionEnded, this, [this](const QString &why) {
        logEvent(QStringLiteral("connection"), QString(), QString(), QString(),
                 QStringLiteral("ended"), why);
    });
    connect(&m_engine, &LinkEngine::otherDeviceFound, this, [this](const QString &why) {
        logEvent(QStringLiteral("resume"), QString(), QString(), QString(),
                 QStringLiteral("other device"), why);
    });
    connect(&m_engine, &LinkEngine::lineNotice, this,
            [this](const QString &text) { logNotice(QStringLiteral("link"), text); });
    connect(&m_engine, &LinkEngine::resumeAttempted, this, [this](bool answered) {
        logEvent(QStringLiteral("resume"), QString(), QString(), QString(),
                 answered ? QStringLiteral("answered") : QStringLiteral("no answer"), QString());
    });
}

void StationWatch::start()
{
    if (m_started)
        return;
    m_started = true;
    if (m_recorder)
        m_recorder->start();
}

void StationWatch::logEvent(const QString &kind, const QString &subject, const QString &oldValue,
                            const QString &newValue, const QString &outcome, const QString &detail,
                            const QDateTime &when)
{
    if (m_recorder)
        m_recorder->addEvent({when.isValid() ? when : m_wall(), kind, QString(), subject, oldValue,
                              newValue, outcome, detail});
}

void StationWatch::logNotice(const QString &kind, const QString &text)
{
    logEvent(kind, QString(), QString(), QString(), QStringLiteral("notice"), text);
}

void StationWatch::logProgram(const QString &program, const QString &outcome, const QString &detail)
{
    logEvent(program, QString(), QString(), QString(), outcome, detail);
}

void StationWatch::logCommand(const QString &who, const QString &way, const QString &command,
                              const QString &outcome, const QString &reason)
{
    if (m_recorder)
        m_recorder->addEvent({m_wall(), QStringLiteral("remote-command"), who, way, QString(),
                              command, outcome, reason});
}

void StationWatch::logPortChoice(const QString &port, bool stored)
{
    logEvent(QStringLiteral("port"), QString(), m_lastPort, port,
             stored ? QStringLiteral("stored") : QStringLiteral("not stored"), QString());
    m_lastPort = port;
}

void StationWatch::close(const QString &way, const QString &program, const QString &outcome)
{
    if (m_closed)
        return;
    m_closed = true;
    logEvent(program, QString(), QString(), QString(), outcome, way);
    // The last second of readings and the events since the last write.
    if (m_recorder)
        m_recorder->flush();
}

void StationWatch::stateChanged(ConnectionState state)
{
    const qint64 now = m_monotonic();
    switch (state) {
    case ConnectionState::Connecting:
        logEvent(QStringLiteral("power"), QString(), QString(), QStringLiteral("on"), QString(),
                 QString());
        break;
    case ConnectionState::Polling:
        logEvent(QStringLiteral("connection"), QString(), QString(), QString(),
                 QStringLiteral("connected"), QStringLiteral("firmware ") + m_engine.firmware());
        if (m_rules) {
            m_tick.stop();
            apply(m_rules->connectionStarted(now));
        }
        break;
    case ConnectionState::PortNotAvailable:
        logEvent(QStringLiteral("connection"), QString(), QString(), QString(),
                 QStringLiteral("port not available"), m_engine.portFailure());
        break;
    case ConnectionState::Ended:
    case ConnectionState::Resuming:
        if (!m_rules)
            break;
        if (state == ConnectionState::Ended && m_engine.disconnectAsked()) {
            m_tick.stop();
            apply(m_rules->monitoringStopped(now));
        } else {
            apply(m_rules->linkLost(now));
            m_tick.start();
        }
        break;
    case ConnectionState::Off:
        logEvent(QStringLiteral("power"), QString(), QString(), QStringLiteral("off"), QString(),
                 QString());
        if (m_rules) {
            m_tick.stop();
            apply(m_rules->monitoringStopped(now));
        }
        break;
    }
}

void StationWatch::readingTaken(const TxReading &reading)
{
    // Readings belong to a connection that polls; the engine makes none else.
    if (m_engine.state() != ConnectionState::Polling)
        return;
    if (m_rules)
        apply(m_rules->reading(reading));
    if (m_recorder)
        m_recorder->addReading(reading);
}

void StationWatch::apply(const AlarmRules::Changes &changes)
{
    for (const AlarmRules::Change &change : changes) {
        if (change.raised)
            m_book->raise(change.kind, change.value, m_wall());
        else
            m_book->clear(change.kind, change.value, m_wall());
    }
}

bool StationWatch::acknowledge(AlarmKind kind, const QString &user)
{
    return m_book && m_book->acknowledge(kind, user, m_wall());
}

void StationWatch::logAlarm(AlarmKind kind, AlarmBook::Transition transition)
{
    const AlarmEntry &alarm = m_book->entry(kind);
    switch (transition) {
    case AlarmBook::Transition::Raised:
        // The log and the book tell the same time.
        logEvent(QStringLiteral("alarm-raised"), AlarmKinds::id(kind), QString(), alarm.raisedValue,
                 AlarmEntry::stateId(alarm.state), AlarmKinds::title(kind), alarm.raisedUtc);
        break;
    case AlarmBook::Transition::Cleared:
        logEvent(QStringLiteral("alarm-cleared"), AlarmKinds::id(kind), QString(),
                 alarm.clearedValue, AlarmEntry::stateId(alarm.state), AlarmKinds::title(kind),
                 alarm.clearedUtc);
        break;
    case AlarmBook::Transition::Acknowledged:
        if (m_recorder)
            m_recorder->addEvent({alarm.acknowledgedUtc, QStringLiteral("alarm-acknowledged"),
                                  alarm.acknowledgedBy, AlarmKinds::id(kind), QString(), QString(),
                                  AlarmEntry::stateId(alarm.state), AlarmKinds::title(kind)});
        break;
    }
}
