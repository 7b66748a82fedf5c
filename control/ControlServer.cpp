// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "control/ControlServer.h"

#include "link/LinkEngine.h"
#include "record/AlarmBook.h"
#include "record/StationWatch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStringDecoder>
#include <QTimer>

#include <deque>

#include <cerrno>
#include <cstring>

// The socket's mode, its group and the peer's user are Unix's: elsewhere
// remote control stays off and says why.
#ifdef Q_OS_UNIX
#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

// One connection on the control socket.
struct ControlClient
{
    QLocalSocket *socket = nullptr; // the server's child
    QString user;                   // from the kernel, never from the client
    QTimer *idle = nullptr;         // the socket's child
    int malformed = 0;
    // A line longer than allowed: its rest is dropped up to its newline.
    bool discarding = false;
    // A command waits for the transmitter: the next request waits with it.
    bool waiting = false;
    // When the requests of the last second came, on a monotonic clock.
    std::deque<qint64> recent;
    // The first refusal of a burst is logged; the rest of it is not, or a
    // flood would fill the log.
    bool rateLogged = false;
};

namespace {
QElapsedTimer &monotonic()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer c;
        c.start();
        return c;
    }();
    return clock;
}

#ifdef Q_OS_UNIX
QString userName(uid_t uid)
{
    struct passwd entry
    {
    };
    struct passwd *found = nullptr;
    char buffer[4096];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString();
}

#endif

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QJsonValue numberOrNull(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

template <typename T> std::optional<double> valueOf(const TxReading::Item<T> &item)
{
    if (!item.present() || !item.value)
        return std::nullopt;
    return double(*item.value);
}

QJsonValue flagOrNull(const TxReading::Item<bool> &item)
{
    return item.present() && item.value ? QJsonValue(*item.value) : QJsonValue(QJsonValue::Null);
}

QString notConnected()
{
    return QStringLiteral("not connected to the transmitter");
}
} // namespace

ControlServer::ControlServer(LinkEngine &engine, StationWatch &watch,
                             const ControlSettings &settings, QObject *parent)
    : QObject(parent), m_engine(engine), m_watch(watch), m_settings(settings)
{
    setObjectName(QStringLiteral("ControlServer"));
}

ControlServer::~ControlServer()
{
    stop();
}

void ControlServer::setProgram(const QString &program, const QString &instance)
{
    m_program = program;
    m_instance = instance;
}

bool ControlServer::start()
{
    m_problem.clear();
    if (!m_settings.enabled || isListening())
        return true;
    QString why;
    if (!m_settings.problem.isEmpty())
        why = m_settings.problem;
    else if (!m_watch.recorder())
        // A command nobody could answer for afterwards is not taken at all.
        why = QStringLiteral("the transmitter log is off ([Record] Enabled=false), and no remote "
                             "command is taken without it");
    else if (openSocket(&why))
        why.clear();
    if (!why.isEmpty()) {
        m_problem = QStringLiteral("Remote control is off: %1").arg(why);
        qWarning("txpanel: %s", qUtf8Printable(m_problem));
        Q_EMIT unavailable(m_problem);
        return false;
    }
    connect(&m_engine, &LinkEngine::rfCommandSent, this, &ControlServer::onRfCommandSent);
    connect(&m_engine, &LinkEngine::rfReleased, this, &ControlServer::onRfReleased);
    connect(&m_engine, &LinkEngine::readingTaken, this, &ControlServer::onReadingTaken);
    connect(&m_engine, &LinkEngine::frequencyProgrammed, this,
            &ControlServer::onFrequencyProgrammed);
    connect(&m_engine, &LinkEngine::stateChanged, this, &ControlServer::onStateChanged);
    return true;
}

bool ControlServer::openSocket(QString *why)
{
#ifndef Q_OS_UNIX
    *why = QStringLiteral("remote control needs a Unix socket, which this system does not offer");
    return false;
#else
    const QString path = m_settings.socket;
    const QByteArray native = QFile::encodeName(path);
    const QString folder = QFileInfo(path).absolutePath();
    const QByteArray nativeFolder = QFile::encodeName(folder);
    if (m_settings.desktopFolder && ::mkdir(nativeFolder.constData(), 0700) != 0 &&
        errno != EEXIST) {
        *why = QStringLiteral("cannot make the folder %1: %2").arg(folder, errnoText(errno));
        return false;
    }
    struct stat folderStat
    {
    };
    if (::stat(nativeFolder.constData(), &folderStat) != 0 || !S_ISDIR(folderStat.st_mode)) {
        *why = QStringLiteral("the folder %1 does not exist").arg(folder);
        return false;
    }
    // The desktop's folder is the only gate there is: it must be the user's alone.
    if (m_settings.desktopFolder &&
        (folderStat.st_uid != ::geteuid() || (folderStat.st_mode & 077) != 0)) {
        *why = QStringLiteral("the folder %1 is not private to this user (mode 0700)").arg(folder);
        return false;
    }

    struct stat existing
    {
    };
    if (::lstat(native.constData(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            *why = QStringLiteral("%1 exists and is not a socket").arg(path);
            return false;
        }
        // A socket left by a program that died is taken over; one that
        // answers belongs to a panel or service that runs, and stays its.
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        const int answered =
            ::connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        const int error = errno;
        ::close(probe);
        if (answered == 0 || error == EAGAIN || error == EINPROGRESS) {
            *why = QStringLiteral("another program answers on %1").arg(path);
            return false;
        }
        if (error != ECONNREFUSED) {
            *why =
                QStringLiteral("cannot tell whether %1 is in use: %2").arg(path, errnoText(error));
            return false;
        }
        if (::unlink(native.constData()) != 0) {
            *why =
                QStringLiteral("cannot remove the stale socket %1: %2").arg(path, errnoText(errno));
            return false;
        }
    }

    gid_t gid = gid_t(-1);
    if (!m_settings.group.isEmpty()) {
        const struct group *found = ::getgrnam(m_settings.group.toLocal8Bit().constData());
        if (!found) {
            *why = QStringLiteral("the group %1 does not exist").arg(m_settings.group);
            return false;
        }
        gid = found->gr_gid;
    }

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *why = errnoText(errno);
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    // Made with no access for anyone but the owner, then opened to the
    // group: no moment in which another user could connect. Nobody can
    // connect before listen() anyway.
    const mode_t previous = ::umask(0177);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    const int bindError = errno;
    ::umask(previous);
    const mode_t mode = m_settings.group.isEmpty() ? 0600 : 0660;
    QString failed;
    if (bound != 0)
        failed = QStringLiteral("cannot make the socket %1: %2").arg(path, errnoText(bindError));
    else if (gid != gid_t(-1) && ::chown(native.constData(), uid_t(-1), gid) != 0)
        failed = QStringLiteral("cannot give %1 to the group %2: %3")
                     .arg(path, m_settings.group, errnoText(errno));
    else if (::chmod(native.constData(), mode) != 0)
        failed = QStringLiteral("cannot set the mode of %1: %2").arg(path, errnoText(errno));
    else if (::listen(fd, MaxClients * 2) != 0)
        failed = QStringLiteral("cannot listen on %1: %2").arg(path, errnoText(errno));
    struct stat made
    {
    };
    if (bound == 0 && ::lstat(native.constData(), &made) == 0) {
        m_madeSocket = true;
        m_socketDevice = quint64(made.st_dev);
        m_socketInode = quint64(made.st_ino);
    }
    if (failed.isEmpty()) {
        auto *server = new QLocalServer(this);
        if (server->listen(qintptr(fd))) {
            m_server = server;
            connect(server, &QLocalServer::newConnection, this, &ControlServer::onNewConnection);
            return true;
        }
        failed = QStringLiteral("cannot listen on %1: %2").arg(path, server->errorString());
        delete server;
    }
    ::close(fd);
    closeSocketFile();
    *why = failed;
    return false;
#endif
}

void ControlServer::closeSocketFile()
{
#ifdef Q_OS_UNIX
    if (!m_madeSocket)
        return;
    m_madeSocket = false;
    const QByteArray native = QFile::encodeName(m_settings.socket);
    struct stat now
    {
    };
    // Only the socket made here: a later program's socket at the same path is its own.
    if (::lstat(native.constData(), &now) == 0 && quint64(now.st_dev) == m_socketDevice &&
        quint64(now.st_ino) == m_socketInode)
        ::unlink(native.constData());
#endif
}

void ControlServer::stop()
{
    // The commands waiting are the engine's now; they end with nobody to tell.
    m_rf.socket = nullptr;
    m_frequency.socket = nullptr;
    while (!m_clients.empty())
        dropClient(m_clients.back().get());
    closeSocketFile();
    delete m_server;
}

bool ControlServer::isListening() const
{
    return m_server && m_server->isListening();
}

ControlClient *ControlServer::clientOf(const QObject *socket) const
{
    for (const std::unique_ptr<ControlClient> &client : m_clients)
        if (client->socket == socket)
            return client.get();
    return nullptr;
}

void ControlServer::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        QString user;
#ifdef Q_OS_UNIX
        // The kernel's word for who is on the other end, not the client's.
        ucred credentials{};
        socklen_t length = sizeof credentials;
        if (::getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials,
                         &length) == 0)
            user = userName(credentials.uid);
#endif
        if (user.isEmpty()) {
            refuseAtConnect(socket, QString(), QStringLiteral("who is connecting cannot be told"),
                            true);
            continue;
        }
        if (!m_settings.users.isEmpty() && !m_settings.users.contains(user)) {
            refuseAtConnect(
                socket, user,
                QStringLiteral("user %1 may not use remote control here ([Control] Users)")
                    .arg(user),
                true);
            continue;
        }
        if (int(m_clients.size()) >= MaxClients) {
            refuseAtConnect(socket, user, QStringLiteral("too many clients"), false);
            continue;
        }
        auto client = std::make_unique<ControlClient>();
        client->socket = socket;
        client->user = user;
        // Requests wait in the kernel while one is answered: what a client
        // pipelines is bounded there, not in this program's memory.
        socket->setReadBufferSize(4 * (MaxLineBytes + 1));
        client->idle = new QTimer(socket);
        client->idle->setSingleShot(true);
        client->idle->setInterval(IdleMs);
        ControlClient *raw = client.get();
        connect(client->idle, &QTimer::timeout, this, [this, socket] {
            if (ControlClient *c = clientOf(socket))
                dropClient(c);
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (ControlClient *c = clientOf(socket))
                readClient(c);
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            if (ControlClient *c = clientOf(socket))
                dropClient(c);
        });
        m_clients.push_back(std::move(client));
        raw->idle->start();
        readClient(raw);
    }
}

void ControlServer::refuseAtConnect(QLocalSocket *socket, const QString &user,
                                    const QString &reason, bool log)
{
    if (log)
        m_watch.logCommand(user.isEmpty() ? QStringLiteral("unknown") : user,
                           QStringLiteral("socket"), QStringLiteral("connect"),
                           QStringLiteral("refused"), reason);
    socket->write(QJsonDocument(replyObject(false, QStringLiteral("refused"), reason, QString()))
                      .toJson(QJsonDocument::Compact) +
                  '\n');
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromServer();
}

void ControlServer::dropClient(ControlClient *client)
{
    const auto found = std::find_if(
        m_clients.begin(), m_clients.end(),
        [client](const std::unique_ptr<ControlClient> &c) { return c.get() == client; });
    if (found == m_clients.end())
        return;
    std::unique_ptr<ControlClient> owned = std::move(*found);
    m_clients.erase(found);
    QLocalSocket *socket = owned->socket;
    socket->disconnect(this);
    // What was written still goes out before the connection closes.
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromServer();
    if (socket->state() == QLocalSocket::UnconnectedState)
        socket->deleteLater();
}

void ControlServer::readClient(ControlClient *client)
{
    QLocalSocket *socket = client->socket;
    while (!client->waiting && socket->bytesAvailable() > 0) {
        client->idle->start();
        const QByteArray head = socket->peek(MaxLineBytes + 1);
        const qsizetype newline = head.indexOf('\n');
        if (client->discarding) {
            socket->read(newline < 0 ? head.size() : newline + 1);
            if (newline >= 0)
                client->discarding = false;
            continue;
        }
        if (newline < 0) {
            if (head.size() <= MaxLineBytes)
                return; // the rest of the line is still on its way
            socket->read(head.size());
            client->discarding = true;
            malformed(client, QString(),
                      QStringLiteral("request too long (at most %1 bytes with its newline)")
                          .arg(MaxLineBytes),
                      nullptr);
            if (!clientOf(socket))
                return;
            continue;
        }
        handleLine(client, socket->read(newline + 1));
        // A client dropped for its malformed requests is gone now.
        if (!clientOf(socket))
            return;
    }
}

void ControlServer::handleLine(ControlClient *client, const QByteArray &line)
{
    QByteArray bytes = line.chopped(1);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError() || text.contains(QChar(0))) {
        malformed(client, QString(), QStringLiteral("the request is not UTF-8 text"), nullptr);
        return;
    }
    Request request;
    request.who = client->user;
    request.way = QStringLiteral("socket");
    request.words = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    // The agent says whose request it passes on; the log keeps the Unix user
    // who connected beside that claim, never only the claim.
    if (request.words.size() >= 3 && request.words.at(0).toLower() == QLatin1String("via") &&
        request.words.at(1).toLower() == QLatin1String("snmp")) {
        request.who =
            QStringLiteral("snmp %1 (agent user %2)").arg(request.words.at(2), client->user);
        request.way = QStringLiteral("snmp");
        request.words = request.words.mid(3);
    }
    if (request.words.isEmpty()) {
        malformed(client, QString(), QStringLiteral("empty request"), nullptr);
        return;
    }
    for (QString &word : request.words)
        if (word.size() < 32)
            word = word.toLower();
    execute(client, request);
}

void ControlServer::malformed(ControlClient *client, const QString &command, const QString &reason,
                              const Request *request)
{
    QLocalSocket *socket = client->socket;
    const int count = ++client->malformed;
    // A command named with a bad argument is logged as any command; noise
    // that names none is not a command.
    if (request)
        finish(socket, request->who, request->way, command, QStringLiteral("error"), reason);
    else
        send(client, replyObject(false, QStringLiteral("error"), reason, command));
    if (ControlClient *still = clientOf(socket); still && count >= MaxMalformed)
        dropClient(still);
}

QJsonObject ControlServer::replyObject(bool ok, const QString &outcome, const QString &reason,
                                       const QString &command)
{
    QJsonObject object{{QStringLiteral("protocol"), 1},
                       {QStringLiteral("ok"), ok},
                       {QStringLiteral("outcome"), outcome}};
    // A command done without the transmitter (already off the air) says why too.
    if (!ok || !reason.isEmpty())
        object.insert(QStringLiteral("reason"), reason);
    if (!command.isEmpty())
        object.insert(QStringLiteral("command"), command);
    return object;
}

void ControlServer::send(ControlClient *client, const QJsonObject &object)
{
    client->socket->write(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
    client->idle->start();
    // A client that asks and never reads would make this program hold its replies.
    if (client->socket->bytesToWrite() > MaxUnreadReplyBytes)
        dropClient(client);
}

void ControlServer::finish(QLocalSocket *socket, const QString &who, const QString &way,
                           const QString &command, const QString &outcome, const QString &reason,
                           bool log, const QJsonObject &extra)
{
    const bool ok = outcome == QLatin1String("done") || outcome == QLatin1String("confirmed");
    if (log) {
        m_watch.logCommand(who, way, command, outcome, reason);
        m_last = RemoteCommand{QDateTime::currentDateTimeUtc(), who, way, command, outcome, reason};
        Q_EMIT commandFinished(*m_last);
    }
    ControlClient *client = clientOf(socket);
    if (!client)
        return;
    QJsonObject object = replyObject(ok, outcome, reason, command);
    for (auto it = extra.begin(); it != extra.end(); ++it)
        object.insert(it.key(), it.value());
    send(client, object);
    // A client that does not read its replies may have been closed by now.
    client = clientOf(socket);
    if (client && client->waiting) {
        client->waiting = false;
        resume(client);
    }
}

void ControlServer::resume(ControlClient *client)
{
    // Read on from the event loop, not from inside the engine's signal.
    QTimer::singleShot(0, client->socket, [this, socket = client->socket] {
        if (ControlClient *c = clientOf(socket))
            readClient(c);
    });
}

void ControlServer::execute(ControlClient *client, const Request &request)
{
    const QStringList &w = request.words;
    const QString verb = w.at(0);
    const bool oneWord = w.size() == 1;
    // A named command with a bad argument is recorded as it was asked.
    const QString asked = w.join(QLatin1Char(' '));
    if (verb == QLatin1String("version") || verb == QLatin1String("status")) {
        if (!oneWord) {
            malformed(client, verb, QStringLiteral("%1 takes no argument").arg(verb), nullptr);
            return;
        }
    } else if (verb == QLatin1String("rf")) {
        if (w.size() != 2 || (w.at(1) != QLatin1String("off") && w.at(1) != QLatin1String("on"))) {
            malformed(client, asked, QStringLiteral("rf takes off or on"), &request);
            return;
        }
    } else if (verb == QLatin1String("ack")) {
        if (w.size() != 2 ||
            (w.at(1) != QLatin1String("all") && !AlarmKinds::fromId(w.at(1)).has_value())) {
            QStringList names;
            for (const AlarmKind kind : AlarmKinds::All)
                names << AlarmKinds::id(kind);
            malformed(client, asked,
                      QStringLiteral("ack takes an alarm's name (%1) or all")
                          .arg(names.join(QStringLiteral(", "))),
                      &request);
            return;
        }
    } else if (verb == QLatin1String("frequency")) {
        bool number = w.size() == 2;
        const int kHz = number ? w.at(1).toInt(&number) : 0;
        const QString digits = w.value(1);
        for (const QChar c : digits)
            number = number && c.isDigit();
        if (!number || kHz <= 0 || kHz > 999990 || kHz % 10 != 0) {
            malformed(client, asked,
                      QStringLiteral("frequency takes whole kHz in steps of 10, such as 107900"),
                      &request);
            return;
        }
    } else {
        malformed(client, QString(),
                  QStringLiteral("unknown command (status, version, rf off, rf on, ack ALARM|all, "
                                 "frequency KHZ)"),
                  nullptr);
        return;
    }
    const QString command = w.join(QLatin1Char(' '));
    const bool logged = verb != QLatin1String("version") && verb != QLatin1String("status");

    const qint64 now = monotonic().elapsed();
    while (!client->recent.empty() && now - client->recent.front() >= 1000)
        client->recent.pop_front();
    if (int(client->recent.size()) >= MaxRequestsPerSecond) {
        finish(client->socket, request.who, request.way, command, QStringLiteral("refused"),
               QStringLiteral("too many requests"), logged && !client->rateLogged);
        client->rateLogged = true;
        return;
    }
    client->recent.push_back(now);
    client->rateLogged = false;

    if (verb == QLatin1String("version")) {
        finish(client->socket, request.who, request.way, command, QStringLiteral("done"), QString(),
               false,
               QJsonObject{{QStringLiteral("program"), m_program},
                           {QStringLiteral("instance"), m_instance}});
        return;
    }
    if (verb == QLatin1String("status")) {
        finish(client->socket, request.who, request.way, command, QStringLiteral("done"), QString(),
               false, statusObject());
        return;
    }
    const auto refuse = [&](const QString &reason) {
        finish(client->socket, request.who, request.way, command, QStringLiteral("refused"),
               reason);
    };
    if (!m_watch.recordProblem().isEmpty()) {
        refuse(QStringLiteral("the transmitter log has stopped (%1), and no remote command is "
                              "taken without it")
                   .arg(m_watch.recordProblem()));
        return;
    }
    // What is not allowed is said first: it will not change by trying later.
    if (verb == QLatin1String("rf") && w.at(1) == QLatin1String("on") && !m_settings.allowRfOn) {
        refuse(QStringLiteral("putting RF on the air remotely is not allowed here ([Control] "
                              "AllowRfOn)"));
        return;
    }
    if (verb == QLatin1String("frequency") && !m_settings.allowFrequency) {
        refuse(QStringLiteral("programming a frequency remotely is not allowed here ([Control] "
                              "AllowFrequency)"));
        return;
    }
    // An acknowledgement sends nothing to the transmitter: like the Station
    // window's button it is taken in any state, so LINK LOST can be
    // acknowledged while the link is down.
    if (m_engine.state() != ConnectionState::Polling && verb != QLatin1String("ack")) {
        refuse(notConnected());
        return;
    }
    if (verb == QLatin1String("rf"))
        startRf(client, request, w.at(1) == QLatin1String("on"));
    else if (verb == QLatin1String("frequency"))
        startFrequency(client, request, w.at(1).toInt());
    else
        acknowledge(client, request);
}

void ControlServer::startRf(ControlClient *client, const Request &request, bool onAir)
{
    const QString command = request.words.join(QLatin1Char(' '));
    // One press at a time, the operator's or a remote one: a second would
    // change which way the first one goes.
    if (m_rf.active || m_engine.rfPressed()) {
        finish(client->socket, request.who, request.way, command, QStringLiteral("refused"),
               QStringLiteral("another RF command is under way"));
        return;
    }
    m_rf = Pending{true, client->socket, request.who, request.way, command, onAir, 0};
    client->waiting = true;
    m_engine.setRfPressed(true, onAir ? LinkEngine::RfWay::OnAir : LinkEngine::RfWay::OffAir);
}

void ControlServer::startFrequency(ControlClient *client, const Request &request, qint32 kHz)
{
    const QString command = request.words.join(QLatin1Char(' '));
    const auto refuse = [&](const QString &reason) {
        finish(client->socket, request.who, request.way, command, QStringLiteral("refused"),
               reason);
    };
    if (m_frequency.active || m_engine.programmingPending() || m_engine.programming()) {
        refuse(QStringLiteral("a programming is under way"));
        return;
    }
    if (m_entryOpen && m_entryOpen()) {
        refuse(QStringLiteral("the operator has a frequency entry open at the panel"));
        return;
    }
    const BandLimits &band = m_engine.band();
    if (!band.usable()) {
        refuse(QStringLiteral("the band limits cannot be used: %1").arg(band.whyUnusable()));
        return;
    }
    if (!band.accepts(kHz)) {
        refuse(QStringLiteral("%1 kHz is outside the band (%2 to %3 kHz)")
                   .arg(kHz)
                   .arg(band.downText(), band.upText()));
        return;
    }
    const QString digits = QStringLiteral("%1").arg(kHz / 10, 5, 10, QLatin1Char('0'));
    if (!m_engine.requestProgramming(digits)) {
        refuse(QStringLiteral("the link does not take a programming now"));
        return;
    }
    m_frequency = Pending{true, client->socket, request.who, request.way, command, false, kHz};
    client->waiting = true;
}

void ControlServer::acknowledge(ControlClient *client, const Request &request)
{
    const QString command = request.words.join(QLatin1Char(' '));
    AlarmBook *book = m_watch.alarmBook();
    if (!book) {
        finish(client->socket, request.who, request.way, command, QStringLiteral("refused"),
               QStringLiteral("alarms are off on this panel ([Alarms] Enabled)"));
        return;
    }
    const QString name = request.words.at(1);
    if (name == QLatin1String("all")) {
        QJsonArray done;
        for (const AlarmKind kind : AlarmKinds::All)
            if (m_watch.acknowledge(kind, request.who))
                done.append(AlarmKinds::id(kind));
        finish(client->socket, request.who, request.way, command, QStringLiteral("done"), QString(),
               true, QJsonObject{{QStringLiteral("acknowledged"), done}});
        return;
    }
    const AlarmKind kind = *AlarmKinds::fromId(name);
    if (!m_watch.acknowledge(kind, request.who)) {
        finish(client->socket, request.who, request.way, command, QStringLiteral("refused"),
               QStringLiteral("%1 is not waiting for an acknowledgement").arg(name));
        return;
    }
    finish(client->socket, request.who, request.way, command, QStringLiteral("done"), QString(),
           true, QJsonObject{{QStringLiteral("acknowledged"), QJsonArray{name}}});
}

void ControlServer::endPending(Pending &pending, const QString &outcome, const QString &reason)
{
    if (!pending.active)
        return;
    const Pending ended = pending;
    pending = Pending();
    finish(ended.socket, ended.who, ended.way, ended.command, outcome, reason);
}

void ControlServer::onRfCommandSent(bool onAir, bool confirmed)
{
    if (!m_rf.active)
        return;
    if (onAir != m_rf.onAir)
        endPending(m_rf, QStringLiteral("lost"),
                   QStringLiteral("the RF switch at the panel was pressed meanwhile"));
    else if (confirmed)
        endPending(m_rf, QStringLiteral("confirmed"), QString());
    else
        endPending(m_rf, QStringLiteral("lost"),
                   QStringLiteral("the command went out but the transmitter did not confirm it"));
}

void ControlServer::onRfReleased()
{
    if (!m_rf.active)
        return;
    if (m_engine.state() != ConnectionState::Polling) {
        endPending(m_rf, QStringLiteral("lost"),
                   QStringLiteral("the connection ended before the transmitter confirmed"));
        return;
    }
    // Let go with no command sent: the transmitter was already that way,
    // or told neither on nor off.
    const TxReading::Item<bool> &onAir = m_engine.reading().onAir;
    if (onAir.present() && onAir.value && *onAir.value == m_rf.onAir)
        endPending(m_rf, QStringLiteral("done"),
                   m_rf.onAir ? QStringLiteral("already on air")
                              : QStringLiteral("already off air"));
    else
        endPending(m_rf, QStringLiteral("refused"),
                   QStringLiteral("the transmitter's on-air answer \"%1\" is neither on nor off")
                       .arg(m_engine.rfStatus()));
}

void ControlServer::onReadingTaken()
{
    // A cycle has ended and the press is gone without a word: let go at the panel.
    if (m_rf.active && !m_engine.rfPressed())
        endPending(m_rf, QStringLiteral("lost"),
                   QStringLiteral("the RF switch was let go at the panel before the command went "
                                  "out"));
}

void ControlServer::onFrequencyProgrammed(qint32 fromKHz, qint32 toKHz, bool programmed, bool lost)
{
    Q_UNUSED(fromKHz)
    if (!m_frequency.active)
        return;
    if (toKHz != m_frequency.kHz)
        endPending(
            m_frequency, QStringLiteral("lost"),
            QStringLiteral("the operator programmed %1 kHz at the panel instead").arg(toKHz));
    else if (programmed)
        endPending(m_frequency, QStringLiteral("confirmed"), QString());
    else if (lost)
        endPending(m_frequency, QStringLiteral("lost"),
                   QStringLiteral("the link was lost during the programming"));
    else
        endPending(m_frequency, QStringLiteral("refused"),
                   QStringLiteral("the transmitter did not echo every digit: not programmed"));
}

void ControlServer::onStateChanged(ConnectionState state)
{
    // Nothing is carried into another connection: what waited is over.
    if (state == ConnectionState::Polling)
        return;
    endPending(m_rf, QStringLiteral("lost"),
               QStringLiteral("the connection ended before the transmitter confirmed"));
    endPending(m_frequency, QStringLiteral("lost"),
               QStringLiteral("the connection ended before the frequency was programmed"));
}

QJsonObject ControlServer::statusObject() const
{
    const bool polling = m_engine.state() == ConnectionState::Polling;
    // Readings belong to a connection that polls, as on the panel and in the feed.
    const TxReading reading = polling ? m_engine.reading() : TxReading();
    QJsonArray alarms;
    if (const AlarmBook *book = m_watch.alarmBook())
        for (const AlarmKind kind : AlarmKinds::All)
            if (book->entry(kind).active())
                alarms.append(AlarmKinds::id(kind));
    return QJsonObject{
        {QStringLiteral("state"), connectionStateName(m_engine.state())},
        {QStringLiteral("on_air"), flagOrNull(reading.onAir)},
        {QStringLiteral("frequency_khz"), numberOrNull(valueOf(reading.frequencyKHz))},
        {QStringLiteral("forward_w"), numberOrNull(valueOf(reading.forwardW))},
        {QStringLiteral("reflected_w"), numberOrNull(valueOf(reading.reflectedW))},
        {QStringLiteral("temperature_c"), numberOrNull(valueOf(reading.temperatureC))},
        {QStringLiteral("locked"), flagOrNull(reading.locked)},
        {QStringLiteral("alarms"), alarms},
        {QStringLiteral("last_remote"), RemoteCommand::json(m_last)},
    };
}
