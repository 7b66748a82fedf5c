// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// txpanelctl: one request to a running panel's (or service's) control
// socket, its one reply shown. A command line tool that waits for its answer
// by design; the panel it talks to never waits for it.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

#include <cstdio>

namespace {
enum Exit
{
    Ok = 0,
    Refused = 1,
    Trouble = 2,
};

// An RF command or a frequency is answered once the transmitter has; on a
// silent line that is the panel's supervision time and a status cycle more.
constexpr int ReplyWaitMs = 60000;
constexpr int ConnectWaitMs = 5000;

void out(const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stdout);
}

void err(const QString &text)
{
    std::fputs(qPrintable(QStringLiteral("txpanelctl: ") + text + QLatin1Char('\n')), stderr);
}

QString defaultSocket()
{
    const QString given = qEnvironmentVariable("TXPANEL_CONTROL_SOCKET");
    if (!given.isEmpty())
        return given;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QString() : runtime + QStringLiteral("/txpanel/control");
}

// "RF off", "Frequency 107900 kHz": the command as the operator says it.
QString spoken(const QString &command)
{
    const QStringList words = command.split(QLatin1Char(' '));
    if (words.value(0) == QLatin1String("rf"))
        return QStringLiteral("RF ") + words.value(1);
    if (words.value(0) == QLatin1String("frequency"))
        return QStringLiteral("Frequency %1 kHz").arg(words.value(1));
    if (words.value(0) == QLatin1String("ack"))
        return QStringLiteral("Acknowledge %1").arg(words.value(1));
    return command.isEmpty() ? QStringLiteral("Request") : command;
}

QString valueText(const QJsonValue &value, const QString &unit = QString())
{
    if (value.isNull() || value.isUndefined())
        return QStringLiteral("unknown");
    if (value.isBool())
        return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    return QString::number(value.toDouble()) + unit;
}

void showStatus(const QJsonObject &reply)
{
    out(QStringLiteral("State: %1").arg(reply.value(QStringLiteral("state")).toString()));
    out(QStringLiteral("On air: %1").arg(valueText(reply.value(QStringLiteral("on_air")))));
    const QJsonValue kHz = reply.value(QStringLiteral("frequency_khz"));
    out(QStringLiteral("Frequency: %1")
            .arg(kHz.isDouble()
                     ? QString::number(kHz.toDouble() / 1000.0, 'f', 3) + QStringLiteral(" MHz")
                     : valueText(kHz)));
    out(QStringLiteral("Forward: %1, reflected: %2, temperature: %3, locked: %4")
            .arg(valueText(reply.value(QStringLiteral("forward_w")), QStringLiteral(" W")),
                 valueText(reply.value(QStringLiteral("reflected_w")), QStringLiteral(" W")),
                 valueText(reply.value(QStringLiteral("temperature_c")), QStringLiteral(" °C")),
                 valueText(reply.value(QStringLiteral("locked")))));
    QStringList alarms;
    const QJsonArray active = reply.value(QStringLiteral("alarms")).toArray();
    for (const QJsonValue &alarm : active)
        alarms << alarm.toString();
    out(QStringLiteral("Alarms: %1")
            .arg(alarms.isEmpty() ? QStringLiteral("none") : alarms.join(QStringLiteral(", "))));
    const QJsonObject last = reply.value(QStringLiteral("last_remote")).toObject();
    if (!last.isEmpty())
        out(QStringLiteral("Last remote command: %1 by %2 (%3) at %4: %5")
                .arg(last.value(QStringLiteral("command")).toString(),
                     last.value(QStringLiteral("who")).toString(),
                     last.value(QStringLiteral("way")).toString(),
                     last.value(QStringLiteral("when")).toString(),
                     last.value(QStringLiteral("outcome")).toString()));
}

QString outcomeText(const QJsonObject &reply)
{
    const QString outcome = reply.value(QStringLiteral("outcome")).toString();
    if (outcome == QLatin1String("confirmed"))
        return QStringLiteral("confirmed by the transmitter");
    const QJsonArray acknowledged = reply.value(QStringLiteral("acknowledged")).toArray();
    if (reply.contains(QStringLiteral("acknowledged"))) {
        QStringList names;
        for (const QJsonValue &name : acknowledged)
            names << name.toString();
        return names.isEmpty() ? QStringLiteral("done, nothing waited for an acknowledgement")
                               : QStringLiteral("done (%1)").arg(names.join(QStringLiteral(", ")));
    }
    const QString reason = reply.value(QStringLiteral("reason")).toString();
    return reason.isEmpty() ? outcome : QStringLiteral("%1 (%2)").arg(outcome, reason);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("txpanelctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TXPANEL_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Asks a running txpanel (or txpaneld) over its control socket.\n\n"
                       "Commands:\n"
                       "  status              the transmitter's state as the panel reads it\n"
                       "  rf off              take the transmitter off the air\n"
                       "  rf on               put it on the air (when the station allows it)\n"
                       "  ack ALARM|all       acknowledge an alarm, or all of them\n"
                       "  frequency KHZ       program a frequency (when the station allows it)\n"
                       "  version             the program answering and its instance"));
    const QCommandLineOption socketOption(
        QStringLiteral("socket"),
        QStringLiteral("The control socket (default: $TXPANEL_CONTROL_SOCKET, else "
                       "$XDG_RUNTIME_DIR/txpanel/control)."),
        QStringLiteral("path"));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Print the reply as the panel sent it."));
    parser.addOption(socketOption);
    parser.addOption(jsonOption);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("status, rf off, rf on, ack ALARM|all, frequency "
                                                "KHZ, version"));
    if (!parser.parse(QCoreApplication::arguments())) {
        err(parser.errorText());
        return Trouble;
    }
    // No Qt option means anything to a command line tool: --help-all tells the same.
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp(Ok);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    const QStringList words = parser.positionalArguments();
    const QString verb = words.value(0).toLower();
    const bool usable =
        (words.size() == 1 &&
         (verb == QLatin1String("status") || verb == QLatin1String("version"))) ||
        (words.size() == 2 && (verb == QLatin1String("rf") || verb == QLatin1String("ack") ||
                               verb == QLatin1String("frequency")));
    if (!usable) {
        err(QStringLiteral("say status, rf off, rf on, ack ALARM|all, frequency KHZ or version "
                           "(--help tells more)"));
        return Trouble;
    }
    const QString path = parser.isSet(socketOption) ? parser.value(socketOption) : defaultSocket();
    if (path.isEmpty()) {
        err(QStringLiteral("no socket: XDG_RUNTIME_DIR is not set; use --socket"));
        return Trouble;
    }

    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(ConnectWaitMs)) {
        err(QStringLiteral("cannot reach %1: %2").arg(path, socket.errorString()));
        return Trouble;
    }
    const QByteArray request = words.join(QLatin1Char(' ')).toUtf8() + '\n';
    socket.write(request);
    QByteArray line;
    while (!line.contains('\n') && line.size() <= 4096) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(ReplyWaitMs))
            break;
        line += socket.readAll();
    }
    const qsizetype end = line.indexOf('\n');
    if (end < 0) {
        err(QStringLiteral("no reply from %1").arg(path));
        return Trouble;
    }
    line.truncate(end);
    const QJsonObject reply = QJsonDocument::fromJson(line).object();
    if (reply.value(QStringLiteral("protocol")).toInt() != 1 ||
        !reply.value(QStringLiteral("outcome")).isString()) {
        err(QStringLiteral("not a reply this program understands: %1")
                .arg(QString::fromUtf8(line.left(200))));
        return Trouble;
    }
    const QString outcome = reply.value(QStringLiteral("outcome")).toString();
    const bool ok = reply.value(QStringLiteral("ok")).toBool();
    const QString command =
        reply.value(QStringLiteral("command")).toString(words.join(QLatin1Char(' ')).toLower());
    const QString reason = reply.value(QStringLiteral("reason")).toString();
    if (parser.isSet(jsonOption))
        out(QString::fromUtf8(line));
    else if (ok && verb == QLatin1String("status"))
        showStatus(reply);
    else if (ok && verb == QLatin1String("version"))
        out(QStringLiteral("%1 %2")
                .arg(reply.value(QStringLiteral("program")).toString(),
                     reply.value(QStringLiteral("instance")).toString())
                .trimmed());
    else if (ok)
        out(QStringLiteral("%1: %2").arg(spoken(command), outcomeText(reply)));
    if (ok)
        return Ok;
    err(QStringLiteral("%1: %2: %3").arg(spoken(command), outcome, reason));
    return outcome == QLatin1String("refused") || outcome == QLatin1String("lost") ? Refused
                                                                                   : Trouble;
}
