// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "snmp/AlarmTracker.h"
#include "snmp/MibView.h"
#include "snmp/NotificationTracker.h"

#include <QObject>
#include <QString>

#include <functional>

class SnmpEventBridge;

// The AgentX sub-agent: connects to the master snmpd, registers
// txpanelObjects read-only, answers each request at once from a fresh
// MibView, and sends notifications through the master. net-snmp keeps its
// state in globals, so a process has one of these at most.
//
// While the master is away (not started yet, or restarted) requests cannot
// come and notifications are dropped; net-snmp tries again every
// `reconnectSeconds` and pings a connected master as often, so a restarted
// snmpd gets the registration back without the sub-agent restarting.
class SnmpAgent : public QObject
{
    Q_OBJECT
public:
    using Snapshot = std::function<MibView()>;

    SnmpAgent(const QString &agentxSocket, int reconnectSeconds, Snapshot snapshot,
              QObject *parent = nullptr);
    ~SnmpAgent() override;

    SnmpAgent(const SnmpAgent &) = delete;
    SnmpAgent &operator=(const SnmpAgent &) = delete;

    // Connects (or starts trying to) and registers the MIB; false when
    // net-snmp could not even be set up, with the reason on stderr.
    bool start();

    bool connected() const { return connected_; }

    // net-snmp's debug tokens to print (before start()).
    void setDebugTokens(const QString &tokens) { debugTokens_ = tokens; }

    // Sends the notification for `event` about panel `index` (1-based), its
    // objects taken from `view`.
    void notify(NotificationTracker::Event event, int index, const MibView &view);
    // Sends the notification for `event` about that alarm of panel `index`.
    void notifyAlarm(AlarmTracker::Event event, int index, AlarmStatus::Kind kind,
                     const MibView &view);

    // For net-snmp's C callbacks.
    MibView snapshot() const { return snapshot_(); }
    void masterConnected();
    void masterLost();

private:
    // snmpTrapOID.0 the notification `number`, then each of `objects` that
    // `view` has (an instance the panel has not told is left out).
    void sendNotification(quint32 number, const std::vector<Oid> &objects, const MibView &view);

    QString socket_;
    QString debugTokens_;
    int reconnectSeconds_;
    Snapshot snapshot_;
    SnmpEventBridge *events_;
    bool started_ = false;
    bool connected_ = false;
    bool toldUnreachable_ = false;
};
