// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "snmp/PanelStatus.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Reads one panel's /status.json at a steady pace without ever blocking: each
// fetch is asynchronous and bounded by a transfer timeout, and a tick that
// finds the previous fetch still running skips rather than piling up.
class FeedPoller : public QObject
{
    Q_OBJECT
public:
    FeedPoller(const QUrl &url, QNetworkAccessManager *network, int intervalMs, int timeoutMs,
               QObject *parent = nullptr);

    // Fetches at once, then every interval.
    void start();

Q_SIGNALS:
    void answered(const PanelStatus &status);
    // `why` is Unreachable when nothing answered, InvalidFeed when something
    // did but not with a status; `reason` is for the operator.
    void failed(PanelStatus::State why, const QString &reason);

private:
    void fetch();
    void finish(QNetworkReply *reply);

    QUrl url_;
    QNetworkAccessManager *network_;
    int timeoutMs_;
    QTimer ticker_;
    QPointer<QNetworkReply> inFlight_;
};
