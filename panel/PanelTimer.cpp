// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/PanelTimer.h"

PanelTimer::PanelTimer(const QString &name, int intervalMs, QObject *parent) : QTimer(parent)
{
    setObjectName(name);
    setInterval(intervalMs);
    // Ticks drive a one-second clock and a half-second blink: keep them on time.
    setTimerType(Qt::PreciseTimer);
}

void PanelTimer::setEnabled(bool enabled)
{
    if (!enabled) {
        stop();
        return;
    }
    if (!isActive())
        start();
}
