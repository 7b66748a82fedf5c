// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "feed/FeedSettings.h"

#include "settings/SettingsStore.h"

#include <QRegularExpression>
#include <QSysInfo>

namespace {
QString section()
{
    return QStringLiteral("Feed");
}
} // namespace

FeedSettings FeedSettings::fromStore()
{
    FeedSettings settings;
    settings.enabled = SettingsStore::flag(section(), QStringLiteral("Enabled"), false);
    settings.name = QSysInfo::machineHostName();

    if (const std::optional<QVariant> name =
            SettingsStore::value(section(), QStringLiteral("Name"));
        name && name->typeId() == QMetaType::QString && !name->toString().trimmed().isEmpty())
        settings.name = name->toString().trimmed();

    if (const std::optional<QVariant> address =
            SettingsStore::value(section(), QStringLiteral("Address"))) {
        const QString text =
            address->typeId() == QMetaType::QString ? address->toString().trimmed() : QString();
        // Names are not looked up: a name server that is slow or wrong at
        // start-up would decide where a feed without authentication listens.
        QString why;
        if (const std::optional<QHostAddress> parsed = parseAddress(text, &why))
            settings.address = *parsed;
        else
            settings.problem = QStringLiteral("[Feed] Address \"%1\" %2").arg(text, why);
    }

    if (SettingsStore::value(section(), QStringLiteral("Port"))) {
        const int port = SettingsStore::number(section(), QStringLiteral("Port"), 0, 1, 65535);
        if (port == 0 && settings.problem.isEmpty())
            settings.problem =
                QStringLiteral("[Feed] Port \"%1\" is not a port number (1 to 65535)")
                    .arg(SettingsStore::value(section(), QStringLiteral("Port"))->toString());
        settings.port = quint16(port == 0 ? DefaultPort : port);
    }
    return settings;
}

std::optional<QHostAddress> FeedSettings::parseAddress(const QString &text, QString *why)
{
    if (text.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return QHostAddress(QHostAddress::LocalHost);
    QHostAddress parsed;
    if (text.contains(QLatin1Char(':'))) {
        if (parsed.setAddress(text) && parsed.protocol() == QAbstractSocket::IPv6Protocol)
            return parsed;
        *why = QStringLiteral("is not an IPv6 address");
        return std::nullopt;
    }
    static const QRegularExpression dotted(
        QStringLiteral("^(0|[1-9][0-9]{0,2})\\.(0|[1-9][0-9]{0,2})\\.(0|[1-9][0-9]{0,2})\\."
                       "(0|[1-9][0-9]{0,2})$"));
    const QRegularExpressionMatch match = dotted.match(text);
    bool inRange = match.hasMatch();
    for (int i = 1; inRange && i <= 4; ++i)
        inRange = match.captured(i).toInt() <= 255;
    if (inRange && parsed.setAddress(text))
        return parsed;
    *why = QStringLiteral(
        "is not a dotted IPv4 address (four numbers from 0 to 255, such as 127.0.0.1), an IPv6 "
        "address or localhost");
    return std::nullopt;
}

QString FeedSettings::exposureWarning(const QHostAddress &address, quint16 port)
{
    if (address.isLoopback())
        return QString();
    FeedSettings where;
    where.address = address;
    where.port = port;
    const bool everywhere = address == QHostAddress(QHostAddress::AnyIPv4) ||
                            address == QHostAddress(QHostAddress::AnyIPv6) ||
                            address == QHostAddress(QHostAddress::Any);
    return QStringLiteral("The status feed listens on %1, %2: anyone who can reach it there "
                          "reads the transmitter's state, without a password. Keep it behind a "
                          "firewall that lets only the monitoring system in.")
        .arg(where.endpoint(), everywhere
                                   ? QStringLiteral("on every network interface of this computer")
                                   : QStringLiteral("reachable from beyond this computer"));
}

QString FeedSettings::warning() const
{
    return enabled && problem.isEmpty() ? exposureWarning(address, port) : QString();
}

QString FeedSettings::endpoint() const
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                             : address.toString();
    return host + QLatin1Char(':') + QString::number(port);
}
