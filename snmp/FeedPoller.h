// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "snmp/FeedFetch.h"
#include "snmp/PanelStatus.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

// Reads one panel's /status.json at a steady pace without ever blocking: each
// fetch is asynchronous, on a connection of its own, and bounded in bytes and
// in total time (FeedFetch), so that a feed that floods, dribbles or
// redirects harms only its own row; a tick that finds the previous fetch
// still running skips rather than piling up.
class FeedPoller : public QObject
{
    Q_OBJECT
public:
    FeedPoller(const QUrl &url, int intervalMs, int timeoutMs, QObject *parent = nullptr);

    // Fetches at once, then every interval.
    void start();
    // Shorter bounds, for tests; the time bound stays the timeout.
    void setLimits(const FeedFetch::Limits &limits);

Q_SIGNALS:
    void answered(const PanelStatus &status);
    // `why` is Unreachable when nothing answered (in time), InvalidFeed when
    // something did but not with a status; `reason` is for the operator.
    void failed(PanelStatus::State why, const QString &reason);

private:
    void fetch();
    void finish(FeedFetch::Outcome outcome, const QByteArray &body, const QString &reason);

    QUrl url_;
    FeedFetch::Limits limits_;
    QTimer ticker_;
    QPointer<FeedFetch> inFlight_;
};
