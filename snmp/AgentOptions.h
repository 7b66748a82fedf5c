// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <vector>

// What txpanel-snmp is told on its command line and in its configuration file.
struct AgentOptions
{
    std::vector<QUrl> feeds;
    // The control socket of each feed's panel, by position; empty where none
    // was given (that row takes no command).
    std::vector<QString> controlSockets;
    // The SNMPv3 users whose commands are taken: each sends its Sets in the
    // SNMP context of its own name, which snmpd's access control opens to
    // that user alone, with authPriv (AgentX tells a sub-agent the context of
    // a request, never who sent it).
    QStringList writers;
    // Empty: net-snmp's own default (the system snmpd's master socket).
    QString agentxSocket;
    int intervalMs = 5000;
    int timeoutMs = 2000;
    int reconnectSeconds = 5;
    // net-snmp's own debug output, for these tokens (e.g. agentx/subagent).
    QString debugTokens;

    enum class Outcome
    {
        Run,
        Error
    };
    // Fills *options from arguments (argv as a list, the program first). For
    // --help and --version it prints and ends the program, as Qt's parser does;
    // on Error it leaves the message in *error.
    static Outcome parse(const QStringList &arguments, AgentOptions *options, QString *error);

    // A configuration file's line: a feed address, and optionally the path
    // of that panel's control socket after it.
    struct ConfigLine
    {
        QString feed;
        QString controlSocket;
    };
    // The feeds a configuration file lists: one a line; blank lines and lines
    // starting with # are skipped.
    static std::optional<std::vector<ConfigLine>> readConfig(const QString &path, QString *error);

    // An http(s) address with a host, or nothing, with why in *error.
    static std::optional<QUrl> feedUrl(const QString &text, QString *error);
};
