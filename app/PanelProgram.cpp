// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PanelProgram.h"

#include "app/Station.h"
#include "app/frmTerminale.h"
#include "control/ControlServer.h"
#include "feed/StatusFeed.h"
#include "link/LinkEngine.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"
#include "service/SignalWatcher.h"

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
    startControl();
    // A shutdown, a logout or Ctrl+C ends the panel as File, Exit does.
    m_endRequests = std::make_unique<SignalWatcher>();
    QObject::connect(m_endRequests.get(), &SignalWatcher::received, &panel,
                     [&panel](int number) { panel.endProgram(SignalWatcher::name(number)); });
}

void PanelProgram::startControl()
{
    frmTerminale &panel = *m_panel;
    const ControlSettings settings =
        ControlSettings::fromStore(ControlSettings::desktopDefaultSocket());
    // Off (the default): no socket, no file, nothing connected.
    if (!settings.enabled)
        return;
    m_control = std::make_unique<ControlServer>(panel.engine(), m_station->watch(), settings);
    // A remote frequency must not cut across digits the operator is typing
    // or has accepted and not yet sent.
    m_control->setEntryOpen([&panel] {
        return !panel.DisplayEnabled || panel.SendRequest || panel.tmrPausa->isActive();
    });
    QObject::connect(
        m_control.get(), &ControlServer::unavailable, &panel, [&panel](const QString &why) {
            panel.noteStartupProblem(QStringLiteral("REMOTE CONTROL NOT AVAILABLE"), why);
        });
    // The operator at the panel must see that someone else took the
    // transmitter off the air, and who, not find it off with no word.
    QObject::connect(m_control.get(), &ControlServer::commandFinished, &panel,
                     [&panel](const RemoteCommand &command) {
                         if (command.command != QLatin1String("rf off") ||
                             command.outcome != QLatin1String("confirmed"))
                             return;
                         panel.lblCommunications(0)->setText(
                             QStringLiteral("RF OFF BY REMOTE (%1)").arg(command.who));
                         panel.tmrPausaLabel->start();
                     });
    if (m_control->start())
        m_feed->setLastRemote([control = m_control.get()] { return control->lastCommand(); });
    // The socket goes with the line: no command is taken once the program ends.
    QObject::connect(&panel, &frmTerminale::programEnding, m_control.get(), &ControlServer::stop);
}

PanelProgram::~PanelProgram()
{
    // The control and the feed read the engine: they go first.
    m_control.reset();
    m_feed.reset();
    m_panel.reset();
}
