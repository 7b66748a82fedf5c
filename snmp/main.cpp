// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/AgentOptions.h"
#include "snmp/AlarmTracker.h"
#include "snmp/FeedPoller.h"
#include "snmp/MibView.h"
#include "snmp/NotificationTracker.h"
#include "snmp/PanelRow.h"
#include "snmp/SnmpAgent.h"
#include "snmp/TerminationSignals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <memory>
#include <vector>

namespace {

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

void say(const QString &line)
{
    err() << "txpanel-snmp: " << line << '\n';
    err().flush();
}

} // namespace

int main(int argc, char *argv[])
{
    TerminationSignals::block();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("txpanel-snmp"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TXPANEL_VERSION));

    AgentOptions options;
    QString error;
    if (AgentOptions::parse(QCoreApplication::arguments(), &options, &error) ==
        AgentOptions::Outcome::Error) {
        say(error);
        say(QStringLiteral("try --help"));
        return 2;
    }

    // Time since start on a steady clock: feed ages must not jump with the
    // wall clock.
    QElapsedTimer clock;
    clock.start();

    std::vector<PanelRow> rows;
    for (const QUrl &url : options.feeds)
        rows.push_back(PanelRow{url.toString(), PanelStatus{}, std::nullopt});
    std::vector<NotificationTracker> trackers(rows.size());
    std::vector<AlarmTracker> alarmTrackers(rows.size());
    // What was last told on stderr about each feed, so a feed that stays
    // down is reported once, not at every poll.
    std::vector<QString> lastTold(rows.size());

    SnmpAgent agent(options.agentxSocket, options.reconnectSeconds,
                    [&rows, &clock] { return MibView(rows, clock.elapsed()); });
    agent.setDebugTokens(options.debugTokens);
    agent.setCommands(options.controlSockets, options.writers);
    if (!agent.start())
        return 1;

    TerminationSignals signals;
    QObject::connect(&signals, &TerminationSignals::received, &app,
                     [](int) { QCoreApplication::quit(); });

    // Each feed is read on connections of its own, straight to the panel (a
    // web proxy set for the machine never stands between them): one feed's
    // flood or silence cannot hold up another's fetch.
    std::vector<std::unique_ptr<FeedPoller>> pollers;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        auto poller =
            std::make_unique<FeedPoller>(options.feeds[i], options.intervalMs, options.timeoutMs);
        auto settle = [&, i, index] {
            const std::vector<NotificationTracker::Event> events =
                trackers[i].update(rows[i].status);
            const std::vector<AlarmTracker::Notice> alarms =
                alarmTrackers[i].update(rows[i].status);
            if (events.empty() && alarms.empty())
                return;
            const MibView view(rows, clock.elapsed());
            for (NotificationTracker::Event event : events)
                agent.notify(event, index, view);
            for (const AlarmTracker::Notice &notice : alarms)
                agent.notifyAlarm(notice.event, index, notice.kind, view);
        };
        QObject::connect(poller.get(), &FeedPoller::answered, &app,
                         [&, i, index, settle](const PanelStatus &status) {
                             rows[i].status = status;
                             rows[i].lastAnswerMs = clock.elapsed();
                             if (!lastTold[i].isEmpty()) {
                                 say(QStringLiteral("panel %1 (%2): the feed answers again")
                                         .arg(index)
                                         .arg(rows[i].url));
                                 lastTold[i].clear();
                             }
                             settle();
                         });
        QObject::connect(poller.get(), &FeedPoller::failed, &app,
                         [&, i, index, settle](PanelStatus::State why, const QString &reason) {
                             rows[i].status.markUnread(why);
                             if (reason != lastTold[i]) {
                                 say(QStringLiteral("panel %1 (%2): %3: %4")
                                         .arg(index)
                                         .arg(rows[i].url,
                                              why == PanelStatus::State::Unreachable
                                                  ? QStringLiteral("feed not answering")
                                                  : QStringLiteral("not a panel status"),
                                              reason));
                                 lastTold[i] = reason;
                             }
                             settle();
                         });
        pollers.push_back(std::move(poller));
    }
    for (const auto &poller : pollers)
        poller->start();

    return QCoreApplication::exec();
}
