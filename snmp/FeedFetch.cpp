// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/FeedFetch.h"

#include <QNetworkProxy>
#include <QTcpSocket>
#if QT_CONFIG(ssl)
#include <QSslSocket>
#endif

namespace {
// What the socket takes from the system at a time: a feed that floods is
// read in bites this size, turn about with the other feeds and the agent's
// SNMP work, and never buffered whole.
constexpr qint64 ReadBite = 64 * 1024;

QString seconds(int ms)
{
    return QString::number(ms / 1000.0);
}
} // namespace

FeedFetch::FeedFetch(const QUrl &url, const Limits &limits, QObject *parent)
    : QObject(parent), m_url(url), m_limits(limits)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &FeedFetch::onTimeout);
}

FeedFetch::~FeedFetch()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void FeedFetch::start()
{
    const bool secure = m_url.scheme() == QLatin1String("https");
#if QT_CONFIG(ssl)
    if (secure)
        m_socket = std::make_unique<QSslSocket>();
    else
        m_socket = std::make_unique<QTcpSocket>();
#else
    if (secure) {
        m_stage = Stage::Done;
        QTimer::singleShot(0, this, [this] {
            Q_EMIT finished(Outcome::Unreachable, QByteArray(),
                            QStringLiteral("https is not available in this build"));
        });
        return;
    }
    m_socket = std::make_unique<QTcpSocket>();
#endif
    // Straight to the panel, whatever proxy the machine may have set.
    m_socket->setProxy(QNetworkProxy::NoProxy);
    m_socket->setReadBufferSize(ReadBite);
    connect(m_socket.get(), &QTcpSocket::readyRead, this, &FeedFetch::onReadyRead);
    connect(m_socket.get(), &QTcpSocket::disconnected, this, &FeedFetch::onClosed);
    connect(m_socket.get(), &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                if (error == QAbstractSocket::RemoteHostClosedError) {
                    onClosed();
                    return;
                }
                finish(m_received == 0 ? Outcome::Unreachable : Outcome::NotAFeed,
                       m_socket->errorString());
            });

    QByteArray target = m_url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (m_url.hasQuery())
        target += '?' + m_url.query(QUrl::FullyEncoded).toLatin1();
    QString host = m_url.host(QUrl::FullyEncoded);
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    if (m_url.port() != -1)
        host += QLatin1Char(':') + QString::number(m_url.port());
    // One request a connection: nothing of one answer can run into the next.
    const QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: " + host.toLatin1() +
                               "\r\nAccept: application/json\r\nUser-Agent: txpanel-snmp\r\n"
                               "Connection: close\r\n\r\n";
    const quint16 port = quint16(m_url.port(secure ? 443 : 80));
    m_deadline.start(m_limits.totalMs);
#if QT_CONFIG(ssl)
    if (secure) {
        auto *ssl = static_cast<QSslSocket *>(m_socket.get());
        connect(ssl, &QSslSocket::encrypted, this, [this, request] { m_socket->write(request); });
        ssl->connectToHostEncrypted(m_url.host(), port);
        return;
    }
#endif
    connect(m_socket.get(), &QTcpSocket::connected, this,
            [this, request] { m_socket->write(request); });
    m_socket->connectToHost(m_url.host(), port);
}

void FeedFetch::onReadyRead()
{
    if (m_stage == Stage::Done)
        return;
    const QByteArray bytes = m_socket->read(ReadBite);
    m_received += bytes.size();
    m_in += bytes;
    parse();
}

void FeedFetch::onClosed()
{
    if (m_stage == Stage::Done)
        return;
    if (m_socket->bytesAvailable() > 0) {
        onReadyRead();
        if (m_stage == Stage::Done)
            return;
    }
    if (m_stage == Stage::Body && m_contentLength < 0) {
        finish(Outcome::Document, QString(), m_body);
        return;
    }
    if (m_received == 0)
        finish(Outcome::Unreachable, QStringLiteral("the connection was closed without an answer"));
    else
        finish(Outcome::NotAFeed, QStringLiteral("the answer ended early"));
}

void FeedFetch::onTimeout()
{
    if (m_received == 0)
        finish(Outcome::Unreachable,
               QStringLiteral("no answer within %1 s").arg(seconds(m_limits.totalMs)));
    else
        finish(Outcome::Unreachable, QStringLiteral("no whole answer within %1 s (%2 bytes came)")
                                         .arg(seconds(m_limits.totalMs))
                                         .arg(m_received));
}

bool FeedFetch::takeLine(QByteArray *line)
{
    const qsizetype end = m_in.indexOf('\n');
    const qint64 budget = m_limits.maxHeadBytes - m_headBytes;
    if (end < 0 ? m_in.size() > budget : end + 1 > budget) {
        finish(Outcome::NotAFeed,
               QStringLiteral("the answer's head is over %1 bytes").arg(m_limits.maxHeadBytes));
        return false;
    }
    if (end < 0)
        return false;
    *line = m_in.left(end);
    m_in.remove(0, end + 1);
    m_headBytes += end + 1;
    if (line->endsWith('\r'))
        line->chop(1);
    return true;
}

bool FeedFetch::appendBody(const QByteArray &bytes)
{
    if (m_body.size() + m_chunkFraming + bytes.size() > m_limits.maxBodyBytes) {
        finish(Outcome::NotAFeed,
               QStringLiteral("the answer is over %1 bytes").arg(m_limits.maxBodyBytes));
        return false;
    }
    m_body += bytes;
    return true;
}

bool FeedFetch::parse()
{
    QByteArray line;
    while (m_stage != Stage::Done) {
        switch (m_stage) {
        case Stage::StatusLine:
            if (!takeLine(&line))
                return m_stage != Stage::Done;
            if (!line.startsWith("HTTP/1.") || line.size() < 12 || line.at(8) != ' ') {
                finish(Outcome::NotAFeed, QStringLiteral("not an HTTP answer"));
                return false;
            }
            m_status = line.mid(9, 3).toInt();
            m_statusText = line.mid(13).trimmed();
            m_stage = Stage::Headers;
            break;
        case Stage::Headers:
            if (!takeLine(&line))
                return m_stage != Stage::Done;
            if (line.isEmpty()) {
                if (!headersDone())
                    return false;
            } else if (!takeHeader(line)) {
                return false;
            }
            break;
        case Stage::Body: {
            const qint64 wanted =
                m_contentLength < 0
                    ? m_in.size()
                    : std::min<qint64>(m_in.size(), m_contentLength - m_body.size());
            if (!appendBody(m_in.left(wanted)))
                return false;
            m_in.remove(0, wanted);
            if (m_contentLength >= 0 && m_body.size() == m_contentLength) {
                finish(Outcome::Document, QString(), m_body);
                return false;
            }
            return true;
        }
        case Stage::ChunkSize: {
            const qsizetype end = m_in.indexOf('\n');
            // A chunk's size line is a few characters; its framing counts as
            // body, so that endless empty-ish chunks end as a large body does.
            if (end < 0 ? m_in.size() > 1024 : end > 1024) {
                finish(Outcome::NotAFeed, QStringLiteral("a malformed chunk"));
                return false;
            }
            if (end < 0)
                return true;
            line = m_in.left(end).trimmed();
            m_in.remove(0, end + 1);
            m_chunkFraming += end + 1;
            const qsizetype extension = line.indexOf(';');
            bool ok = false;
            m_chunkLeft =
                (extension < 0 ? line : line.left(extension)).trimmed().toLongLong(&ok, 16);
            if (!ok || m_chunkLeft < 0) {
                finish(Outcome::NotAFeed, QStringLiteral("a malformed chunk"));
                return false;
            }
            if (m_body.size() + m_chunkFraming + m_chunkLeft > m_limits.maxBodyBytes) {
                finish(Outcome::NotAFeed,
                       QStringLiteral("the answer is over %1 bytes").arg(m_limits.maxBodyBytes));
                return false;
            }
            m_stage = m_chunkLeft == 0 ? Stage::Trailers : Stage::ChunkData;
            break;
        }
        case Stage::ChunkData: {
            const qint64 wanted = std::min<qint64>(m_in.size(), m_chunkLeft);
            if (!appendBody(m_in.left(wanted)))
                return false;
            m_in.remove(0, wanted);
            m_chunkLeft -= wanted;
            if (m_chunkLeft > 0)
                return true;
            m_stage = Stage::ChunkEnd;
            break;
        }
        case Stage::ChunkEnd:
            if (m_in.size() < 2)
                return true;
            if (!m_in.startsWith("\r\n")) {
                finish(Outcome::NotAFeed, QStringLiteral("a malformed chunk"));
                return false;
            }
            m_in.remove(0, 2);
            m_chunkFraming += 2;
            m_stage = Stage::ChunkSize;
            break;
        case Stage::Trailers:
            if (!takeLine(&line))
                return m_stage != Stage::Done;
            if (line.isEmpty()) {
                finish(Outcome::Document, QString(), m_body);
                return false;
            }
            break;
        case Stage::Done:
            return false;
        }
    }
    return false;
}

bool FeedFetch::takeHeader(const QByteArray &line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0) {
        finish(Outcome::NotAFeed, QStringLiteral("a malformed header line"));
        return false;
    }
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "content-length") {
        bool ok = false;
        const qint64 length = value.toLongLong(&ok);
        if (!ok || length < 0 || (m_contentLength >= 0 && m_contentLength != length)) {
            finish(Outcome::NotAFeed, QStringLiteral("a malformed Content-Length"));
            return false;
        }
        m_contentLength = length;
    } else if (name == "transfer-encoding") {
        m_chunked = value.toLower().endsWith("chunked");
    } else if (name == "location") {
        m_location = value.left(200);
    }
    return true;
}

bool FeedFetch::headersDone()
{
    if (m_status >= 300 && m_status < 400) {
        finish(Outcome::NotAFeed,
               QStringLiteral("HTTP %1: a redirect%2, not followed")
                   .arg(m_status)
                   .arg(m_location.isEmpty()
                            ? QString()
                            : QStringLiteral(" to %1").arg(QString::fromLatin1(m_location))));
        return false;
    }
    if (m_status != 200) {
        finish(Outcome::NotAFeed, QStringLiteral("HTTP %1 %2")
                                      .arg(m_status)
                                      .arg(QString::fromLatin1(m_statusText.left(100))));
        return false;
    }
    if (m_chunked) {
        m_stage = Stage::ChunkSize;
        return true;
    }
    if (m_contentLength > m_limits.maxBodyBytes) {
        finish(Outcome::NotAFeed,
               QStringLiteral("the answer is over %1 bytes").arg(m_limits.maxBodyBytes));
        return false;
    }
    if (m_contentLength == 0) {
        finish(Outcome::Document, QString(), QByteArray());
        return false;
    }
    m_stage = Stage::Body;
    return true;
}

void FeedFetch::finish(Outcome outcome, const QString &reason, const QByteArray &body)
{
    if (m_stage == Stage::Done)
        return;
    m_stage = Stage::Done;
    m_deadline.stop();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
    m_in.clear();
    Q_EMIT finished(outcome, body, reason);
}
