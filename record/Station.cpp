// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Station.h"

#include "app/frmTerminale.h"
#include "record/AlarmBook.h"
#include "record/DesktopNotifier.h"
#include "record/OperatingSystemUser.h"
#include "record/Recorder.h"
#include "record/StationWindow.h"
#include "settings/ProgramValues.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

Station::Station(frmTerminale &panel)
    : Station(panel, AlarmSettings::fromStore(), RecordSettings::fromStore())
{
}

Station::Station(frmTerminale &panel, const AlarmSettings &alarms, const RecordSettings &record)
    : QObject(&panel), m_panel(panel), m_alarmSettings(alarms), m_recordSettings(record),
      m_monotonic(&TxReading::nowMs), m_wall([] { return QDateTime::currentDateTimeUtc(); })
{
    setObjectName(QStringLiteral("Station"));
    // Off, the panel is exactly as it was without any of this.
    if (enabled())
        attach();
}

Station::~Station()
{
    // Gone before the panel: its menu goes too. With the panel, the menu bar
    // has taken it already.
    delete m_menu;
}

StationWindow *Station::window() const
{
    return m_window;
}

void Station::setClocks(MonotonicClock monotonic, WallClock wall)
{
    m_monotonic = std::move(monotonic);
    m_wall = std::move(wall);
    if (m_recorder)
        m_recorder->setWallClock(m_wall);
}

void Station::attach()
{
    m_baseTitle = m_panel.windowTitle();
    m_lastPort = Comm.toString();
    m_notifier = new DesktopNotifier(m_panel.windowIcon(), this);

    if (m_alarmSettings.enabled) {
        m_rules = std::make_unique<AlarmRules>(m_alarmSettings);
        m_book = new AlarmBook(this);
        connect(m_book, &AlarmBook::changed, this,
                [this](const AlarmEntry &entry, AlarmBook::Transition transition) {
                    alarmChanged(int(transition), entry.kind);
                });
        m_tick.setInterval(1000);
        connect(&m_tick, &QTimer::timeout, this, [this] { apply(m_rules->tick(m_monotonic())); });
    }
    if (m_recordSettings.enabled) {
        m_recorder = new Recorder(m_recordSettings, this);
        connect(m_recorder, &Recorder::stopped, this, &Station::recordStopped);
        connect(m_recorder, &Recorder::movedAside, this, &Station::recordMovedAside);
        m_recorder->start();
    }

    m_menu = new QMenu(QStringLiteral("&Station"), m_panel.menuBar());
    m_menu->setObjectName(QStringLiteral("mnuStation"));
    m_panel.menuBar()->addMenu(m_menu);
    m_open = m_menu->addAction(QStringLiteral("Station &window…"));
    m_open->setObjectName(QStringLiteral("mnuStationWindow"));
    connect(m_open, &QAction::triggered, this, &Station::openWindow);

    connect(&m_panel, &frmTerminale::connectionStateChanged, this, &Station::stateChanged);
    connect(&m_panel, &frmTerminale::readingTaken, this, &Station::readingTaken);
    connect(&m_panel, &frmTerminale::rfCommandSent, this, [this](bool onAir, bool confirmed) {
        logEvent(QStringLiteral("rf-command"), QString(), QString(),
                 onAir ? QStringLiteral("on") : QStringLiteral("off"),
                 confirmed ? QStringLiteral("confirmed") : QStringLiteral("not confirmed"),
                 QString());
        if (m_rules)
            apply(m_rules->rfCommand(onAir, m_monotonic()));
    });
    connect(&m_panel, &frmTerminale::frequencyProgrammed, this,
            [this](qint32 fromKHz, qint32 toKHz, bool programmed) {
                logEvent(QStringLiteral("frequency"), QString(),
                         fromKHz < 0 ? QString() : QString::number(fromKHz), QString::number(toKHz),
                         programmed ? QStringLiteral("programmed")
                                    : QStringLiteral("not programmed"),
                         QString());
            });
    connect(&m_panel, &frmTerminale::connectionEnded, this, [this](const QString &why) {
        logEvent(QStringLiteral("connection"), QString(), QString(), QString(),
                 QStringLiteral("ended"), why);
    });
    connect(&m_panel, &frmTerminale::resumeAttempted, this, [this](bool answered) {
        logEvent(QStringLiteral("resume"), QString(), QString(), QString(),
                 answered ? QStringLiteral("answered") : QStringLiteral("no answer"), QString());
    });
    connect(&m_panel, &frmTerminale::portChosen, this, [this](const QString &port, bool stored) {
        logEvent(QStringLiteral("port"), QString(), m_lastPort, port,
                 stored ? QStringLiteral("stored") : QStringLiteral("not stored"), QString());
        m_lastPort = port;
    });
    updateTitle();
}

void Station::logEvent(const QString &kind, const QString &subject, const QString &oldValue,
                       const QString &newValue, const QString &outcome, const QString &detail,
                       const QDateTime &when)
{
    if (m_recorder)
        m_recorder->addEvent({when.isValid() ? when : m_wall(), kind, QString(), subject, oldValue,
                              newValue, outcome, detail});
}

void Station::stateChanged(ConnectionState state)
{
    const qint64 now = m_monotonic();
    switch (state) {
    case ConnectionState::Connecting:
        logEvent(QStringLiteral("power"), QString(), QString(), QStringLiteral("on"), QString(),
                 QString());
        break;
    case ConnectionState::Polling:
        logEvent(QStringLiteral("connection"), QString(), QString(), QString(),
                 QStringLiteral("connected"), QStringLiteral("firmware ") + m_panel.firmware());
        if (m_rules) {
            m_tick.stop();
            apply(m_rules->connectionStarted(now));
        }
        break;
    case ConnectionState::PortNotAvailable:
        logEvent(QStringLiteral("connection"), QString(), QString(), QString(),
                 QStringLiteral("port not available"), m_panel.PortFailureReason);
        break;
    case ConnectionState::Ended:
    case ConnectionState::Resuming:
        if (!m_rules)
            break;
        if (state == ConnectionState::Ended && m_panel.disconnectAsked()) {
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

void Station::readingTaken(const TxReading &reading)
{
    // Readings belong to a connection that polls; the window makes none else.
    if (m_panel.connectionState() != ConnectionState::Polling)
        return;
    if (m_rules)
        apply(m_rules->reading(reading));
    if (m_recorder)
        m_recorder->addReading(reading);
}

void Station::apply(const AlarmRules::Changes &changes)
{
    for (const AlarmRules::Change &change : changes) {
        if (change.raised)
            m_book->raise(change.kind, change.value, m_wall());
        else
            m_book->clear(change.kind, change.value, m_wall());
    }
}

bool Station::acknowledge(AlarmKind kind)
{
    return m_book && m_book->acknowledge(kind, OperatingSystemUser::name(), m_wall());
}

void Station::alarmChanged(int transition, AlarmKind kind)
{
    const AlarmEntry &alarm = m_book->entry(kind);
    switch (AlarmBook::Transition(transition)) {
    case AlarmBook::Transition::Raised:
        // The log and the book tell the same time.
        logEvent(QStringLiteral("alarm-raised"), AlarmKinds::id(kind), QString(), alarm.raisedValue,
                 AlarmEntry::stateId(alarm.state), AlarmKinds::title(kind), alarm.raisedUtc);
        if (m_alarmSettings.notify)
            m_notifier->notify(
                QStringLiteral("ALARM: ") + AlarmKinds::title(kind),
                QStringLiteral("%1 at %2 (local time). Acknowledge it in Station, Station window.")
                    .arg(alarm.raisedValue,
                         alarm.raisedUtc.toLocalTime().toString(QStringLiteral("HH:mm:ss"))),
                true);
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
    updateTitle();
}

QString Station::titleNote() const
{
    QStringList notes;
    if (m_book) {
        QList<AlarmKind> active, cleared;
        const QList<AlarmEntry> alarms = m_book->attention();
        for (const AlarmEntry &alarm : alarms)
            (alarm.active() ? active : cleared) << alarm.kind;
        const auto more = [](const QList<AlarmKind> &kinds) {
            return kinds.size() > 1 ? QStringLiteral(" (+%1)").arg(kinds.size() - 1) : QString();
        };
        if (!active.isEmpty())
            notes << QStringLiteral("ALARM: ") + AlarmKinds::title(active.constFirst()) +
                         more(active);
        else if (!cleared.isEmpty())
            notes << QStringLiteral("ALARM CLEARED, NOT ACKNOWLEDGED: ") +
                         AlarmKinds::title(cleared.constFirst()) + more(cleared);
    }
    if (!m_recordProblem.isEmpty())
        notes << QStringLiteral("RECORD STOPPED");
    return notes.join(QStringLiteral("; "));
}

void Station::updateTitle()
{
    const QString note = titleNote();
    // At rest the title is exactly the panel's own.
    m_panel.setWindowTitle(note.isEmpty() ? m_baseTitle
                                          : m_baseTitle + QStringLiteral("- ") + note);
}

void Station::recordStopped(const QString &why)
{
    m_recordProblem = why;
    updateTitle();
    updateWindowStatus();
    m_notifier->notify(QStringLiteral("RECORD STOPPED"),
                       why + QStringLiteral(". Monitoring goes on; the transmitter log is not "
                                            "written until the panel is started again."),
                       false);
}

void Station::recordMovedAside(const QString &from, const QString &to)
{
    m_recordNote = QStringLiteral("%1 was damaged: it was moved aside to %2 and a new record "
                                  "started.")
                       .arg(from, to);
    updateWindowStatus();
    m_notifier->notify(QStringLiteral("RECORD DAMAGED - NEW ONE STARTED"), m_recordNote, false);
}

void Station::updateWindowStatus()
{
    if (!m_window)
        return;
    if (!m_recorder) {
        m_window->setRecordStatus(QStringLiteral("Recording is off ([Record] Enabled)."), false);
    } else if (!m_recordProblem.isEmpty()) {
        m_window->setRecordStatus(QStringLiteral("RECORD STOPPED: %1. Monitoring goes on; the "
                                                 "transmitter log is not written until the panel "
                                                 "is started again.")
                                      .arg(m_recordProblem),
                                  true);
    } else {
        QString text = QStringLiteral("Recording to %1.").arg(m_recordSettings.path);
        if (!m_recordNote.isEmpty())
            text += QLatin1Char(' ') + m_recordNote;
        m_window->setRecordStatus(text, !m_recordNote.isEmpty());
    }
}

void Station::openWindow()
{
    if (!m_window) {
        m_window = new StationWindow(m_book, m_recorder, &m_panel);
        connect(m_window, &StationWindow::acknowledgeRequested, this, &Station::acknowledge);
        updateWindowStatus();
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
