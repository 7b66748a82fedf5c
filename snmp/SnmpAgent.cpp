// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/SnmpAgent.h"

#include "snmp/ControlCommand.h"
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

// How long a Set waits for the panel's reply, blocking this program's event
// loop (feeds are not read, other requests wait in snmpd meanwhile). The
// panel answers an RF or frequency command within a status cycle and an
// exchange, a fraction of a second at line pace, so 5 s leaves a loaded
// machine ample room; only a silent line takes longer (the panel's
// supervision time, 15 s), and waiting that out would stall every reader of
// the MIB as long. A manager's snmpset (1 s and 5 retries by default) has
// given up by then anyway; past the bound the Set fails with commitFailed,
// and txpanelPanelLastRemoteOutcome tells later how the command ended.
constexpr int SetWaitMs = 5000;

int snmpError(ControlCommand::SetError error)
{
    using ControlCommand::SetError;
    switch (error) {
    case SetError::None:
        return SNMP_ERR_NOERROR;
    case SetError::WrongType:
        return SNMP_ERR_WRONGTYPE;
    case SetError::WrongValue:
        return SNMP_ERR_WRONGVALUE;
    case SetError::NoAccess:
        return SNMP_ERR_NOACCESS;
    case SetError::NotWritable:
        return SNMP_ERR_NOTWRITABLE;
    case SetError::InconsistentValue:
        return SNMP_ERR_INCONSISTENTVALUE;
    case SetError::ResourceUnavailable:
        return SNMP_ERR_RESOURCEUNAVAILABLE;
    case SetError::CommitFailed:
        return SNMP_ERR_COMMITFAILED;
    case SetError::GenErr:
        break;
    }
    return SNMP_ERR_GENERR;
}

// The written value as the model sees it; Text for a type that is no
// command's, so that the column's own check says wrongType.
MibValue writtenValue(const netsnmp_variable_list *vb)
{
    switch (vb->type) {
    case ASN_INTEGER:
        return {MibValue::Kind::Integer, *vb->val.integer, {}};
    case ASN_UNSIGNED:
        return {MibValue::Kind::Unsigned, static_cast<qint64>(*vb->val.integer & 0xFFFFFFFFUL), {}};
    case ASN_OCTET_STR:
        return {MibValue::Kind::Text, 0,
                QByteArray(reinterpret_cast<const char *>(vb->val.string),
                           static_cast<int>(vb->val_len))};
    default:
        return {MibValue::Kind::Text, -1, {}};
    }
}

void tell(const QString &line)
{
    err() << "txpanel-snmp: " << line << '\n';
    err().flush();
}

// Checks a Set's varbind (RESERVE1) and, when `send`, passes it to the
// panel and waits for the reply (RESERVE2). Both run inside AgentX's one
// test phase, so a panel's refusal can still be answered with a test-phase
// error (inconsistentValue) rather than a failed commit; a command the
// panel carried out is not undone when another varbind fails later.
int setRequest(const SnmpAgent &agent, netsnmp_agent_request_info *info, netsnmp_variable_list *vb,
               bool send)
{
    const Oid asked = fromNetSnmp(vb->name, vb->name_length);
    const auto cell = MibView::panelCell(asked);
    if (!cell || !MibView::isCommand(cell->first))
        return SNMP_ERR_NOTWRITABLE;
    const int index = cell->second;
    const QString socket = agent.controlSocket(index);
    const netsnmp_pdu *pdu = info->asp->pdu;
    const QString context =
        QString::fromUtf8(pdu->contextName, static_cast<int>(pdu->contextNameLen));
    const QString who = QStringLiteral("panel %1: SNMP context \"%2\"").arg(index).arg(context);
    if (socket.isEmpty()) {
        if (!send)
            tell(QStringLiteral("%1: refused a Set: no control socket for this panel").arg(who));
        return SNMP_ERR_NOTWRITABLE;
    }
    // AgentX tells no security model or user, so the context stands for the
    // user: snmpd opens each writer's context to that user alone, with
    // authPriv. Should a master ever pass them, a Set that is not USM authPriv
    // is refused as well.
    const bool weakSecurity = pdu->securityModel == SNMP_SEC_MODEL_USM
                                  ? pdu->securityLevel != SNMP_SEC_LEVEL_AUTHPRIV
                                  : pdu->securityModel == SNMP_SEC_MODEL_SNMPv1 ||
                                        pdu->securityModel == SNMP_SEC_MODEL_SNMPv2c;
    if (!agent.isWriter(context) || weakSecurity) {
        if (!send)
            tell(QStringLiteral("%1: refused a Set: not the context of an SNMPv3 user given "
                                "with --writer")
                     .arg(who));
        return SNMP_ERR_NOACCESS;
    }
    ControlCommand::Verdict verdict;
    const std::optional<QByteArray> request =
        ControlCommand::request(cell->first, writtenValue(vb), &verdict);
    if (request && send) {
        verdict = ControlCommand::exchange(socket, ControlCommand::requestLine(context, *request),
                                           SetWaitMs);
        tell(QStringLiteral("%1: %2: %3")
                 .arg(who, QString::fromUtf8(*request),
                      verdict.error == ControlCommand::SetError::None ? QStringLiteral("ok")
                                                                      : verdict.reason));
    } else if (!request) {
        tell(QStringLiteral("%1: refused a Set: %2").arg(who, verdict.reason));
    }
    return snmpError(verdict.error);
}

void handleSet(SnmpAgent &agent, netsnmp_agent_request_info *info, netsnmp_request_info *requests)
{
    if (info->mode != MODE_SET_RESERVE1 && info->mode != MODE_SET_RESERVE2)
        return; // the command was carried out in the test phase
    // snmpd sends a TestSet again when we have not answered within its
    // AgentX timeout (a second by default): the panel must not get the
    // command twice, so the copy gets the first one's answer.
    const long transaction = info->asp->pdu->transid;
    if (const std::optional<int> earlier = agent.testedBefore(transaction)) {
        if (*earlier != SNMP_ERR_NOERROR)
            netsnmp_set_request_error(info, requests, *earlier);
        return;
    }
    if (info->mode == MODE_SET_RESERVE2)
        agent.tested(transaction, SNMP_ERR_NOERROR);
    int commands = 0;
    for (netsnmp_request_info *request = requests; request; request = request->next) {
        if (request->processed)
            continue;
        // One command a Set: the panel carries each out on its own, and
        // a second one failing could not undo the first.
        const int error = ++commands > 1 ? SNMP_ERR_INCONSISTENTVALUE
                                         : setRequest(agent, info, request->requestvb,
                                                      info->mode == MODE_SET_RESERVE2);
        if (error != SNMP_ERR_NOERROR) {
            netsnmp_set_request_error(info, request, error);
            if (info->mode == MODE_SET_RESERVE2)
                agent.tested(transaction, error);
            return;
        }
    }
}

int handleRequests(netsnmp_mib_handler *handler, netsnmp_handler_registration *,
                   netsnmp_agent_request_info *info, netsnmp_request_info *requests)
{
    auto *agent = static_cast<SnmpAgent *>(handler->myvoid);
    if (info->mode != MODE_GET && info->mode != MODE_GETNEXT) {
        handleSet(*agent, info, requests);
        return SNMP_ERR_NOERROR;
    }
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

    // The default context for everyone's reads, and each writer's own
    // context, the only ones Sets are taken in.
    const std::vector<oid> base = toNetSnmp(MibView::objects());
    QStringList contexts{QString()};
    contexts += writers_;
    for (const QString &context : contexts) {
        netsnmp_mib_handler *handler = netsnmp_create_handler(AppName, handleRequests);
        handler->myvoid = this;
        netsnmp_handler_registration *registration = netsnmp_handler_registration_create(
            AppName, handler, base.data(), base.size(), HANDLER_CAN_RWRITE);
        if (!context.isEmpty())
            registration->contextName = strdup(context.toUtf8().constData());
        if (netsnmp_register_handler(registration) != MIB_REGISTERED_OK) {
            err() << "txpanel-snmp: could not register TXPANEL-MIB with the agent library\n";
            err().flush();
            return false;
        }
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

std::optional<int> SnmpAgent::testedBefore(long transaction) const
{
    for (const auto &[id, error] : tested_) {
        if (id == transaction)
            return error;
    }
    return std::nullopt;
}

void SnmpAgent::tested(long transaction, int error)
{
    for (auto &entry : tested_) {
        if (entry.first == transaction) {
            entry.second = error;
            return;
        }
    }
    // snmpd's retries of one transaction follow each other closely: a few
    // transactions back is plenty.
    if (tested_.size() >= 16)
        tested_.pop_front();
    tested_.emplace_back(transaction, error);
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
