// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "feed/HttpResponse.h"

QByteArray HttpResponse::reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

HttpResponse HttpResponse::error(int status)
{
    HttpResponse response;
    response.status = status;
    response.body = reason(status) + '\n';
    response.close = true;
    if (status == 405)
        response.extraHeaders = "Allow: GET, HEAD\r\n";
    else if (status == 503)
        response.extraHeaders = "Retry-After: 1\r\n";
    return response;
}

QByteArray HttpResponse::bytes() const
{
    QByteArray out;
    out.reserve(160 + extraHeaders.size() + (headOnly ? 0 : body.size()));
    out += "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    // Every answer is the panel's state at that moment: a cache would show an old one.
    out += "Cache-Control: no-store\r\n";
    out += close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    out += extraHeaders;
    out += "\r\n";
    if (!headOnly)
        out += body;
    return out;
}
