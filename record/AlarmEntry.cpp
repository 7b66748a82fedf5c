// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/AlarmEntry.h"

#include <QJsonValue>

namespace {
QJsonValue utcOrNull(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODateWithMs))
                          : QJsonValue(QJsonValue::Null);
}
QJsonValue textOrNull(const QString &text)
{
    return text.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}
} // namespace

QString AlarmEntry::stateId(State state)
{
    switch (state) {
    case State::Normal:
        return QStringLiteral("normal");
    case State::ActiveUnacknowledged:
        return QStringLiteral("active-unacknowledged");
    case State::ActiveAcknowledged:
        return QStringLiteral("active-acknowledged");
    case State::ClearedUnacknowledged:
        return QStringLiteral("cleared-unacknowledged");
    }
    return QString();
}

QString AlarmEntry::stateText(State state)
{
    switch (state) {
    case State::Normal:
        return QStringLiteral("normal");
    case State::ActiveUnacknowledged:
        return QStringLiteral("active, unacknowledged");
    case State::ActiveAcknowledged:
        return QStringLiteral("active, acknowledged");
    case State::ClearedUnacknowledged:
        return QStringLiteral("cleared, unacknowledged");
    }
    return QString();
}

QJsonObject AlarmEntry::toJson() const
{
    return QJsonObject{
        {QStringLiteral("id"), AlarmKinds::id(kind)},
        {QStringLiteral("title"), AlarmKinds::title(kind)},
        {QStringLiteral("state"), stateId(state)},
        {QStringLiteral("active"), active()},
        {QStringLiteral("acknowledged"), acknowledged()},
        {QStringLiteral("raised"), utcOrNull(raisedUtc)},
        {QStringLiteral("raisedValue"), textOrNull(raisedValue)},
        {QStringLiteral("cleared"), utcOrNull(clearedUtc)},
        {QStringLiteral("clearedValue"), textOrNull(clearedValue)},
        {QStringLiteral("acknowledgedAt"), utcOrNull(acknowledgedUtc)},
        {QStringLiteral("acknowledgedBy"), textOrNull(acknowledgedBy)},
        {QStringLiteral("raises"), raises},
        {QStringLiteral("chattering"), chattering},
        {QStringLiteral("chatterRaises"), chatterRaises},
    };
}
