// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "snmp/MibView.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A Set of a command column turned into a request on the panel's control
// socket, and the panel's reply turned into an SNMP error status. Free of
// net-snmp so that the tests can drive it; SnmpAgent maps SetError to the
// protocol's numbers.
namespace ControlCommand {

enum class SetError
{
    None,
    WrongType,
    WrongValue,
    NoAccess,
    NotWritable,
    InconsistentValue,
    ResourceUnavailable,
    CommitFailed,
    GenErr
};

struct Verdict
{
    SetError error = SetError::None;
    // In the operator's words, for the agent's log.
    QString reason;
};

// The longest reply line the protocol allows, newline included.
constexpr int MaxReplyBytes = 4096;
// The longest request line, newline included.
constexpr int MaxRequestBytes = 256;

// The request ("rf off", "ack all", "frequency 107900") a write of `value`
// to `column` asks for, or nothing with the verdict (WrongType, WrongValue,
// NotWritable) in *refusal.
std::optional<QByteArray> request(MibView::Column column, const MibValue &value, Verdict *refusal);

// Whether `name` can stand as the one word naming the SNMP user in a
// request line: printable ASCII without blanks, at most 32 characters
// (USM's longest securityName).
bool validUserName(const QString &name);

// The whole line sent for `request` on behalf of SNMP user `user`.
QByteArray requestLine(const QString &user, const QByteArray &request);

// What the panel's reply line means for the Set.
Verdict interpret(const QByteArray &reply);

// Sends `line` to the control socket at `path` and waits for its one reply
// line, at most `timeoutMs` in all (connecting included), blocking the
// caller. Nothing could be sent: ResourceUnavailable; sent but no whole
// reply: CommitFailed (the panel may still carry the command out).
Verdict exchange(const QString &path, const QByteArray &line, int timeoutMs);

} // namespace ControlCommand
