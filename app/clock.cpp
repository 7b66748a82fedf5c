// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The connection clock in status bar panel 5.
#include "app/frmTerminale.h"

#include "panel/PanelStatusBar.h"
#include "panel/PanelTimer.h"

#include <QTime>

void frmTerminale::StartConnectionClock()
{
    ConnectionStart = QDateTime::currentDateTime();
    // Whole seconds, so the first tick reads 00:00:01 and not 00:00:00.
    ConnectionStart.setTime(QTime(ConnectionStart.time().hour(), ConnectionStart.time().minute(),
                                  ConnectionStart.time().second()));
    timer1->setEnabled(true);
}

void frmTerminale::timer1_Timer()
{
    // Recomputed from the start at every tick: late or missed ticks never drift.
    const qint64 elapsed = ConnectionStart.secsTo(QDateTime::currentDateTime());
    sbrStatus->setPanelValue(StatusPanel::ConnectionTime,
                             formatElapsed(elapsed) + QLatin1Char(' '));
}

void frmTerminale::StopConnectionClock()
{
    timer1->setEnabled(false);
    timer1_Timer();
}

QString frmTerminale::formatElapsed(qint64 elapsedSeconds)
{
    // A clock set back before the start shows no time rather than a negative one.
    if (elapsedSeconds < 0)
        elapsedSeconds = 0;
    // Hours go on past a day: an unattended transmitter stays connected for
    // days, and a clock back at 00:00:00 would hide how long.
    const qint64 hours = elapsedSeconds / 3600;
    const qint64 minutes = elapsedSeconds / 60 % 60;
    const qint64 seconds = elapsedSeconds % 60;
    const QLatin1Char zero('0');
    return QStringLiteral("%1:%2:%3")
        .arg(hours, 2, 10, zero)
        .arg(minutes, 2, 10, zero)
        .arg(seconds, 2, 10, zero);
}
