// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "control/ControlSettings.h"
#include "control/RemoteCommand.h"
#include "link/ConnectionState.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class LinkEngine;
class QLocalServer;
class QLocalSocket;
class StationWatch;
struct ControlClient;

// The control socket: commands from the station's engineers (txpanelctl,
// over ssh if they are away) and from the SNMP agent, each entering the link
// engine exactly where the operator's click does, so a remote command obeys
// the same gates as the front panel and never writes a byte of its own.
//
// Who sent a command is the Unix user the kernel names for the socket's
// peer, never a name the client gives; every command but status and version
// is written to the transmitter log, accepted or refused. Without a record
// nothing could be answered for afterwards, so the socket is not opened
// while the record is off.
//
// One RF command and one frequency at a time, each tied to the connection it
// was asked in: a change of state answers it "lost", and nothing is left
// waiting for the next connection.
class ControlServer : public QObject
{
    Q_OBJECT
public:
    // The limits the protocol promises its clients.
    static constexpr int MaxClients = 8;
    static constexpr int MaxRequestsPerSecond = 5;
    static constexpr int MaxLineBytes = 256;
    static constexpr int MaxMalformed = 3;
    static constexpr int IdleMs = 60000;
    // A client that does not read its replies is closed past this.
    static constexpr int MaxUnreadReplyBytes = 65536;

    ControlServer(LinkEngine &engine, StationWatch &watch, const ControlSettings &settings,
                  QObject *parent = nullptr);
    ~ControlServer() override;

    // Opens the socket when the settings ask for it and the record is on.
    // True when it listens, or when control is off as asked; false with
    // problem() telling why (unavailable() too).
    bool start();
    // Closes every client and removes the socket file (only if it is still
    // the one this server made).
    void stop();
    bool isListening() const;
    QString socketPath() const { return m_settings.socket; }
    QString problem() const { return m_problem; }
    int clientCount() const { return int(m_clients.size()); }

    // The desktop: whether the operator has a frequency entry open on the
    // keypad, which a remote frequency must not cut across. None: never.
    void setEntryOpen(std::function<bool()> entryOpen) { m_entryOpen = std::move(entryOpen); }
    // What `version` names: "txpanel" (the default) or "txpaneld", and the
    // service's instance ("" for the desktop).
    void setProgram(const QString &program, const QString &instance);

    // The last command written to the log, if any since the start.
    std::optional<RemoteCommand> lastCommand() const { return m_last; }

Q_SIGNALS:
    // The control asked for does not run, and why.
    void unavailable(const QString &why);
    // A command has been answered (status and version are not told).
    void commandFinished(const RemoteCommand &command);

private:
    // A command that waits for the transmitter: who asked, over which
    // connection (gone if the client left; the command still ends, and is
    // still logged), and what it waits for.
    struct Pending
    {
        bool active = false;
        QPointer<QLocalSocket> socket;
        QString who;
        QString way;
        QString command;
        bool onAir = false; // an RF command: the way asked
        qint32 kHz = 0;     // a frequency
    };
    struct Request
    {
        QString who;
        QString way;
        QStringList words; // keywords in lower case
    };

    bool openSocket(QString *why);
    void closeSocketFile();
    void onNewConnection();
    void refuseAtConnect(QLocalSocket *socket, const QString &user, const QString &reason,
                         bool log);
    ControlClient *clientOf(const QObject *socket) const;
    void readClient(ControlClient *client);
    void handleLine(ControlClient *client, const QByteArray &line);
    // Answers now, or leaves a command pending on the engine.
    void execute(ControlClient *client, const Request &request);
    void startRf(ControlClient *client, const Request &request, bool onAir);
    void startFrequency(ControlClient *client, const Request &request, qint32 kHz);
    void acknowledge(ControlClient *client, const Request &request);
    // A reply with the members every reply has.
    static QJsonObject replyObject(bool ok, const QString &outcome, const QString &reason,
                                   const QString &command);
    void send(ControlClient *client, const QJsonObject &object);
    // A command's end: logged, told, answered; the client read on.
    void finish(QLocalSocket *socket, const QString &who, const QString &way,
                const QString &command, const QString &outcome, const QString &reason,
                bool log = true, const QJsonObject &extra = QJsonObject());
    void resume(ControlClient *client);
    void malformed(ControlClient *client, const QString &command, const QString &reason,
                   const Request *request);
    void dropClient(ControlClient *client);
    QJsonObject statusObject() const;
    void endPending(Pending &pending, const QString &outcome, const QString &reason);
    void onRfCommandSent(bool onAir, bool confirmed);
    void onRfReleased();
    void onReadingTaken();
    void onFrequencyProgrammed(qint32 fromKHz, qint32 toKHz, bool programmed, bool lost);
    void onStateChanged(ConnectionState state);

    LinkEngine &m_engine;
    StationWatch &m_watch;
    ControlSettings m_settings;
    QPointer<QLocalServer> m_server;
    std::vector<std::unique_ptr<ControlClient>> m_clients;
    QString m_problem;
    std::function<bool()> m_entryOpen;
    QString m_program = QStringLiteral("txpanel");
    QString m_instance;
    std::optional<RemoteCommand> m_last;
    // The socket file this server made, so that it removes no other.
    bool m_madeSocket = false;
    quint64 m_socketDevice = 0;
    quint64 m_socketInode = 0;

    Pending m_rf;
    Pending m_frequency;
};
