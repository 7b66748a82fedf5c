// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/AlarmSettings.h"

#include "settings/SettingsStore.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {
constexpr QLatin1String Section("Alarms");

// A decimal number with a point ("1.5"); a comma would make it a list to
// the store, so it is not taken.
double decimal(const QString &key, double fallback, double minimum, double maximum)
{
    const std::optional<QVariant> stored = SettingsStore::value(Section, key);
    if (!stored || stored->typeId() != QMetaType::QString)
        return fallback;
    bool ok = false;
    const double parsed = stored->toString().trimmed().toDouble(&ok);
    return ok && std::isfinite(parsed) && parsed >= minimum && parsed <= maximum ? parsed
                                                                                 : fallback;
}

QStringList ignored()
{
    const std::optional<QVariant> stored = SettingsStore::value(Section, QStringLiteral("Ignore"));
    if (!stored)
        return {};
    // "Vswr, RfOff" reads as a list, "Vswr RfOff" as a text: both are meant.
    const QString text = stored->typeId() == QMetaType::QStringList
                             ? stored->toStringList().join(QLatin1Char(' '))
                             : stored->toString();
    return QString(text)
        .replace(QLatin1Char(','), QLatin1Char(' '))
        .simplified()
        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

bool isLowAlarm(AlarmKind kind)
{
    return kind == AlarmKind::ForwardLow;
}

bool hasThresholds(AlarmKind kind)
{
    return kind == AlarmKind::ForwardLow || kind == AlarmKind::ReflectedHigh ||
           kind == AlarmKind::VswrHigh || kind == AlarmKind::TemperatureHigh;
}
} // namespace

AlarmSettings AlarmSettings::defaults()
{
    AlarmSettings settings;
    settings[AlarmKind::ForwardLow] = {5.0, 6.0, 5.0, true};
    settings[AlarmKind::ReflectedHigh] = {2.0, 1.5, 5.0, true};
    settings[AlarmKind::VswrHigh] = {2.0, 1.8, 5.0, true};
    settings[AlarmKind::TemperatureHigh] = {65.0, 60.0, 5.0, true};
    settings[AlarmKind::LockLost] = {0, 0, 3.0, true};
    settings[AlarmKind::LinkLost] = {0, 0, 0.0, true};
    settings[AlarmKind::RfOff] = {0, 0, 2.0, true};
    return settings;
}

AlarmSettings AlarmSettings::fromStore()
{
    AlarmSettings settings = defaults();
    settings.enabled = SettingsStore::flag(Section, QStringLiteral("Enabled"), false);
    settings.notify = SettingsStore::flag(Section, QStringLiteral("Notify"), true);
    settings.readings =
        SettingsStore::number(Section, QStringLiteral("Readings"), settings.readings, 1, 1000);
    const QStringList ignore = ignored();
    for (const AlarmKind kind : AlarmKinds::All) {
        Limits &limits = settings[kind];
        const QString stem = AlarmKinds::settingStem(kind);
        limits.watched = !ignore.contains(stem, Qt::CaseInsensitive);
        limits.delaySeconds =
            decimal(stem + QStringLiteral("Delay"), limits.delaySeconds, 0.0, 86400.0);
        if (!hasThresholds(kind))
            continue;
        limits.raise = decimal(stem + QStringLiteral("Raise"), limits.raise, -1e6, 1e6);
        limits.clear = decimal(stem + QStringLiteral("Clear"), limits.clear, -1e6, 1e6);
        limits.clear = isLowAlarm(kind) ? std::max(limits.clear, limits.raise)
                                        : std::min(limits.clear, limits.raise);
    }
    return settings;
}
