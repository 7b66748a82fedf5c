// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/StationService.h"

#include "control/ControlServer.h"
#include "feed/StatusFeed.h"
#include "link/LinkEngine.h"
#include "record/AlarmKind.h"
#include "record/StationWatch.h"
#include "service/ServiceLog.h"
#include "service/SignalWatcher.h"
#include "service/SystemdNotifier.h"

#include <QCoreApplication>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {
// "pts/3 (/dev/pts/3)", or the path alone when the line goes by it.
QString where(const LinkLine &line)
{
    return line.name == line.device ? line.device
                                    : QStringLiteral("%1 (%2)").arg(line.name, line.device);
}

QString frequencyText(qint32 kHz)
{
    return kHz < 0 ? QStringLiteral("none") : QStringLiteral("%1 kHz").arg(kHz);
}
} // namespace

StationService::StationService(const ServiceSettings &settings, QObject *parent)
    : QObject(parent), m_settings(settings), m_engine(std::make_unique<LinkEngine>()),
      m_notifier(std::make_unique<SystemdNotifier>()), m_signals(std::make_unique<SignalWatcher>())
{
    m_engine->setLine(m_settings.line);
    m_engine->setBand(m_settings.band);
    m_engine->setResume(m_settings.resume);
    m_watch = std::make_unique<StationWatch>(*m_engine, m_settings.alarms, m_settings.record);
    m_feed = std::make_unique<StatusFeed>(*m_engine);
    m_feed->setAlarmBook(m_watch->alarmBook());
    connectLog();
    connect(m_signals.get(), &SignalWatcher::received, this, [this](int number) {
#ifdef Q_OS_UNIX
        if (number == SIGHUP) {
            reload();
            return;
        }
#endif
        end(SignalWatcher::name(number));
    });
    connect(m_engine.get(), &LinkEngine::shutDownComplete, this, &StationService::finish);
}

StationService::~StationService()
{
    // The control, the feed and the watch read the engine: they go first.
    m_control.reset();
    m_feed.reset();
    m_watch.reset();
    m_engine.reset();
}

void StationService::connectLog()
{
    LinkEngine &engine = *m_engine;
    connect(&engine, &LinkEngine::stateChanged, this, &StationService::showState);
    connect(&engine, &LinkEngine::connected, this, [this](const QString &firmware) {
        m_toldResuming = false;
        ServiceLog::notice(QStringLiteral("connected to the transmitter on %1, firmware %2")
                               .arg(where(m_engine->line()), firmware));
    });
    connect(&engine, &LinkEngine::noReply, this, [this] {
        ServiceLog::error(QStringLiteral("no reply from the transmitter on ") +
                          where(m_engine->line()));
    });
    connect(&engine, &LinkEngine::portFailed, this, [](const QString &reason) {
        ServiceLog::error(QStringLiteral("port not available: ") + reason);
    });
    connect(&engine, &LinkEngine::connectionEnded, this, [](const QString &why) {
        ServiceLog::error(QStringLiteral("connection to the transmitter ended: ") + why);
    });
    connect(&engine, &LinkEngine::otherDeviceFound, this, [](const QString &why) {
        ServiceLog::warning(QStringLiteral("not resuming on another device: ") + why +
                            QStringLiteral("; restart the service to take it"));
    });
    connect(&engine, &LinkEngine::lineNotice, this,
            [](const QString &text) { ServiceLog::warning(text); });
    connect(&engine, &LinkEngine::rfCommandSent, this, [](bool onAir, bool confirmed) {
        ServiceLog::notice(QStringLiteral("RF command %1 sent, %2")
                               .arg(onAir ? QStringLiteral("on") : QStringLiteral("off"),
                                    confirmed ? QStringLiteral("confirmed by the transmitter")
                                              : QStringLiteral("not confirmed")));
    });
    connect(&engine, &LinkEngine::frequencyProgrammed, this,
            [](qint32 from, qint32 to, bool programmed, bool lost) {
                const QString text = QStringLiteral("frequency %1 -> %2: %3")
                                         .arg(frequencyText(from), frequencyText(to),
                                              programmed ? QStringLiteral("programmed")
                                              : lost     ? QStringLiteral("not programmed, "
                                                                              "the link was lost")
                                                         : QStringLiteral("not programmed"));
                if (programmed)
                    ServiceLog::notice(text);
                else
                    ServiceLog::error(text);
            });

    StationWatch &watch = *m_watch;
    connect(&watch, &StationWatch::alarmChanged, this,
            [](AlarmKind kind, AlarmBook::Transition transition) {
                const QString title = AlarmKinds::title(kind);
                switch (transition) {
                case AlarmBook::Transition::Raised:
                    ServiceLog::warning(QStringLiteral("alarm raised: ") + title);
                    break;
                case AlarmBook::Transition::Cleared:
                    ServiceLog::notice(QStringLiteral("alarm cleared: ") + title);
                    break;
                case AlarmBook::Transition::Acknowledged:
                    ServiceLog::info(QStringLiteral("alarm acknowledged: ") + title);
                    break;
                }
            });
    connect(&watch, &StationWatch::chatterChanged, this, [](AlarmKind kind, bool chattering) {
        ServiceLog::warning(
            QStringLiteral("alarm %1 %2")
                .arg(AlarmKinds::title(kind), chattering ? QStringLiteral("is chattering")
                                                         : QStringLiteral("no longer chatters")));
    });
    connect(&watch, &StationWatch::recordStopped, this, [](const QString &why) {
        ServiceLog::error(QStringLiteral("the record stopped: ") + why);
    });
    connect(&watch, &StationWatch::recordMovedAside, this,
            [](const QString &from, const QString &to) {
                ServiceLog::warning(QStringLiteral("the record %1 could not be used and was "
                                                   "moved aside to %2; a new one was started")
                                        .arg(from, to));
            });
    connect(&watch, &StationWatch::recordReopened, this,
            [](const QString &path, const QString &why) {
                ServiceLog::warning(
                    QStringLiteral("the record %1 was opened again: %2").arg(path, why));
            });
    connect(m_feed.get(), &StatusFeed::unavailable, this, [](const QString &why) {
        ServiceLog::error(QStringLiteral("status feed not available: ") + why);
    });
}

void StationService::showState()
{
    const LinkLine &line = m_engine->line();
    const QString where = ::where(line);
    QString status;
    switch (m_engine->state()) {
    case ConnectionState::Off:
        status = QStringLiteral("off");
        break;
    case ConnectionState::Connecting:
        status = QStringLiteral("connecting to the transmitter on ") + where;
        break;
    case ConnectionState::Polling:
        status = QStringLiteral("polling the transmitter on %1, firmware %2")
                     .arg(where, m_engine->firmware());
        break;
    case ConnectionState::Ended:
        status = QStringLiteral("connection ended on ") + where;
        break;
    case ConnectionState::PortNotAvailable:
        status = QStringLiteral("port not available: ") + m_engine->portFailure();
        break;
    case ConnectionState::Resuming:
        status = QStringLiteral("looking for the transmitter on %1 every %2 s")
                     .arg(where)
                     .arg(m_engine->resumeTimer().interval() / 1000.0);
        // Said once per loss: the tries themselves are not logged.
        if (!m_toldResuming) {
            m_toldResuming = true;
            ServiceLog::warning(status);
        }
        break;
    }
    m_notifier->status(status);
}

void StationService::startFeed()
{
    if (!m_settings.feed.enabled || !m_settings.feed.problem.isEmpty())
        return;
    if (m_feed->start(m_settings.feed) && m_feed->isListening()) {
        ServiceLog::info(
            QStringLiteral("status feed on http://%1/").arg(m_settings.feed.endpoint()));
        if (const QString warning = m_settings.feed.warning(); !warning.isEmpty()) {
            ServiceLog::warning(warning);
            m_watch->logNotice(QStringLiteral("feed"), warning);
        }
    }
}

void StationService::startControl()
{
    const ControlSettings &settings = m_settings.control;
    // Off (the default), or unusable and said so at start: no socket at all.
    if (!settings.enabled || !settings.problem.isEmpty() || !m_settings.record.enabled)
        return;
    m_control = std::make_unique<ControlServer>(*m_engine, *m_watch, settings);
    m_control->setProgram(QStringLiteral("txpaneld"), m_settings.instance);
    connect(m_control.get(), &ControlServer::unavailable, this, [](const QString &why) {
        ServiceLog::error(QStringLiteral("remote control not available: ") + why);
    });
    connect(m_control.get(), &ControlServer::commandFinished, this,
            [](const RemoteCommand &command) {
                const QString text =
                    QStringLiteral("remote command \"%1\" from %2 over %3: %4")
                        .arg(command.command, command.who, command.way, command.outcome) +
                    (command.reason.isEmpty() ? QString()
                                              : QStringLiteral(" (%1)").arg(command.reason));
                if (command.outcome == QLatin1String("error"))
                    ServiceLog::warning(text);
                else
                    ServiceLog::notice(text);
            });
    if (m_control->start()) {
        ServiceLog::info(QStringLiteral("remote control on ") + settings.socket);
        m_feed->setLastRemote([control = m_control.get()] { return control->lastCommand(); });
    }
}

void StationService::start()
{
    ServiceLog::info(
        QStringLiteral("txpaneld %1 (instance %2) starts with %3")
            .arg(QCoreApplication::applicationVersion(), m_settings.instance, m_settings.file));
    for (const QString &problem : std::as_const(m_settings.problems))
        ServiceLog::warning(problem);
    m_watch->start();
    m_watch->logProgram(QStringLiteral("service"), QStringLiteral("started"), m_settings.file);
    startFeed();
    startControl();
    // Ready once the settings are read and the feed listens: a unit ordered
    // after this one can read the feed.
    m_notifier->ready();
    m_notifier->startWatchdog();
    m_engine->powerOn();
}

void StationService::reload()
{
    if (!m_endWay.isEmpty())
        return;
    m_notifier->reloading();
    const ServiceSettings next = ServiceSettings::read(m_settings.file, m_settings.instance);
    if (!next.fatal.isEmpty()) {
        ServiceLog::error(QStringLiteral("settings not reloaded, the running ones are kept: ") +
                          next.fatal.join(QStringLiteral("; ")));
        m_watch->logNotice(QStringLiteral("service"), QStringLiteral("settings not reloaded: ") +
                                                          next.fatal.join(QStringLiteral("; ")));
        m_notifier->ready();
        return;
    }
    for (const QString &problem : next.problems)
        ServiceLog::warning(problem);
    // The band and resume count at once; a new line from the next connection.
    m_engine->setBand(next.band);
    m_engine->setResume(next.resume);
    if (next.line.device != m_settings.line.device)
        ServiceLog::notice(QStringLiteral("the line is now %1 (%2), used from the next connection")
                               .arg(next.line.name, next.line.device));
    m_engine->setLine(next.line);
    const FeedSettings &was = m_settings.feed;
    const FeedSettings &now = next.feed;
    const bool feedChanged = was.enabled != now.enabled || was.address != now.address ||
                             was.port != now.port || was.name != now.name ||
                             was.problem != now.problem;
    const ControlSettings &control = next.control;
    const bool restartNeeded = next.alarms.enabled != m_settings.alarms.enabled ||
                               next.record.enabled != m_settings.record.enabled ||
                               next.record.path != m_settings.record.path ||
                               control.enabled != m_settings.control.enabled ||
                               control.socket != m_settings.control.socket ||
                               control.users != m_settings.control.users ||
                               control.allowRfOn != m_settings.control.allowRfOn ||
                               control.allowFrequency != m_settings.control.allowFrequency ||
                               control.group != m_settings.control.group;
    const ServiceSettings kept = m_settings;
    m_settings = next;
    // The alarms and the record keep theirs until a restart: swapping them
    // under a running record could lose its last second.
    m_settings.alarms = kept.alarms;
    m_settings.record = kept.record;
    m_settings.control = kept.control;
    if (feedChanged) {
        m_feed->stop();
        startFeed();
    }
    if (restartNeeded)
        ServiceLog::warning(QStringLiteral("[Alarms], [Record] and [Control] changes take "
                                           "effect when the service is restarted"));
    ServiceLog::info(QStringLiteral("settings reloaded from ") + m_settings.file);
    m_watch->logProgram(QStringLiteral("service"), QStringLiteral("reloaded"), m_settings.file);
    m_notifier->ready();
    showState();
}

void StationService::end(const QString &way)
{
    if (!m_endWay.isEmpty())
        return;
    m_endWay = way;
    ServiceLog::info(QStringLiteral("stopping (%1)").arg(way));
    m_notifier->stopping();
    // No command is taken once the end is asked for; one the engine is
    // carrying out still ends in the record before "service stopped".
    if (m_control)
        m_control->stop();
    // A programming under way is finished first; shutDownComplete() then.
    m_engine->shutDown();
}

void StationService::finish()
{
    m_watch->close(m_endWay, QStringLiteral("service"), QStringLiteral("stopped"));
    m_feed->stop();
    ServiceLog::info(QStringLiteral("stopped (%1); the line is closed").arg(m_endWay));
    Q_EMIT finished(0);
}
