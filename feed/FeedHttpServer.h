// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "feed/FeedLimits.h"
#include "feed/FeedSnapshot.h"
#include "feed/TokenBucket.h"

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>

class FeedConnection;
class FeedTcpServer;

// Serves the feed's documents over Qt's HTTP server, read-only: GET and HEAD
// of /status.json, /metrics and /alarms.json (404 while alarms are off); any
// other path is 404, any other method 405 (see RequestHead). Each answer is
// built from the snapshot at the moment it goes out. Answers are paced
// (FeedLimits): one that is over the rate waits for its turn, its client with
// it.
class FeedHttpServer : public QAbstractHttpServer
{
    Q_OBJECT
public:
    using SnapshotSource = std::function<FeedSnapshot()>;

    FeedHttpServer(SnapshotSource source, const FeedLimits &limits, QObject *parent = nullptr);

    // Listens on that address only; false, with the system's reason in
    // *why, when it cannot (port in use, address not this machine's).
    bool listenOn(const QHostAddress &address, quint16 port, QString *why);
    bool isListening() const;
    quint16 port() const;
    // Answers written, errors included, since the start.
    quint64 answered() const { return m_answered; }
    // Connections being served now (not closing).
    int servedConnections() const;

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    enum class Document
    {
        Status,
        Metrics,
        Alarms,
        None
    };
    struct Waiting
    {
        QPointer<FeedConnection> connection;
        Document document;
        bool headOnly;
    };

    void answer(FeedConnection &connection, Document document, bool headOnly);
    void answerWaiting();

    SnapshotSource m_source;
    FeedTcpServer *m_tcp;
    TokenBucket m_turns;
    std::deque<Waiting> m_waiting;
    QTimer m_nextTurn;
    quint64 m_answered = 0;
};
