// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QtGlobal>

// Checks a request's head as its bytes come in, before Qt's HTTP parser sees
// them, so that whatever the feed will not serve is answered with an error at
// once instead of being read further or dropped without a word: a line that
// is not an HTTP/1.x request line (400, or 505 for another version), a
// method other than GET or HEAD (405, as soon as the request line is in),
// a malformed header line, a body or an upgrade (400).
class RequestHead
{
public:
    enum class Verdict
    {
        NeedMore,
        Complete,
        Refused
    };

    // Adds the next bytes received; once Complete or Refused, that stays.
    Verdict feed(const QByteArray &bytes);
    Verdict verdict() const { return m_verdict; }
    // 400, 405 or 505 when refused.
    int status() const { return m_status; }
    QByteArray method() const { return m_method; }
    // As the request line gives it: "/status.json", "/metrics?x=1", or absolute.
    QByteArray target() const { return m_target; }
    // The client asks for the connection to stay open after the answer.
    bool keepAlive() const;
    // Bytes received past the head's blank line.
    qsizetype bytesAfterHead() const { return m_afterHead; }
    // Ready for the next request on the same connection.
    void reset() { *this = RequestHead(); }

private:
    bool takeRequestLine(const QByteArray &line);
    bool takeHeaderLine(const QByteArray &line);
    void refuse(int status);

    QByteArray m_bytes;
    qsizetype m_scanned = 0;
    Verdict m_verdict = Verdict::NeedMore;
    int m_status = 0;
    bool m_haveRequestLine = false;
    QByteArray m_method;
    QByteArray m_target;
    bool m_http11 = false;
    bool m_close = false;
    bool m_keepAliveAsked = false;
    qsizetype m_afterHead = 0;
};
