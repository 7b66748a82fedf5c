// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/SnmpAgent.h"

#include "snmp/SnmpEventBridge.h"

#include <QTextStream>

// net-snmp wants its configuration header first, then its main one.
#include <net-snmp/net-snmp-config.h>

#include <net-snmp/net-snmp-includes.h>

#include <net-snmp/agent/agent_callbacks.h>
#include <net-snmp/agent/net-snmp-agent-includes.h>

#include <vector>

namespace {

const char AppName[] = "txpanel-snmp";
// snmpTrapOID.0 from SNMPv2-MIB: the first varbind of every notification
// after sysUpTime.0 (which send_v2trap adds itself).
const oid SnmpTrapOid[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

std::vector<oid> toNetSnmp(const Oid &from)
{
    return std::vector<oid>(from.begin(), from.end());
}

Oid fromNetSnmp(const oid *name, size_t length)
{
    Oid result;
    result.reserve(length);
    for (size_t i = 0; i < length; ++i)
        result.push_back(static_cast<quint32>(name[i]));
    return result;
}

void setValue(netsnmp_variable_list *vb, const MibValue &value)
{
    switch (value.kind) {
    case MibValue::Kind::Integer: {
        const long number = static_cast<long>(value.number);
        snmp_set_var_typed_value(vb, ASN_INTEGER, &number, sizeof number);
        break;
    }
    case MibValue::Kind::Unsigned: {
        const u_long number = static_cast<u_long>(value.number);
        snmp_set_var_typed_value(vb, ASN_UNSIGNED, &number, sizeof number);
        break;
    }
    case MibValue::Kind::Text:
        snmp_set_var_typed_value(vb, ASN_OCTET_STR, value.text.constData(),
                                 static_cast<size_t>(value.text.size()));
        break;
    }
}

int handleRequests(netsnmp_mib_handler *handler, netsnmp_handler_registration *,
                   netsnmp_agent_request_info *info, netsnmp_request_info *requests)
{
    const auto *agent = static_cast<const SnmpAgent *>(handler->myvoid);
    const MibView view = agent->snapshot();
    for (netsnmp_request_info *request = requests; request; request = request->next) {
        if (request->processed)
            continue;
        netsnmp_variable_list *vb = request->requestvb;
        const Oid asked = fromNetSnmp(vb->name, vb->name_length);
        switch (info->mode) {
        case MODE_GET:
            if (const MibValue *value = view.get(asked)) {
                setValue(vb, *value);
            } else {
                netsnmp_set_request_error(info, request,
                                          MibView::isObjectInstance(asked) ? SNMP_NOSUCHINSTANCE
                                                                           : SNMP_NOSUCHOBJECT);
            }
            break;
        case MODE_GETNEXT:
            // Past the last instance the varbind is left alone: the agent then
            // carries the search on to the next registered subtree.
            if (const auto *found = view.next(asked)) {
                const std::vector<oid> name = toNetSnmp(found->first);
                snmp_set_var_objid(vb, name.data(), name.size());
                setValue(vb, found->second);
            }
            break;
        default:
            // Registered read-only: sets are refused before they get here.
            netsnmp_set_request_error(info, request, SNMP_ERR_GENERR);
            break;
        }
    }
    return SNMP_ERR_NOERROR;
}

int onMasterConnected(int, int, void *, void *agent)
{
    static_cast<SnmpAgent *>(agent)->masterConnected();
    return 0;
}

int onMasterLost(int, int, void *, void *agent)
{
    static_cast<SnmpAgent *>(agent)->masterLost();
    return 0;
}

} // namespace

SnmpAgent::SnmpAgent(const QString &agentxSocket, int reconnectSeconds, Snapshot snapshot,
                     QObject *parent)
    : QObject(parent), socket_(agentxSocket), reconnectSeconds_(reconnectSeconds),
      snapshot_(std::move(snapshot)), events_(new SnmpEventBridge(this))
{
}

SnmpAgent::~SnmpAgent()
{
    if (!started_)
        return;
    snmp_unregister_callback(SNMP_CALLBACK_APPLICATION, SNMPD_CALLBACK_INDEX_START,
                             onMasterConnected, this, 1);
    snmp_unregister_callback(SNMP_CALLBACK_APPLICATION, SNMPD_CALLBACK_INDEX_STOP, onMasterLost,
                             this, 1);
    snmp_shutdown(AppName);
    shutdown_agent();
}

bool SnmpAgent::start()
{
    snmp_enable_stderrlog();
    if (!debugTokens_.isEmpty()) {
        debug_register_tokens(debugTokens_.toLocal8Bit().constData());
        snmp_set_do_debugging(1);
    }
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_ROLE, 1);
    if (!socket_.isEmpty()) {
        netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_X_SOCKET,
                              socket_.toLocal8Bit().constData());
    }
    // Our own words say when the master is missing, once; net-snmp would
    // repeat its warning at every attempt.
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_NO_CONNECTION_WARNINGS, 1);
    // Alarms (ping, reconnection) run from the Qt timer, not from SIGALRM.
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_ALARM_DONT_USE_SIG, 1);
    // Nothing to persist and nothing to configure beyond the command line:
    // no snmp.conf, no MIB files, no state written under /var/lib/snmp.
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    // A sub-agent needs no MIB files: without these it would read every MIB
    // the system has, complain about the missing ones and cache an index
    // under /var/lib/snmp.
    netsnmp_set_mib_directory("");
    qputenv("MIBS", QByteArray());

    snmp_register_callback(SNMP_CALLBACK_APPLICATION, SNMPD_CALLBACK_INDEX_START, onMasterConnected,
                           this);
    snmp_register_callback(SNMP_CALLBACK_APPLICATION, SNMPD_CALLBACK_INDEX_STOP, onMasterLost,
                           this);
    if (init_agent(AppName) != 0) {
        err() << "txpanel-snmp: the net-snmp agent library could not be set up\n";
        err().flush();
        return false;
    }
    started_ = true;
    // init_agent() sets its own default interval (15 s), so ours comes after.
    netsnmp_ds_set_int(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_AGENTX_PING_INTERVAL,
                       reconnectSeconds_);

    const std::vector<oid> base = toNetSnmp(MibView::objects());
    netsnmp_mib_handler *handler = netsnmp_create_handler(AppName, handleRequests);
    handler->myvoid = this;
    netsnmp_handler_registration *registration = netsnmp_handler_registration_create(
        AppName, handler, base.data(), base.size(), HANDLER_CAN_RONLY);
    if (netsnmp_register_handler(registration) != MIB_REGISTERED_OK) {
        err() << "txpanel-snmp: could not register TXPANEL-MIB with the agent library\n";
        err().flush();
        return false;
    }

    // Connects to the master, or arms the retry alarm when it is not there.
    init_snmp(AppName);
    if (!connected_) {
        err() << "txpanel-snmp: the AgentX master is not reachable at "
              << (socket_.isEmpty() ? QStringLiteral("the default socket (/var/agentx/master)")
                                    : socket_)
              << "; trying again every " << reconnectSeconds_
              << " s. Is snmpd running with \"master agentx\", and may this user open its "
                 "socket (agentXPerms)?\n";
        err().flush();
        toldUnreachable_ = true;
    }
    events_->rearm();
    return true;
}

void SnmpAgent::masterConnected()
{
    connected_ = true;
    if (toldUnreachable_) {
        err() << "txpanel-snmp: connected to the AgentX master\n";
        err().flush();
        toldUnreachable_ = false;
    }
}

void SnmpAgent::masterLost()
{
    connected_ = false;
    err() << "txpanel-snmp: lost the AgentX master (snmpd stopped or restarted?); "
             "trying again every "
          << reconnectSeconds_ << " s\n";
    err().flush();
    toldUnreachable_ = true;
}

void SnmpAgent::notify(NotificationTracker::Event event, int index, const MibView &view)
{
    MibView::Column subject = MibView::State;
    switch (event) {
    case NotificationTracker::Event::LinkUp:
    case NotificationTracker::Event::LinkDown:
        subject = MibView::State;
        break;
    case NotificationTracker::Event::LockLost:
    case NotificationTracker::Event::LockRegained:
        subject = MibView::Locked;
        break;
    case NotificationTracker::Event::TemperatureAlarmRaised:
    case NotificationTracker::Event::TemperatureAlarmCleared:
        subject = MibView::TemperatureAlarm;
        break;
    case NotificationTracker::Event::OnAirChanged:
        subject = MibView::OnAir;
        break;
    }
    sendNotification(static_cast<quint32>(event),
                     {MibView::cell(MibView::Name, index), MibView::cell(subject, index)}, view);
}

void SnmpAgent::notifyAlarm(AlarmTracker::Event event, int index, AlarmStatus::Kind kind,
                            const MibView &view)
{
    std::vector<Oid> objects{MibView::cell(MibView::Name, index),
                             MibView::alarmCell(MibView::AlarmName, index, kind),
                             MibView::alarmCell(MibView::AlarmState, index, kind)};
    switch (event) {
    case AlarmTracker::Event::Raised:
        objects.push_back(MibView::alarmCell(MibView::AlarmRaisedValue, index, kind));
        break;
    case AlarmTracker::Event::Cleared:
        objects.push_back(MibView::alarmCell(MibView::AlarmClearedValue, index, kind));
        break;
    case AlarmTracker::Event::Acknowledged:
        objects.push_back(MibView::alarmCell(MibView::AlarmRaisedValue, index, kind));
        objects.push_back(MibView::alarmCell(MibView::AlarmAcknowledgedBy, index, kind));
        break;
    }
    sendNotification(static_cast<quint32>(event), objects, view);
}

void SnmpAgent::sendNotification(quint32 number, const std::vector<Oid> &objects,
                                 const MibView &view)
{
    if (!connected_)
        return;
    netsnmp_variable_list *vars = nullptr;
    const std::vector<oid> trapOid = toNetSnmp(MibView::notification(number));
    snmp_varlist_add_variable(&vars, SnmpTrapOid, OID_LENGTH(SnmpTrapOid), ASN_OBJECT_ID,
                              trapOid.data(), trapOid.size() * sizeof(oid));
    for (const Oid &instance : objects) {
        const MibValue *value = view.get(instance);
        if (!value)
            continue;
        const std::vector<oid> name = toNetSnmp(instance);
        netsnmp_variable_list *vb =
            snmp_varlist_add_variable(&vars, name.data(), name.size(), ASN_NULL, nullptr, 0);
        if (vb)
            setValue(vb, *value);
    }
    send_v2trap(vars);
    snmp_free_varbind(vars);
    events_->rearm();
}
