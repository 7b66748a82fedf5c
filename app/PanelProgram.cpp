// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PanelProgram.h"

#include "service/SignalWatcher.h"
#include "app/Station.h"
#include "app/frmTerminale.h"
#include "feed/StatusFeed.h"
#include "link/LinkEngine.h"

PanelProgram::PanelProgram() : m_panel(std::make_unique<frmTerminale>())
{
    frmTerminale &panel = *m_panel;
    // After the panel has read its settings; a feed that cannot start is told
    // on the panel and the panel runs on without it.
    m_feed = std::make_unique<StatusFeed>(panel.engine());
    QObject::connect(m_feed.get(), &StatusFeed::unavailable, &panel, [&panel](const QString &why) {
        panel.noteStartupProblem(QStringLiteral("STATUS FEED NOT AVAILABLE"), why);
    });
    const FeedSettings feedSettings = FeedSettings::fromStore();
    m_feed->start(feedSettings);
    // Alarms, the transmitter log and the Station window, when the settings
    // ask for them. The feed publishes the alarms (none while they are off).
    m_station = new Station(panel);
    m_feed->setAlarmBook(m_station->alarmBook());
    // A feed that answers beyond this computer is said once: on the label's
    // tool tip and in the record (standard error has it from the feed).
    if (m_feed->isListening() && !feedSettings.warning().isEmpty()) {
        panel.noteStartupWarning(feedSettings.warning());
        m_station->watch().logNotice(QStringLiteral("feed"), feedSettings.warning());
    }
    // Once the line is closed and the record written, the feed's port is let
    // go at once rather than when the process is gone.
    QObject::connect(&panel, &frmTerminale::programEnding, m_feed.get(), &StatusFeed::stop);
    // A shutdown, a logout or Ctrl+C ends the panel as File, Exit does.
    m_endRequests = std::make_unique<SignalWatcher>();
    QObject::connect(m_endRequests.get(), &SignalWatcher::received, &panel,
                     [&panel](int number) { panel.endProgram(SignalWatcher::name(number)); });
}

PanelProgram::~PanelProgram()
{
    // The feed reads the engine: it goes first.
    m_feed.reset();
    m_panel.reset();
}
