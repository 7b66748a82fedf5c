// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "feed/FeedConnection.h"

#include "feed/HttpResponse.h"
#include "feed/TokenBucket.h"

#include <QTcpSocket>

FeedConnection::FeedConnection(QTcpSocket *socket, const FeedLimits &limits)
    : QObject(socket), m_limits(limits), m_lastActivityMs(TokenBucket::nowMs()),
      m_waitingSinceMs(m_lastActivityMs)
{
    // What the system has received stays with the system past this, so a
    // client sending faster than the feed reads costs the panel no memory.
    socket->setReadBufferSize(2 * m_limits.maxRequestBytes);
    setObjectName(QStringLiteral("feedConnection"));
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &FeedConnection::onDeadline);
    connect(socket, &QTcpSocket::readyRead, this, &FeedConnection::onReadyRead);
    m_deadline.start(m_limits.idleMs);
}

FeedConnection *FeedConnection::of(QTcpSocket *socket)
{
    return socket ? socket->findChild<FeedConnection *>(QStringLiteral("feedConnection"),
                                                        Qt::FindDirectChildrenOnly)
                  : nullptr;
}

QTcpSocket *FeedConnection::socket() const
{
    return static_cast<QTcpSocket *>(parent());
}

void FeedConnection::onReadyRead()
{
    QTcpSocket *s = socket();
    if (m_phase == Phase::Closing) {
        // Only this reads the socket now; what comes is of no use.
        s->readAll();
        return;
    }
    const qint64 arrived = s->bytesAvailable();
    if (arrived <= 0)
        return;
    m_lastActivityMs = TokenBucket::nowMs();
    if (m_requestBytes == 0 && m_phase == Phase::Waiting)
        m_deadline.start(m_limits.headMs); // the first byte: the rest must follow soon
    m_requestBytes += arrived;
    if (m_phase == Phase::Answering) {
        // One request at a time: a second before the first is answered is
        // not read (Qt's parser would mix the two).
        refuse(400);
        return;
    }
    if (m_requestBytes > m_limits.maxRequestBytes) {
        refuse(431);
        return;
    }
    // Only the new bytes: those before were read by Qt's server already.
    switch (m_head.feed(s->peek(arrived))) {
    case RequestHead::Verdict::Refused:
        refuse(m_head.status());
        return;
    case RequestHead::Verdict::Complete:
        if (m_head.bytesAfterHead() > 0)
            refuse(400);
        return;
    case RequestHead::Verdict::NeedMore:
        return;
    }
}

void FeedConnection::requestTaken()
{
    m_deadline.stop();
    m_phase = Phase::Answering;
}

void FeedConnection::answer(const HttpResponse &response)
{
    QTcpSocket *s = socket();
    if (m_phase == Phase::Closing || s->state() != QAbstractSocket::ConnectedState)
        return;
    // A client that does not read its answers keeps no memory of the panel's.
    if (s->bytesToWrite() > m_limits.maxUnsentBytes) {
        m_phase = Phase::Closing;
        Q_EMIT closing();
        s->abort();
        return;
    }
    HttpResponse sent = response;
    sent.close = response.close || !m_head.keepAlive();
    s->write(sent.bytes());
    // Out now rather than at the next turn of the event loop: one wake-up
    // of the poll's wait less per answer.
    s->flush();
    ++m_answers;
    m_lastActivityMs = TokenBucket::nowMs();
    if (sent.close) {
        closeAfterWritten();
        return;
    }
    m_head.reset();
    m_requestBytes = 0;
    m_phase = Phase::Waiting;
    m_waitingSinceMs = m_lastActivityMs;
    m_deadline.start(m_limits.idleMs);
}

void FeedConnection::refuse(int status)
{
    QTcpSocket *s = socket();
    if (m_phase == Phase::Closing)
        return;
    // Qt's server reads no more of this connection: its request will never
    // be whole, and what it held back for the request is let go.
    disconnect(s, &QTcpSocket::readyRead, nullptr, nullptr);
    if (s->isTransactionStarted())
        s->commitTransaction();
    connect(s, &QTcpSocket::readyRead, this, &FeedConnection::onReadyRead);
    s->readAll();
    m_phase = Phase::Closing;
    Q_EMIT closing();
    if (s->state() != QAbstractSocket::ConnectedState)
        return;
    s->write(HttpResponse::error(status).bytes());
    s->flush();
    closeAfterWritten();
}

void FeedConnection::evict()
{
    if (m_phase == Phase::Closing)
        return;
    if (m_requestBytes > 0) {
        // Whoever is behind it learns why, if it ever reads.
        refuse(503);
        return;
    }
    m_phase = Phase::Closing;
    Q_EMIT closing();
    m_deadline.stop();
    socket()->disconnectFromHost();
}

void FeedConnection::cutOff()
{
    if (m_phase != Phase::Closing) {
        m_phase = Phase::Closing;
        Q_EMIT closing();
    }
    m_deadline.stop();
    socket()->abort();
}

void FeedConnection::closeAfterWritten()
{
    if (m_phase != Phase::Closing) {
        m_phase = Phase::Closing;
        Q_EMIT closing();
    }
    // Closed at once, the connection could be reset before the client has
    // read the answer (the system resets a connection closed with input
    // unread); so the client gets a moment to read it and close first.
    m_deadline.start(m_limits.lingerMs);
}

void FeedConnection::onDeadline()
{
    QTcpSocket *s = socket();
    if (m_phase == Phase::Closing) {
        // An answer the client has not taken by now it never will.
        if (s->bytesToWrite() > 0)
            s->abort();
        else
            s->disconnectFromHost();
        return;
    }
    if (m_requestBytes == 0) {
        m_phase = Phase::Closing;
        Q_EMIT closing();
        s->disconnectFromHost();
        return;
    }
    refuse(408);
}
