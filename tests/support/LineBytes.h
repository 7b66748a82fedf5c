// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "link/Commands.h"

#include <QByteArray>

#include <initializer_list>

// The bytes the panel writes to the transmitter, spelt with the commands'
// names, for a test that builds a line or checks what went out on it.
namespace LineBytes {
// The commands, one byte each, in order.
inline QByteArray commands(std::initializer_list<quint8> codes)
{
    QByteArray bytes;
    for (const quint8 code : codes)
        bytes.append(char(code));
    return bytes;
}

// One status cycle of a locked transmitter whose frequency the digits follow.
inline QByteArray statusCycle()
{
    using namespace TxCommand;
    return commands({CMD_READ_FORWARD, CMD_READ_REFLECTED, CMD_READ_TEMPERATURE, CMD_READ_LOCK,
                     CMD_READ_FREQUENCY, CMD_READ_RF_STATUS});
}

// How a connection opens: the firmware question, then the first status cycle.
inline QByteArray connectionOpening()
{
    return commands({TxCommand::CMD_READ_FIRMWARE}) + statusCycle();
}

// Programming a frequency: the command, then its digits ("107900": 107.9 MHz).
inline QByteArray programming(const QByteArray &digits)
{
    return commands({TxCommand::CMD_SET_FREQUENCY}) + digits;
}
} // namespace LineBytes
