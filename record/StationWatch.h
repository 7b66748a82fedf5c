// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/ConnectionState.h"
#include "record/AlarmBook.h"
#include "record/AlarmKind.h"
#include "record/AlarmRules.h"
#include "record/AlarmSettings.h"
#include "record/RecordSettings.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class LinkEngine;
class Recorder;
struct TxReading;

// The station's watch over one transmitter link: the alarm rules and the
// transmitter log, fed from the link engine's signals. It never touches a
// widget and never writes to the line; the desktop panel and the service
// show what it keeps in their own ways.
//
// With [Alarms] and [Record] both off (the defaults) it does nothing at all:
// no file, no signal connected.
class StationWatch : public QObject
{
    Q_OBJECT
public:
    using MonotonicClock = std::function<qint64()>;
    using WallClock = std::function<QDateTime()>;

    StationWatch(LinkEngine &engine, const AlarmSettings &alarms, const RecordSettings &record,
                 QObject *parent = nullptr);
    ~StationWatch() override;
    // Opens the record (when on) and starts watching; once, after whoever
    // wants to hear of a record moved aside or stopped at its opening has
    // connected.
    void start();

    bool enabled() const { return m_alarmSettings.enabled || m_recordSettings.enabled; }
    const AlarmSettings &alarmSettings() const { return m_alarmSettings; }
    const RecordSettings &recordSettings() const { return m_recordSettings; }
    // Null while alarms are off.
    AlarmBook *alarmBook() const { return m_book; }
    // Null while recording is off.
    Recorder *recorder() const { return m_recorder; }
    // Why the record stopped; empty while it records (or is off).
    QString recordProblem() const { return m_recordProblem; }

    // Acknowledged in the user's name; nothing goes to the transmitter.
    bool acknowledge(AlarmKind kind, const QString &user);
    // Something the operator should know about how the program runs (a feed
    // answering beyond this computer), logged as a notice of that kind.
    void logNotice(const QString &kind, const QString &text);
    // The program itself started or was told something ("service", "started",
    // the settings file).
    void logProgram(const QString &program, const QString &outcome, const QString &detail);
    // A command from the control socket, taken or not: who sent it (the
    // Unix user, and for the SNMP agent the name it passes on), which way
    // ("socket", "snmp"), the command as understood, how it ended
    // ("confirmed", "done", "refused", "lost", "error") and why.
    void logCommand(const QString &who, const QString &way, const QString &command,
                    const QString &outcome, const QString &reason);
    // A port chosen by the operator, and whether it was stored.
    void logPortChoice(const QString &port, bool stored);
    // The program ends, that way ("File, Exit", "SIGTERM"…): the log says so
    // ("panel closed", or the service's "service stopped") and everything
    // held is written now.
    void close(const QString &way, const QString &program = QStringLiteral("panel"),
               const QString &outcome = QStringLiteral("closed"));
    // A test may set the clocks the alarms and the record go by.
    void setClocks(MonotonicClock monotonic, WallClock wall);

Q_SIGNALS:
    void alarmChanged(AlarmKind kind, AlarmBook::Transition transition);
    void recordStopped(const QString &why);
    void recordMovedAside(const QString &from, const QString &to);
    void recordReopened(const QString &path, const QString &why);
    void chatterChanged(AlarmKind kind, bool chattering);

private:
    void attach();
    void stateChanged(ConnectionState state);
    void readingTaken(const TxReading &reading);
    void apply(const AlarmRules::Changes &changes);
    void logAlarm(AlarmKind kind, AlarmBook::Transition transition);
    // At `when`, or now when it is invalid.
    void logEvent(const QString &kind, const QString &subject, const QString &oldValue,
                  const QString &newValue, const QString &outcome, const QString &detail,
                  const QDateTime &when = QDateTime());

    LinkEngine &m_engine;
    AlarmSettings m_alarmSettings;
    RecordSettings m_recordSettings;
    std::unique_ptr<AlarmRules> m_rules;
    AlarmBook *m_book = nullptr;
    Recorder *m_recorder = nullptr;
    QTimer m_tick;
    MonotonicClock m_monotonic;
    WallClock m_wall;
    QString m_recordProblem;
    QString m_lastPort;
    bool m_closed = false;
    bool m_started = false;
};
