// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// txpaneld as a station engineer runs it: its own settings file and record
// folder, a transmitter on the line, the service manager's notify socket,
// and the signals that stop and reload it.
#include "link/LinkEngine.h"
#include "link/MSComm.h"
#include "sim/TxSimulator.h"
#include "support/LineBytes.h"
#include "support/LockFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
QString program(const char *name)
{
    return qEnvironmentVariable("TXPANEL_BUILD_DIR") + QLatin1Char('/') + QLatin1String(name);
}

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

QString lockFileOf(const QString &device)
{
    QString name = device.mid(int(qstrlen("/dev/")));
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("/run/lock/LCK..") + name;
}

// The service manager's end of NOTIFY_SOCKET: a datagram socket the test binds.
class NotifySocket
{
public:
    explicit NotifySocket(const QString &path) : m_path(path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        m_bound = ::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    }
    ~NotifySocket()
    {
        ::close(m_fd);
        QFile::remove(m_path);
    }
    bool bound() const { return m_bound; }
    QString path() const { return m_path; }
    // Every message received so far, oldest first.
    QStringList messages()
    {
        char buffer[4096];
        for (ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0); n > 0;
             n = ::recv(m_fd, buffer, sizeof buffer, 0))
            m_messages << QString::fromUtf8(buffer, int(n));
        return m_messages;
    }
    bool got(const QString &prefix)
    {
        const QStringList all = messages();
        return std::any_of(all.begin(), all.end(),
                           [&prefix](const QString &m) { return m.startsWith(prefix); });
    }

private:
    QString m_path;
    int m_fd = -1;
    bool m_bound = false;
    QStringList m_messages;
};

// One instance of the service, with its settings file in a folder of its own.
class Service
{
public:
    explicit Service(const QString &instance) : m_instance(instance)
    {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
    }
    ~Service()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
        removeSerialLocksOf(m_pid);
    }
    QString folder() const { return m_dir.path(); }
    QString settingsFile() const { return m_dir.filePath(m_instance + QStringLiteral(".conf")); }
    QString record() const { return m_dir.filePath(QStringLiteral("state/record.sqlite")); }
    quint16 feedPort() const { return m_feedPort; }
    QProcess &process() { return m_process; }

    // A transmitter on this device, with the feed, the alarms and the record on.
    void writeSettings(const QString &device, const QByteArray &extra = QByteArray())
    {
        m_feedPort = freePort();
        writeFile("[Startup]\nLimitUp=108000\nLimitDown=87500\n[Link]\nDevice=" + device.toUtf8() +
                  "\n[Feed]\nEnabled=true\nPort=" + QByteArray::number(m_feedPort) +
                  "\n[Alarms]\nEnabled=true\n[Record]\nEnabled=true\n" + extra);
    }
    void writeFile(const QByteArray &bytes)
    {
        QFile file(settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    void start(const NotifySocket *notify = nullptr, const QString &watchdogUsec = QString())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("STATE_DIRECTORY"), m_dir.filePath(QStringLiteral("state")));
        if (notify)
            env.insert(QStringLiteral("NOTIFY_SOCKET"), notify->path());
        if (!watchdogUsec.isEmpty())
            env.insert(QStringLiteral("WATCHDOG_USEC"), watchdogUsec);
        QDir(m_dir.path()).mkpath(QStringLiteral("state"));
        m_process.setProcessEnvironment(env);
        m_process.start(program("txpaneld"), {QStringLiteral("--config"), settingsFile(),
                                              QStringLiteral("--instance"), m_instance});
        QVERIFY(m_process.waitForStarted());
        m_pid = m_process.processId();
    }
    // Standard error as the journal would keep it.
    QString log()
    {
        m_log += QString::fromUtf8(m_process.readAllStandardError());
        return m_log;
    }
    // The feed's /status.json, or an empty object while it does not answer.
    QJsonObject status()
    {
        QNetworkAccessManager network;
        QNetworkReply *reply = network.get(QNetworkRequest(
            QUrl(QStringLiteral("http://127.0.0.1:%1/status.json").arg(m_feedPort))));
        if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, 5000))
            return {};
        const QJsonObject object = QJsonDocument::fromJson(reply->readAll()).object();
        reply->deleteLater();
        return object;
    }
    void signal(int number) { ::kill(pid_t(m_pid), number); }

private:
    QString m_instance;
    QTemporaryDir m_dir;
    QProcess m_process;
    qint64 m_pid = 0;
    quint16 m_feedPort = 0;
    QString m_log;
};
} // namespace

class ServiceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void runsAsAService();
    void stopsInOrder_data();
    void stopsInOrder();
    void reloadKeepsRunningSettingsOnDamage();
    void twoInstancesTwoTransmitters();
    void checkNamesEachProblem_data();
    void checkNamesEachProblem();
    void panelToldTheServiceHoldsTheLine();
};

void ServiceTest::runsAsAService()
{
    TxSimulator sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    sim.setForwardPower(QStringLiteral("250"));
    sim.setReflectedPower(QStringLiteral("3.5"));
    sim.setFrequencyKHz(98500);
    sim.setOnAir(true);
    sim.setTemperature(120);
    Service service(QStringLiteral("main"));
    service.writeSettings(sim.devicePath());
    QTemporaryDir runtime;
    NotifySocket notify(runtime.filePath(QStringLiteral("notify")));
    QVERIFY(notify.bound());
    // The watchdog asks for a ping every 0.2 s: several come within a second.
    service.start(&notify, QStringLiteral("200000"));

    QTRY_VERIFY_WITH_TIMEOUT(notify.got(QStringLiteral("READY=1")), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(notify.got(QStringLiteral("STATUS=polling the transmitter on "
                                                       "pts/")),
                             10000);
    QTRY_VERIFY_WITH_TIMEOUT(notify.messages().count(QStringLiteral("WATCHDOG=1")) >= 3, 10000);

    // The feed tells what the transmitter reports, under the instance's name.
    QJsonObject status;
    QTRY_VERIFY_WITH_TIMEOUT((status = service.status()).value(QStringLiteral("state")) ==
                                 QStringLiteral("polling"),
                             10000);
    const QJsonObject readings = status.value(QStringLiteral("readings")).toObject();
    const auto value = [&readings](const char *name) {
        return readings.value(QLatin1String(name)).toObject().value(QStringLiteral("value"));
    };
    QCOMPARE(status.value(QStringLiteral("name")).toString(), QStringLiteral("main"));
    QCOMPARE(status.value(QStringLiteral("device")).toString(), sim.devicePath());
    QCOMPARE(value("forward_w").toDouble(), 250.0);
    QCOMPARE(value("reflected_w").toDouble(), 3.5);
    QCOMPARE(value("frequency_khz").toInt(), 98500);
    QCOMPARE(value("on_air").toBool(), true);

    // The journal keeps each event at its level.
    QVERIFY2(service.log().contains(QStringLiteral("<5>connected to the transmitter on pts/")),
             qPrintable(service.log()));
    // Nothing but the firmware question and status cycles went to the transmitter.
    for (const char byte : sim.received())
        QVERIFY2(byte >= TxCommand::CMD_READ_FORWARD && byte <= TxCommand::CMD_READ_RF_STATUS,
                 sim.received().toHex().constData());

    // The line goes: the service says so once and looks for it again.
    sim.unplug();
    QTRY_VERIFY_WITH_TIMEOUT(notify.got(QStringLiteral("STATUS=looking for the transmitter")),
                             30000);
    // The journal's pipe may come after the notify socket's datagram.
    QTRY_VERIFY(service.log().contains(QStringLiteral("<3>connection to the transmitter ended")));
    service.signal(SIGTERM);
    QVERIFY(service.process().waitForFinished(10000));
    QCOMPARE(service.process().exitCode(), 0);
    QVERIFY(notify.got(QStringLiteral("STOPPING=1")));
}

void ServiceTest::stopsInOrder_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("programming");
    QTest::newRow("SIGTERM while polling") << int(SIGTERM) << QStringLiteral("SIGTERM") << false;
    QTest::newRow("SIGINT while polling") << int(SIGINT) << QStringLiteral("SIGINT") << false;
    QTest::newRow("SIGTERM while programming") << int(SIGTERM) << QStringLiteral("SIGTERM") << true;
}

void ServiceTest::stopsInOrder()
{
    QFETCH(int, signalNumber);
    QFETCH(QString, way);
    QFETCH(bool, programming);
    TxSimulator sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    sim.setFrequencyKHz(98500);
    Service service(QStringLiteral("main"));
    // The only way a frequency reaches the service's transmitter: an
    // engineer's command on the control socket.
    const QString socket = service.folder() + QStringLiteral("/control");
    service.writeSettings(sim.devicePath(), "[Control]\nEnabled=true\nAllowFrequency=true\n"
                                            "Group=root\nSocket=" +
                                                socket.toUtf8() + '\n');
    service.start();
    // A few seconds of readings first, so the record has seconds to lose.
    QTRY_VERIFY_WITH_TIMEOUT(sim.exchanges() > 200, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(service.log().contains(QStringLiteral("connected")), 10000);
    // Replies slow enough that the signal is seen while one is awaited: a
    // byte sent after that would be the service's fault, not the test's timing.
    sim.setReplyDelayMs(40);
    QTRY_VERIFY(sim.exchanges() > 205);

    QProcess engineer;
    if (programming) {
        engineer.start(program("txpanelctl"),
                       {QStringLiteral("--socket"), socket, QStringLiteral("frequency"),
                        QStringLiteral("107900")});
        // The end is asked for once the programming has begun on the line.
        QTRY_VERIFY_WITH_TIMEOUT(sim.received().contains(char(TxCommand::CMD_SET_FREQUENCY)),
                                 10000);
    }

    qint64 askedSecond = 0;
    QElapsedTimer asked;
    qsizetype writtenAtRequest = 0;
    const auto ask = [&] {
        askedSecond = QDateTime::currentSecsSinceEpoch();
        asked.start();
        service.signal(signalNumber);
        writtenAtRequest = sim.received().size();
    };
    if (programming) {
        ask();
    } else {
        // Asked for as a cycle's last reply leaves: the service takes that
        // reading in this very second (or the next), and it must be in the record.
        const QMetaObject::Connection atCycleEnd =
            connect(&sim, &TxSimulator::exchanged, this, [&](quint8 command) {
                if (command == TxCommand::CMD_READ_RF_STATUS && !asked.isValid())
                    ask();
            });
        QTRY_VERIFY_WITH_TIMEOUT(asked.isValid(), 10000);
        disconnect(atCycleEnd);
    }
    // What finishes the programming under way may still go out, and nothing else.
    if (programming)
        writtenAtRequest = sim.received().indexOf(char(TxCommand::CMD_SET_FREQUENCY)) + 6;
    QTRY_VERIFY_WITH_TIMEOUT(service.process().state() == QProcess::NotRunning, 10000);
    QCOMPARE(service.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(service.process().exitCode(), 0);
    QVERIFY2(asked.elapsed() < 2000, qPrintable(QString::number(asked.elapsed())));
    // At most the byte whose reply was on its way when the signal came.
    QVERIFY2(
        sim.received().size() <= writtenAtRequest + 1,
        qPrintable(
            QStringLiteral("%1 after the request").arg(sim.received().size() - writtenAtRequest)));
    QVERIFY(!QFile::exists(lockFileOf(sim.devicePath())));
    QVERIFY(service.log().contains(QStringLiteral("<6>stopped (") + way));

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("s"));
        db.setDatabaseName(service.record());
        QVERIFY(db.open());
        QSqlQuery last(QStringLiteral("SELECT max(t) FROM samples"), db);
        QVERIFY(last.next());
        // A programming takes no reading: its last cycle may be a second earlier.
        QVERIFY2(last.value(0).toLongLong() >= askedSecond - (programming ? 1 : 0) &&
                     last.value(0).toLongLong() <= askedSecond + 1,
                 qPrintable(last.value(0).toString()));
        QSqlQuery events(db);
        QVERIFY(events.exec(QStringLiteral("SELECT outcome, detail FROM events WHERE "
                                           "kind = 'service' ORDER BY rowid")));
        QStringList seen;
        while (events.next())
            seen << events.value(0).toString() + QLatin1Char(' ') + events.value(1).toString();
        QCOMPARE(seen, QStringList({QStringLiteral("started ") + service.settingsFile(),
                                    QStringLiteral("stopped ") + way}));
        if (programming) {
            QVERIFY2(sim.received().endsWith(LineBytes::programming("107900")),
                     sim.received().toHex().constData());
            QCOMPARE(sim.frequencyKHz(), 107900);
            // The command and its outcome are on record, before the end.
            QSqlQuery commands(db);
            QVERIFY(commands.exec(
                QStringLiteral("SELECT kind, new_value, outcome FROM events WHERE kind IN "
                               "('frequency', 'remote-command', 'service') ORDER BY rowid")));
            QStringList order;
            while (commands.next())
                order << commands.value(0).toString() + QLatin1Char(' ') +
                             commands.value(1).toString() + QLatin1Char(' ') +
                             commands.value(2).toString();
            QCOMPARE(order.mid(1), QStringList({QStringLiteral("frequency 107900 programmed"),
                                                QStringLiteral("remote-command frequency "
                                                               "107900 confirmed"),
                                                QStringLiteral("service  stopped")}));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("s"));
}

void ServiceTest::reloadKeepsRunningSettingsOnDamage()
{
    TxSimulator sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    Service service(QStringLiteral("main"));
    service.writeSettings(sim.devicePath());
    service.start();
    QTRY_VERIFY_WITH_TIMEOUT(
        service.status().value(QStringLiteral("state")) == QStringLiteral("polling"), 10000);

    service.writeFile(QByteArray("[Startup]\nLimitUp=108000\n\0\0garbage", 35));
    service.signal(SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(service.log().contains(QStringLiteral(
                                 "<3>settings not reloaded, the running ones are kept: ")),
                             10000);
    QVERIFY(service.log().contains(QStringLiteral("holds NUL bytes")));
    // Still polling, the feed still where it was.
    const int exchanges = sim.exchanges();
    QTRY_VERIFY(sim.exchanges() > exchanges + 20);
    QCOMPARE(service.status().value(QStringLiteral("state")).toString(), QStringLiteral("polling"));

    // A good file again: taken, the feed under its new name.
    const quint16 port = service.feedPort();
    service.writeFile(
        "[Startup]\nLimitUp=108000\nLimitDown=87500\n[Link]\nDevice=" + sim.devicePath().toUtf8() +
        "\n[Feed]\nEnabled=true\nName=north\nPort=" + QByteArray::number(port) +
        "\n[Alarms]\nEnabled=true\n[Record]\nEnabled=true\n");
    service.signal(SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(service.log().contains(QStringLiteral("<6>settings reloaded")), 10000);
    QTRY_COMPARE(service.status().value(QStringLiteral("name")).toString(),
                 QStringLiteral("north"));
    service.signal(SIGTERM);
    QVERIFY(service.process().waitForFinished(10000));
    QCOMPARE(service.process().exitCode(), 0);
}

void ServiceTest::twoInstancesTwoTransmitters()
{
    TxSimulator north;
    TxSimulator south;
    QVERIFY(north.start() && south.start());
    north.setFrequencyKHz(98500);
    south.setFrequencyKHz(104200);
    Service first(QStringLiteral("north"));
    Service second(QStringLiteral("south"));
    first.writeSettings(north.devicePath());
    second.writeSettings(south.devicePath());
    first.start();
    second.start();
    for (auto [service, name, kHz] :
         {std::tuple{&first, "north", 98500}, std::tuple{&second, "south", 104200}}) {
        QJsonObject status;
        QTRY_VERIFY_WITH_TIMEOUT((status = service->status())
                                     .value(QStringLiteral("readings"))
                                     .toObject()
                                     .contains(QStringLiteral("frequency_khz")),
                                 10000);
        QCOMPARE(status.value(QStringLiteral("name")).toString(), QLatin1String(name));
        QCOMPARE(status.value(QStringLiteral("readings"))
                     .toObject()
                     .value(QStringLiteral("frequency_khz"))
                     .toObject()
                     .value(QStringLiteral("value"))
                     .toInt(),
                 kHz);
    }
    for (Service *service : {&first, &second}) {
        service->signal(SIGTERM);
        QVERIFY(service->process().waitForFinished(10000));
        QCOMPARE(service->process().exitCode(), 0);
    }
}

void ServiceTest::checkNamesEachProblem_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("told");
    const QByteArray line = "[Link]\nDevice=/dev/ttyUSB7\n";
    QTest::newRow("good") << QByteArray("[Startup]\nLimitUp=108000\nLimitDown=87500\n" + line +
                                        "[Feed]\nEnabled=true\nPort=8750\n")
                          << 0 << QStringLiteral("band: 87500 to 108000 kHz");
    QTest::newRow("absent") << QByteArray() << 1 << QStringLiteral("does not exist");
    QTest::newRow("NUL bytes") << QByteArray("[Startup]\0\0", 11) << 1
                               << QStringLiteral("holds NUL bytes");
    QTest::newRow("no line") << QByteArray("[Startup]\nLimitUp=108000\n") << 1
                             << QStringLiteral("no line: neither [Link] Device nor [Startup] "
                                               "Comm names one");
    QTest::newRow("device not a path") << QByteArray("[Link]\nDevice=ttyUSB0\n") << 1
                                       << QStringLiteral("[Link] Device \"ttyUSB0\"");
    QTest::newRow("limit not a number") << QByteArray("[Startup]\nLimitUp=108 MHz\n" + line) << 1
                                        << QStringLiteral("the band is closed: ");
    QTest::newRow("feed address") << QByteArray(line + "[Feed]\nEnabled=true\nAddress=0\n") << 1
                                  << QStringLiteral("[Feed] Address \"0\"");
}

void ServiceTest::checkNamesEachProblem()
{
    QFETCH(QByteArray, settings);
    QFETCH(int, exitCode);
    QFETCH(QString, told);
    Service service(QStringLiteral("main"));
    if (!settings.isEmpty())
        service.writeFile(settings);
    QProcess check;
    check.start(program("txpaneld"),
                {QStringLiteral("--check"), QStringLiteral("--config"), service.settingsFile()});
    QVERIFY(check.waitForFinished(10000));
    const QString output =
        QString::fromUtf8(check.readAllStandardOutput() + check.readAllStandardError());
    QCOMPARE(check.exitCode(), exitCode);
    QVERIFY2(output.contains(told), qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("settings: ") + service.settingsFile()),
             qPrintable(output));
    // The file is read, never written.
    QCOMPARE(QFile::exists(service.settingsFile()), !settings.isEmpty());
    if (!settings.isEmpty()) {
        QFile file(service.settingsFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), settings);
    }
    // Settings that cannot work keep the service from starting, and say why.
    if (exitCode != 0 && told != QLatin1String("the band is closed: ") &&
        !told.startsWith(QLatin1String("[Feed]"))) {
        service.start();
        QVERIFY(service.process().waitForFinished(10000));
        QCOMPARE(service.process().exitCode(), 78);
        QVERIFY(service.log().contains(QStringLiteral("<3>cannot start: ")));
    }
}

void ServiceTest::panelToldTheServiceHoldsTheLine()
{
    TxSimulator sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    Service service(QStringLiteral("studio"));
    service.writeSettings(sim.devicePath());
    service.start();
    QTRY_VERIFY_WITH_TIMEOUT(service.log().contains(QStringLiteral("connected")), 10000);

    // The panel's engine, as ON opens the line.
    LinkEngine panel;
    panel.setLine(LinkLine::forDevice(sim.devicePath()));
    panel.powerOn();
    QCOMPARE(panel.state(), ConnectionState::PortNotAvailable);
    QVERIFY2(panel.portFailure().contains(QStringLiteral(
                 "busy: the station service holds the line (txpaneld@studio, process ")),
             qPrintable(panel.portFailure()));
    QVERIFY(panel.portFailure().contains(QStringLiteral("systemctl stop txpaneld@studio")));

    // Once the service has stopped, the panel takes the line at once.
    service.signal(SIGTERM);
    QVERIFY(service.process().waitForFinished(10000));
    panel.powerOff();
    panel.powerOn();
    QTRY_COMPARE(panel.state(), ConnectionState::Polling);
    panel.powerOff();
}

QTEST_GUILESS_MAIN(ServiceTest)
#include "tst_service.moc"
