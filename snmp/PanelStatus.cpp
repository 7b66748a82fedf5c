// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/PanelStatus.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A reading counts only when its value is of the expected kind; its age then
// counts towards the row's reading age.
struct ReadingScan
{
    QJsonObject readings;
    std::optional<double> oldestAge;

    std::optional<QJsonValue> value(const char *key)
    {
        const QJsonValue entry = readings.value(QLatin1String(key));
        if (!entry.isObject())
            return std::nullopt;
        const QJsonObject object = entry.toObject();
        const QJsonValue value = object.value(QLatin1String("value"));
        if (value.isNull() || value.isUndefined())
            return std::nullopt;
        return value;
    }

    void noteAge(const char *key)
    {
        const QJsonValue age =
            readings.value(QLatin1String(key)).toObject().value(QLatin1String("age_s"));
        if (age.isDouble() && age.toDouble() >= 0)
            oldestAge = std::max(oldestAge.value_or(0.0), age.toDouble());
    }

    std::optional<qint32> scaled(const char *key, double factor)
    {
        const std::optional<QJsonValue> v = value(key);
        if (!v || !v->isDouble())
            return std::nullopt;
        const double x = std::round(v->toDouble() * factor);
        if (!std::isfinite(x) || x < std::numeric_limits<qint32>::min() ||
            x > std::numeric_limits<qint32>::max())
            return std::nullopt;
        noteAge(key);
        return static_cast<qint32>(x);
    }

    std::optional<bool> flag(const char *key)
    {
        const std::optional<QJsonValue> v = value(key);
        if (!v || !v->isBool())
            return std::nullopt;
        noteAge(key);
        return v->toBool();
    }

    std::optional<quint32> whole(const char *key)
    {
        const std::optional<QJsonValue> v = value(key);
        if (!v || !v->isDouble())
            return std::nullopt;
        const double x = std::round(v->toDouble());
        if (!std::isfinite(x) || x < 0 || x > std::numeric_limits<quint32>::max())
            return std::nullopt;
        noteAge(key);
        return static_cast<quint32>(x);
    }
};

QString stringField(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : QString();
}

} // namespace

std::optional<PanelStatus::State> PanelStatus::stateFromFeed(const QString &text)
{
    static const struct
    {
        const char *text;
        State state;
    } states[] = {{"off", State::Off},
                  {"connecting", State::Connecting},
                  {"polling", State::Polling},
                  {"ended", State::Ended},
                  {"port-not-available", State::PortNotAvailable},
                  {"resuming", State::Resuming}};
    for (const auto &known : states) {
        if (text == QLatin1String(known.text))
            return known.state;
    }
    return std::nullopt;
}

std::optional<PanelStatus::Outcome> PanelStatus::outcomeFromText(const QString &text)
{
    static const struct
    {
        const char *text;
        Outcome outcome;
    } outcomes[] = {{"done", Outcome::Done},
                    {"confirmed", Outcome::Confirmed},
                    {"refused", Outcome::Refused},
                    {"lost", Outcome::Lost},
                    {"error", Outcome::Error}};
    for (const auto &known : outcomes) {
        if (text == QLatin1String(known.text))
            return known.outcome;
    }
    return std::nullopt;
}

std::optional<PanelStatus> PanelStatus::fromJson(const QByteArray &document, QString *error)
{
    QJsonParseError parseError{};
    const QJsonDocument json = QJsonDocument::fromJson(document, &parseError);
    if (json.isNull()) {
        *error = QStringLiteral("not JSON (%1 at byte %2)")
                     .arg(parseError.errorString())
                     .arg(parseError.offset);
        return std::nullopt;
    }
    if (!json.isObject()) {
        *error = QStringLiteral("JSON but not an object");
        return std::nullopt;
    }
    const QJsonObject root = json.object();
    const QString stateText = stringField(root, "state");
    const std::optional<State> state = stateFromFeed(stateText);
    if (!state) {
        *error = root.contains(QLatin1String("state"))
                     ? QStringLiteral("unknown state \"%1\"").arg(stateText)
                     : QStringLiteral("no \"state\"");
        return std::nullopt;
    }

    PanelStatus status;
    status.state = *state;
    status.name = stringField(root, "name");
    status.device = stringField(root, "device");
    status.firmware = stringField(root, "firmware");
    const QJsonValue connected = root.value(QLatin1String("connected_s"));
    // Bounded before the conversion: a double beyond qint64 would not convert.
    if (connected.isDouble() && connected.toDouble() >= 0 && connected.toDouble() < 1e15)
        status.connectedSeconds = static_cast<qint64>(connected.toDouble());

    ReadingScan scan{root.value(QLatin1String("readings")).toObject(), std::nullopt};
    status.forwardTenthsW = scan.scaled("forward_w", 10);
    status.reflectedTenthsW = scan.scaled("reflected_w", 10);
    status.vswrHundredths = scan.scaled("vswr", 100);
    status.temperatureTenthsC = scan.scaled("temperature_c", 10);
    status.temperatureAlarm = scan.flag("temperature_alarm");
    status.locked = scan.flag("locked");
    status.onAir = scan.flag("on_air");
    status.frequencyKhz = scan.whole("frequency_khz");
    if (scan.oldestAge) {
        const double tenths = std::round(*scan.oldestAge * 10);
        status.readingAgeTenthsS =
            static_cast<qint32>(std::min<double>(tenths, std::numeric_limits<qint32>::max()));
    }
    // Each alarm once: a second object for the same one is not the panel's.
    const QJsonArray alarms = root.value(QLatin1String("alarms")).toArray();
    for (const QJsonValue &entry : alarms) {
        const std::optional<AlarmStatus> alarm = AlarmStatus::fromJson(entry.toObject());
        if (alarm && std::none_of(status.alarms.begin(), status.alarms.end(),
                                  [&](const AlarmStatus &a) { return a.kind == alarm->kind; }))
            status.alarms.push_back(*alarm);
    }
    const QJsonValue remote = root.value(QLatin1String("last_remote"));
    if (remote.isObject()) {
        const QJsonObject object = remote.toObject();
        LastRemote last;
        const QDateTime when =
            QDateTime::fromString(stringField(object, "when"), Qt::ISODateWithMs);
        if (when.isValid())
            last.whenUtc = when.toUTC();
        last.who = stringField(object, "who");
        last.way = stringField(object, "way");
        last.command = stringField(object, "command");
        last.outcome = outcomeFromText(stringField(object, "outcome"));
        status.lastRemote = last;
    }
    return status;
}

void PanelStatus::markUnread(State why)
{
    const PanelStatus kept = *this;
    *this = PanelStatus{};
    name = kept.name;
    device = kept.device;
    firmware = kept.firmware;
    state = why;
}
