// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "record/AlarmKind.h"
#include "record/AlarmSettings.h"
#include "record/RecordSettings.h"
#include "record/StationWatch.h"

#include <QDateTime>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class AlarmBook;
class DesktopNotifier;
class QAction;

class Recorder;
class StationWindow;
class frmTerminale;

// The station on the desktop: the watch over the panel's link (alarms and
// the transmitter log, StationWatch) with what only a desktop has: the
// Station menu, the note in the window title, desktop notifications and the
// Station window. It never touches the front panel's controls and never
// writes to the serial line.
//
// With [Alarms] and [Record] both off (the defaults) it does nothing at
// all: no menu, no file, no signal connected. Otherwise the main window gets
// a Station menu after File, and the window title a note while an alarm
// needs attention or the record has stopped.
class Station : public QObject
{
    Q_OBJECT
public:
    using MonotonicClock = StationWatch::MonotonicClock;
    using WallClock = StationWatch::WallClock;

    // Settings as the store has them at start-up.
    explicit Station(frmTerminale &panel);
    Station(frmTerminale &panel, const AlarmSettings &alarms, const RecordSettings &record);
    ~Station() override;

    bool enabled() const { return m_watch.enabled(); }
    StationWatch &watch() { return m_watch; }
    // For the status feed and the agent: null while alarms are off.
    AlarmBook *alarmBook() const { return m_watch.alarmBook(); }
    // Null while recording is off.
    Recorder *recorder() const { return m_watch.recorder(); }
    DesktopNotifier *notifier() const { return m_notifier; }
    QMenu *menu() const { return m_menu; }
    QAction *openAction() const { return m_open; }
    // Null until the Station window was first opened.
    StationWindow *window() const;
    void openWindow();
    // Acknowledged in the name of the operating-system user; nothing goes to the transmitter.
    bool acknowledge(AlarmKind kind);
    // The text the window title carries after the panel's own (empty: none).
    QString titleNote() const;
    // A test may set the clocks the alarms and the record go by.
    void setClocks(MonotonicClock monotonic, WallClock wall);

private:
    void attach();
    void alarmChanged(AlarmKind kind, AlarmBook::Transition transition);
    void recordStopped(const QString &why);
    void recordMovedAside(const QString &from, const QString &to);
    void recordReopened(const QString &path, const QString &why);
    void chatterChanged(AlarmKind kind, bool chattering);
    void updateTitle();
    void updateWindowStatus();

    frmTerminale &m_panel;
    StationWatch m_watch;
    DesktopNotifier *m_notifier = nullptr;
    QPointer<QMenu> m_menu;
    QAction *m_open = nullptr;
    QPointer<StationWindow> m_window;
    QString m_baseTitle;
    QString m_recordNote;
};
