// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/AgentOptions.h"

#include "snmp/ControlCommand.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>
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

std::optional<std::vector<AgentOptions::ConfigLine>> AgentOptions::readConfig(const QString &path,
                                                                              QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error =
            QStringLiteral("cannot read configuration file %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    std::vector<ConfigLine> feeds;
    QTextStream in(&file);
    QString line;
    int number = 0;
    while (in.readLineInto(&line)) {
        ++number;
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        static const QRegularExpression blanks(QStringLiteral("\\s+"));
        const QStringList fields = line.split(blanks);
        if (fields.size() > 2) {
            *error = QStringLiteral("%1:%2: a feed address and at most a control socket's path, "
                                    "not %3 fields")
                         .arg(path)
                         .arg(number)
                         .arg(fields.size());
            return std::nullopt;
        }
        feeds.push_back(ConfigLine{fields[0], fields.value(1)});
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
    const QCommandLineOption control(
        QStringLiteral("control-socket"),
        QStringLiteral("Panel <n>'s control socket is <path>: its row takes commands "
                       "(repeat for each panel; also a second field in the --config file)."),
        QStringLiteral("n=path"));
    const QCommandLineOption writer(
        {QStringLiteral("w"), QStringLiteral("writer")},
        QStringLiteral("SNMPv3 user <user> may send commands, in the SNMP context of that name "
                       "(snmpset -n <user>; repeat for each user)."),
        QStringLiteral("user"));
    parser.addOptions({config, socket, interval, timeout, reconnect, debug, control, writer});

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return Outcome::Error;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    AgentOptions result;
    std::vector<ConfigLine> lines;
    for (const QString &text : parser.positionalArguments())
        lines.push_back(ConfigLine{text, QString()});
    if (parser.isSet(config)) {
        const auto fromFile = readConfig(parser.value(config), error);
        if (!fromFile)
            return Outcome::Error;
        lines.insert(lines.end(), fromFile->begin(), fromFile->end());
    }
    if (lines.empty()) {
        *error = QStringLiteral("no panel feed given: name at least one URL, or a --config file");
        return Outcome::Error;
    }
    for (const ConfigLine &line : lines) {
        const std::optional<QUrl> url = feedUrl(line.feed, error);
        if (!url)
            return Outcome::Error;
        result.feeds.push_back(*url);
        result.controlSockets.push_back(line.controlSocket);
    }
    for (const QString &pairing : parser.values(control)) {
        const int equals = pairing.indexOf(QLatin1Char('='));
        bool ok = false;
        const int panel = QStringView(pairing).left(equals).toInt(&ok);
        const QString path = pairing.mid(equals + 1);
        if (equals < 0 || !ok || panel < 1 || path.isEmpty()) {
            *error = QStringLiteral("--control-socket wants a panel's number, = and a path, "
                                    "not %1")
                         .arg(pairing);
            return Outcome::Error;
        }
        if (static_cast<std::size_t>(panel) > result.feeds.size()) {
            *error = QStringLiteral("--control-socket %1: there are only %2 panels")
                         .arg(pairing)
                         .arg(result.feeds.size());
            return Outcome::Error;
        }
        QString &slot = result.controlSockets[static_cast<std::size_t>(panel) - 1];
        if (!slot.isEmpty()) {
            *error = QStringLiteral("--control-socket %1: panel %2 already has %3")
                         .arg(pairing)
                         .arg(panel)
                         .arg(slot);
            return Outcome::Error;
        }
        slot = path;
    }
    for (const QString &user : parser.values(writer)) {
        if (!ControlCommand::validUserName(user)) {
            *error = QStringLiteral("--writer wants an SNMP user name (printable, no blanks, "
                                    "at most 32 characters), not %1")
                         .arg(user);
            return Outcome::Error;
        }
        if (!result.writers.contains(user))
            result.writers.append(user);
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
