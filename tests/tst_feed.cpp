// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The status feed: its documents for given readings, states and alarms, the
// checks on requests as they arrive, its settings, and the feed served by a
// panel polling the simulator, as the station's monitoring sees it: what it
// answers, where it listens (or does not), and that no client, however
// rude, slows the poll or changes what goes down the serial line.
#include "app/frmTerminale.h"
#include "feed/FeedDocuments.h"
#include "feed/FeedHttpServer.h"
#include "feed/FeedSettings.h"
#include "feed/RequestHead.h"
#include "feed/StatusFeed.h"
#include "link/ReplyDecoding.h"
#include "panel/ReadoutLabel.h"
#include "record/AlarmBook.h"
#include "settings/SettingsStore.h"
#include "sim/TxSimulator.h"
#include "support/PanelDriver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QSysInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

#include <memory>
#include <numeric>
#include <vector>

namespace {

// One connection of a monitoring client (or of someone less polite): sends
// its bytes once connected and keeps what comes back. Like a real client it
// closes its end once a whole answer says the connection closes.
class RawClient
{
public:
    RawClient(quint16 port, const QByteArray &request, bool headOnly = false) : m_headOnly(headOnly)
    {
        QObject::connect(&m_socket, &QTcpSocket::connected, &m_socket, [this, request] {
            if (!request.isEmpty())
                m_socket.write(request);
        });
        QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket, [this] {
            m_received += m_socket.readAll();
            if (answered() && header("Connection") == "close")
                m_socket.disconnectFromHost();
        });
        QObject::connect(&m_socket, &QTcpSocket::disconnected, &m_socket,
                         [this] { m_closed = true; });
        QObject::connect(&m_socket, &QTcpSocket::errorOccurred, &m_socket,
                         [this](QAbstractSocket::SocketError) { m_closed = true; });
        m_socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    }
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;

    void send(const QByteArray &bytes) { m_socket.write(bytes); }
    bool closed() const { return m_closed; }
    QByteArray received() const { return m_received; }
    // The status line and headers, and as much body as Content-Length says.
    bool answered() const
    {
        const qsizetype end = m_received.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        return m_headOnly || m_received.size() >= end + 4 + header("Content-Length").toInt();
    }
    int status() const
    {
        if (!m_received.startsWith("HTTP/1.1 "))
            return 0;
        return m_received.mid(9, 3).toInt();
    }
    QByteArray header(const QByteArray &name) const
    {
        const qsizetype end = m_received.indexOf("\r\n\r\n");
        const QList<QByteArray> lines = m_received.left(end).split('\n');
        for (const QByteArray &line : lines) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).compare(name, Qt::CaseInsensitive) == 0)
                return line.mid(colon + 1).trimmed();
        }
        return QByteArray();
    }
    QByteArray body() const
    {
        const qsizetype end = m_received.indexOf("\r\n\r\n");
        return end < 0 ? QByteArray() : m_received.mid(end + 4);
    }
    QJsonObject json() const { return QJsonDocument::fromJson(body()).object(); }

private:
    QTcpSocket m_socket;
    QByteArray m_received;
    bool m_closed = false;
    bool m_headOnly;
};

QByteArray get(const char *path)
{
    return QByteArray("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

// A client that sends its request one byte a period and never finishes it,
// coming straight back whenever the feed cuts it off, as a hostile local
// program holding the feed's places would.
class Dribbler
{
public:
    Dribbler(quint16 port, int periodMs) : m_port(port)
    {
        m_tick.setInterval(periodMs);
        QObject::connect(&m_tick, &QTimer::timeout, &m_socket, [this] { sendOne(); });
        QObject::connect(&m_socket, &QTcpSocket::connected, &m_socket, [this] {
            m_sent = 0;
            sendOne();
            m_tick.start();
        });
        QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket,
                         [this] { m_socket.readAll(); });
        QObject::connect(&m_socket, &QTcpSocket::disconnected, &m_socket, [this] { again(); });
        QObject::connect(&m_socket, &QTcpSocket::errorOccurred, &m_socket,
                         [this](QAbstractSocket::SocketError) { again(); });
        m_socket.connectToHost(QHostAddress(QHostAddress::LocalHost), m_port);
    }
    ~Dribbler()
    {
        // The socket says it is disconnected as it goes: nobody is left to hear it.
        m_socket.disconnect();
    }
    Dribbler(const Dribbler &) = delete;
    Dribbler &operator=(const Dribbler &) = delete;
    int comebacks() const { return m_comebacks; }

private:
    void sendOne()
    {
        static const QByteArray endless =
            "GET /status.json HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + QByteArray(4000, 'a');
        if (m_socket.state() == QAbstractSocket::ConnectedState)
            m_socket.write(endless.mid(m_sent++ % endless.size(), 1));
    }
    void again()
    {
        m_tick.stop();
        ++m_comebacks;
        // Once the socket has finished with the old connection.
        QTimer::singleShot(0, &m_socket, [this] {
            m_socket.abort();
            m_socket.connectToHost(QHostAddress(QHostAddress::LocalHost), m_port);
        });
    }

    quint16 m_port;
    QTcpSocket m_socket;
    QTimer m_tick;
    qsizetype m_sent = 0;
    int m_comebacks = 0;
};

// The monitoring system: /status.json every period, each answer given up on
// after a second; on a new connection each time, or on one kept open.
class MonitoringReader
{
public:
    MonitoringReader(quint16 port, int periodMs, bool keepAlive)
        : m_port(port), m_keepAlive(keepAlive)
    {
        m_tick.setInterval(periodMs);
        QObject::connect(&m_tick, &QTimer::timeout, &m_tick, [this] { ask(); });
        m_tick.start();
    }
    MonitoringReader(const MonitoringReader &) = delete;
    MonitoringReader &operator=(const MonitoringReader &) = delete;

    int asked() const { return m_asked; }
    int answeredInTime() const { return m_inTime; }
    QString misses() const { return m_misses.join(QLatin1String(", ")); }
    void stop() { m_tick.stop(); }

private:
    void ask()
    {
        finishLate();
        if (!m_keepAlive || !m_socket || m_socket->state() != QAbstractSocket::ConnectedState) {
            m_socket = std::make_unique<QTcpSocket>();
            QObject::connect(m_socket.get(), &QTcpSocket::readyRead, m_socket.get(),
                             [this] { take(); });
            m_socket->connectToHost(QHostAddress(QHostAddress::LocalHost), m_port);
        }
        m_received.clear();
        m_waiting = true;
        m_since.start();
        ++m_asked;
        m_socket->write(m_keepAlive ? get("/status.json")
                                    : "GET /status.json HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                      "Connection: close\r\n\r\n");
    }
    void take()
    {
        m_received += m_socket->readAll();
        const qsizetype end = m_received.indexOf("\r\n\r\n");
        const QRegularExpressionMatch length =
            QRegularExpression(QStringLiteral("Content-Length: (\\d+)"))
                .match(QString::fromLatin1(m_received.left(end)));
        if (!m_waiting || end < 0 || !length.hasMatch() ||
            m_received.size() < end + 4 + length.captured(1).toInt())
            return;
        m_waiting = false;
        const bool ok = m_received.startsWith("HTTP/1.1 200 ");
        if (ok && m_since.elapsed() <= 1000)
            ++m_inTime;
        else
            m_misses << QStringLiteral("%1 after %2 ms")
                            .arg(QString::fromLatin1(m_received.left(12)))
                            .arg(m_since.elapsed());
    }
    void finishLate()
    {
        if (m_waiting && m_since.elapsed() > 1000) {
            m_misses << QStringLiteral("no answer in %1 ms").arg(m_since.elapsed());
            m_waiting = false;
            m_socket.reset();
        }
    }

    quint16 m_port;
    bool m_keepAlive;
    QTimer m_tick;
    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_received;
    QElapsedTimer m_since;
    bool m_waiting = false;
    int m_asked = 0;
    int m_inTime = 0;
    QStringList m_misses;
};

// The listening TCP sockets this process holds, as "address:port", read off
// /proc/net/tcp and tcp6 for the inodes of this process's open sockets.
QStringList listeningSockets()
{
    QSet<QByteArray> inodes;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        const QByteArray target = fd.symLinkTarget().toUtf8();
        const qsizetype at = target.indexOf("socket:[");
        if (at >= 0)
            inodes.insert(target.mid(at + 8).chopped(1));
    }
    QStringList found;
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        file.readLine();
        while (!file.atEnd()) {
            const QList<QByteArray> f = file.readLine().simplified().split(' ');
            if (f.size() < 10 || f.at(3) != "0A" || !inodes.contains(f.at(9)))
                continue;
            const QList<QByteArray> local = f.at(1).split(':');
            const QByteArray hex = QByteArray::fromHex(local.at(0));
            // The kernel prints the address as 32-bit words in its own byte order.
            QByteArray bytes;
            for (qsizetype word = 0; word < hex.size(); word += 4)
                for (int i = 3; i >= 0; --i)
                    bytes += hex.at(word + i);
            const QHostAddress address =
                bytes.size() == 4
                    ? QHostAddress(qFromBigEndian<quint32>(bytes.constData()))
                    : QHostAddress(reinterpret_cast<const quint8 *>(bytes.constData()));
            found << QStringLiteral("%1:%2")
                         .arg(address.toString())
                         .arg(local.at(1).toInt(nullptr, 16));
        }
    }
    return found;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Every reading taken at 1000 ms, looked at at 1250 ms: all 0.25 s old.
constexpr qint64 ReadAt = 1000;
constexpr qint64 Now = 1250;

template <typename T>
TxReading::Item<T> item(std::optional<T> value, const QString &text = QString())
{
    return {value, text, ReadAt};
}

TxReading fullReading()
{
    TxReading r;
    r.forwardW = item<double>(12.5, QStringLiteral("12.5"));
    r.reflectedW = item<double>(0.3, QStringLiteral("0.3"));
    r.temperatureC = item<qint16>(40, QStringLiteral("40"));
    r.temperatureAlarm = item<bool>(false);
    r.locked = item<bool>(true);
    r.onAir = item<bool>(true);
    r.frequencyKHz = item<qint32>(107900, QStringLiteral("107.900 MHz"));
    return r;
}

FeedSnapshot polling(const TxReading &reading = fullReading())
{
    FeedSnapshot s;
    s.name = QStringLiteral("site-a");
    s.state = QStringLiteral("polling");
    s.port = QStringLiteral("1");
    s.device = QStringLiteral("/dev/ttyUSB0");
    s.firmware = QStringLiteral("V1.0");
    s.connectedSeconds = 1234;
    s.cycles = 5678;
    s.reading = reading;
    s.nowMs = Now;
    return s;
}

// The sample lines of an exposition, comments left out.
QStringList samples(const QByteArray &exposition)
{
    QStringList lines;
    for (const QByteArray &line : exposition.split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#'))
            lines << QString::fromUtf8(line);
    }
    return lines;
}

// An alarm book taken through steps as the station takes it, one a line:
// "raise KIND VALUE @TIME", "clear KIND VALUE @TIME", "ack KIND USER @TIME",
// times ISO 8601 UTC with milliseconds. Each step must be one the book
// allows.
bool apply(AlarmBook &book, const QStringList &steps)
{
    for (const QString &step : steps) {
        const qsizetype at = step.lastIndexOf(QLatin1String(" @"));
        const QStringList words = step.left(at).split(QLatin1Char(' '));
        const QDateTime when = QDateTime::fromString(step.mid(at + 2), Qt::ISODateWithMs);
        const std::optional<AlarmKind> kind = AlarmKinds::fromId(words.value(1));
        const QString text = words.mid(2).join(QLatin1Char(' '));
        if (!kind || !when.isValid())
            return false;
        const QString verb = words.value(0);
        const bool done = verb == QLatin1String("raise")   ? book.raise(*kind, text, when)
                          : verb == QLatin1String("clear") ? book.clear(*kind, text, when)
                          : verb == QLatin1String("ack")   ? book.acknowledge(*kind, text, when)
                                                           : false;
        if (!done)
            return false;
    }
    return true;
}

std::vector<AlarmEntry> entriesOf(const AlarmBook &book)
{
    std::vector<AlarmEntry> entries;
    for (const AlarmKind kind : AlarmKinds::All)
        entries.push_back(book.entry(kind));
    return entries;
}

// The alarm samples of an exposition.
QStringList alarmSamples(const QByteArray &exposition)
{
    return samples(exposition).filter(QRegularExpression(QStringLiteral("^txpanel_alarm_")));
}

QJsonObject jsonObject(const QByteArray &text)
{
    return QJsonDocument::fromJson(text).object();
}

constexpr char Readings[] = R"("readings":{
    "forward_w":{"value":12.5,"text":"12.5","age_s":0.25},
    "reflected_w":{"value":0.3,"text":"0.3","age_s":0.25},
    "vswr":{"value":1.367,"age_s":0.25},
    "temperature_c":{"value":40,"text":"40","age_s":0.25},
    "temperature_alarm":{"value":false,"age_s":0.25},
    "locked":{"value":true,"age_s":0.25},
    "on_air":{"value":true,"age_s":0.25},
    "frequency_khz":{"value":107900,"text":"107.900 MHz","age_s":0.25}})";

} // namespace

Q_DECLARE_METATYPE(FeedSnapshot)

class FeedTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void statusJson_data();
    void statusJson();
    void metrics_data();
    void metrics();
    void labelValuesAreEscaped_data();
    void labelValuesAreEscaped();
    void alarmDocuments_data();
    void alarmDocuments();
    void requestHeads_data();
    void requestHeads();
    void settings_data();
    void settings();
    void addressForms_data();
    void addressForms();

    void answers_data();
    void answers();
    void keptAliveForTheNextRequest();
    void alarmsFollowTheBook();
    void answersOverTheRateWaitTheirTurn();
    void listensOnlyWhereAsked_data();
    void listensOnlyWhereAsked();
    void cannotListenIsToldAndThePanelRunsOn_data();
    void cannotListenIsToldAndThePanelRunsOn();
    void idleAndOversizedConnectionsAreClosed();
    void feedFollowsThePanel();
    void rudeClientsDoNotStopThePoll();
    void dribblersCannotCrowdOutTheMonitoring_data();
    void dribblersCannotCrowdOutTheMonitoring();
    void aReadingClientAddsNothingToTheLine();

private:
    // A feed on the loopback address, on a port the system picks.
    bool startFeed(StatusFeed &feed, const FeedLimits &limits = FeedLimits());
    // DISCONNECT, and the wait until the connection has ended.
    void disconnectAndWait();
    frmTerminale &w() { return *m_w; }
    std::unique_ptr<PanelDriver> m_sandbox;
    std::unique_ptr<TxSimulator> m_sim;
    std::unique_ptr<frmTerminale> m_w;
};

void FeedTest::init()
{
    m_sandbox = std::make_unique<PanelDriver>();
    m_sandbox->store(QStringLiteral("Comm"), QStringLiteral("1"));
    m_sim = std::make_unique<TxSimulator>();
    QVERIFY2(m_sim->start(), qPrintable(m_sim->lastError()));
    m_sim->setFrequencyKHz(98500);
    m_sim->setTemperature(150);
    PanelDriver::mapPort(1, m_sim->devicePath());
    m_w = std::make_unique<frmTerminale>();
}

void FeedTest::cleanup()
{
    m_w.reset();
    m_sim.reset();
    m_sandbox.reset();
}

bool FeedTest::startFeed(StatusFeed &feed, const FeedLimits &limits)
{
    FeedSettings settings;
    settings.enabled = true;
    settings.port = 0;
    settings.name = QStringLiteral("site-a");
    return feed.start(settings, limits) && feed.isListening();
}

void FeedTest::disconnectAndWait()
{
    w().cmdDisconnect_Click();
    QTRY_COMPARE(w().connectionState(), ConnectionState::Ended);
}

void FeedTest::statusJson_data()
{
    QTest::addColumn<FeedSnapshot>("snapshot");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray head = R"({"name":"site-a","state":"polling","port":"1",
        "device":"/dev/ttyUSB0","firmware":"V1.0","connected_s":1234,"cycles":5678,)";
    QTest::newRow("polling, every reading taken") << polling() << head + Readings + '}';

    FeedSnapshot connecting = polling(TxReading());
    connecting.state = QStringLiteral("connecting");
    connecting.connectedSeconds.reset();
    connecting.cycles = 0;
    connecting.firmware.clear();
    QTest::newRow("connecting, nothing read yet")
        << connecting << QByteArray(R"({"name":"site-a","state":"connecting","port":"1",
            "device":"/dev/ttyUSB0","firmware":"","connected_s":null,"cycles":0,"readings":{}})");

    TxReading dashes = fullReading();
    dashes.forwardW = item<double>(std::nullopt, QStringLiteral("--"));
    QTest::newRow("forward power not a number: null, and no VSWR")
        << polling(dashes) << head + R"("readings":{
            "forward_w":{"value":null,"text":"--","age_s":0.25},
            "reflected_w":{"value":0.3,"text":"0.3","age_s":0.25},
            "temperature_c":{"value":40,"text":"40","age_s":0.25},
            "temperature_alarm":{"value":false,"age_s":0.25},
            "locked":{"value":true,"age_s":0.25},
            "on_air":{"value":true,"age_s":0.25},
            "frequency_khz":{"value":107900,"text":"107.900 MHz","age_s":0.25}}})";

    TxReading mismatch = fullReading();
    mismatch.reflectedW = item<double>(12.5, QStringLiteral("12.5"));
    mismatch.forwardW.readAtMs = 250;
    QTest::newRow("reflected as high as forward: no VSWR")
        << polling(mismatch) << head + R"("readings":{
            "forward_w":{"value":12.5,"text":"12.5","age_s":1},
            "reflected_w":{"value":12.5,"text":"12.5","age_s":0.25},
            "temperature_c":{"value":40,"text":"40","age_s":0.25},
            "temperature_alarm":{"value":false,"age_s":0.25},
            "locked":{"value":true,"age_s":0.25},
            "on_air":{"value":true,"age_s":0.25},
            "frequency_khz":{"value":107900,"text":"107.900 MHz","age_s":0.25}}})";

    TxReading partial;
    partial.forwardW = item<double>(20.0, QStringLiteral("20"));
    partial.reflectedW = item<double>(5.0, QStringLiteral("5"));
    partial.reflectedW.readAtMs = 1249;
    partial.forwardW.readAtMs = 1;
    partial.onAir = item<bool>(std::nullopt, QStringLiteral("7"));
    partial.frequencyKHz = item<qint32>(std::nullopt, QStringLiteral("10790?"));
    QTest::newRow("cut short; odd on-air and frequency answers; VSWR as old as forward")
        << polling(partial) << head + R"("readings":{
            "forward_w":{"value":20,"text":"20","age_s":1.249},
            "reflected_w":{"value":5,"text":"5","age_s":0.001},
            "vswr":{"value":3,"age_s":1.249},
            "on_air":{"value":null,"text":"7","age_s":0.25},
            "frequency_khz":{"value":null,"text":"10790?","age_s":0.25}}})";

    FeedSnapshot resuming = polling(TxReading());
    resuming.state = QStringLiteral("resuming");
    resuming.connectedSeconds.reset();
    QTest::newRow("a state named by a later version goes out as named")
        << resuming << QByteArray(R"({"name":"site-a","state":"resuming","port":"1",
            "device":"/dev/ttyUSB0","firmware":"V1.0","connected_s":null,"cycles":5678,
            "readings":{}})");
}

void FeedTest::statusJson()
{
    QFETCH(FeedSnapshot, snapshot);
    QFETCH(QByteArray, expected);
    QJsonParseError error{};
    const QJsonDocument wanted = QJsonDocument::fromJson(expected, &error);
    QVERIFY2(!wanted.isNull(), qPrintable(error.errorString()));
    const QByteArray got = FeedDocuments::statusJson(snapshot);
    QCOMPARE(QJsonDocument::fromJson(got).object(), wanted.object());
}

void FeedTest::metrics_data()
{
    QTest::addColumn<FeedSnapshot>("snapshot");
    QTest::addColumn<QStringList>("expected");

    const QStringList identity{
        QStringLiteral("txpanel_up 1"),
        QStringLiteral("txpanel_state{state=\"polling\"} 1"),
        QStringLiteral("txpanel_info{name=\"site-a\",port=\"1\",firmware=\"V1.0\"} 1"),
        QStringLiteral("txpanel_connected_seconds 1234"),
        QStringLiteral("txpanel_status_cycles_total 5678"),
    };
    QTest::newRow("polling, every reading taken")
        << polling()
        << identity +
               QStringList{
                   QStringLiteral("txpanel_forward_power_watts 12.5"),
                   QStringLiteral("txpanel_reflected_power_watts 0.3"),
                   QStringLiteral("txpanel_vswr 1.367"),
                   QStringLiteral("txpanel_temperature_celsius 40"),
                   QStringLiteral("txpanel_temperature_alarm 0"),
                   QStringLiteral("txpanel_locked 1"),
                   QStringLiteral("txpanel_on_air 1"),
                   QStringLiteral("txpanel_frequency_hertz 107900000"),
                   QStringLiteral("txpanel_reading_age_seconds{reading=\"forward_w\"} 0.25"),
                   QStringLiteral("txpanel_reading_age_seconds{reading=\"reflected_w\"} 0.25"),
                   QStringLiteral("txpanel_reading_age_seconds{reading=\"vswr\"} 0.25"),
                   QStringLiteral("txpanel_reading_age_seconds{reading=\"temperature_c\"} 0.25"),
                   QStringLiteral(
                       "txpanel_reading_age_seconds{reading=\"temperature_alarm\"} 0.25"),
                   QStringLiteral("txpanel_reading_age_seconds{reading=\"locked\"} 0.25"),
                   QStringLiteral("txpanel_reading_age_seconds{reading=\"on_air\"} 0.25"),
                   QStringLiteral("txpanel_reading_age_seconds{reading=\"frequency_khz\"} 0.25"),
               };

    TxReading odd;
    odd.forwardW = item<double>(std::nullopt, QStringLiteral("--"));
    odd.locked = item<bool>(false);
    odd.onAir = item<bool>(std::nullopt, QStringLiteral("7"));
    QTest::newRow("not a number or not read: no sample, never 0")
        << polling(odd)
        << identity + QStringList{
                          QStringLiteral("txpanel_locked 0"),
                          QStringLiteral("txpanel_reading_age_seconds{reading=\"forward_w\"} 0.25"),
                          QStringLiteral("txpanel_reading_age_seconds{reading=\"locked\"} 0.25"),
                          QStringLiteral("txpanel_reading_age_seconds{reading=\"on_air\"} 0.25"),
                      };

    FeedSnapshot ended = polling(TxReading());
    ended.state = QStringLiteral("ended");
    ended.connectedSeconds.reset();
    ended.firmware.clear();
    QTest::newRow("ended: down, no connected time, no readings")
        << ended
        << QStringList{
               QStringLiteral("txpanel_up 0"),
               QStringLiteral("txpanel_state{state=\"ended\"} 1"),
               QStringLiteral("txpanel_info{name=\"site-a\",port=\"1\",firmware=\"\"} 1"),
               QStringLiteral("txpanel_status_cycles_total 5678"),
           };
}

void FeedTest::metrics()
{
    QFETCH(FeedSnapshot, snapshot);
    QFETCH(QStringList, expected);
    const QByteArray text = FeedDocuments::metricsText(snapshot);
    QCOMPARE(samples(text), expected);
    // Every family is declared before its samples, with a help text, even
    // one that has no sample now: a scraper knows its type all the same.
    QStringList declared;
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith("# TYPE ")) {
            const QList<QByteArray> words = line.split(' ');
            QCOMPARE(words.size(), 4);
            QVERIFY(text.contains("# HELP " + words.at(2) + ' '));
            declared << QString::fromUtf8(words.at(2));
        } else if (!line.isEmpty() && !line.startsWith('#')) {
            const qsizetype brace = line.indexOf('{');
            const QString name =
                QString::fromUtf8(line.left(brace >= 0 ? brace : line.indexOf(' ')));
            QVERIFY2(declared.contains(name), qPrintable(name));
        }
    }
    QCOMPARE(declared.size(), 14);
    QVERIFY(text.endsWith('\n'));
}

void FeedTest::labelValuesAreEscaped_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("label");
    QTest::newRow("plain") << QStringLiteral("site-a") << QByteArray("name=\"site-a\"");
    QTest::newRow("quotes") << QStringLiteral("mast \"north\"")
                            << QByteArray(R"(name="mast \"north\"")");
    QTest::newRow("backslash") << QStringLiteral("C:\\site") << QByteArray(R"(name="C:\\site")");
    QTest::newRow("newline") << QStringLiteral("two\nlines") << QByteArray(R"(name="two\nlines")");
    QTest::newRow("all, and UTF-8")
        << QString::fromUtf8("\xc3\x85\\\"\n") << QByteArray("name=\"\xc3\x85") + R"(\\\"\n")";
}

void FeedTest::labelValuesAreEscaped()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, label);
    FeedSnapshot snapshot = polling();
    snapshot.name = name;
    const QByteArray text = FeedDocuments::metricsText(snapshot);
    QVERIFY2(text.contains("txpanel_info{" + label + ",port=\"1\""), text.constData());
    // The JSON carries the name as it is.
    QCOMPARE(QJsonDocument::fromJson(FeedDocuments::statusJson(snapshot))
                 .object()
                 .value(QStringLiteral("name"))
                 .toString(),
             name);
}

void FeedTest::alarmDocuments_data()
{
    QTest::addColumn<bool>("alarmsOn");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("state");   // reflected-high's
    QTest::addColumn<QStringList>("lit"); // the alarm samples that are not 0

    const QString raise = QStringLiteral("raise reflected-high 2.5 W @2026-12-08T14:03:22.500Z");
    const QString ack = QStringLiteral("ack reflected-high alice @2026-12-08T14:05:00.000Z");
    const QString clear = QStringLiteral("clear reflected-high 1.0 W @2026-12-08T14:04:10.250Z");
    const QString active = QStringLiteral("txpanel_alarm_active{alarm=\"reflected-high\"} 1");
    const QString waiting =
        QStringLiteral("txpanel_alarm_unacknowledged{alarm=\"reflected-high\"} 1");
    const QString once = QStringLiteral("txpanel_alarm_raises_total{alarm=\"reflected-high\"} 1");

    QTest::newRow("alarms off: no alarm anywhere, /alarms.json not served")
        << false << QStringList() << QString() << QStringList();
    QTest::newRow("never raised: all normal, every sample 0")
        << true << QStringList() << QStringLiteral("normal") << QStringList();
    QTest::newRow("raised") << true << QStringList{raise} << QStringLiteral("active-unacknowledged")
                            << QStringList{active, waiting, once};
    QTest::newRow("acknowledged while active")
        << true << QStringList{raise, ack} << QStringLiteral("active-acknowledged")
        << QStringList{active, once};
    QTest::newRow("cleared before anyone acknowledged it")
        << true << QStringList{raise, clear} << QStringLiteral("cleared-unacknowledged")
        << QStringList{waiting, once};
    QTest::newRow("cleared, then acknowledged")
        << true << QStringList{raise, clear, ack} << QStringLiteral("normal") << QStringList{once};
    QTest::newRow("raised again, and another alarm")
        << true
        << QStringList{raise, ack, clear,
                       QStringLiteral("raise reflected-high 3.1 W @2026-12-08T15:00:00.000Z"),
                       QStringLiteral(
                           "raise link-lost the line was lost @2026-12-08T15:00:01.000Z")}
        << QStringLiteral("active-unacknowledged")
        << QStringList{active,
                       QStringLiteral("txpanel_alarm_active{alarm=\"link-lost\"} 1"),
                       waiting,
                       QStringLiteral("txpanel_alarm_unacknowledged{alarm=\"link-lost\"} 1"),
                       QStringLiteral("txpanel_alarm_raises_total{alarm=\"reflected-high\"} 2"),
                       QStringLiteral("txpanel_alarm_raises_total{alarm=\"link-lost\"} 1")};
}

void FeedTest::alarmDocuments()
{
    QFETCH(bool, alarmsOn);
    QFETCH(QStringList, steps);
    QFETCH(QString, state);
    QFETCH(QStringList, lit);
    AlarmBook book;
    QVERIFY(apply(book, steps));
    FeedSnapshot snapshot = polling();
    if (alarmsOn)
        snapshot.alarms = entriesOf(book);

    // /status.json: the readings as ever, and the alarms beside them while on.
    QJsonObject status = jsonObject(FeedDocuments::statusJson(snapshot));
    QCOMPARE(status.contains(QStringLiteral("alarms")), alarmsOn);
    const QJsonValue inStatus = status.take(QStringLiteral("alarms"));
    QCOMPARE(status, jsonObject(FeedDocuments::statusJson(polling())));
    const QByteArray metrics = FeedDocuments::metricsText(snapshot);
    const std::optional<QByteArray> alarms = FeedDocuments::alarmsJson(snapshot);
    if (!alarmsOn) {
        QVERIFY(!alarms);
        QCOMPARE(metrics, FeedDocuments::metricsText(polling()));
        return;
    }

    // /alarms.json: the panel's name and the book's snapshot; the same array
    // in /status.json.
    QVERIFY(alarms);
    const QJsonObject document = jsonObject(*alarms);
    QCOMPARE(document, (QJsonObject{{QStringLiteral("name"), QStringLiteral("site-a")},
                                    {QStringLiteral("alarms"), book.toJson()}}));
    QCOMPARE(inStatus, document.value(QStringLiteral("alarms")));
    QCOMPARE(document[QStringLiteral("alarms")][1][QStringLiteral("state")].toString(), state);

    // /metrics: after the readings' families, four more, each declared with
    // its type and with a sample per alarm, 0 but for those lit.
    const QStringList all = alarmSamples(metrics);
    QCOMPARE(all.size(), 4 * int(AlarmKinds::All.size()));
    QCOMPARE(all.filter(QRegularExpression(QStringLiteral(" (?!0$)\\S+$"))), lit);
    QCOMPARE(samples(metrics), samples(FeedDocuments::metricsText(polling())) + all);
    for (const char *family :
         {"txpanel_alarm_active gauge", "txpanel_alarm_unacknowledged gauge",
          "txpanel_alarm_raises_total counter", "txpanel_alarm_chattering gauge"}) {
        const QByteArray name = QByteArray(family).split(' ').constFirst();
        QVERIFY2(metrics.contains("\n# HELP " + name + ' '), family);
        QVERIFY2(metrics.contains(QByteArray("\n# TYPE ") + family + '\n'), family);
    }
}

void FeedTest::requestHeads_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("verdict"); // RequestHead::Verdict
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("keepAlive");
    const int more = int(RequestHead::Verdict::NeedMore);
    const int whole = int(RequestHead::Verdict::Complete);
    const int refused = int(RequestHead::Verdict::Refused);

    QTest::newRow("GET, HTTP/1.1") << get("/status.json") << whole << 0 << true;
    QTest::newRow("HEAD, absolute form")
        << QByteArray("HEAD http://127.0.0.1:8740/metrics HTTP/1.1\r\n\r\n") << whole << 0 << true;
    QTest::newRow("HTTP/1.1, Connection: close")
        << QByteArray("GET /metrics HTTP/1.1\r\nConnection: close\r\n\r\n") << whole << 0 << false;
    QTest::newRow("HTTP/1.0") << QByteArray("GET /metrics HTTP/1.0\r\n\r\n") << whole << 0 << false;
    QTest::newRow("HTTP/1.0, keep-alive")
        << QByteArray("GET /metrics HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n") << whole << 0
        << true;
    QTest::newRow("bare line feeds, blank line first")
        << QByteArray("\r\nGET /metrics HTTP/1.1\nHost: x\n\n") << whole << 0 << true;
    QTest::newRow("Content-Length: 0")
        << QByteArray("GET / HTTP/1.1\r\nContent-Length: 0\r\n\r\n") << whole << 0 << true;
    QTest::newRow("truncated in a header")
        << QByteArray("GET / HTTP/1.1\r\nHost: 127.0") << more << 0 << true;
    QTest::newRow("truncated in the request line") << QByteArray("GET /stat") << more << 0 << true;

    QTest::newRow("POST, refused before its headers")
        << QByteArray("POST /metrics HTTP/1.1\r\n") << refused << 405 << true;
    QTest::newRow("lower-case get") << QByteArray("get / HTTP/1.1\r\n") << refused << 405 << true;
    QTest::newRow("unknown method")
        << QByteArray("BREW /metrics HTTP/1.1\r\n\r\n") << refused << 405 << true;
    QTest::newRow("HTTP/2.0") << QByteArray("GET / HTTP/2.0\r\n\r\n") << refused << 505 << true;
    QTest::newRow("not HTTP") << QByteArray("GET / HTP/1.1\r\n\r\n") << refused << 400 << true;
    QTest::newRow("no version") << QByteArray("GET /\r\n\r\n") << refused << 400 << true;
    QTest::newRow("target not a path")
        << QByteArray("GET status.json HTTP/1.1\r\n") << refused << 400 << true;
    QTest::newRow("space in the target")
        << QByteArray("GET /a b HTTP/1.1\r\n") << refused << 400 << true;
    QTest::newRow("byte above ASCII in the target")
        << QByteArray("GET /\xe9 HTTP/1.1\r\n") << refused << 400 << true;
    QTest::newRow("bare CR") << QByteArray("GET / HTTP/1.1\rHost: x\r\n\r\n") << refused << 400
                             << true;
    QTest::newRow("header without colon")
        << QByteArray("GET / HTTP/1.1\r\nHost x\r\n\r\n") << refused << 400 << true;
    QTest::newRow("folded header")
        << QByteArray("GET / HTTP/1.1\r\nA: b\r\n c\r\n\r\n") << refused << 400 << true;
    QTest::newRow("control byte in a value")
        << QByteArray("GET / HTTP/1.1\r\nA: b\x01\r\n\r\n") << refused << 400 << true;
    QTest::newRow("a body") << QByteArray("GET / HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello")
                            << refused << 400 << true;
    QTest::newRow("a chunked body")
        << QByteArray("GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n") << refused << 400
        << true;
    QTest::newRow("WebSocket upgrade")
        << QByteArray("GET / HTTP/1.1\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n\r\n")
        << refused << 400 << true;
    QTest::newRow("binary noise, refused before any line end")
        << QByteArray("\x16\x03\x01\x02\x00\x01", 6) << refused << 400 << true;
    QTest::newRow("noise after a method") << QByteArray("GET \x7f") << refused << 400 << true;
}

void FeedTest::requestHeads()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, verdict);
    QFETCH(int, status);
    QFETCH(bool, keepAlive);
    // Whole, and byte by byte as a slow line would bring it: the same verdict.
    RequestHead whole;
    RequestHead piecewise;
    whole.feed(bytes);
    for (const char byte : bytes)
        piecewise.feed(QByteArray(1, byte));
    for (const RequestHead *head : {&whole, &piecewise}) {
        QCOMPARE(int(head->verdict()), verdict);
        QCOMPARE(head->status(), status);
        if (head->verdict() == RequestHead::Verdict::Complete)
            QCOMPARE(head->keepAlive(), keepAlive);
    }
}

void FeedTest::settings_data()
{
    QTest::addColumn<QStringList>("stored"); // key=value lines of [Feed]
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("problem"); // a part of it; empty for none
    const QString host = QSysInfo::machineHostName();
    QTest::newRow("nothing stored: off, loopback, 8740, the host's name")
        << QStringList() << false << QStringLiteral("127.0.0.1:8740") << host << QString();
    QTest::newRow("all four") << QStringList{QStringLiteral("Enabled=true"),
                                             QStringLiteral("Address=::1"),
                                             QStringLiteral("Port=9100"),
                                             QStringLiteral("Name=site-b")}
                              << true << QStringLiteral("[::1]:9100") << QStringLiteral("site-b")
                              << QString();
    QTest::newRow("localhost, yes")
        << QStringList{QStringLiteral("Enabled=yes"), QStringLiteral("Address=localhost")} << true
        << QStringLiteral("127.0.0.1:8740") << host << QString();
    QTest::newRow("every interface")
        << QStringList{QStringLiteral("Enabled=1"), QStringLiteral("Address=0.0.0.0")} << true
        << QStringLiteral("0.0.0.0:8740") << host << QString();
    QTest::newRow("not a yes or no: off") << QStringList{QStringLiteral("Enabled=perhaps")} << false
                                          << QStringLiteral("127.0.0.1:8740") << host << QString();
    QTest::newRow("a host name is not looked up")
        << QStringList{QStringLiteral("Enabled=true"), QStringLiteral("Address=feed.example")}
        << true << QStringLiteral("127.0.0.1:8740") << host
        << QStringLiteral("[Feed] Address \"feed.example\" is not a dotted IPv4 address");
    QTest::newRow("port 0") << QStringList{QStringLiteral("Enabled=true"), QStringLiteral("Port=0")}
                            << true << QStringLiteral("127.0.0.1:8740") << host
                            << QStringLiteral("[Feed] Port \"0\" is not a port number");
    QTest::newRow("port too high")
        << QStringList{QStringLiteral("Enabled=true"), QStringLiteral("Port=87400")} << true
        << QStringLiteral("127.0.0.1:8740") << host
        << QStringLiteral("[Feed] Port \"87400\" is not a port number");
    QTest::newRow("empty name: the host's")
        << QStringList{QStringLiteral("Name=")} << false << QStringLiteral("127.0.0.1:8740") << host
        << QString();
}

void FeedTest::settings()
{
    QFETCH(QStringList, stored);
    QFETCH(bool, enabled);
    QFETCH(QString, endpoint);
    QFETCH(QString, name);
    QFETCH(QString, problem);
    // A file with nothing but the feed's section is still the panel's.
    QFile file(m_sandbox->storeDir() + QStringLiteral("/Tx_Orvel.conf"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Feed]\n" + stored.join(QLatin1Char('\n')).toUtf8() + "\nUnused=1\n");
    file.close();
    SettingsStore::check();
    QVERIFY2(SettingsStore::usable(), qPrintable(SettingsStore::problem()));
    const FeedSettings settings = FeedSettings::fromStore();
    QCOMPARE(settings.enabled, enabled);
    QCOMPARE(settings.endpoint(), endpoint);
    QCOMPARE(settings.name, name);
    if (problem.isEmpty())
        QCOMPARE(settings.problem, QString());
    else
        QVERIFY2(settings.problem.startsWith(problem), qPrintable(settings.problem));
}

void FeedTest::addressForms_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("endpoint"); // empty: refused, the feed off
    QTest::addColumn<QString>("warning");  // a part of it; empty for none

    QTest::newRow("loopback") << "127.0.0.1"
                              << "127.0.0.1:8740"
                              << "";
    QTest::newRow("IPv6 loopback") << "::1"
                                   << "[::1]:8740"
                                   << "";
    QTest::newRow("localhost in capitals") << "LOCALHOST"
                                           << "127.0.0.1:8740"
                                           << "";
    QTest::newRow("every IPv4 interface") << "0.0.0.0"
                                          << "0.0.0.0:8740"
                                          << "on every network interface of this computer";
    QTest::newRow("every interface, IPv6") << "::"
                                           << "[::]:8740"
                                           << "on every network interface";
    QTest::newRow("one interface") << "192.0.2.7"
                                   << "192.0.2.7:8740"
                                   << "reachable from beyond this computer";
    QTest::newRow("a lone 0") << "0"
                              << ""
                              << "";
    QTest::newRow("a short form") << "127.1"
                                  << ""
                                  << "";
    QTest::newRow("one number") << "2130706433"
                                << ""
                                << "";
    QTest::newRow("hexadecimal") << "0x7f.0.0.1"
                                 << ""
                                 << "";
    QTest::newRow("a leading zero (octal to some)") << "010.0.0.1"
                                                    << ""
                                                    << "";
    QTest::newRow("a part over 255") << "127.0.0.256"
                                     << ""
                                     << "";
    QTest::newRow("five parts") << "1.2.3.4.5"
                                << ""
                                << "";
    QTest::newRow("not IPv6") << "::1::2"
                              << ""
                              << "";
    QTest::newRow("blank") << " "
                           << ""
                           << "";
}

void FeedTest::addressForms()
{
    QFETCH(QString, address);
    QFETCH(QString, endpoint);
    QFETCH(QString, warning);
    QFile file(m_sandbox->storeDir() + QStringLiteral("/Tx_Orvel.conf"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Feed]\nEnabled=true\nAddress=" + address.toUtf8() + "\n");
    file.close();
    SettingsStore::check();
    const FeedSettings settings = FeedSettings::fromStore();
    if (endpoint.isEmpty()) {
        // Refused, naming the value and the forms taken; the feed stays off.
        QVERIFY2(settings.problem.startsWith(
                     QStringLiteral("[Feed] Address \"%1\" is not ").arg(address.trimmed())),
                 qPrintable(settings.problem));
        QVERIFY(settings.warning().isEmpty());
        StatusFeed feed(w().engine());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Address")));
        QVERIFY(!feed.start(settings));
        QVERIFY(!feed.isListening());
        return;
    }
    QCOMPARE(settings.problem, QString());
    QCOMPARE(settings.endpoint(), endpoint);
    if (warning.isEmpty()) {
        QCOMPARE(settings.warning(), QString());
        return;
    }
    QVERIFY2(settings.warning().contains(warning) && settings.warning().contains(endpoint),
             qPrintable(settings.warning()));
    if (settings.address.protocol() == QAbstractSocket::IPv4Protocol &&
        settings.address != QHostAddress(QHostAddress::AnyIPv4))
        return; // not this computer's: nothing can listen there
    // Said once on standard error by the feed that listens there.
    FeedHttpServer server([] { return polling(); }, FeedLimits());
    QTest::ignoreMessage(
        QtWarningMsg,
        QRegularExpression(
            QStringLiteral("^txpanel: .*%1").arg(QRegularExpression::escape(warning))));
    QString why;
    QVERIFY2(server.listenOn(settings.address, 0, &why), qPrintable(why));
}

void FeedTest::answers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("bodyHas");
    QTest::addColumn<bool>("closes");
    const QByteArray json = "application/json";
    const QByteArray text = "text/plain; version=0.0.4; charset=utf-8";
    const QByteArray plain = "text/plain; charset=utf-8";
    QTest::newRow("status") << get("/status.json") << 200 << json << QByteArray(R"("state":"off")")
                            << false;
    QTest::newRow("metrics") << get("/metrics") << 200 << text << QByteArray("\ntxpanel_up 0\n")
                             << false;
    QTest::newRow("HEAD: the head without the body")
        << QByteArray("HEAD /metrics HTTP/1.1\r\n\r\n") << 200 << text << QByteArray() << false;
    QTest::newRow("a query is ignored") << get("/status.json?refresh=1&port=2") << 200 << json
                                        << QByteArray(R"("port":"1")") << false;
    QTest::newRow("absolute form") << get("http://127.0.0.1/metrics") << 200 << text
                                   << QByteArray("txpanel_info{name=\"site-a\"") << false;
    QTest::newRow("HTTP/1.0 closes") << QByteArray("GET /status.json HTTP/1.0\r\n\r\n") << 200
                                     << json << QByteArray(R"("name":"site-a")") << true;
    QTest::newRow("root") << get("/") << 404 << plain << QByteArray("Not Found") << false;
    QTest::newRow("a path below") << get("/status.json/x") << 404 << plain << QByteArray() << false;
    QTest::newRow("favicon") << get("/favicon.ico") << 404 << plain << QByteArray() << false;
    QTest::newRow("alarms while they are off")
        << get("/alarms.json") << 404 << plain
        << QByteArray("Not Found: alarms are off ([Alarms] Enabled=true turns them on)") << false;
    for (const char *method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS", "BREW"}) {
        QTest::addRow("%s", method)
            << QByteArray(method) + " /status.json HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}" << 405
            << plain << QByteArray("Method Not Allowed") << true;
    }
    QTest::newRow("malformed") << QByteArray("GET /status.json\r\n\r\n") << 400 << plain
                               << QByteArray("Bad Request") << true;
    QTest::newRow("another HTTP") << QByteArray("GET /status.json HTTP/3.0\r\n\r\n") << 505 << plain
                                  << QByteArray() << true;
}

void FeedTest::answers()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, bodyHas);
    QFETCH(bool, closes);
    StatusFeed feed(w().engine());
    QVERIFY(startFeed(feed));
    const bool head = request.startsWith("HEAD");
    RawClient client(feed.port(), request, head);
    QTRY_VERIFY(client.answered());
    QCOMPARE(client.status(), status);
    QCOMPARE(client.header("Content-Type"), contentType);
    QVERIFY2(client.body().contains(bodyHas), client.received().constData());
    QCOMPARE(client.header("Allow"), status == 405 ? QByteArray("GET, HEAD") : QByteArray());
    QCOMPARE(client.header("Connection"), closes ? QByteArray("close") : QByteArray("keep-alive"));
    if (head) {
        QVERIFY(client.header("Content-Length").toInt() > 100);
        QTest::qWait(50);
        QCOMPARE(client.body(), QByteArray());
    } else {
        QCOMPARE(client.body().size(), client.header("Content-Length").toInt());
    }
    if (closes)
        QTRY_VERIFY(client.closed());
}

void FeedTest::keptAliveForTheNextRequest()
{
    StatusFeed feed(w().engine());
    QVERIFY(startFeed(feed));
    RawClient client(feed.port(), get("/metrics"));
    QTRY_VERIFY(client.answered());
    QCOMPARE(client.status(), 200);
    const qsizetype first = client.received().size();
    client.send(get("/status.json"));
    QTRY_VERIFY(client.received().size() > first + 100 &&
                client.received().endsWith(R"("state":"off"})"));
    QVERIFY(!client.closed());
}

void FeedTest::alarmsFollowTheBook()
{
    // Each answer reads the book as it stands; a book gone is alarms off.
    auto book = std::make_unique<AlarmBook>();
    StatusFeed feed(w().engine());
    feed.setAlarmBook(book.get());
    QVERIFY(startFeed(feed));
    QVERIFY(book->raise(AlarmKind::ReflectedHigh, QStringLiteral("2.5 W"),
                        QDateTime::currentDateTimeUtc()));
    RawClient raised(feed.port(), get("/alarms.json"));
    QTRY_VERIFY(raised.answered());
    QCOMPARE(raised.status(), 200);
    QCOMPARE(raised.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(raised.json().value(QStringLiteral("alarms")).toArray(), book->toJson());
    QCOMPARE(book->toJson().at(1)[QStringLiteral("state")].toString(),
             QStringLiteral("active-unacknowledged"));

    book.reset();
    RawClient gone(feed.port(), get("/alarms.json"));
    QTRY_VERIFY(gone.answered());
    QCOMPARE(gone.status(), 404);
}

void FeedTest::answersOverTheRateWaitTheirTurn()
{
    // Far more at once than the rate allows: none is refused or dropped,
    // each gets its whole answer in turn.
    FeedLimits limits;
    limits.requestsPerSecond = 40;
    limits.requestBurst = 3;
    StatusFeed feed(w().engine());
    QVERIFY(startFeed(feed, limits));
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 20; ++i)
        clients.push_back(
            std::make_unique<RawClient>(feed.port(), get(i % 2 ? "/metrics" : "/status.json")));
    for (const std::unique_ptr<RawClient> &c : clients) {
        QTRY_VERIFY(c->answered());
        QCOMPARE(c->status(), 200);
        QVERIFY(!c->closed());
    }
    QCOMPARE(feed.answered(), quint64(clients.size()));
}

void FeedTest::listensOnlyWhereAsked_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("address");
    QTest::newRow("off") << false << QStringLiteral("127.0.0.1");
    QTest::newRow("loopback") << true << QStringLiteral("127.0.0.1");
    QTest::newRow("IPv6 loopback") << true << QStringLiteral("::1");
}

void FeedTest::listensOnlyWhereAsked()
{
    QFETCH(bool, enabled);
    QFETCH(QString, address);
    if (address.contains(QLatin1Char(':'))) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress(address), 0))
            QSKIP("no IPv6 loopback on this machine");
    }
    QCOMPARE(listeningSockets(), QStringList());
    FeedSettings settings;
    settings.enabled = enabled;
    settings.address = QHostAddress(address);
    settings.port = freePort();
    StatusFeed feed(w().engine());
    QVERIFY(feed.start(settings));
    QCOMPARE(feed.problem(), QString());
    const QStringList expected =
        enabled ? QStringList{QStringLiteral("%1:%2").arg(address).arg(settings.port)}
                : QStringList();
    QCOMPARE(listeningSockets(), expected);
    // And from the outside: a client is refused, or answered.
    QTcpSocket client;
    client.connectToHost(settings.address, settings.port);
    if (enabled) {
        QVERIFY(client.waitForConnected(5000));
    } else {
        QVERIFY(!client.waitForConnected(5000));
        QCOMPARE(client.error(), QAbstractSocket::ConnectionRefusedError);
    }
}

void FeedTest::cannotListenIsToldAndThePanelRunsOn_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("portTaken");
    QTest::addColumn<QString>("told");
    QTest::newRow("port in use") << QStringLiteral("127.0.0.1") << true
                                 << QStringLiteral("The status feed cannot listen on 127.0.0.1:");
    // 192.0.2.1 is set aside for documentation: no machine has it.
    QTest::newRow("address not this machine's")
        << QStringLiteral("192.0.2.1") << false
        << QStringLiteral("The status feed cannot listen on 192.0.2.1:");
    QTest::newRow("address not an IP address")
        << QStringLiteral("feed.example") << false
        << QStringLiteral("The status feed is off: [Feed] Address \"feed.example\"");
}

void FeedTest::cannotListenIsToldAndThePanelRunsOn()
{
    QFETCH(QString, address);
    QFETCH(bool, portTaken);
    QFETCH(QString, told);
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, SettingsStore::Application);
    store.setValue(QStringLiteral("Feed/Enabled"), QStringLiteral("true"));
    store.setValue(QStringLiteral("Feed/Address"), address);
    store.setValue(QStringLiteral("Feed/Port"),
                   QString::number(portTaken ? taken.serverPort() : freePort()));
    store.sync();
    SettingsStore::check();

    StatusFeed feed(w().engine());
    // As the program tells it: on the panel's label.
    connect(&feed, &StatusFeed::unavailable, &w(), [this](const QString &why) {
        w().noteStartupProblem(QStringLiteral("STATUS FEED NOT AVAILABLE"), why);
    });
    QVERIFY(!feed.start(FeedSettings::fromStore()));
    QVERIFY(!feed.isListening());
    QVERIFY2(feed.problem().startsWith(told), qPrintable(feed.problem()));
    QCOMPARE(w().lblCommunications(0)->text(), QStringLiteral("STATUS FEED NOT AVAILABLE"));
    QCOMPARE(w().lblCommunications(0)->toolTip(), feed.problem());

    // The panel connects and polls as if the feed had never been asked for;
    // the reason stays in the label's tool tip once the connection took the text.
    w().cmdPower_Click();
    QTRY_VERIFY(w().statusCycles() >= 5);
    disconnectAndWait();
    QCOMPARE(w().lblCommunications(0)->toolTip(), feed.problem());
}

void FeedTest::idleAndOversizedConnectionsAreClosed()
{
    FeedLimits limits;
    limits.idleMs = 600;
    StatusFeed feed(w().engine());
    QVERIFY(startFeed(feed, limits));
    RawClient idle(feed.port(), QByteArray());
    RawClient slow(feed.port(), "GET /status.json HTTP/1.1\r\nHost: 127");
    RawClient oversized(
        feed.port(), "GET /status.json HTTP/1.1\r\nCookie: " + QByteArray(9000, 'x') + "\r\n\r\n");
    RawClient justUnder(
        feed.port(), "GET /status.json HTTP/1.1\r\nCookie: " + QByteArray(8000, 'x') + "\r\n\r\n");
    QTRY_VERIFY(oversized.answered());
    QCOMPARE(oversized.status(), 431);
    QTRY_VERIFY(justUnder.answered());
    QCOMPARE(justUnder.status(), 200);
    // Nothing sent: closed without a word; half a request: told it took too long.
    QTRY_VERIFY(idle.closed());
    QCOMPARE(idle.received(), QByteArray());
    QTRY_VERIFY(slow.closed());
    QCOMPARE(slow.status(), 408);
    QTRY_VERIFY(oversized.closed());
}

void FeedTest::feedFollowsThePanel()
{
    StatusFeed feed(w().engine());
    QVERIFY(startFeed(feed));
    std::vector<std::unique_ptr<RawClient>> clients;
    auto ask = [&](const char *path) {
        clients.push_back(std::make_unique<RawClient>(feed.port(), get(path)));
        return clients.back().get();
    };
    auto answered = [](const RawClient *c) { return c && c->answered(); };

    w().cmdPower_Click();
    QTRY_VERIFY(w().statusCycles() >= 2);
    RawClient *first = ask("/status.json");
    RawClient *firstMetrics = ask("/metrics");
    QTRY_VERIFY(answered(first) && answered(firstMetrics));
    m_sim->setLocked(false);
    m_sim->setTemperature(180);
    // Two whole cycles after the change, so every reading is the new one.
    const quint64 changedAt = w().statusCycles();
    QTRY_VERIFY(w().statusCycles() >= changedAt + 2);
    RawClient *unlocked = ask("/status.json");
    RawClient *alarm = ask("/metrics");
    QTRY_VERIFY(answered(unlocked) && answered(alarm));
    disconnectAndWait();

    const QJsonObject status = first->json();
    QCOMPARE(status.value(QStringLiteral("state")).toString(), QStringLiteral("polling"));
    QCOMPARE(status.value(QStringLiteral("name")).toString(), QStringLiteral("site-a"));
    QCOMPARE(status.value(QStringLiteral("port")).toString(), QStringLiteral("1"));
    QCOMPARE(status.value(QStringLiteral("device")).toString(), m_sim->devicePath());
    QCOMPARE(status.value(QStringLiteral("firmware")).toString(), QStringLiteral("V1.0"));
    QVERIFY(status.value(QStringLiteral("cycles")).toInt() >= 2);
    QVERIFY(status.value(QStringLiteral("connected_s")).isDouble());
    const QJsonObject readings = status.value(QStringLiteral("readings")).toObject();
    auto value = [](const QJsonObject &r, const char *key) {
        return r.value(QLatin1String(key)).toObject().value(QStringLiteral("value"));
    };
    QCOMPARE(value(readings, "forward_w").toDouble(), 12.5);
    QCOMPARE(value(readings, "reflected_w").toDouble(), 0.3);
    QCOMPARE(value(readings, "temperature_c").toInt(), 20); // raw 150
    QCOMPARE(value(readings, "temperature_alarm").toBool(), false);
    QCOMPARE(value(readings, "locked").toBool(), true);
    QCOMPARE(value(readings, "on_air").toBool(), false);
    QCOMPARE(value(readings, "frequency_khz").toInt(), 98500);
    QCOMPARE(readings.value(QStringLiteral("frequency_khz"))
                 .toObject()
                 .value(QStringLiteral("text"))
                 .toString(),
             ReplyDecoding::frequencyText(98500));
    QVERIFY(value(readings, "vswr").toDouble() > 1.0);
    QVERIFY(firstMetrics->body().contains("\ntxpanel_frequency_hertz 98500000\n"));
    QVERIFY(firstMetrics->body().contains("\ntxpanel_locked 1\n"));

    const QJsonObject changed = unlocked->json().value(QStringLiteral("readings")).toObject();
    QCOMPARE(value(changed, "locked").toBool(), false);
    QCOMPARE(value(changed, "temperature_c").toInt(), 80);
    QCOMPARE(value(changed, "temperature_alarm").toBool(), true);
    QVERIFY(alarm->body().contains("\ntxpanel_locked 0\n"));
    QVERIFY(alarm->body().contains("\ntxpanel_temperature_alarm 1\n"));
    QVERIFY(alarm->body().contains("\ntxpanel_temperature_celsius 80\n"));

    // Once the connection has ended its readings are no longer the transmitter's.
    RawClient ended(feed.port(), get("/status.json"));
    QTRY_VERIFY(ended.answered());
    QCOMPARE(ended.json().value(QStringLiteral("state")).toString(), QStringLiteral("ended"));
    QCOMPARE(ended.json().value(QStringLiteral("readings")).toObject(), QJsonObject());
    QVERIFY(ended.json().value(QStringLiteral("connected_s")).isNull());
    RawClient endedMetrics(feed.port(), get("/metrics"));
    QTRY_VERIFY(endedMetrics.answered());
    QVERIFY(endedMetrics.body().contains("\ntxpanel_up 0\n"));
    QVERIFY(!endedMetrics.body().contains("\ntxpanel_forward_power_watts "));
}

void FeedTest::rudeClientsDoNotStopThePoll()
{
    FeedLimits limits;
    limits.idleMs = 1000;
    StatusFeed feed(w().engine());
    QVERIFY(startFeed(feed, limits));
    const quint16 port = feed.port();

    QRandomGenerator random(20261207);
    std::vector<std::unique_ptr<RawClient>> idle;
    std::vector<std::unique_ptr<RawClient>> malformed;
    std::unique_ptr<RawClient> good;
    quint64 cyclesAtFlood = 0;
    quint64 cyclesAfter = 0;
    const QByteArray valid = get("/status.json");
    auto allClosed = [](const std::vector<std::unique_ptr<RawClient>> &clients) {
        return std::all_of(clients.begin(), clients.end(),
                           [](const std::unique_ptr<RawClient> &c) { return c->closed(); });
    };

    // Twenty newcomers every tenth of a second: idle ones and malformed ones.
    QTimer flood;
    flood.setInterval(100);
    QObject::connect(&flood, &QTimer::timeout, &flood, [&] {
        for (int n = 0; n < 8 && idle.size() < 200; ++n)
            idle.push_back(std::make_unique<RawClient>(port, QByteArray()));
        for (int n = 0; n < 12 && malformed.size() < 300; ++n) {
            const size_t i = malformed.size();
            {
                QByteArray bytes;
                switch (i % 3) {
                case 0: // noise
                    bytes.resize(1 + random.bounded(600));
                    for (char &b : bytes)
                        b = char(random.bounded(256));
                    break;
                case 1: // a valid request cut anywhere
                    bytes = valid.left(1 + random.bounded(valid.size() - 5));
                    break;
                default: // headers past the bound
                    bytes = "GET /metrics HTTP/1.1\r\nX-Pad: " +
                            QByteArray(9000 + random.bounded(20000), 'a') + "\r\n\r\n";
                    break;
                }
                malformed.push_back(std::make_unique<RawClient>(port, bytes));
            }
        }
        if (idle.size() == 200 && malformed.size() == 300)
            flood.stop();
    });
    w().cmdPower_Click();
    QTRY_VERIFY(w().statusCycles() >= 2);
    cyclesAtFlood = w().statusCycles();
    flood.start();
    QTRY_VERIFY_WITH_TIMEOUT(idle.size() == 200 && malformed.size() == 300, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(allClosed(idle) && allClosed(malformed), 30000);
    cyclesAfter = w().statusCycles();
    good = std::make_unique<RawClient>(port, valid);
    QTRY_VERIFY(good->answered());
    disconnectAndWait();

    // The poll went on all along, and the next good request is answered.
    QVERIFY2(cyclesAfter > cyclesAtFlood + 10,
             qPrintable(QStringLiteral("%1 -> %2").arg(cyclesAtFlood).arg(cyclesAfter)));
    QCOMPARE(good->status(), 200);
    QCOMPARE(good->json().value(QStringLiteral("state")).toString(), QStringLiteral("polling"));
    // Idle connections are closed without a word (or, when every place is
    // taken, told 503 at once); every malformed request is told an error.
    for (const std::unique_ptr<RawClient> &c : idle)
        QVERIFY2(c->received().isEmpty() || c->status() == 503, c->received().constData());
    int told = 0;
    for (const std::unique_ptr<RawClient> &c : malformed) {
        if (c->status() != 0) {
            QVERIFY2(c->status() >= 400, c->received().constData());
            ++told;
        }
    }
    QCOMPARE(told, int(malformed.size()));
}

void FeedTest::dribblersCannotCrowdOutTheMonitoring_data()
{
    // The panel's own figures (300 clients at a byte every 2 s, 60 at a byte
    // every 0.5 s, against 512 places and a 2 s head) scaled down by five in
    // time, and in number so that the test's own clients stay light.
    QTest::addColumn<int>("slow");
    QTest::addColumn<int>("fast");
    QTest::addColumn<int>("places");
    QTest::addColumn<bool>("keepAlive");

    QTest::newRow("fewer dribblers than places, a new connection each time")
        << 60 << 12 << 100 << false;
    QTest::newRow("fewer dribblers than places, one connection kept open")
        << 60 << 12 << 100 << true;
    QTest::newRow("more dribblers than places, a new connection each time")
        << 60 << 12 << 24 << false;
    QTest::newRow("more dribblers than places, one connection kept open") << 60 << 12 << 24 << true;
}

void FeedTest::dribblersCannotCrowdOutTheMonitoring()
{
    QFETCH(int, slow);
    QFETCH(int, fast);
    QFETCH(int, places);
    QFETCH(bool, keepAlive);

    FeedLimits limits;
    limits.maxConnections = places;
    limits.headMs = 400;
    limits.idleMs = 1000;
    limits.lingerMs = 100;
    FeedHttpServer server([] { return polling(); }, limits);
    QString why;
    QVERIFY2(server.listenOn(QHostAddress(QHostAddress::LocalHost), 0, &why), qPrintable(why));

    std::vector<std::unique_ptr<Dribbler>> dribblers;
    for (int i = 0; i < slow; ++i)
        dribblers.push_back(std::make_unique<Dribbler>(server.port(), 400));
    for (int i = 0; i < fast; ++i)
        dribblers.push_back(std::make_unique<Dribbler>(server.port(), 100));
    // Every place taken, or every dribbler in, before the reader starts.
    QTRY_VERIFY(server.servedConnections() >= std::min(places, slow + fast));

    MonitoringReader reader(server.port(), 250, keepAlive);
    int mostServed = 0;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, &watch,
                     [&] { mostServed = std::max(mostServed, server.servedConnections()); });
    watch.start();
    QTRY_VERIFY_WITH_TIMEOUT(reader.asked() >= 20, 20000);
    reader.stop();
    QTest::qWait(1100); // the last answer's second
    watch.stop();

    QVERIFY2(reader.answeredInTime() * 100 >= 95 * reader.asked(),
             qPrintable(QStringLiteral("%1 of %2 answered 200 within 1 s; missed: %3")
                            .arg(reader.answeredInTime())
                            .arg(reader.asked())
                            .arg(reader.misses())));
    // The dribblers were cut off and came back, and never held more places
    // than there are.
    QVERIFY(mostServed <= places);
    const int comebacks = std::accumulate(
        dribblers.begin(), dribblers.end(), 0,
        [](int sum, const std::unique_ptr<Dribbler> &d) { return sum + d->comebacks(); });
    QVERIFY2(comebacks >= slow + fast, qPrintable(QString::number(comebacks)));
}

void FeedTest::aReadingClientAddsNothingToTheLine()
{
    // At the line's pace, so that a client reading ten times a second has
    // time to ask many times within the cycles compared.
    constexpr quint64 Cycles = 30;
    m_sim->setPacing(true);
    QByteArray withoutFeed;
    QByteArray withFeed;
    int answers = 0;
    for (const bool feedOn : {false, true}) {
        StatusFeed feed(w().engine());
        if (feedOn)
            QVERIFY(startFeed(feed));
        std::vector<std::unique_ptr<RawClient>> clients;
        QTimer reader;
        reader.setInterval(100);
        QObject::connect(&reader, &QTimer::timeout, &reader, [&] {
            clients.push_back(std::make_unique<RawClient>(feed.port(), get("/status.json")));
        });
        m_sim->clearReceived();
        w().cmdPower_Click();
        QTRY_COMPARE(w().connectionState(), ConnectionState::Polling);
        if (feedOn)
            reader.start();
        QTRY_VERIFY_WITH_TIMEOUT(w().statusCycles() >= Cycles + 1, 20000);
        reader.stop();
        disconnectAndWait();
        w().cmdPower_Click(); // off again, for the next run
        (feedOn ? withFeed : withoutFeed) = m_sim->received();
        for (const std::unique_ptr<RawClient> &c : clients) {
            if (c->answered() && c->status() == 200 &&
                c->json().value(QStringLiteral("state")).toString() == QLatin1String("polling"))
                ++answers;
        }
    }
    // The firmware question, then the same six questions a cycle, the same
    // in both runs.
    const QByteArray cycle("\x04\x05\x07\x08\x09\x0a");
    const QByteArray expected = '\x06' + cycle.repeated(Cycles);
    QCOMPARE(withoutFeed.left(expected.size()), expected);
    QCOMPARE(withFeed.left(expected.size()), expected);
    QVERIFY2(answers >= 10, qPrintable(QString::number(answers)));
}

QTEST_MAIN(FeedTest)
#include "tst_feed.moc"
