// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "feed/FeedLimits.h"
#include "feed/TokenBucket.h"

#include <QPointer>
#include <QTcpServer>
#include <QTimer>

#include <vector>

class FeedConnection;

// The feed's listening socket: decides which connections Qt's HTTP server
// gets. Each accepted one is given a FeedConnection before the server sees
// it; past the connection limit the one that has waited longest for its
// request makes room, and when every one is being answered the newcomer is
// answered 503 at once; past the limit of connections closing, the oldest of
// them is cut off. Accepting itself
// is paced: past the accept rate the system's queue holds the newcomers
// until their turn, so a connection flood costs the panel a bounded time.
class FeedTcpServer : public QTcpServer
{
    Q_OBJECT
public:
    explicit FeedTcpServer(const FeedLimits &limits, QObject *parent = nullptr);

    // Connections being served (not closing).
    int servedConnections() const;
    int closingConnections() const;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    FeedConnection *watch(QTcpSocket *socket);
    bool makeRoom();
    void trimClosing();
    void prune();
    void pauseUntilNextTurn();
    void resumeAfterPause();

    const FeedLimits m_limits;
    TokenBucket m_accepts;
    std::vector<QPointer<FeedConnection>> m_connections;
    QTimer m_resume;
    int m_defaultMaxPending;
};
