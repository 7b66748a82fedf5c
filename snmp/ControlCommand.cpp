// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/ControlCommand.h"

#include "snmp/PanelStatus.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

#include <algorithm>

namespace ControlCommand {

namespace {

Verdict refuse(SetError error, const QString &reason)
{
    return Verdict{error, reason};
}

// Printable ASCII, so a written value can neither end the request line early
// nor smuggle a second request into it.
bool printableAscii(const QByteArray &text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

} // namespace

std::optional<QByteArray> request(MibView::Column column, const MibValue &value, Verdict *refusal)
{
    switch (column) {
    case MibView::RfCommand:
        if (value.kind != MibValue::Kind::Integer) {
            *refusal = refuse(SetError::WrongType, QStringLiteral("RF wants an INTEGER"));
            return std::nullopt;
        }
        if (value.number == 1)
            return QByteArray("rf on");
        if (value.number == 2)
            return QByteArray("rf off");
        *refusal = refuse(SetError::WrongValue,
                          QStringLiteral("RF wants on(1) or off(2), not %1").arg(value.number));
        return std::nullopt;
    case MibView::AlarmAcknowledge: {
        if (value.kind != MibValue::Kind::Text) {
            *refusal = refuse(SetError::WrongType,
                              QStringLiteral("an acknowledgement wants an OCTET STRING"));
            return std::nullopt;
        }
        const QByteArray alarm = value.text.trimmed();
        if (alarm.isEmpty() || alarm.size() > 64 || !printableAscii(alarm)) {
            *refusal = refuse(SetError::WrongValue,
                              QStringLiteral("an acknowledgement wants an alarm's name or \"all\" "
                                             "(printable ASCII, 1 to 64 characters)"));
            return std::nullopt;
        }
        return "ack " + alarm;
    }
    case MibView::FrequencySet:
        if (value.kind != MibValue::Kind::Unsigned) {
            *refusal = refuse(SetError::WrongType, QStringLiteral("a frequency wants a Gauge32"));
            return std::nullopt;
        }
        if (value.number < 1 || value.number > 999999) {
            *refusal = refuse(
                SetError::WrongValue,
                QStringLiteral("a frequency wants kHz from 1 to 999999, not %1").arg(value.number));
            return std::nullopt;
        }
        return "frequency " + QByteArray::number(value.number);
    default:
        *refusal = refuse(SetError::NotWritable, QStringLiteral("not a command"));
        return std::nullopt;
    }
}

bool validUserName(const QString &name)
{
    const QByteArray bytes = name.toUtf8();
    return !bytes.isEmpty() && bytes.size() <= 32 && printableAscii(bytes) && !bytes.contains(' ');
}

QByteArray requestLine(const QString &user, const QByteArray &request)
{
    return "via snmp " + user.toUtf8() + ' ' + request + '\n';
}

Verdict interpret(const QByteArray &reply)
{
    QJsonParseError parseError{};
    const QJsonDocument json = QJsonDocument::fromJson(reply, &parseError);
    const QJsonObject object = json.object();
    if (!json.isObject() || !object.value(QLatin1String("ok")).isBool())
        return refuse(SetError::GenErr,
                      QStringLiteral("the panel's reply is not one of its protocol: %1")
                          .arg(QString::fromUtf8(reply.left(200))));
    if (object.value(QLatin1String("ok")).toBool())
        return {};
    const QString outcome = object.value(QLatin1String("outcome")).toString();
    const QString reason = object.value(QLatin1String("reason")).toString();
    const QString told = QStringLiteral("%1: %2").arg(outcome, reason);
    switch (PanelStatus::outcomeFromText(outcome).value_or(PanelStatus::Outcome::Done)) {
    case PanelStatus::Outcome::Refused:
        // The protocol words the reason for the operator; "not allowed" is
        // how it says a command is switched off in the panel's settings,
        // which no retry changes.
        if (reason.contains(QLatin1String("not allowed"), Qt::CaseInsensitive))
            return refuse(SetError::NoAccess, told);
        if (reason.startsWith(QLatin1String("too many"), Qt::CaseInsensitive))
            return refuse(SetError::ResourceUnavailable, told);
        return refuse(SetError::InconsistentValue, told);
    case PanelStatus::Outcome::Lost:
        return refuse(SetError::CommitFailed, told);
    case PanelStatus::Outcome::Error:
        return refuse(SetError::WrongValue, told);
    case PanelStatus::Outcome::Done:
    case PanelStatus::Outcome::Confirmed:
        break;
    }
    return refuse(SetError::GenErr, QStringLiteral("not ok, yet %1").arg(told));
}

Verdict exchange(const QString &path, const QByteArray &line, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
        return refuse(SetError::ResourceUnavailable,
                      QStringLiteral("control socket %1: %2").arg(path, socket.errorString()));
    socket.write(line);
    QByteArray reply;
    while (!reply.contains('\n')) {
        if (reply.size() > MaxReplyBytes)
            return refuse(SetError::GenErr,
                          QStringLiteral("control socket %1: a reply over %2 bytes")
                              .arg(path)
                              .arg(MaxReplyBytes));
        if (deadline.hasExpired() ||
            (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())) &&
             socket.bytesAvailable() == 0)) {
            const bool closed = socket.state() != QLocalSocket::ConnectedState;
            return refuse(
                SetError::CommitFailed,
                QStringLiteral("control socket %1: %2 (the command may still be "
                               "carried out)")
                    .arg(path, closed ? QStringLiteral("closed before replying")
                                      : QStringLiteral("no reply within %1 ms").arg(timeoutMs)));
        }
        reply += socket.readAll();
    }
    return interpret(reply.left(reply.indexOf('\n')));
}

} // namespace ControlCommand
