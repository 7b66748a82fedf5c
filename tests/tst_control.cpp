// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The control socket as an engineer uses it: txpanelctl run as a process
// against a link engine polling txsim, with the station's record and the
// feed beside it, and the desktop panel serving it.
#include "app/PanelProgram.h"
#include "app/frmTerminale.h"
#include "control/ControlServer.h"
#include "feed/FeedDocuments.h"
#include "feed/StatusFeed.h"
#include "link/Commands.h"
#include "link/LinkEngine.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"
#include "record/OperatingSystemUser.h"
#include "record/Recorder.h"
#include "record/StationWatch.h"
#include "sim/TxSimulator.h"
#include "support/PanelDriver.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
struct Result
{
    int code = -1;
    QString out;
    QString err;
};

// One engine polling txsim, its watch recording into a private folder, and
// the control socket in that folder.
struct Site
{
    QTemporaryDir dir;
    TxSimulator sim;
    LinkEngine engine;
    std::unique_ptr<StationWatch> watch;
    std::unique_ptr<ControlServer> server;

    QString socket() const { return dir.path() + QStringLiteral("/control"); }
    ControlSettings settings() const
    {
        ControlSettings s;
        s.enabled = true;
        s.socket = socket();
        return s;
    }
    bool start(const ControlSettings &control, bool poll = true, bool alarms = false)
    {
        if (!sim.start())
            return false;
        engine.setLine({QStringLiteral("1"), QStringLiteral("COM1"), sim.devicePath(), QString()});
        engine.setBand(BandLimits::fromStored(QVariant(QStringLiteral("108000")),
                                              QVariant(QStringLiteral("87500"))));
        AlarmSettings alarmSettings;
        alarmSettings.enabled = alarms;
        RecordSettings record;
        record.enabled = true;
        record.path = dir.path() + QStringLiteral("/record.sqlite");
        watch = std::make_unique<StationWatch>(engine, alarmSettings, record);
        watch->start();
        server = std::make_unique<ControlServer>(engine, *watch, control);
        if (!server->start())
            return false;
        if (!poll)
            return true;
        engine.powerOn();
        return QTest::qWaitFor([this] { return engine.statusCycles() >= 1; }, 10000);
    }
    // The remote-command rows of the record: user, subject, new, outcome, detail.
    QList<QStringList> remoteRows()
    {
        watch->recorder()->flush();
        QList<QStringList> rows;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                        QStringLiteral("control-check"));
            db.setDatabaseName(dir.path() + QStringLiteral("/record.sqlite"));
            db.open();
            QSqlQuery q(
                QStringLiteral("SELECT user || '|' || subject || '|' || new_value || '|' || "
                               "outcome || '|' || detail FROM events WHERE kind = "
                               "'remote-command' ORDER BY id"),
                db);
            while (q.next())
                rows << q.value(0).toString().split(QLatin1Char('|'));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("control-check"));
        return rows;
    }
    ~Site()
    {
        server.reset();
        engine.powerOff();
    }
};

// txpanelctl as the engineer runs it, the event loop serving the engine
// and the simulator until it has exited.
QString ctlProgram()
{
    return qEnvironmentVariable("TXPANEL_BUILD_DIR") + QStringLiteral("/txpanelctl");
}

void storeRecord(PanelDriver &driver)
{
    driver.store(QStringLiteral("Record"), QStringLiteral("Enabled"), QStringLiteral("true"));
    driver.store(QStringLiteral("Record"), QStringLiteral("Path"),
                 driver.storeDir() + QStringLiteral("/record.sqlite"));
}

// The permission bits of a file; -1 when there is none.
int modeOf(const QString &path)
{
    using Stat = struct stat;
    Stat status{};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 0777)
                                                                     : -1;
}

Result ctl(const QString &socket, const QString &command, bool asNobody = false)
{
    QStringList args = command.split(QLatin1Char(' '));
    const QString program = ctlProgram();
    args.prepend(socket);
    args.prepend(QStringLiteral("--socket"));
    QProcess process;
    if (asNobody)
        process.start(QStringLiteral("setpriv"),
                      QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                  QStringLiteral("--clear-groups"), program} +
                          args);
    else
        process.start(program, args);
    Result result;
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000))
        return result;
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    result.err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return result;
}

} // namespace

class ControlTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rfOffTakesTheTransmitterOffTheAir();
    void commands_data();
    void commands();
    void pendingRfCommand_data();
    void pendingRfCommand();
    void usersAtConnect_data();
    void usersAtConnect();
    void boundsWhileThePollGoesOn();
    void agentNamesWhomItActsFor();
    void socketFileTakenOver_data();
    void socketFileTakenOver();
    void desktopPanel();
    void panelWithoutControl_data();
    void panelWithoutControl();
};

void ControlTest::rfOffTakesTheTransmitterOffTheAir()
{
    Site site;
    site.sim.setOnAir(true);
    QVERIFY(site.start(site.settings()));
    StatusFeed feed(site.engine);
    feed.setLastRemote([&site] { return site.server->lastCommand(); });

    const Result off = ctl(site.socket(), QStringLiteral("rf off"));
    QCOMPARE(off.code, 0);
    QCOMPARE(off.out, QStringLiteral("RF off: confirmed by the transmitter"));
    QCOMPARE(site.sim.received().count(char(TxCommand::CMD_RF_OFF)), 1);
    QVERIFY(!site.sim.onAir());
    // The feed says so from the next reading on, and names who did it.
    const quint64 cycles = site.engine.statusCycles();
    QTRY_VERIFY(site.engine.statusCycles() > cycles);
    const QJsonObject status =
        QJsonDocument::fromJson(FeedDocuments::statusJson(feed.snapshot())).object();
    QCOMPARE(status[QStringLiteral("readings")][QStringLiteral("on_air")][QStringLiteral("value")],
             QJsonValue(false));
    QJsonObject last = status[QStringLiteral("last_remote")].toObject();
    QVERIFY(last.take(QStringLiteral("when")).toString().endsWith(QLatin1Char('Z')));
    QCOMPARE(last, (QJsonObject{{QStringLiteral("who"), OperatingSystemUser::name()},
                                {QStringLiteral("way"), QStringLiteral("socket")},
                                {QStringLiteral("command"), QStringLiteral("rf off")},
                                {QStringLiteral("outcome"), QStringLiteral("confirmed")}}));

    // Off already: done, and no byte for it.
    const Result again = ctl(site.socket(), QStringLiteral("rf off"));
    QCOMPARE(again.code, 0);
    QCOMPARE(again.out, QStringLiteral("RF off: done (already off air)"));
    QCOMPARE(site.sim.received().count(char(TxCommand::CMD_RF_OFF)), 1);

    const QList<QStringList> rows = site.remoteRows();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0),
             (QStringList{OperatingSystemUser::name(), QStringLiteral("socket"),
                          QStringLiteral("rf off"), QStringLiteral("confirmed"), QString()}));
    QCOMPARE(rows.at(1).at(3), QStringLiteral("done"));
}

void ControlTest::commands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("poll");
    QTest::addColumn<bool>("allow"); // AllowRfOn and AllowFrequency
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("said");    // on standard output when it went, else standard error
    QTest::addColumn<QString>("outcome"); // in the record
    QTest::addColumn<int>("sent");        // the command byte that went out; 0 for none

    const auto row = [](const char *name, const char *command, bool poll, bool allow, int code,
                        const char *said, const char *outcome, int sent) {
        QTest::newRow(name) << QString::fromUtf8(command) << poll << allow << code
                            << QString::fromUtf8(said) << QString::fromUtf8(outcome) << sent;
    };
    row("rf on not allowed", "rf on", true, false, 1, "([Control] AllowRfOn)", "refused", 0);
    row("rf on allowed", "rf on", true, true, 0, "RF on: confirmed by the transmitter", "confirmed",
        TxCommand::CMD_RF_ON);
    row("frequency not allowed", "frequency 98000", true, false, 1, "([Control] AllowFrequency)",
        "refused", 0);
    row("frequency out of band", "frequency 109000", true, true, 1,
        "109000 kHz is outside the band (87500 to 108000 kHz)", "refused", 0);
    row("frequency in band", "frequency 98500", true, true, 0,
        "Frequency 98500 kHz: confirmed by the transmitter", "confirmed",
        TxCommand::CMD_SET_FREQUENCY);
    row("not polling", "rf off", false, true, 1, "not connected to the transmitter", "refused", 0);
    row("ack all, nothing waiting", "ack all", true, true, 0,
        "Acknowledge all: done, nothing waited for an acknowledgement", "done", 0);
    row("ack while not polling", "ack all", false, true, 0,
        "Acknowledge all: done, nothing waited for an acknowledgement", "done", 0);
    row("frequency between steps", "frequency 107905", true, true, 2, "whole kHz in steps of 10",
        "error", 0);
    row("no such alarm", "ack fire", true, true, 2, "ack takes an alarm's name", "error", 0);
    row("rf neither off nor on", "rf sideways", true, true, 2, "rf takes off or on", "error", 0);
}

void ControlTest::commands()
{
    QFETCH(QString, command);
    QFETCH(bool, poll);
    QFETCH(bool, allow);
    QFETCH(QString, said);
    QFETCH(int, sent);
    Site site;
    ControlSettings settings = site.settings();
    settings.allowRfOn = allow;
    settings.allowFrequency = allow;
    QVERIFY(site.start(settings, poll, true));
    const Result result = ctl(site.socket(), command);
    QTEST(result.code, "code");
    QVERIFY2((result.code == 0 ? result.out : result.err).contains(said),
             qPrintable(result.out + result.err));
    // Nothing for the transmitter but the questions of the poll, and the one command asked.
    for (const quint8 byte :
         {TxCommand::CMD_RF_ON, TxCommand::CMD_RF_OFF, TxCommand::CMD_SET_FREQUENCY})
        QCOMPARE(site.sim.received().contains(char(byte)), byte == sent);
    if (sent == TxCommand::CMD_SET_FREQUENCY)
        QCOMPARE(site.sim.frequencyKHz(), 98500);
    const QList<QStringList> rows = site.remoteRows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).at(2), command);
    QTEST(rows.at(0).at(3), "outcome");
    if (result.code != 0)
        QVERIFY(rows.at(0).at(4).contains(said));
}

void ControlTest::pendingRfCommand_data()
{
    QTest::addColumn<bool>("connectionEnds");
    QTest::newRow("a second RF command meanwhile is refused") << false;
    QTest::newRow("lost with the connection, not carried over") << true;
}

void ControlTest::pendingRfCommand()
{
    QFETCH(bool, connectionEnds);
    Site site;
    site.sim.setOnAir(true);
    // A slow transmitter: the press waits for the end of its cycle.
    site.sim.setReplyDelayMs(150);
    QVERIFY(site.start(site.settings()));
    QProcess first;
    first.start(ctlProgram(), {QStringLiteral("--socket"), site.socket(), QStringLiteral("rf"),
                               QStringLiteral("off")});
    QTRY_VERIFY(site.engine.rfPressed());
    if (connectionEnds) {
        site.engine.stop();
    } else {
        const Result second = ctl(site.socket(), QStringLiteral("rf off"));
        QCOMPARE(second.code, 1);
        QVERIFY2(second.err.contains(QStringLiteral("another RF command is under way")),
                 qPrintable(second.err));
    }
    QTRY_COMPARE_WITH_TIMEOUT(first.state(), QProcess::NotRunning, 20000);
    QCOMPARE(first.exitCode(), connectionEnds ? 1 : 0);
    if (connectionEnds) {
        QVERIFY(first.readAllStandardError().contains("lost: the connection ended"));
        // The next connection starts with no press of the last one.
        site.engine.powerOff();
        site.sim.setReplyDelayMs(0);
        site.engine.powerOn();
        QTRY_VERIFY(site.engine.statusCycles() >= 3);
    }
    QCOMPARE(site.sim.received().count(char(TxCommand::CMD_RF_OFF)), connectionEnds ? 0 : 1);
    QCOMPARE(site.remoteRows().value(0).value(3),
             connectionEnds ? QStringLiteral("lost") : QStringLiteral("refused"));
}

void ControlTest::usersAtConnect_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QStringList>("users");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("said");
    QTest::newRow("0600: the owner only") << QString() << QStringList() << 2 << "cannot reach";
    QTest::newRow("0660 nogroup: let in") << "nogroup" << QStringList() << 0 << "polling";
    QTest::newRow("0660 nogroup, Users narrows")
        << "nogroup" << QStringList{QStringLiteral("root")} << 1
        << "user nobody may not use remote control here ([Control] Users)";
}

void ControlTest::usersAtConnect()
{
    if (::geteuid() != 0)
        QSKIP("the peer's user is tried with setpriv, which needs root");
    QFETCH(QString, group);
    QFETCH(QStringList, users);
    Site site;
    // Only the socket's own mode and group stand between another user and it.
    QCOMPARE(::chmod(QFile::encodeName(site.dir.path()).constData(), 0711), 0);
    ControlSettings settings = site.settings();
    settings.group = group;
    settings.users = users;
    QVERIFY(site.start(settings));
    QCOMPARE(modeOf(site.socket()), group.isEmpty() ? 0600 : 0660);
    const Result result = ctl(site.socket(), QStringLiteral("status"), true);
    QTEST(result.code, "code");
    QFETCH(QString, said);
    QVERIFY2((result.out + result.err).contains(said), qPrintable(result.out + result.err));
}

void ControlTest::boundsWhileThePollGoesOn()
{
    Site site;
    QVERIFY(site.start(site.settings()));
    const quint64 before = site.engine.statusCycles();
    const QList<QByteArray> bad{"launch missiles\n",
                                QByteArray(300, 'x') + '\n',
                                "\xff\xfe status\n",
                                "frequency 12a\n",
                                "rf\n",
                                QByteArray(5000, 'y') + '\n'};
    constexpr int Requests = 1002; // three to a connection, each closed after its third
    int sent = 0;
    int answered = 0;
    while (sent < Requests) {
        std::vector<std::unique_ptr<QLocalSocket>> clients;
        for (int c = 0; c < ControlServer::MaxClients && sent < Requests; ++c) {
            auto client = std::make_unique<QLocalSocket>();
            QLocalSocket *raw = client.get();
            connect(raw, &QLocalSocket::readyRead, raw, [raw, &answered] {
                answered += int(raw->readAll().count("\"outcome\":\"error\""));
            });
            client->connectToServer(site.socket());
            for (int r = 0; r < 3; ++r)
                client->write(bad.at(sent++ % bad.size()));
            clients.push_back(std::move(client));
        }
        for (const auto &client : clients)
            QTRY_COMPARE(client->state(), QLocalSocket::UnconnectedState);
    }
    QCOMPARE(answered, Requests);
    // The poll went on under the flood, and the socket still answers.
    QVERIFY(site.engine.statusCycles() > before);
    QCOMPARE(site.engine.state(), ConnectionState::Polling);
    const Result status = ctl(site.socket(), QStringLiteral("status"));
    QVERIFY2(status.out.startsWith(QStringLiteral("State: polling\nOn air: no")),
             qPrintable(status.out + status.err));
    // Only the two that name a command (frequency 12a, rf) are recorded.
    QCOMPARE(site.remoteRows().size(), Requests / 3);

    // Eight held open: the ninth is turned away.
    std::vector<std::unique_ptr<QLocalSocket>> held;
    for (int c = 0; c < ControlServer::MaxClients; ++c) {
        held.push_back(std::make_unique<QLocalSocket>());
        held.back()->connectToServer(site.socket());
    }
    QTRY_COMPARE(site.server->clientCount(), ControlServer::MaxClients);
    const Result ninth = ctl(site.socket(), QStringLiteral("status"));
    QCOMPARE(ninth.code, 1);
    QVERIFY2(ninth.err.contains(QStringLiteral("too many clients")), qPrintable(ninth.err));
    // Six at once on one connection: the sixth is refused, nothing done.
    QLocalSocket &first = *held.front();
    first.write(QByteArray("status\n").repeated(6));
    QTRY_COMPARE(first.peek(1 << 16).count('\n'), 6);
    const QList<QByteArray> replies = first.readAll().split('\n');
    QVERIFY(replies.at(4).contains("\"ok\":true"));
    QVERIFY(replies.at(5).contains("\"reason\":\"too many requests\""));
}

void ControlTest::agentNamesWhomItActsFor()
{
    Site site;
    QVERIFY(site.start(site.settings(), true, true));
    QLocalSocket agent;
    agent.connectToServer(site.socket());
    agent.write("via snmp ops ACK all\r\n");
    QTRY_VERIFY(agent.canReadLine());
    const QJsonObject reply = QJsonDocument::fromJson(agent.readLine()).object();
    QCOMPARE(reply[QStringLiteral("outcome")].toString(), QStringLiteral("done"));
    QCOMPARE(reply[QStringLiteral("command")].toString(), QStringLiteral("ack all"));
    // The claim is recorded beside the Unix user the kernel named, never instead.
    const QStringList row = site.remoteRows().value(0);
    QCOMPARE(row.value(0),
             QStringLiteral("snmp ops (agent user %1)").arg(OperatingSystemUser::name()));
    QCOMPARE(row.value(1), QStringLiteral("snmp"));
}

void ControlTest::socketFileTakenOver_data()
{
    QTest::addColumn<bool>("live");
    QTest::newRow("stale, from a program gone") << false;
    QTest::newRow("live, another program answers") << true;
}

void ControlTest::socketFileTakenOver()
{
    QFETCH(bool, live);
    Site site;
    QLocalServer other;
    if (live) {
        QVERIFY(other.listen(site.socket()));
    } else {
        // What a program that died leaves: the file, and nobody listening on it.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(site.socket());
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
        ::close(fd);
        QVERIFY(QFileInfo::exists(site.socket()));
    }
    QCOMPARE(site.start(site.settings(), false), !live);
    if (live)
        QVERIFY2(site.server->problem().contains(QStringLiteral("another program answers")),
                 qPrintable(site.server->problem()));
    else
        QCOMPARE(ctl(site.socket(), QStringLiteral("version")).out, QStringLiteral("txpanel"));
}

void ControlTest::desktopPanel()
{
    TxSimulator sim;
    QVERIFY(sim.start());
    sim.setOnAir(true);
    PanelDriver driver;
    // The desktop's own place: a private folder in the user's runtime folder.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const QString socket = runtime.path() + QStringLiteral("/txpanel/control");
    driver.store(QStringLiteral("Comm"), QStringLiteral("1"));
    driver.store(QStringLiteral("Link"), QStringLiteral("ConnectAtStart"), QStringLiteral("true"));
    storeRecord(driver);
    driver.store(QStringLiteral("Control"), QStringLiteral("Enabled"), QStringLiteral("true"));
    driver.store(QStringLiteral("Control"), QStringLiteral("AllowFrequency"),
                 QStringLiteral("true"));
    PanelDriver::mapPort(1, sim.devicePath());
    PanelProgram program;
    qunsetenv("XDG_RUNTIME_DIR");
    QCOMPARE(modeOf(runtime.path() + QStringLiteral("/txpanel")), 0700);
    QCOMPARE(modeOf(socket), 0600);
    frmTerminale &w = program.panel();
    w.show();
    QTRY_VERIFY_WITH_TIMEOUT(w.engine().statusCycles() >= 1, 10000);
    const Result off = ctl(socket, QStringLiteral("rf off"));
    QCOMPARE(off.code, 0);
    QCOMPARE(w.lblCommunications(0)->text(),
             QStringLiteral("RF OFF BY REMOTE (%1)").arg(OperatingSystemUser::name()));
    // Until the label timer puts the usual text back.
    QVERIFY(w.tmrPausaLabel->isActive());
    // Digits being typed at the panel are the operator's: no remote frequency cuts across them.
    w.cmdSetFrequency_Click();
    const Result tune = ctl(socket, QStringLiteral("frequency 98000"));
    QCOMPARE(tune.code, 1);
    QVERIFY2(tune.err.contains(QStringLiteral("the operator has a frequency entry open")),
             qPrintable(tune.err));
    QVERIFY(!sim.received().contains(char(TxCommand::CMD_SET_FREQUENCY)));
    Q_EMIT w.programEnding(QStringLiteral("test"));
    QVERIFY(!QFile::exists(socket));
    w.engine().powerOff();
}

void ControlTest::panelWithoutControl_data()
{
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<bool>("record");
    QTest::addColumn<QString>("problem");
    QTest::newRow("off, the default") << QString() << true << QString();
    QTest::newRow("on without the record") << "true" << false << "[Record] Enabled=false";
    QTest::newRow("Enabled misspelt") << "ture" << true << "[Control] Enabled \"ture\"";
    QTest::newRow("Socket not absolute")
        << "true" << true << "[Control] Socket \"control\" is not an absolute path";
    QTest::newRow("Group unknown") << "true" << true << "[Control] Group \"no-such-group\"";
}

void ControlTest::panelWithoutControl()
{
    QFETCH(QString, enabled);
    QFETCH(bool, record);
    QFETCH(QString, problem);
    PanelDriver driver;
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    if (!enabled.isEmpty())
        driver.store(QStringLiteral("Control"), QStringLiteral("Enabled"), enabled);
    // The one key each row gets wrong.
    const QString key = problem.section(QLatin1Char(' '), 1, 1);
    if (key == QLatin1String("Socket"))
        driver.store(QStringLiteral("Control"), key, QStringLiteral("control"));
    if (key == QLatin1String("Group"))
        driver.store(QStringLiteral("Control"), key, QStringLiteral("no-such-group"));
    if (record)
        storeRecord(driver);
    PanelProgram program;
    qunsetenv("XDG_RUNTIME_DIR");
    // Not even the folder the socket would be in.
    QVERIFY(!QFile::exists(runtime.path() + QStringLiteral("/txpanel")));
    const QString shown = program.panel().lblCommunications(0)->text() +
                          program.panel().lblCommunications(0)->toolTip();
    if (problem.isEmpty()) {
        QVERIFY(!program.control());
        QVERIFY(!shown.contains(QStringLiteral("REMOTE CONTROL")));
    } else {
        QVERIFY2(shown.contains(QStringLiteral("REMOTE CONTROL NOT AVAILABLE")), qPrintable(shown));
        QVERIFY2(shown.contains(problem), qPrintable(shown));
    }
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ControlTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_control.moc"
