// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/AlarmBook.h"

using State = AlarmEntry::State;

AlarmBook::AlarmBook(QObject *parent) : QObject(parent)
{
    for (const AlarmKind kind : AlarmKinds::All)
        at(kind).kind = kind;
}

QList<AlarmEntry> AlarmBook::attention() const
{
    QList<AlarmEntry> list;
    for (const AlarmEntry &alarm : m_entries) {
        if (alarm.state != State::Normal)
            list << alarm;
    }
    return list;
}

QJsonArray AlarmBook::toJson() const
{
    QJsonArray array;
    for (const AlarmEntry &alarm : m_entries)
        array.append(alarm.toJson());
    return array;
}

bool AlarmBook::raise(AlarmKind kind, const QString &value, const QDateTime &utc)
{
    AlarmEntry &alarm = at(kind);
    if (alarm.active())
        return false;
    alarm.state = State::ActiveUnacknowledged;
    alarm.raisedUtc = utc.toUTC();
    alarm.raisedValue = value;
    alarm.clearedUtc = QDateTime();
    alarm.clearedValue = QString();
    // A new occurrence needs its own acknowledgement.
    alarm.acknowledgedUtc = QDateTime();
    alarm.acknowledgedBy = QString();
    ++alarm.raises;
    Q_EMIT changed(alarm, Transition::Raised);
    return true;
}

bool AlarmBook::clear(AlarmKind kind, const QString &value, const QDateTime &utc)
{
    AlarmEntry &alarm = at(kind);
    if (!alarm.active())
        return false;
    alarm.state =
        alarm.state == State::ActiveAcknowledged ? State::Normal : State::ClearedUnacknowledged;
    alarm.clearedUtc = utc.toUTC();
    alarm.clearedValue = value;
    Q_EMIT changed(alarm, Transition::Cleared);
    return true;
}

bool AlarmBook::acknowledge(AlarmKind kind, const QString &user, const QDateTime &utc)
{
    AlarmEntry &alarm = at(kind);
    if (alarm.acknowledged())
        return false;
    alarm.state =
        alarm.state == State::ActiveUnacknowledged ? State::ActiveAcknowledged : State::Normal;
    alarm.acknowledgedUtc = utc.toUTC();
    alarm.acknowledgedBy = user;
    Q_EMIT changed(alarm, Transition::Acknowledged);
    return true;
}
