// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/frmTerminale.h"
#include "link/ConnectionState.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

// The power button and DISCONNECT as the operator uses them, for the
// benchmarks that keep the window: its own power sequence, with the port the
// settings store names (Startup/Comm) and the display following the
// transmitter, so each status cycle asks the frequency too.
namespace PanelPower {
// ON; the connection starts from the event loop.
inline void on(frmTerminale &panel)
{
    panel.cmdPower_Click();
}

// DISCONNECT, served by this loop until the connection has ended (the
// exchange in flight completes first), then OFF.
inline void off(frmTerminale &panel)
{
    const auto running = [&panel] {
        const ConnectionState state = panel.connectionState();
        return state == ConnectionState::Connecting || state == ConnectionState::Polling ||
               state == ConnectionState::Resuming;
    };
    if (running()) {
        QEventLoop ended;
        QObject::connect(&panel, &frmTerminale::connectionStateChanged, &ended, [&ended, &running] {
            if (!running())
                ended.quit();
        });
        QTimer::singleShot(30000, &ended, &QEventLoop::quit);
        panel.cmdDisconnect_Click();
        if (running())
            ended.exec();
    }
    if (panel.PowerOn)
        panel.cmdPower_Click();
}
} // namespace PanelPower
