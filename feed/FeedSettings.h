// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QHostAddress>
#include <QString>
#include <QtGlobal>

#include <optional>

// The [Feed] section of the settings store: whether the status feed runs,
// where it listens and the name it gives the panel.
//
// A value the engineer wrote that cannot be used (an address that is no IP
// address, a port outside 1 to 65535) is not replaced by the default: the
// feed would then listen where nobody expects it, so it stays off and says
// why in problem.
struct FeedSettings
{
    static constexpr quint16 DefaultPort = 8740;

    bool enabled = false;
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = DefaultPort;
    QString name;
    // Why the stored values cannot be used; empty when they can.
    QString problem;

    // What the store says now, defaults for what it leaves out.
    static FeedSettings fromStore();
    // "127.0.0.1:8740", "[::1]:8740": the address as a URL names it.
    QString endpoint() const;
    // Said once at start, on standard error, in the label's tool tip and in
    // the record, when the feed is on and reachable from beyond this
    // computer (any address but loopback); empty otherwise.
    QString warning() const;
    static QString exposureWarning(const QHostAddress &address, quint16 port);
    // The address forms [Feed] Address takes: a dotted IPv4 address (four
    // decimal numbers), an IPv6 literal, or localhost. Other forms the
    // system would take (0, 127.1, 2130706433, 0x7f.1, 010.0.0.1) are
    // refused: they rarely mean what they seem to.
    static std::optional<QHostAddress> parseAddress(const QString &text, QString *why);
};
