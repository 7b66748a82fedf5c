// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordSettings.h"

#include "settings/SettingsStore.h"

#include <QDir>
#include <QStandardPaths>

#include <algorithm>

QString RecordSettings::defaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("txpanel/record.sqlite"));
}

RecordSettings RecordSettings::fromStore()
{
    const QString section = QStringLiteral("Record");
    RecordSettings settings;
    settings.enabled = SettingsStore::flag(section, QStringLiteral("Enabled"), false);
    if (!settings.enabled)
        return settings;
    const std::optional<QVariant> path = SettingsStore::value(section, QStringLiteral("Path"));
    settings.path = path && path->typeId() == QMetaType::QString && !path->toString().isEmpty()
                        ? QDir::cleanPath(path->toString())
                        : defaultPath();
    settings.rawDays =
        SettingsStore::number(section, QStringLiteral("RawDays"), settings.rawDays, 1, 3660);
    settings.keepDays =
        SettingsStore::number(section, QStringLiteral("KeepDays"), settings.keepDays, 1, 36600);
    // Minutes are made from the raw samples: they cannot go before them.
    settings.keepDays = std::max(settings.keepDays, settings.rawDays);
    return settings;
}
