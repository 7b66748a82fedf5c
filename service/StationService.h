// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "service/ServiceSettings.h"

#include <QObject>
#include <QString>

#include <memory>

class ControlServer;
class LinkEngine;
class SignalWatcher;
class StationWatch;
class StatusFeed;
class SystemdNotifier;

// The station service: one transmitter's link engine with its status feed,
// alarms and record, run with nobody at a desktop. It connects at start,
// resumes after a lost link (unless told not to) and sends the transmitter
// nothing but the firmware question and the status cycles on its own: an RF
// command or a frequency only ever comes from a person.
//
// SIGTERM and SIGINT end it in order (a programming under way finished, the
// line closed, the record written with "service stopped"); SIGHUP reads the
// settings file again and keeps the running settings when it is damaged.
class StationService : public QObject
{
    Q_OBJECT
public:
    explicit StationService(const ServiceSettings &settings, QObject *parent = nullptr);
    ~StationService() override;

    // Starts the record, the feed and the link; tells the service manager it
    // is ready. The settings' fatal problems have been dealt with by then.
    void start();
    // Reads the settings file again and takes what can change while running.
    void reload();
    // Ends in order, that way ("SIGTERM"); finished() follows.
    void end(const QString &way);

    LinkEngine &engine() { return *m_engine; }
    StationWatch &watch() { return *m_watch; }
    StatusFeed &feed() { return *m_feed; }
    SystemdNotifier &notifier() { return *m_notifier; }
    // Null while remote control is off.
    ControlServer *control() { return m_control.get(); }
    const ServiceSettings &settings() const { return m_settings; }

Q_SIGNALS:
    // The line is closed and the record written: the process may end.
    void finished(int exitCode);

private:
    void connectLog();
    void showState();
    void startFeed();
    void startControl();
    void finish();

    ServiceSettings m_settings;
    std::unique_ptr<LinkEngine> m_engine;
    std::unique_ptr<StationWatch> m_watch;
    std::unique_ptr<StatusFeed> m_feed;
    std::unique_ptr<ControlServer> m_control;
    std::unique_ptr<SystemdNotifier> m_notifier;
    std::unique_ptr<SignalWatcher> m_signals;
    QString m_endWay;
    bool m_toldResuming = false;
};
