// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/AlarmStatus.h"

#include <QJsonValue>

#include <cmath>

namespace {

std::optional<QString> text(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<QDateTime> time(const QJsonObject &object, const char *key)
{
    const std::optional<QString> value = text(object, key);
    if (!value)
        return std::nullopt;
    const QDateTime parsed = QDateTime::fromString(*value, Qt::ISODateWithMs);
    if (!parsed.isValid())
        return std::nullopt;
    return parsed.toUTC();
}

} // namespace

std::optional<AlarmStatus::Kind> AlarmStatus::kindFromFeed(const QString &id)
{
    static const struct
    {
        const char *id;
        Kind kind;
    } kinds[] = {{"forward-low", Kind::ForwardLow},
                 {"reflected-high", Kind::ReflectedHigh},
                 {"vswr-high", Kind::VswrHigh},
                 {"temperature-high", Kind::TemperatureHigh},
                 {"lock-lost", Kind::LockLost},
                 {"link-lost", Kind::LinkLost},
                 {"rf-off", Kind::RfOff}};
    for (const auto &known : kinds) {
        if (id == QLatin1String(known.id))
            return known.kind;
    }
    return std::nullopt;
}

std::optional<AlarmStatus::State> AlarmStatus::stateFromFeed(const QString &text)
{
    static const struct
    {
        const char *text;
        State state;
    } states[] = {{"normal", State::Normal},
                  {"active-unacknowledged", State::ActiveUnacknowledged},
                  {"active-acknowledged", State::ActiveAcknowledged},
                  {"cleared-unacknowledged", State::ClearedUnacknowledged}};
    for (const auto &known : states) {
        if (text == QLatin1String(known.text))
            return known.state;
    }
    return std::nullopt;
}

std::optional<AlarmStatus> AlarmStatus::fromJson(const QJsonObject &object)
{
    const std::optional<Kind> kind = kindFromFeed(text(object, "id").value_or(QString()));
    const std::optional<State> state = stateFromFeed(text(object, "state").value_or(QString()));
    if (!kind || !state)
        return std::nullopt;
    AlarmStatus alarm;
    alarm.kind = *kind;
    alarm.state = *state;
    alarm.name = text(object, "title").value_or(QString());
    alarm.raisedValue = text(object, "raisedValue");
    alarm.raisedUtc = time(object, "raised");
    alarm.clearedValue = text(object, "clearedValue");
    alarm.clearedUtc = time(object, "cleared");
    alarm.acknowledgedBy = text(object, "acknowledgedBy");
    alarm.acknowledgedUtc = time(object, "acknowledgedAt");
    alarm.chattering = object.value(QLatin1String("chattering")).toBool(false);
    const QJsonValue raises = object.value(QLatin1String("raises"));
    if (raises.isDouble() && raises.toDouble() >= 0 && raises.toDouble() <= 4294967295.0)
        alarm.raises = static_cast<quint32>(std::floor(raises.toDouble()));
    return alarm;
}
