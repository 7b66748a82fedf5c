// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "record/AlarmKind.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// One alarm as the operator and the outside see it: its state in the usual
// alarm-management terms and the when and who of its last raise, clear and
// acknowledgement. Times are UTC.
struct AlarmEntry
{
    enum class State
    {
        Normal,
        ActiveUnacknowledged,
        ActiveAcknowledged,
        // Cleared before anyone acknowledged it: it stays until someone does.
        ClearedUnacknowledged,
    };

    AlarmKind kind = AlarmKind::ForwardLow;
    State state = State::Normal;
    QDateTime raisedUtc;  // the last raise (invalid: never raised)
    QString raisedValue;  // what it was then ("2.5 W")
    QDateTime clearedUtc; // the clear after the last raise (invalid: none yet)
    QString clearedValue;
    QDateTime acknowledgedUtc; // the acknowledgement of the last raise (invalid: none yet)
    QString acknowledgedBy;    // the operating-system user who acknowledged it
    int raises = 0;            // since the program started
    // Raised and cleared more often than AlarmBook's chatter limit allows:
    // told once, then quiet (no more notifications, traps or log lines for
    // each flap) until it settles; chatterRaises counts the raises since it
    // began chattering.
    bool chattering = false;
    int chatterRaises = 0;

    bool active() const
    {
        return state == State::ActiveUnacknowledged || state == State::ActiveAcknowledged;
    }
    bool acknowledged() const
    {
        return state == State::Normal || state == State::ActiveAcknowledged;
    }
    // "normal", "active-unacknowledged", "active-acknowledged", "cleared-unacknowledged".
    static QString stateId(State state);
    // "active, unacknowledged"...
    static QString stateText(State state);
    // {"id", "title", "state", "active", "acknowledged", "raised", "raisedValue",
    //  "cleared", "clearedValue", "acknowledgedAt", "acknowledgedBy", "raises",
    //  "chattering", "chatterRaises"};
    // absent times are null, present ones ISO 8601 UTC with milliseconds.
    QJsonObject toJson() const;
};
