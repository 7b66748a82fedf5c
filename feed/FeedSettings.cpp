// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "feed/FeedSettings.h"

#include "settings/SettingsStore.h"

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
        QHostAddress parsed;
        if (text.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
            settings.address = QHostAddress(QHostAddress::LocalHost);
        else if (parsed.setAddress(text))
            settings.address = parsed;
        else
            settings.problem =
                QStringLiteral("[Feed] Address \"%1\" is not an IP address").arg(text);
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

QString FeedSettings::endpoint() const
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                             : address.toString();
    return host + QLatin1Char(':') + QString::number(port);
}
