// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/FeedPoller.h"

FeedPoller::FeedPoller(const QUrl &url, int intervalMs, int timeoutMs, QObject *parent)
    : QObject(parent), url_(url)
{
    limits_.totalMs = timeoutMs;
    ticker_.setInterval(intervalMs);
    connect(&ticker_, &QTimer::timeout, this, &FeedPoller::fetch);
}

void FeedPoller::start()
{
    ticker_.start();
    fetch();
}

void FeedPoller::setLimits(const FeedFetch::Limits &limits)
{
    const int totalMs = limits_.totalMs;
    limits_ = limits;
    limits_.totalMs = totalMs;
}

void FeedPoller::fetch()
{
    if (inFlight_)
        return;
    auto *fetch = new FeedFetch(url_, limits_, this);
    inFlight_ = fetch;
    connect(fetch, &FeedFetch::finished, this, &FeedPoller::finish);
    fetch->start();
}

void FeedPoller::finish(FeedFetch::Outcome outcome, const QByteArray &body, const QString &reason)
{
    if (inFlight_)
        inFlight_->deleteLater();
    inFlight_.clear();
    switch (outcome) {
    case FeedFetch::Outcome::Unreachable:
        Q_EMIT failed(PanelStatus::State::Unreachable, reason);
        return;
    case FeedFetch::Outcome::NotAFeed:
        Q_EMIT failed(PanelStatus::State::InvalidFeed, reason);
        return;
    case FeedFetch::Outcome::Document:
        break;
    }
    QString error;
    const std::optional<PanelStatus> status = PanelStatus::fromJson(body, &error);
    if (!status) {
        Q_EMIT failed(PanelStatus::State::InvalidFeed, error);
        return;
    }
    Q_EMIT answered(*status);
}
