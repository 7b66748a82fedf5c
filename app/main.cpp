// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/frmTerminale.h"
#include "feed/StatusFeed.h"
#include "record/Station.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Lets the desktop match the window to its installed entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TXPANEL_APP_ID));
    frmTerminale panel;
    // After the panel has read its settings; a feed that cannot start is told
    // on the panel and the panel runs on without it.
    StatusFeed feed(panel);
    feed.start(FeedSettings::fromStore());
    // Alarms, the transmitter log and the Station window, when the settings
    // ask for them; owned by the panel. The feed publishes the alarms (none
    // while they are off).
    const Station *station = new Station(panel);
    feed.setAlarmBook(station->alarmBook());
    panel.show();
    return app.exec();
}
