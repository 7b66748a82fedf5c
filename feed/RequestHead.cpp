// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "feed/RequestHead.h"

#include <QByteArrayView>
#include <QList>

#include <algorithm>

namespace {
// RFC 9110's token characters: what a method or a header name is made of.
bool isTokenChar(char c)
{
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
        return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(const QByteArray &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isFieldText(char c)
{
    return c == '\t' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
}

// The start of a request line seen so far could still become a valid one:
// a method of token characters, then visible characters, at most two spaces.
// Random bytes fail this at once rather than after the idle time.
bool couldBeRequestLine(const QByteArray &start)
{
    int spaces = 0;
    for (qsizetype i = 0; i < start.size(); ++i) {
        const char c = start.at(i);
        if (c == '\r')
            return i == start.size() - 1;
        if (c == ' ') {
            if (++spaces > 2)
                return false;
        } else if (spaces == 0 ? !isTokenChar(c) : (c <= 0x20 || c >= 0x7f)) {
            return false;
        }
    }
    return true;
}

// The same for a header line: a name of token characters, then field text.
bool couldBeHeaderLine(const QByteArray &start)
{
    if (start.startsWith(' ') || start.startsWith('\t'))
        return false;
    bool inName = true;
    for (qsizetype i = 0; i < start.size(); ++i) {
        const char c = start.at(i);
        if (c == '\r')
            return i == start.size() - 1;
        if (inName && c == ':')
            inName = false;
        else if (inName ? !isTokenChar(c) : !isFieldText(c))
            return false;
    }
    return true;
}
} // namespace

RequestHead::Verdict RequestHead::feed(const QByteArray &bytes)
{
    if (m_verdict != Verdict::NeedMore) {
        if (m_verdict == Verdict::Complete)
            m_afterHead += bytes.size();
        return m_verdict;
    }
    m_bytes += bytes;
    for (qsizetype end = m_bytes.indexOf('\n', m_scanned); end >= 0;
         end = m_bytes.indexOf('\n', m_scanned)) {
        QByteArray line = m_bytes.mid(m_scanned, end - m_scanned);
        m_scanned = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        // A bare CR is where one parser sees a line end and another does not.
        if (line.contains('\r')) {
            refuse(400);
            return m_verdict;
        }
        if (!m_haveRequestLine) {
            // Blank lines before the request line are allowed and skipped.
            if (!line.isEmpty() && !takeRequestLine(line))
                return m_verdict;
            continue;
        }
        if (line.isEmpty()) {
            m_verdict = Verdict::Complete;
            m_afterHead = m_bytes.size() - m_scanned;
            m_bytes.clear();
            return m_verdict;
        }
        if (!takeHeaderLine(line))
            return m_verdict;
    }
    const QByteArray rest = m_bytes.mid(m_scanned);
    if (!(m_haveRequestLine ? couldBeHeaderLine(rest) : couldBeRequestLine(rest)))
        refuse(400);
    return m_verdict;
}

bool RequestHead::takeRequestLine(const QByteArray &line)
{
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || !isToken(parts.at(0)) || parts.at(1).isEmpty()) {
        refuse(400);
        return false;
    }
    const QByteArray &version = parts.at(2);
    if (version.size() != 8 || !version.startsWith("HTTP/") || !isDigit(version.at(5)) ||
        version.at(6) != '.' || !isDigit(version.at(7))) {
        refuse(400);
        return false;
    }
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        refuse(505);
        return false;
    }
    const QByteArray &target = parts.at(1);
    const bool visible =
        std::all_of(target.begin(), target.end(), [](char c) { return c > 0x20 && c < 0x7f; });
    const bool form = target.startsWith('/') || target.toLower().startsWith("http://");
    if (!visible || !form) {
        refuse(400);
        return false;
    }
    m_method = parts.at(0);
    m_target = target;
    m_http11 = version == "HTTP/1.1";
    m_haveRequestLine = true;
    // Known at once: no need to read the rest of what will not be served.
    if (m_method != "GET" && m_method != "HEAD") {
        refuse(405);
        return false;
    }
    return true;
}

bool RequestHead::takeHeaderLine(const QByteArray &line)
{
    // A continuation line (obsolete folding) is read differently by different parsers.
    const qsizetype colon = line.indexOf(':');
    if (line.startsWith(' ') || line.startsWith('\t') || colon <= 0 || !isToken(line.left(colon))) {
        refuse(400);
        return false;
    }
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (!std::all_of(value.begin(), value.end(), isFieldText)) {
        refuse(400);
        return false;
    }
    const QByteArray name = line.left(colon).toLower();
    if (name == "content-length") {
        // A GET or HEAD here carries nothing; a body would be read for no use.
        const bool zero = !value.isEmpty() &&
                          std::all_of(value.begin(), value.end(), [](char c) { return c == '0'; });
        if (!zero) {
            refuse(400);
            return false;
        }
    } else if (name == "transfer-encoding") {
        refuse(400);
        return false;
    } else if (name == "upgrade" && value.toLower().contains("websocket")) {
        // Qt would hand the socket to a WebSocket server the feed does not have.
        refuse(400);
        return false;
    } else if (name == "connection") {
        for (const QByteArray &option : value.toLower().split(',')) {
            const QByteArray token = option.trimmed();
            m_close = m_close || token == "close";
            m_keepAliveAsked = m_keepAliveAsked || token == "keep-alive";
        }
    }
    return true;
}

bool RequestHead::keepAlive() const
{
    return !m_close && (m_http11 || m_keepAliveAsked);
}

void RequestHead::refuse(int status)
{
    m_verdict = Verdict::Refused;
    m_status = status;
    m_bytes.clear();
}
