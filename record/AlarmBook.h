// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "record/AlarmEntry.h"
#include "record/AlarmKind.h"

#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QTimer>

#include <array>
#include <deque>

// The station's alarms and their states: what the Station window lists, and
// what the status feed and the SNMP agent publish.
//
// For readers outside the panel the whole API is:
//   - toJson(): a snapshot, one object per alarm kind in a fixed order (see
//     AlarmEntry::toJson), normal ones included;
//   - changed(entry, transition): after every raise, clear and
//     acknowledgement, with the entry as it now stands;
//   - entry(kind), attention(): the same as values.
// Everything runs on the GUI thread; nothing here talks to the transmitter.
//
// States move as alarm-management practice has them:
//   normal -raise-> active unacknowledged -acknowledge-> active acknowledged -clear-> normal
//   active unacknowledged -clear-> cleared unacknowledged -acknowledge-> normal
//   cleared unacknowledged -raise-> active unacknowledged (raised again)
//
// An alarm raised more than ChatterLimits::raises times within
// ChatterLimits::windowMs is chattering (a reading flapping about its
// threshold): chatterChanged(entry, true) once, and from then on its raises
// and clears change the entry (its state, its counts) without changed(), so
// that one notification, one trap and one log line stand for all of them.
// Once no raise has come for settleMs it has settled: chatterChanged(entry,
// false), then changed() for the state it settled in if that differs from
// the last one told.
class AlarmBook : public QObject
{
    Q_OBJECT
public:
    enum class Transition
    {
        Raised,
        Cleared,
        Acknowledged,
    };
    Q_ENUM(Transition)

    struct ChatterLimits
    {
        int raises = 3;
        int windowMs = 60 * 1000;
        int settleMs = 60 * 1000;
    };

    explicit AlarmBook(QObject *parent = nullptr);
    // A test shortens the window and the settling time; the panel keeps these.
    void setChatterLimits(const ChatterLimits &limits) { m_chatter = limits; }

    const AlarmEntry &entry(AlarmKind kind) const { return m_entries[AlarmKinds::index(kind)]; }
    // Every alarm that is not normal, in the fixed order.
    QList<AlarmEntry> attention() const;
    QJsonArray toJson() const;

    // Each returns false, and changes nothing, when the alarm's state does
    // not allow the step (raising an active alarm, acknowledging a normal one).
    bool raise(AlarmKind kind, const QString &value, const QDateTime &utc);
    bool clear(AlarmKind kind, const QString &value, const QDateTime &utc);
    bool acknowledge(AlarmKind kind, const QString &user, const QDateTime &utc);

Q_SIGNALS:
    void changed(const AlarmEntry &entry, AlarmBook::Transition transition);
    void chatterChanged(const AlarmEntry &entry, bool chattering);

private:
    AlarmEntry &at(AlarmKind kind) { return m_entries[AlarmKinds::index(kind)]; }
    // A raise just happened: true when it is to be told (not chattering).
    bool noteRaise(AlarmKind kind, const QDateTime &utc);
    void settle(AlarmKind kind);

    std::array<AlarmEntry, AlarmKinds::All.size()> m_entries;
    ChatterLimits m_chatter;
    // Per alarm: the recent raises' times (ms since the epoch), the settling
    // timer, and whether the last state told was active.
    std::array<std::deque<qint64>, AlarmKinds::All.size()> m_recentRaises;
    std::array<QTimer, AlarmKinds::All.size()> m_settle;
    std::array<bool, AlarmKinds::All.size()> m_toldActive{};
};
