// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "feed/FeedLimits.h"
#include "feed/FeedSettings.h"
#include "feed/FeedSnapshot.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class AlarmBook;
class FeedHttpServer;
class LinkEngine;

// The panel's status feed: the transmitter's last reading and the link's
// state, served read-only over HTTP for the station's monitoring
// (/status.json for txpanel-snmp and scripts, /metrics for Prometheus, and
// /alarms.json while alarms are on).
//
// It only reads the link engine (its reading, state, cycles, firmware,
// connection start and line) and the station's alarm book, and never writes
// to the serial line; it is served from the same event loop as the engine,
// between two exchanges, within FeedLimits.
class StatusFeed : public QObject
{
    Q_OBJECT
public:
    explicit StatusFeed(const LinkEngine &engine, QObject *parent = nullptr);
    ~StatusFeed() override;

    // Off: nothing listens. On: listens on the settings' address and port
    // only; when it cannot, unavailable() says why once and the program runs
    // on without the feed. True when the feed is off as asked or listening.
    bool start(const FeedSettings &settings, const FeedLimits &limits = FeedLimits());
    // Stops listening and closes every client's connection at once: the
    // port is free for the next program.
    void stop();
    bool isListening() const;
    quint16 port() const;
    // Why the feed asked for does not run; empty when it runs or is off.
    QString problem() const { return m_problem; }
    // Answers written since the start.
    quint64 answered() const;

    // The alarms to publish (Station::alarmBook()); null, as while alarms are
    // off, publishes none. Read at each answer, never changed.
    void setAlarmBook(const AlarmBook *book);

    // Where the last remote command is read at each answer, while remote
    // control serves; none (the default) publishes no last_remote.
    using LastRemote = std::function<std::optional<RemoteCommand>()>;
    void setLastRemote(LastRemote source) { m_lastRemote = std::move(source); }

    // What an answer made now would tell.
    FeedSnapshot snapshot() const;

Q_SIGNALS:
    // The feed asked for does not run, and why.
    void unavailable(const QString &why);

private:
    const LinkEngine &m_engine;
    QPointer<const AlarmBook> m_alarms;
    FeedSettings m_settings;
    QPointer<FeedHttpServer> m_server;
    QString m_problem;
    LastRemote m_lastRemote;
};
