// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/AlarmBook.h"

using State = AlarmEntry::State;

AlarmBook::AlarmBook(QObject *parent) : QObject(parent)
{
    for (const AlarmKind kind : AlarmKinds::All) {
        at(kind).kind = kind;
        QTimer &timer = m_settle[AlarmKinds::index(kind)];
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, [this, kind] { settle(kind); });
    }
}

bool AlarmBook::noteRaise(AlarmKind kind, const QDateTime &utc)
{
    const auto i = AlarmKinds::index(kind);
    AlarmEntry &alarm = at(kind);
    std::deque<qint64> &recent = m_recentRaises[i];
    const qint64 now = utc.toMSecsSinceEpoch();
    recent.push_back(now);
    while (!recent.empty() && recent.front() < now - m_chatter.windowMs)
        recent.pop_front();
    if (alarm.chattering) {
        ++alarm.chatterRaises;
        m_settle[i].start(m_chatter.settleMs);
        return false;
    }
    if (int(recent.size()) <= m_chatter.raises)
        return true;
    alarm.chattering = true;
    alarm.chatterRaises = int(recent.size());
    m_settle[i].start(m_chatter.settleMs);
    Q_EMIT chatterChanged(alarm, true);
    return false;
}

void AlarmBook::settle(AlarmKind kind)
{
    const auto i = AlarmKinds::index(kind);
    AlarmEntry &alarm = at(kind);
    if (!alarm.chattering)
        return;
    alarm.chattering = false;
    alarm.chatterRaises = 0;
    m_recentRaises[i].clear();
    Q_EMIT chatterChanged(alarm, false);
    // Where it came to rest, if that is not what was last told.
    if (alarm.active() != m_toldActive[i]) {
        m_toldActive[i] = alarm.active();
        Q_EMIT changed(alarm, alarm.active() ? Transition::Raised : Transition::Cleared);
    }
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
    if (noteRaise(kind, alarm.raisedUtc)) {
        m_toldActive[AlarmKinds::index(kind)] = true;
        Q_EMIT changed(alarm, Transition::Raised);
    }
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
    if (!alarm.chattering) {
        m_toldActive[AlarmKinds::index(kind)] = false;
        Q_EMIT changed(alarm, Transition::Cleared);
    }
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
