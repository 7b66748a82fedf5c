// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "snmp/AlarmTracker.h"
#include "snmp/MibView.h"
#include "snmp/NotificationTracker.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

class SnmpEventBridge;

// The AgentX sub-agent: connects to the master snmpd, registers
// txpanelObjects, answers each read at once from a fresh MibView, passes a
// Set of a command column to that panel's control socket, and sends
// notifications through the master. net-snmp keeps its
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
    // Each panel's control socket (empty: none), and the SNMP users (their
    // contexts) whose Sets are taken (before start()).
    void setCommands(std::vector<QString> controlSockets, QStringList writers)
    {
        controlSockets_ = std::move(controlSockets);
        writers_ = std::move(writers);
    }

    // Sends the notification for `event` about panel `index` (1-based), its
    // objects taken from `view`.
    void notify(NotificationTracker::Event event, int index, const MibView &view);
    // Sends the notification for `event` about that alarm of panel `index`.
    void notifyAlarm(AlarmTracker::Event event, int index, AlarmStatus::Kind kind,
                     const MibView &view);

    // For net-snmp's C callbacks.
    MibView snapshot() const { return snapshot_(); }
    QString controlSocket(int index) const
    {
        return index >= 1 && static_cast<std::size_t>(index) <= controlSockets_.size()
                   ? controlSockets_[static_cast<std::size_t>(index) - 1]
                   : QString();
    }
    bool isWriter(const QString &context) const { return writers_.contains(context); }
    // The answer given to the test of an AgentX Set transaction, if any, and
    // its record.
    std::optional<int> testedBefore(long transaction) const;
    void tested(long transaction, int error);
    void masterConnected();
    void masterLost();

private:
    // snmpTrapOID.0 the notification `number`, then each of `objects` that
    // `view` has (an instance the panel has not told is left out).
    void sendNotification(quint32 number, const std::vector<Oid> &objects, const MibView &view);

    QString socket_;
    QString debugTokens_;
    std::vector<QString> controlSockets_;
    QStringList writers_;
    std::deque<std::pair<long, int>> tested_;
    int reconnectSeconds_;
    Snapshot snapshot_;
    SnmpEventBridge *events_;
    bool started_ = false;
    bool connected_ = false;
    bool toldUnreachable_ = false;
};
