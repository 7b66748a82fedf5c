// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/ConnectionState.h"
#include "record/AlarmKind.h"
#include "record/AlarmRules.h"
#include "record/AlarmSettings.h"
#include "record/RecordSettings.h"

#include <QDateTime>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class AlarmBook;
class DesktopNotifier;
class QAction;

class Recorder;
class StationWindow;
struct TxReading;
class frmTerminale;

// The station's watch over the panel: alarms, the transmitter log and the
// Station window. It listens to the main window's signals and reads its
// accessors; it never touches the front panel's controls and never writes
// to the serial line.
//
// With [Alarms] and [Record] both off (the defaults) it does nothing at
// all: no menu, no file, no signal connected. Otherwise the main window gets
// a Station menu after File, and the window title a note while an alarm
// needs attention or the record has stopped.
class Station : public QObject
{
    Q_OBJECT
public:
    using MonotonicClock = std::function<qint64()>;
    using WallClock = std::function<QDateTime()>;

    // Settings as the store has them at start-up.
    explicit Station(frmTerminale &panel);
    Station(frmTerminale &panel, const AlarmSettings &alarms, const RecordSettings &record);
    ~Station() override;

    bool enabled() const { return m_alarmSettings.enabled || m_recordSettings.enabled; }
    // For the status feed and the agent: null while alarms are off.
    AlarmBook *alarmBook() const { return m_book; }
    // Null while recording is off.
    Recorder *recorder() const { return m_recorder; }
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
    void stateChanged(ConnectionState state);
    void readingTaken(const TxReading &reading);
    void apply(const AlarmRules::Changes &changes);
    void alarmChanged(int transition, AlarmKind kind);
    void recordStopped(const QString &why);
    void recordMovedAside(const QString &from, const QString &to);
    void updateTitle();
    void updateWindowStatus();
    // At `when`, or now when it is invalid.
    void logEvent(const QString &kind, const QString &subject, const QString &oldValue,
                  const QString &newValue, const QString &outcome, const QString &detail,
                  const QDateTime &when = QDateTime());

    frmTerminale &m_panel;
    AlarmSettings m_alarmSettings;
    RecordSettings m_recordSettings;
    std::unique_ptr<AlarmRules> m_rules;
    AlarmBook *m_book = nullptr;
    Recorder *m_recorder = nullptr;
    DesktopNotifier *m_notifier = nullptr;
    QPointer<QMenu> m_menu;
    QAction *m_open = nullptr;
    QPointer<StationWindow> m_window;
    QTimer m_tick;
    MonotonicClock m_monotonic;
    WallClock m_wall;
    QString m_baseTitle;
    QString m_recordProblem;
    QString m_recordNote;
    QString m_lastPort;
};
