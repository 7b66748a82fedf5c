// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <memory>

class QTcpSocket;

// One GET of a panel's feed on a connection of its own, read by this class
// rather than by a general HTTP client, so that whatever answers at that
// address costs the agent a bounded amount: so many bytes of status line and
// headers, so many of body (plain, or in chunks), and the whole answer within
// a time from the start, however slowly or endlessly it comes. A redirect is
// never followed: it is an answer that is not a status (the row would show
// another panel's data).
class FeedFetch : public QObject
{
    Q_OBJECT
public:
    struct Limits
    {
        // The status line, the headers and any chunk trailers together.
        qint64 maxHeadBytes = 16 * 1024;
        // The document; a panel's is a few kilobytes.
        qint64 maxBodyBytes = 1 << 20;
        // From the start to the last byte of the answer.
        int totalMs = 2000;
    };
    enum class Outcome
    {
        Document,    // 200 and a whole body
        Unreachable, // nothing answered, or not in time
        NotAFeed     // something answered, but not with a document
    };

    FeedFetch(const QUrl &url, const Limits &limits, QObject *parent = nullptr);
    ~FeedFetch() override;

    // Connects and asks; finished() follows once, always.
    void start();

Q_SIGNALS:
    // `body` is the document for Outcome::Document; `reason` is for the
    // operator otherwise.
    void finished(FeedFetch::Outcome outcome, const QByteArray &body, const QString &reason);

private:
    enum class Stage
    {
        StatusLine,
        Headers,
        Body, // Content-Length bytes, or until the connection closes
        ChunkSize,
        ChunkData,
        ChunkEnd, // the CR LF after a chunk's data
        Trailers,
        Done
    };

    void onReadyRead();
    void onClosed();
    void onTimeout();
    // Parses what m_in holds; false once finished.
    bool parse();
    // Takes one line off m_in, counting it against the head's budget; false
    // when no whole line is there yet, or (finished) when the budget is spent.
    bool takeLine(QByteArray *line);
    bool takeHeader(const QByteArray &line);
    bool headersDone();
    bool appendBody(const QByteArray &bytes);
    void finish(Outcome outcome, const QString &reason, const QByteArray &body = QByteArray());

    QUrl m_url;
    Limits m_limits;
    std::unique_ptr<QTcpSocket> m_socket;
    QTimer m_deadline;
    QByteArray m_in;
    QByteArray m_body;
    Stage m_stage = Stage::StatusLine;
    qint64 m_headBytes = 0;
    qint64 m_received = 0;
    int m_status = 0;
    QByteArray m_statusText;
    QByteArray m_location;
    qint64 m_contentLength = -1;
    qint64 m_chunkLeft = 0;
    qint64 m_chunkFraming = 0;
    bool m_chunked = false;
};
