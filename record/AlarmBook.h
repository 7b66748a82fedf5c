// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "record/AlarmEntry.h"
#include "record/AlarmKind.h"

#include <QJsonArray>
#include <QList>
#include <QObject>

#include <array>

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

    explicit AlarmBook(QObject *parent = nullptr);

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

private:
    AlarmEntry &at(AlarmKind kind) { return m_entries[AlarmKinds::index(kind)]; }
    std::array<AlarmEntry, AlarmKinds::All.size()> m_entries;
};
