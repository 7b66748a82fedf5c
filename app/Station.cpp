// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Station.h"

#include "app/frmTerminale.h"
#include "link/LinkEngine.h"
#include "record/AlarmBook.h"
#include "record/DesktopNotifier.h"
#include "record/OperatingSystemUser.h"
#include "record/Recorder.h"
#include "record/StationWindow.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

Station::Station(frmTerminale &panel)
    : Station(panel, AlarmSettings::fromStore(), RecordSettings::fromStore())
{
}

Station::Station(frmTerminale &panel, const AlarmSettings &alarms, const RecordSettings &record)
    : QObject(&panel), m_panel(panel), m_watch(panel.engine(), alarms, record)
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
    m_watch.setClocks(std::move(monotonic), std::move(wall));
}

void Station::attach()
{
    m_baseTitle = m_panel.windowTitle();
    m_notifier = new DesktopNotifier(m_panel.windowIcon(), this);
    connect(&m_watch, &StationWatch::alarmChanged, this, &Station::alarmChanged);
    connect(&m_watch, &StationWatch::recordStopped, this, &Station::recordStopped);
    connect(&m_watch, &StationWatch::recordMovedAside, this, &Station::recordMovedAside);
    connect(&m_watch, &StationWatch::recordReopened, this, &Station::recordReopened);
    connect(&m_watch, &StationWatch::chatterChanged, this, &Station::chatterChanged);
    // Heard from the first: a record moved aside or stopped as it opens.
    m_watch.start();

    m_menu = new QMenu(QStringLiteral("&Station"), m_panel.menuBar());
    m_menu->setObjectName(QStringLiteral("mnuStation"));
    m_panel.menuBar()->addMenu(m_menu);
    m_open = m_menu->addAction(QStringLiteral("Station &window…"));
    m_open->setObjectName(QStringLiteral("mnuStationWindow"));
    connect(m_open, &QAction::triggered, this, &Station::openWindow);

    connect(&m_panel, &frmTerminale::portChosen, &m_watch, &StationWatch::logPortChoice);
    // The end of the program is logged and whatever the record holds written.
    connect(&m_panel, &frmTerminale::programEnding, &m_watch,
            [this](const QString &way) { m_watch.close(way); });
    updateTitle();
}

bool Station::acknowledge(AlarmKind kind)
{
    return m_watch.acknowledge(kind, OperatingSystemUser::name());
}

void Station::alarmChanged(AlarmKind kind, AlarmBook::Transition transition)
{
    const AlarmEntry &alarm = alarmBook()->entry(kind);
    if (transition == AlarmBook::Transition::Raised && m_watch.alarmSettings().notify)
        m_notifier->notify(
            QStringLiteral("ALARM: ") + AlarmKinds::title(kind),
            QStringLiteral("%1 at %2 (local time). Acknowledge it in Station, Station window.")
                .arg(alarm.raisedValue,
                     alarm.raisedUtc.toLocalTime().toString(QStringLiteral("HH:mm:ss"))),
            true);
    updateTitle();
}

QString Station::titleNote() const
{
    QStringList notes;
    if (const AlarmBook *book = alarmBook()) {
        QList<AlarmKind> active, cleared;
        const QList<AlarmEntry> alarms = book->attention();
        for (const AlarmEntry &alarm : alarms)
            (alarm.active() ? active : cleared) << alarm.kind;
        const auto more = [](const QList<AlarmKind> &kinds) {
            return kinds.size() > 1 ? QStringLiteral(" (+%1)").arg(kinds.size() - 1) : QString();
        };
        const auto chattering = [book](AlarmKind kind) {
            return book->entry(kind).chattering ? QStringLiteral(" (CHATTERING)") : QString();
        };
        if (!active.isEmpty())
            notes << QStringLiteral("ALARM: ") + AlarmKinds::title(active.constFirst()) +
                         chattering(active.constFirst()) + more(active);
        else if (!cleared.isEmpty())
            notes << QStringLiteral("ALARM CLEARED, NOT ACKNOWLEDGED: ") +
                         AlarmKinds::title(cleared.constFirst()) + more(cleared);
    }
    if (!m_watch.recordProblem().isEmpty())
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

void Station::recordReopened(const QString &path, const QString &why)
{
    Q_UNUSED(path)
    // "why" names the file: "<path> was deleted while in use".
    m_recordNote = why + QStringLiteral(": a new record was started there.");
    updateWindowStatus();
    m_notifier->notify(QStringLiteral("RECORD REOPENED"), m_recordNote, false);
}

void Station::chatterChanged(AlarmKind kind, bool chattering)
{
    // One word for all the flaps, instead of a notification each.
    if (chattering && m_watch.alarmSettings().notify)
        m_notifier->notify(
            QStringLiteral("ALARM CHATTERING: ") + AlarmKinds::title(kind),
            QStringLiteral("Raised and cleared again and again; told once more when it settles."),
            true);
    updateTitle();
}

void Station::updateWindowStatus()
{
    if (!m_window)
        return;
    if (!recorder()) {
        m_window->setRecordStatus(QStringLiteral("Recording is off ([Record] Enabled)."), false);
    } else if (!m_watch.recordProblem().isEmpty()) {
        m_window->setRecordStatus(QStringLiteral("RECORD STOPPED: %1. Monitoring goes on; the "
                                                 "transmitter log is not written until the panel "
                                                 "is started again.")
                                      .arg(m_watch.recordProblem()),
                                  true);
    } else {
        QString text = QStringLiteral("Recording to %1.").arg(m_watch.recordSettings().path);
        if (!m_recordNote.isEmpty())
            text += QLatin1Char(' ') + m_recordNote;
        m_window->setRecordStatus(text, !m_recordNote.isEmpty());
    }
}

void Station::openWindow()
{
    if (!m_window) {
        m_window = new StationWindow(alarmBook(), recorder(), &m_panel);
        connect(m_window, &StationWindow::acknowledgeRequested, this, &Station::acknowledge);
        updateWindowStatus();
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
