// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <optional>

// The conditions the station is alarmed on. The order is the order the
// operator sees them in and the order of the published snapshot.
enum class AlarmKind
{
    ForwardLow,      // forward power below its minimum while on the air
    ReflectedHigh,   // reflected power above its limit
    VswrHigh,        // VSWR above its limit
    TemperatureHigh, // temperature above its limit, or the transmitter's own alarm lamp
    LockLost,        // the synthesiser unlocked
    LinkLost,        // the connection ended other than by the operator, or is being resumed
    RfOff,           // RF went off the air without an operator's RF command
};

namespace AlarmKinds {
constexpr std::array<AlarmKind, 7> All = {AlarmKind::ForwardLow, AlarmKind::ReflectedHigh,
                                          AlarmKind::VswrHigh,   AlarmKind::TemperatureHigh,
                                          AlarmKind::LockLost,   AlarmKind::LinkLost,
                                          AlarmKind::RfOff};

constexpr std::size_t index(AlarmKind kind)
{
    return static_cast<std::size_t>(kind);
}
// For machines (the record, the feed): "forward-low", "reflected-high", "vswr-high",
// "temperature-high", "lock-lost", "link-lost", "rf-off".
QString id(AlarmKind kind);
std::optional<AlarmKind> fromId(const QString &id);
// For the operator: "REFLECTED POWER HIGH"...
QString title(AlarmKind kind);
// The stem of its keys in [Alarms]: "ForwardLow", "Reflected", "Vswr",
// "Temperature", "Lock", "Link", "RfOff".
QString settingStem(AlarmKind kind);
} // namespace AlarmKinds
