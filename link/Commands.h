// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QtGlobal>

// Every code the panel ever writes to the transmitter's line. Each is one byte
// below 128; the transmitter answers each with one line ended by a carriage return.
namespace TxCommand {
constexpr quint8 CMD_READ_FORWARD = 4;
constexpr quint8 CMD_READ_REFLECTED = 5;
constexpr quint8 CMD_READ_FIRMWARE = 6;
constexpr quint8 CMD_READ_TEMPERATURE = 7;
constexpr quint8 CMD_READ_LOCK = 8;
constexpr quint8 CMD_READ_FREQUENCY = 9;
constexpr quint8 CMD_READ_RF_STATUS = 10;
constexpr quint8 CMD_RF_ON = 11;
constexpr quint8 CMD_RF_OFF = 12;
constexpr quint8 CMD_SET_FREQUENCY = 14;
// A frequency digit d is sent as its character, 48 + d.
constexpr quint8 DIGIT_ZERO = 48;
constexpr char CarriageReturn = '\r';
} // namespace TxCommand
