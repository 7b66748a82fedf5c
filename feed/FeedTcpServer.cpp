// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "feed/FeedTcpServer.h"

#include "feed/FeedConnection.h"

#include <QTcpSocket>

#include <algorithm>

FeedTcpServer::FeedTcpServer(const FeedLimits &limits, QObject *parent)
    : QTcpServer(parent), m_limits(limits), m_accepts(limits.acceptsPerSecond, limits.acceptBurst),
      m_defaultMaxPending(maxPendingConnections())
{
    m_resume.setSingleShot(true);
    connect(&m_resume, &QTimer::timeout, this, &FeedTcpServer::resumeAfterPause);
}

int FeedTcpServer::servedConnections() const
{
    return int(std::count_if(m_connections.begin(), m_connections.end(),
                             [](const QPointer<FeedConnection> &c) {
                                 return c && c->phase() != FeedConnection::Phase::Closing;
                             }));
}

int FeedTcpServer::closingConnections() const
{
    return int(std::count_if(m_connections.begin(), m_connections.end(),
                             [](const QPointer<FeedConnection> &c) {
                                 return c && c->phase() == FeedConnection::Phase::Closing;
                             }));
}

void FeedTcpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        socket->deleteLater();
        return;
    }
    if (!m_accepts.take(TokenBucket::nowMs())) {
        // Only reached when the pause below came too late for Qt's accept
        // loop; the rest waits in the system's queue.
        socket->abort();
        socket->deleteLater();
        pauseUntilNextTurn();
        return;
    }
    prune();
    trimClosing();
    if (servedConnections() < m_limits.maxConnections || makeRoom()) {
        watch(socket);
        // Qt's HTTP server takes it from here, after the connection's watch.
        addPendingConnection(socket);
    } else if (closingConnections() < m_limits.maxClosing) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        watch(socket)->refuse(503);
    } else {
        socket->abort();
        socket->deleteLater();
    }
    if (!m_accepts.ready(TokenBucket::nowMs()))
        pauseUntilNextTurn();
}

void FeedTcpServer::pauseUntilNextTurn()
{
    // A server with no room for pending connections stops accepting (Qt's
    // documented behaviour) and leaves newcomers in the system's queue;
    // pauseAccepting() alone would not end the accept loop already running.
    setMaxPendingConnections(0);
    pauseAccepting();
    if (!m_resume.isActive())
        m_resume.start(m_accepts.msUntilNext(TokenBucket::nowMs()));
}

void FeedTcpServer::resumeAfterPause()
{
    setMaxPendingConnections(m_defaultMaxPending);
    resumeAccepting();
}

FeedConnection *FeedTcpServer::watch(QTcpSocket *socket)
{
    auto *connection = new FeedConnection(socket, m_limits);
    m_connections.emplace_back(connection);
    return connection;
}

bool FeedTcpServer::makeRoom()
{
    // Whatever it holds (nothing yet, or part of a request), the connection
    // that has waited longest for its first request goes: a client that
    // dribbles its head cannot keep its place against one that sends it
    // whole. Only when there is none does a kept-open connection between two
    // requests (the monitoring system's, often) go, the longest waiting
    // first; a connection being answered is kept.
    const auto before = [](const FeedConnection *a, const FeedConnection *b) {
        if ((a->answers() == 0) != (b->answers() == 0))
            return a->answers() == 0;
        return a->waitingSinceMs() < b->waitingSinceMs();
    };
    FeedConnection *first = nullptr;
    for (const QPointer<FeedConnection> &c : m_connections) {
        if (c && c->phase() == FeedConnection::Phase::Waiting && (!first || before(c, first)))
            first = c;
    }
    if (!first)
        return false;
    first->evict();
    return true;
}

void FeedTcpServer::trimClosing()
{
    // Oldest first: m_connections is in the order they came.
    int excess = closingConnections() - m_limits.maxClosing;
    for (const QPointer<FeedConnection> &c : m_connections) {
        if (excess <= 0)
            break;
        if (c && c->phase() == FeedConnection::Phase::Closing) {
            c->cutOff();
            --excess;
        }
    }
}

void FeedTcpServer::prune()
{
    m_connections.erase(std::remove_if(m_connections.begin(), m_connections.end(),
                                       [](const QPointer<FeedConnection> &c) { return !c; }),
                        m_connections.end());
}
