// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "feed/FeedHttpServer.h"

#include "feed/FeedConnection.h"
#include "feed/FeedDocuments.h"
#include "feed/FeedSettings.h"
#include "feed/FeedTcpServer.h"
#include "feed/HttpResponse.h"

#include <QHttpServerRequest>
#include <QTcpSocket>

FeedHttpServer::FeedHttpServer(SnapshotSource source, const FeedLimits &limits, QObject *parent)
    : QAbstractHttpServer(parent), m_source(std::move(source)),
      m_tcp(new FeedTcpServer(limits, this)), m_turns(limits.requestsPerSecond, limits.requestBurst)
{
    m_nextTurn.setSingleShot(true);
    connect(&m_nextTurn, &QTimer::timeout, this, &FeedHttpServer::answerWaiting);
}

bool FeedHttpServer::listenOn(const QHostAddress &address, quint16 port, QString *why)
{
    // Room in the system's queue for a burst of newcomers while accepting
    // is paced (FeedLimits), so they wait there rather than be turned away.
    m_tcp->setListenBacklogSize(256);
    if (!m_tcp->listen(address, port)) {
        if (why)
            *why = m_tcp->errorString();
        return false;
    }
    bind(m_tcp);
    // Told once, whoever started the feed: it can be read from elsewhere.
    if (const QString warning = FeedSettings::exposureWarning(address, m_tcp->serverPort());
        !warning.isEmpty())
        qWarning("txpanel: %s", qUtf8Printable(warning));
    return true;
}

bool FeedHttpServer::isListening() const
{
    return m_tcp->isListening();
}

int FeedHttpServer::servedConnections() const
{
    return m_tcp->servedConnections();
}

quint16 FeedHttpServer::port() const
{
    return m_tcp->serverPort();
}

bool FeedHttpServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    FeedConnection *connection = FeedConnection::of(socket);
    if (!connection) {
        socket->abort();
        return true;
    }
    connection->requestTaken();
    const QHttpServerRequest::Method method = request.method();
    if (method != QHttpServerRequest::Method::Get && method != QHttpServerRequest::Method::Head) {
        connection->refuse(405);
        return true;
    }
    // The query is not looked at: nothing a client sends reaches the panel.
    const QString path = request.url().path();
    const Document document = path == QLatin1String("/status.json")   ? Document::Status
                              : path == QLatin1String("/metrics")     ? Document::Metrics
                              : path == QLatin1String("/alarms.json") ? Document::Alarms
                                                                      : Document::None;
    const bool headOnly = method == QHttpServerRequest::Method::Head;
    if (m_waiting.empty() && m_turns.take(TokenBucket::nowMs())) {
        answer(*connection, document, headOnly);
        return true;
    }
    m_waiting.push_back({connection, document, headOnly});
    if (!m_nextTurn.isActive())
        m_nextTurn.start(m_turns.msUntilNext(TokenBucket::nowMs()));
    return true;
}

void FeedHttpServer::missingHandler(const QHttpServerRequest &, QTcpSocket *socket)
{
    if (FeedConnection *connection = FeedConnection::of(socket))
        connection->refuse(404);
}

void FeedHttpServer::answerWaiting()
{
    while (!m_waiting.empty()) {
        if (!m_waiting.front().connection) {
            m_waiting.pop_front();
            continue;
        }
        if (!m_turns.take(TokenBucket::nowMs()))
            break;
        const Waiting next = m_waiting.front();
        m_waiting.pop_front();
        answer(*next.connection, next.document, next.headOnly);
    }
    if (!m_waiting.empty())
        m_nextTurn.start(m_turns.msUntilNext(TokenBucket::nowMs()));
}

void FeedHttpServer::answer(FeedConnection &connection, Document document, bool headOnly)
{
    HttpResponse response;
    switch (document) {
    case Document::Status:
        response.contentType = FeedDocuments::JsonType;
        response.body = FeedDocuments::statusJson(m_source());
        break;
    case Document::Metrics:
        response.contentType = FeedDocuments::MetricsType;
        response.body = FeedDocuments::metricsText(m_source());
        break;
    case Document::Alarms:
        if (std::optional<QByteArray> alarms = FeedDocuments::alarmsJson(m_source())) {
            response.contentType = FeedDocuments::JsonType;
            response.body = std::move(*alarms);
        } else {
            response.status = 404;
            response.body = "Not Found: alarms are off ([Alarms] Enabled=true turns them on)\n";
        }
        break;
    case Document::None:
        response.status = 404;
        response.body = "Not Found: the feed serves /status.json, /metrics and /alarms.json\n";
        break;
    }
    response.headOnly = headOnly;
    ++m_answered;
    connection.answer(response);
}
