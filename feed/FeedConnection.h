// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "feed/FeedLimits.h"
#include "feed/RequestHead.h"

#include <QObject>
#include <QTimer>

class QTcpSocket;
struct HttpResponse;

// Keeps one client connection within the feed's limits. It is the socket's
// child and watches its input before Qt's HTTP server reads it (it is
// connected first), so that a request is checked, sized and timed as it
// arrives; anything that will not be served is answered with an error and the
// connection closed, without Qt's server ever seeing the rest.
class FeedConnection : public QObject
{
    Q_OBJECT
public:
    enum class Phase
    {
        Waiting,   // for (the rest of) a request
        Answering, // a whole request is in; its answer is on the way
        Closing    // answered for the last time; no longer served
    };

    FeedConnection(QTcpSocket *socket, const FeedLimits &limits);
    static FeedConnection *of(QTcpSocket *socket);

    QTcpSocket *socket() const;
    Phase phase() const { return m_phase; }
    // Nothing of a next request received, nothing being answered: the
    // connection can be closed to make room without losing anything.
    bool isIdle() const { return m_phase == Phase::Waiting && m_requestBytes == 0; }
    qint64 lastActivityMs() const { return m_lastActivityMs; }
    // Since when the connection has been waiting for its current request
    // (its start, or its last answer); meaningful in Phase::Waiting.
    qint64 waitingSinceMs() const { return m_waitingSinceMs; }
    // Answers given here: a client that has had one is no stranger.
    int answers() const { return m_answers; }
    const RequestHead &head() const { return m_head; }

    // Qt's server has parsed the request: no deadline while it is answered.
    void requestTaken();
    // Writes the answer; unless it closes, the next request may follow.
    void answer(const HttpResponse &response);
    // Answers with an error and closes, whatever state the request is in.
    void refuse(int status);
    // Closes a connection to make room for a newcomer: one with nothing in
    // progress without a word, one with half a request with 503.
    void evict();
    // Cuts a closing connection off without waiting for the client to read.
    void cutOff();

Q_SIGNALS:
    // Entered Phase::Closing.
    void closing();

private:
    void onReadyRead();
    void onDeadline();
    void closeAfterWritten();

    const FeedLimits m_limits;
    RequestHead m_head;
    qint64 m_requestBytes = 0;
    qint64 m_lastActivityMs = 0;
    qint64 m_waitingSinceMs = 0;
    int m_answers = 0;
    Phase m_phase = Phase::Waiting;
    QTimer m_deadline;
};
