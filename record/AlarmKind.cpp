// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/AlarmKind.h"

namespace AlarmKinds {
QString id(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::ForwardLow:
        return QStringLiteral("forward-low");
    case AlarmKind::ReflectedHigh:
        return QStringLiteral("reflected-high");
    case AlarmKind::VswrHigh:
        return QStringLiteral("vswr-high");
    case AlarmKind::TemperatureHigh:
        return QStringLiteral("temperature-high");
    case AlarmKind::LockLost:
        return QStringLiteral("lock-lost");
    case AlarmKind::LinkLost:
        return QStringLiteral("link-lost");
    case AlarmKind::RfOff:
        return QStringLiteral("rf-off");
    }
    return QString();
}

std::optional<AlarmKind> fromId(const QString &text)
{
    for (const AlarmKind kind : All) {
        if (id(kind) == text)
            return kind;
    }
    return std::nullopt;
}

QString title(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::ForwardLow:
        return QStringLiteral("FORWARD POWER LOW");
    case AlarmKind::ReflectedHigh:
        return QStringLiteral("REFLECTED POWER HIGH");
    case AlarmKind::VswrHigh:
        return QStringLiteral("VSWR HIGH");
    case AlarmKind::TemperatureHigh:
        return QStringLiteral("TEMPERATURE HIGH");
    case AlarmKind::LockLost:
        return QStringLiteral("LOCK LOST");
    case AlarmKind::LinkLost:
        return QStringLiteral("LINK LOST");
    case AlarmKind::RfOff:
        return QStringLiteral("RF OFF THE AIR");
    }
    return QString();
}

QString settingStem(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::ForwardLow:
        return QStringLiteral("ForwardLow");
    case AlarmKind::ReflectedHigh:
        return QStringLiteral("Reflected");
    case AlarmKind::VswrHigh:
        return QStringLiteral("Vswr");
    case AlarmKind::TemperatureHigh:
        return QStringLiteral("Temperature");
    case AlarmKind::LockLost:
        return QStringLiteral("Lock");
    case AlarmKind::LinkLost:
        return QStringLiteral("Link");
    case AlarmKind::RfOff:
        return QStringLiteral("RfOff");
    }
    return QString();
}
} // namespace AlarmKinds
