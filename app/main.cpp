// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/SignalWatcher.h"
#include "app/Station.h"
#include "app/frmTerminale.h"
#include "feed/StatusFeed.h"
#include "link/LinkEngine.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Lets the desktop match the window to its installed entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TXPANEL_APP_ID));
    frmTerminale panel;
    // After the panel has read its settings; a feed that cannot start is told
    // on the panel and the panel runs on without it.
    StatusFeed feed(panel.engine());
    QObject::connect(&feed, &StatusFeed::unavailable, &panel, [&panel](const QString &why) {
        panel.noteStartupProblem(QStringLiteral("STATUS FEED NOT AVAILABLE"), why);
    });
    feed.start(FeedSettings::fromStore());
    // Alarms, the transmitter log and the Station window, when the settings
    // ask for them; owned by the panel. The feed publishes the alarms (none
    // while they are off).
    const Station *station = new Station(panel);
    feed.setAlarmBook(station->alarmBook());
    // Once the line is closed and the record written, the feed's port is let
    // go at once rather than when the process is gone.
    QObject::connect(&panel, &frmTerminale::programEnding, &feed, &StatusFeed::stop);

    // A shutdown, a logout or Ctrl+C ends the panel as File, Exit does.
    const SignalWatcher endRequests;
    QObject::connect(&endRequests, &SignalWatcher::received, &panel,
                     [&panel](int number) { panel.endProgram(SignalWatcher::name(number)); });

    panel.show();
    return app.exec();
}
