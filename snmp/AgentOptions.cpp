// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/AgentOptions.h"

#include <QCommandLineParser>
#include <QFile>
#include <QTextStream>

#include <cmath>

namespace {

// Seconds as the operator writes them (0.5, 2, 10) to whole milliseconds.
std::optional<int> secondsToMs(const QString &text, double minimum, double maximum)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < minimum || seconds > maximum)
        return std::nullopt;
    return static_cast<int>(std::lround(seconds * 1000));
}

} // namespace

std::optional<QUrl> AgentOptions::feedUrl(const QString &text, QString *error)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty()) {
        *error = QStringLiteral("not an http:// or https:// address with a host: %1").arg(text);
        return std::nullopt;
    }
    return url;
}

std::optional<std::vector<QString>> AgentOptions::readConfig(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error =
            QStringLiteral("cannot read configuration file %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    std::vector<QString> feeds;
    QTextStream in(&file);
    QString line;
    while (in.readLineInto(&line)) {
        line = line.trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            feeds.push_back(line);
    }
    return feeds;
}

AgentOptions::Outcome AgentOptions::parse(const QStringList &arguments, AgentOptions *options,
                                          QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves the status of txpanel control panels over SNMP: an AgentX sub-agent of the\n"
        "system's snmpd that reads each panel's /status.json and answers TXPANEL-MIB.\n"
        "Panels are numbered from 1 in the order given: the command line first, then the\n"
        "configuration file."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("url"),
                                 QStringLiteral("A panel's status feed, e.g. "
                                                "http://127.0.0.1:8740/status.json."),
                                 QStringLiteral("[url...]"));
    const QCommandLineOption config(
        {QStringLiteral("c"), QStringLiteral("config")},
        QStringLiteral("Read more feed addresses from <file>, one a line (# starts a comment)."),
        QStringLiteral("file"));
    const QCommandLineOption socket(
        {QStringLiteral("x"), QStringLiteral("agentx-socket")},
        QStringLiteral("The AgentX master's socket (default: the system's, /var/agentx/master)."),
        QStringLiteral("address"));
    const QCommandLineOption interval(
        {QStringLiteral("i"), QStringLiteral("interval")},
        QStringLiteral("Seconds between two reads of each feed (default 5)."),
        QStringLiteral("seconds"));
    const QCommandLineOption timeout(
        {QStringLiteral("t"), QStringLiteral("timeout")},
        QStringLiteral("Seconds a feed has to answer before it counts as unreachable "
                       "(default 2, at most the interval)."),
        QStringLiteral("seconds"));
    const QCommandLineOption reconnect(
        {QStringLiteral("r"), QStringLiteral("reconnect")},
        QStringLiteral("Seconds between two attempts to reach the AgentX master, and between "
                       "two checks that it is still there (default 5)."),
        QStringLiteral("seconds"));
    const QCommandLineOption debug(
        {QStringLiteral("D"), QStringLiteral("debug")},
        QStringLiteral("Print net-snmp's debug output for these tokens, comma-separated "
                       "(e.g. agentx/subagent, or ALL)."),
        QStringLiteral("tokens"));
    parser.addOptions({config, socket, interval, timeout, reconnect, debug});

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return Outcome::Error;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    AgentOptions result;
    std::vector<QString> texts;
    for (const QString &text : parser.positionalArguments())
        texts.push_back(text);
    if (parser.isSet(config)) {
        const auto fromFile = readConfig(parser.value(config), error);
        if (!fromFile)
            return Outcome::Error;
        texts.insert(texts.end(), fromFile->begin(), fromFile->end());
    }
    if (texts.empty()) {
        *error = QStringLiteral("no panel feed given: name at least one URL, or a --config file");
        return Outcome::Error;
    }
    for (const QString &text : texts) {
        const std::optional<QUrl> url = feedUrl(text, error);
        if (!url)
            return Outcome::Error;
        result.feeds.push_back(*url);
    }
    result.agentxSocket = parser.value(socket);
    result.debugTokens = parser.value(debug);
    if (parser.isSet(interval)) {
        const auto ms = secondsToMs(parser.value(interval), 0.1, 86400);
        if (!ms) {
            *error = QStringLiteral("--interval wants seconds from 0.1 to 86400, not %1")
                         .arg(parser.value(interval));
            return Outcome::Error;
        }
        result.intervalMs = *ms;
    }
    result.timeoutMs = std::min(result.timeoutMs, result.intervalMs);
    if (parser.isSet(timeout)) {
        const auto ms = secondsToMs(parser.value(timeout), 0.1, result.intervalMs / 1000.0);
        if (!ms) {
            *error = QStringLiteral("--timeout wants seconds from 0.1 to the interval, not %1")
                         .arg(parser.value(timeout));
            return Outcome::Error;
        }
        result.timeoutMs = *ms;
    }
    if (parser.isSet(reconnect)) {
        bool ok = false;
        const int seconds = parser.value(reconnect).toInt(&ok);
        if (!ok || seconds < 1 || seconds > 3600) {
            *error = QStringLiteral("--reconnect wants whole seconds from 1 to 3600, not %1")
                         .arg(parser.value(reconnect));
            return Outcome::Error;
        }
        result.reconnectSeconds = seconds;
    }
    *options = result;
    return Outcome::Run;
}
