// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

#include <optional>

// One alarm of a panel as its status feed tells it (the "alarms" array of
// /status.json, one object per alarm in the panel's fixed order), reduced to
// what the MIB's alarm table serves. What has not happened (no clear since
// the last raise, no acknowledgement) is absent, as the feed's nulls say.
struct AlarmStatus
{
    // The alarms, numbered as TxpanelAlarmCondition in the MIB.
    enum class Kind
    {
        ForwardLow = 1,
        ReflectedHigh = 2,
        VswrHigh = 3,
        TemperatureHigh = 4,
        LockLost = 5,
        LinkLost = 6,
        RfOff = 7
    };
    // As TxpanelAlarmStatus in the MIB.
    enum class State
    {
        Normal = 1,
        ActiveUnacknowledged = 2,
        ActiveAcknowledged = 3,
        ClearedUnacknowledged = 4
    };

    Kind kind = Kind::ForwardLow;
    QString name; // as the operator sees it: "REFLECTED POWER HIGH"
    State state = State::Normal;
    std::optional<QString> raisedValue;
    std::optional<QDateTime> raisedUtc;
    std::optional<QString> clearedValue;
    std::optional<QDateTime> clearedUtc;
    std::optional<QString> acknowledgedBy;
    std::optional<QDateTime> acknowledgedUtc;
    quint32 raises = 0;
    // Raised and cleared more often than a few times a minute (a panel that
    // does not say so is taken as not chattering).
    bool chattering = false;

    // One object of the feed's array; nothing when it is not an alarm this
    // agent knows (an id or a state a later panel may add, a missing field).
    static std::optional<AlarmStatus> fromJson(const QJsonObject &object);
    // "reflected-high" and the like, as the panel names them.
    static std::optional<Kind> kindFromFeed(const QString &id);
    static std::optional<State> stateFromFeed(const QString &text);
};
