// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>

// One HTTP/1.1 answer as bytes on the wire. The feed writes its answers
// itself, not through Qt's responder, because an answer may wait for its turn
// (see FeedLimits) after the request it answers is gone, and because errors
// are answered before Qt's parser has the whole request.
struct HttpResponse
{
    int status = 200;
    QByteArray contentType = "text/plain; charset=utf-8";
    QByteArray body;
    // HEAD: the same head as GET, with the body's length but not the body.
    bool headOnly = false;
    bool close = false;
    // Further header lines, each ending in "\r\n".
    QByteArray extraHeaders;

    QByteArray bytes() const;
    static QByteArray reason(int status);
    // A short text answer for an error status, closing the connection.
    static HttpResponse error(int status);
};
