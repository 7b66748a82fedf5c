// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "feed/StatusFeed.h"

#include "feed/FeedHttpServer.h"
#include "link/LinkEngine.h"
#include "link/MSComm.h"
#include "record/AlarmBook.h"

#include <QDateTime>

StatusFeed::StatusFeed(const LinkEngine &engine, QObject *parent)
    : QObject(parent), m_engine(engine)
{
}

StatusFeed::~StatusFeed() = default;

bool StatusFeed::start(const FeedSettings &settings, const FeedLimits &limits)
{
    m_settings = settings;
    m_problem.clear();
    if (!settings.enabled)
        return true;
    if (settings.problem.isEmpty()) {
        auto *server = new FeedHttpServer([this] { return snapshot(); }, limits, this);
        QString why;
        if (server->listenOn(settings.address, settings.port, &why)) {
            m_server = server;
            return true;
        }
        delete server;
        m_problem =
            QStringLiteral("The status feed cannot listen on %1: %2").arg(settings.endpoint(), why);
    } else {
        m_problem = QStringLiteral("The status feed is off: %1").arg(settings.problem);
    }
    qWarning("txpanel: %s", qUtf8Printable(m_problem));
    Q_EMIT unavailable(m_problem);
    return false;
}

void StatusFeed::stop()
{
    // The server closes its listening socket and every connection with it.
    delete m_server;
}

bool StatusFeed::isListening() const
{
    return m_server && m_server->isListening();
}

quint16 StatusFeed::port() const
{
    return m_server ? m_server->port() : 0;
}

void StatusFeed::setAlarmBook(const AlarmBook *book)
{
    m_alarms = book;
}

quint64 StatusFeed::answered() const
{
    return m_server ? m_server->answered() : 0;
}

FeedSnapshot StatusFeed::snapshot() const
{
    FeedSnapshot s;
    s.name = m_settings.name;
    const ConnectionState state = m_engine.state();
    s.state = connectionStateName(state);
    s.port = m_engine.line().port;
    // The device a connection opened, or the one the line names now.
    s.device =
        state != ConnectionState::Off ? m_engine.port()->deviceName() : m_engine.line().device;
    s.firmware = m_engine.firmware();
    s.linkNote = m_engine.otherDevice().isEmpty()
                     ? QString()
                     : QStringLiteral("other device on the port: ") + m_engine.otherDevice();
    s.cycles = m_engine.statusCycles();
    s.nowMs = TxReading::nowMs();
    // Readings and the time connected belong to a running connection: once it
    // has ended they are no longer the transmitter's, and the panel shows zeros.
    if (state == ConnectionState::Polling) {
        s.reading = m_engine.reading();
        if (m_engine.connectedSince().isValid())
            s.connectedSeconds =
                std::max<qint64>(0, m_engine.connectedSince().secsTo(QDateTime::currentDateTime()));
    }
    // The alarms outlast a connection: a link lost or a cleared alarm not
    // yet acknowledged is what the station must hear of after it.
    if (m_alarms) {
        std::vector<AlarmEntry> alarms;
        alarms.reserve(AlarmKinds::All.size());
        for (const AlarmKind kind : AlarmKinds::All)
            alarms.push_back(m_alarms->entry(kind));
        s.alarms = std::move(alarms);
    }
    if (m_lastRemote) {
        s.remoteControl = true;
        s.lastRemote = m_lastRemote();
    }
    return s;
}
