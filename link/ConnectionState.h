// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What the operator can tell about the link to the transmitter. Only the link
// engine moves it, at the one place each transition happens; the window shows
// it (the power button's caption, the label), and the keypad guard and
// everything that reports the transmitter's state to the outside read it.
enum class ConnectionState
{
    Off,              // the power button shows ON; the port is closed
    Connecting,       // ON pressed: the port is open, the firmware question is out
    Polling,          // the transmitter answered: the status poll runs
    Ended,            // the poll has stopped (DISCONNECT, silence, a lost line); waiting for OFF
    PortNotAvailable, // the port could not be opened; waiting for OFF
    Resuming,         // the link was lost; the panel keeps trying to connect again
};

// The state's name for machines reading it: "off", "connecting", "polling",
// "ended", "port-not-available", "resuming".
QString connectionStateName(ConnectionState state);
