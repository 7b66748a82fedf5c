// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/FeedPoller.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
// A status document is a few hundred bytes; anything far larger is not one,
// and reading it whole would let a wrong address eat the agent's memory.
constexpr qint64 MaxDocumentBytes = 1 << 20;
constexpr char TooLarge[] = "txpanelTooLarge";
} // namespace

FeedPoller::FeedPoller(const QUrl &url, QNetworkAccessManager *network, int intervalMs,
                       int timeoutMs, QObject *parent)
    : QObject(parent), url_(url), network_(network), timeoutMs_(timeoutMs)
{
    ticker_.setInterval(intervalMs);
    connect(&ticker_, &QTimer::timeout, this, &FeedPoller::fetch);
}

void FeedPoller::start()
{
    ticker_.start();
    fetch();
}

void FeedPoller::fetch()
{
    if (inFlight_)
        return;
    QNetworkRequest request(url_);
    request.setTransferTimeout(timeoutMs_);
    request.setRawHeader("Accept", "application/json");
    QNetworkReply *reply = network_->get(request);
    inFlight_ = reply;
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > MaxDocumentBytes) {
            reply->setProperty(TooLarge, true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finish(reply); });
}

void FeedPoller::finish(QNetworkReply *reply)
{
    reply->deleteLater();
    inFlight_.clear();
    const QVariant httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (reply->property(TooLarge).toBool()) {
        Q_EMIT failed(PanelStatus::State::InvalidFeed,
                      QStringLiteral("the answer is over %1 bytes").arg(MaxDocumentBytes));
        return;
    }
    if (reply->error() == QNetworkReply::OperationCanceledError) {
        // Qt's transfer timeout ends the request this way.
        Q_EMIT failed(PanelStatus::State::Unreachable,
                      QStringLiteral("no answer within %1 s").arg(timeoutMs_ / 1000.0));
        return;
    }
    if (!httpStatus.isValid()) {
        // No HTTP answer at all: refused, timed out, no route, name unknown.
        Q_EMIT failed(PanelStatus::State::Unreachable, reply->errorString());
        return;
    }
    if (reply->error() != QNetworkReply::NoError || httpStatus.toInt() != 200) {
        Q_EMIT failed(
            PanelStatus::State::InvalidFeed,
            QStringLiteral("HTTP %1: %2").arg(httpStatus.toInt()).arg(reply->errorString()));
        return;
    }
    QString error;
    const std::optional<PanelStatus> status = PanelStatus::fromJson(reply->readAll(), &error);
    if (!status) {
        Q_EMIT failed(PanelStatus::State::InvalidFeed, error);
        return;
    }
    Q_EMIT answered(*status);
}
