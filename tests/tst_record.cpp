// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The transmitter log: what it keeps and for how long, a file found damaged,
// one that cannot be opened or written, the program killed while it writes,
// CSV exports read back by another program's CSV reader, and no file at all
// while recording is off.
#include "app/Station.h"
#include "app/frmTerminale.h"
#include "link/LinkEngine.h"
#include "link/MSComm.h"
#include "panel/PanelTimer.h"
#include "record/DesktopNotifier.h"
#include "record/RecordDatabase.h"
#include "record/RecordExport.h"
#include "record/Recorder.h"
#include "record/StationWindow.h"
#include "sim/TxSimulator.h"
#include "support/LockFiles.h"
#include "support/PanelDriver.h"

#include <QApplication>
#include <QDirIterator>
#include <QLabel>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {
constexpr qint64 Day = 86400;
const QDateTime Noon = QDateTime(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC);

RecordEvent logEntry(const QDateTime &utc, const QString &kind, const QString &detail,
                     const QString &user = QStringLiteral("maria"))
{
    return {utc,
            kind,
            user,
            QStringLiteral("subject"),
            QStringLiteral("old"),
            QStringLiteral("new"),
            QStringLiteral("outcome"),
            detail};
}

RecordSample sample(qint64 t, std::optional<double> forward, std::optional<double> reflected,
                    int temperature = 20, bool onAir = true)
{
    RecordSample s;
    s.utcSeconds = t;
    s.forwardW = forward;
    s.reflectedW = reflected;
    if (forward && reflected && *reflected < *forward) {
        const double rho = std::sqrt(*reflected / *forward);
        s.vswr = (1 + rho) / (1 - rho);
    }
    s.temperatureC = temperature;
    s.temperatureAlarm = temperature >= 72;
    s.locked = true;
    s.onAir = onAir;
    s.frequencyKHz = 107900;
    return s;
}

// What a second program sees in the file: integrity, and the seconds kept.
struct FileCheck
{
    QString integrity;
    QSet<qint64> seconds;
    QStringList eventKinds;
};
FileCheck checkFile(const QString &path)
{
    static int next = 0;
    const QString name = QStringLiteral("check-%1").arg(next++);
    FileCheck found;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open()) {
            found.integrity = db.lastError().text();
        } else {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next())
                found.integrity = q.value(0).toString();
            else
                found.integrity = q.lastError().text();
            if (q.exec(QStringLiteral("SELECT t FROM samples"))) {
                while (q.next())
                    found.seconds.insert(q.value(0).toLongLong());
            }
            if (q.exec(QStringLiteral("SELECT kind FROM events ORDER BY id"))) {
                while (q.next())
                    found.eventKinds << q.value(0).toString();
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return found;
}

QStringList listing(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        files << info.filePath() + QStringLiteral(" %1 %2")
                                       .arg(info.isDir() ? -1 : info.size())
                                       .arg(info.lastModified().toMSecsSinceEpoch());
    }
    files.sort();
    return files;
}

RecordSettings recordAt(const QString &path)
{
    RecordSettings settings;
    settings.enabled = true;
    settings.path = path;
    return settings;
}
} // namespace

class RecordTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void eventsAndSamplesRoundTrip();
    void logIsAppendOnly();
    void minutesSummariseTheSeconds();
    void pruneKeepsWhatTheSettingsSay_data();
    void pruneKeepsWhatTheSettingsSay();
    void oneSampleASecond();
    void damagedFileIsMovedAside_data();
    void damagedFileIsMovedAside();
    void recordThatCannotOpenIsToldOnce();
    void killedWhileWriting_data();
    void killedWhileWriting();
    void fullDiskStopsTheRecordNotThePoll_data();
    void fullDiskStopsTheRecordNotThePoll();
    void recordTellsTheTruthAboutItself_data();
    void recordTellsTheTruthAboutItself();
    void exportReplacesOnlyFiles_data();
    void exportReplacesOnlyFiles();
    void exportMatchesTheDatabase_data();
    void exportMatchesTheDatabase();
    void recordingOffWritesNothing_data();
    void recordingOffWritesNothing();

private:
    QString path() const { return m_dir->filePath(QStringLiteral("record.sqlite")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void RecordTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void RecordTest::cleanup()
{
    m_dir.reset();
}

void RecordTest::eventsAndSamplesRoundTrip()
{
    RecordDatabase db(path());
    QVERIFY2(db.open(Noon), qPrintable(db.lastError()));
    const QList<RecordEvent> events = {
        logEntry(Noon, QStringLiteral("frequency"), QStringLiteral("98,5 \"MHz\"\nthen 107,9")),
        logEntry(Noon.addMSecs(1250), QStringLiteral("port"), QStringLiteral("Comm2 — stored")),
        logEntry(Noon.addSecs(3), QStringLiteral("alarm-raised"), QStringLiteral("REFLECTED"))};
    const QList<RecordSample> samples = {sample(Noon.toSecsSinceEpoch(), 12.5, 0.3),
                                         sample(Noon.toSecsSinceEpoch() + 1, std::nullopt, 0.4),
                                         sample(Noon.toSecsSinceEpoch() + 2, 12.0, std::nullopt)};
    QVERIFY2(db.write(events, samples), qPrintable(db.lastError()));

    const QList<RecordEvent> back = db.events(Noon, Noon.addSecs(60));
    QCOMPARE(back.size(), 3);
    // Newest first, every field as written, the time to the millisecond.
    QCOMPARE(back[2].detail, events[0].detail);
    QCOMPARE(back[1].utc, events[1].utc);
    QCOMPARE(back[1].detail, events[1].detail);
    QCOMPARE(back[0].kind, QStringLiteral("alarm-raised"));
    QCOMPARE(back[0].user, QStringLiteral("maria"));
    QCOMPARE(db.events(Noon, Noon.addSecs(60), {QStringLiteral("port")}).size(), 1);
    QCOMPARE(db.events(Noon, Noon.addSecs(2)).size(), 2);
    QCOMPARE(db.events(Noon, Noon.addSecs(60), {}, 1).constFirst().kind,
             QStringLiteral("alarm-raised"));
    QCOMPARE(db.eventCount(Noon, Noon.addSecs(60),
                           {QStringLiteral("frequency"), QStringLiteral("port")}),
             2);

    const QList<RecordSample> seconds =
        db.samples(Noon.toSecsSinceEpoch(), Noon.toSecsSinceEpoch() + 60);
    QCOMPARE(seconds.size(), 3);
    QCOMPARE(seconds[0].forwardW, std::optional<double>(12.5));
    QVERIFY(!seconds[1].forwardW);
    QVERIFY(!seconds[1].vswr);
    QVERIFY(!seconds[2].reflectedW);
    QCOMPARE(seconds[0].frequencyKHz, std::optional<qint32>(107900));
    QCOMPARE(seconds[0].onAir, std::optional<bool>(true));
    QCOMPARE(db.oldestSample(), Noon.toSecsSinceEpoch());
    db.close();
    // Closed cleanly, the log is folded back into the file.
    QVERIFY(!QFileInfo::exists(path() + QStringLiteral("-wal")));
    QCOMPARE(checkFile(path()).integrity, QStringLiteral("ok"));
}

void RecordTest::logIsAppendOnly()
{
    RecordDatabase db(path());
    QVERIFY(db.open(Noon));
    QVERIFY(
        db.write({logEntry(Noon, QStringLiteral("power"), QStringLiteral("as it happened"))}, {}));
    {
        QSqlDatabase other =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tamper"));
        other.setDatabaseName(path());
        QVERIFY(other.open());
        QSqlQuery q(other);
        QVERIFY(!q.exec(QStringLiteral("UPDATE events SET detail = 'rewritten'")));
        QVERIFY2(q.lastError().text().contains(QLatin1String("append-only")),
                 qPrintable(q.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tamper"));
    QCOMPARE(db.events(Noon, Noon.addSecs(1)).constFirst().detail,
             QStringLiteral("as it happened"));
}

void RecordTest::minutesSummariseTheSeconds()
{
    RecordDatabase db(path());
    QVERIFY(db.open(Noon));
    const qint64 t0 = Noon.toSecsSinceEpoch();
    QList<RecordSample> samples;
    // Minute 0: forward 10 to 69, on the air half of it; minute 1: 5 W flat;
    // minute 2 still running.
    for (int s = 0; s < 60; ++s)
        samples << sample(t0 + s, 10.0 + s, 0.5, 20 + s % 3, s < 30);
    for (int s = 60; s < 120; ++s)
        samples << sample(t0 + s, 5.0, std::nullopt);
    samples << sample(t0 + 125, 99.0, 0.1);
    QVERIFY(db.write({}, samples));
    QVERIFY(db.summariseMinutes(t0 + 130));
    const QList<MinuteSummary> minutes = db.minutes(t0, t0 + 600);
    QCOMPARE(minutes.size(), 2);
    QCOMPARE(minutes[0].utcSeconds, t0);
    QCOMPARE(minutes[0].samples, 60);
    QCOMPARE(*minutes[0].forwardW.minimum, 10.0);
    QCOMPARE(*minutes[0].forwardW.mean, 39.5);
    QCOMPARE(*minutes[0].forwardW.maximum, 69.0);
    QCOMPARE(*minutes[0].temperatureC.minimum, 20.0);
    QCOMPARE(*minutes[0].temperatureC.maximum, 22.0);
    QCOMPARE(*minutes[0].onAirShare, 0.5);
    QCOMPARE(*minutes[0].lockedShare, 1.0);
    QCOMPARE(*minutes[1].forwardW.mean, 5.0);
    QVERIFY(!minutes[1].reflectedW.mean);
    // The minute that ends later is summarised once it has ended.
    QVERIFY(db.summariseMinutes(t0 + 181));
    QCOMPARE(db.minutes(t0, t0 + 600).size(), 3);
    QCOMPARE(*db.minutes(t0 + 120, t0 + 180).constFirst().forwardW.maximum, 99.0);
}

void RecordTest::pruneKeepsWhatTheSettingsSay_data()
{
    QTest::addColumn<int>("rawDays");
    QTest::addColumn<int>("keepDays");
    QTest::addColumn<QList<int>>("secondsKeptDaysAgo");
    QTest::addColumn<QList<int>>("minutesKeptDaysAgo");
    QTest::addColumn<int>("eventsKept");
    QTest::newRow("defaults") << 7 << 400 << QList<int>{6, 1} << QList<int>{399, 8, 6, 1} << 2;
    QTest::newRow("a day of seconds, ten of minutes")
        << 1 << 10 << QList<int>{} << QList<int>{8, 6, 1} << 1;
}

void RecordTest::pruneKeepsWhatTheSettingsSay()
{
    QFETCH(int, rawDays);
    QFETCH(int, keepDays);
    RecordDatabase db(path());
    const qint64 now = Noon.toSecsSinceEpoch();
    QVERIFY(db.open(Noon.addDays(-500)));
    QList<RecordSample> samples;
    for (const int daysAgo : {401, 399, 8, 6, 1})
        samples << sample(now - daysAgo * Day - 3600, 12.5, 0.3);
    QVERIFY(db.write({logEntry(Noon.addDays(-401), QStringLiteral("power"), QStringLiteral("old")),
                      logEntry(Noon.addDays(-399), QStringLiteral("power"), QStringLiteral("kept")),
                      logEntry(Noon.addDays(-2), QStringLiteral("power"), QStringLiteral("new"))},
                     samples));
    QVERIFY(db.summariseMinutes(now));
    QVERIFY(db.prune(now, rawDays, keepDays));
    QList<int> seconds, minutes;
    for (const RecordSample &s : db.samples(0, now))
        seconds << int((now - s.utcSeconds) / Day);
    for (const MinuteSummary &m : db.minutes(0, now))
        minutes << int((now - m.utcSeconds) / Day);
    QTEST(seconds, "secondsKeptDaysAgo");
    QTEST(minutes, "minutesKeptDaysAgo");
    QFETCH(int, eventsKept);
    QCOMPARE(db.events(QDateTime::fromSecsSinceEpoch(0, Qt::UTC), Noon).size(), eventsKept + 0);
}

void RecordTest::oneSampleASecond()
{
    QDateTime now = Noon;
    Recorder recorder(recordAt(path()));
    recorder.setWallClock([&now] { return now; });
    QVERIFY(recorder.start());
    TxReading reading;
    for (const double watts : {10.0, 11.0, 12.0}) {
        reading.forwardW.value = watts;
        reading.forwardW.readAtMs = 1;
        recorder.addReading(reading);
        now = now.addMSecs(300);
    }
    // 12:00:00.900: still the first second.
    recorder.addEvent({now, QStringLiteral("power"), QString(), QString(), QString(),
                       QStringLiteral("on"), QString(), QString()});
    now = now.addMSecs(200);
    reading.forwardW.value = 13.0;
    recorder.addReading(reading);
    QSignalSpy written(&recorder, &Recorder::written);
    // The flush timer's own tick, shortened.
    recorder.flushTimer().setInterval(20);
    QVERIFY(written.wait(2000));
    const QList<RecordSample> seconds =
        recorder.database()->samples(Noon.toSecsSinceEpoch(), Noon.toSecsSinceEpoch() + 10);
    QCOMPARE(seconds.size(), 2);
    QCOMPARE(*seconds[0].forwardW, 12.0); // the last of its second
    QCOMPARE(*seconds[1].forwardW, 13.0);
    const QList<RecordEvent> events = recorder.database()->events(Noon, Noon.addSecs(10));
    QCOMPARE(events.size(), 2);
    QCOMPARE(events[0].kind, QStringLiteral("power"));
    QVERIFY(!events[0].user.isEmpty());
    QCOMPARE(events[1].outcome, QStringLiteral("opened"));
}

void RecordTest::damagedFileIsMovedAside_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<bool>("movedAside");
    QTest::newRow("text, not a database") << "text" << true;
    QTest::newRow("schema page damaged") << "schema" << true;
    QTest::newRow("damaged, a file of the same second already aside") << "second" << true;
    QTest::newRow("empty file: a new database, kept") << "empty" << false;
}

void RecordTest::damagedFileIsMovedAside()
{
    QFETCH(QString, damage);
    QFETCH(bool, movedAside);
    const QString stamp = QStringLiteral("20261208T120000Z");
    if (damage == QLatin1String("schema") || damage == QLatin1String("second")) {
        RecordDatabase healthy(path());
        QVERIFY(healthy.open(Noon));
        QVERIFY(healthy.write({logEntry(Noon, QStringLiteral("power"), QStringLiteral("x"))},
                              {sample(Noon.toSecsSinceEpoch(), 1, 0)}));
        healthy.close();
        QFile file(path());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(100)); // past the header, into the schema's page
        file.write(QByteArray(3000, '\xa5'));
    } else {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (damage == QLatin1String("text"))
            file.write("Tx_Orvel settings, saved over the record by mistake\n");
    }
    const QString earlier = path() + QStringLiteral(".damaged-") + stamp;
    if (damage == QLatin1String("second")) {
        QFile file(earlier);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("an earlier damaged record");
    }
    QFile original(path());
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    original.close();

    QDateTime now = Noon;
    Recorder recorder(recordAt(path()));
    recorder.setWallClock([&now] { return now; });
    QSignalSpy aside(&recorder, &Recorder::movedAside);
    QSignalSpy stopped(&recorder, &Recorder::stopped);
    QVERIFY(recorder.start());
    QCOMPARE(stopped.count(), 0);
    QCOMPARE(aside.count(), movedAside ? 1 : 0);
    if (!movedAside) {
        QCOMPARE(checkFile(path()).eventKinds, QStringList{QStringLiteral("record")});
        return;
    }
    const QString expected =
        damage == QLatin1String("second") ? earlier + QStringLiteral("-2") : earlier;
    QCOMPARE(aside.at(0).at(1).toString(), expected);
    QFile moved(expected);
    QVERIFY(moved.open(QIODevice::ReadOnly));
    QCOMPARE(moved.readAll(), bytes);
    if (damage == QLatin1String("second")) {
        QFile first(earlier);
        QVERIFY(first.open(QIODevice::ReadOnly));
        QCOMPARE(first.readAll(), QByteArray("an earlier damaged record"));
    }
    // A new record, which tells where the old one went.
    const QList<RecordEvent> events = recorder.database()->events(Noon, Noon.addSecs(1));
    QCOMPARE(events.size(), 2);
    QCOMPARE(events[1].outcome, QStringLiteral("moved aside"));
    QCOMPARE(events[1].detail, expected);
    QCOMPARE(checkFile(path()).integrity, QStringLiteral("ok"));
}

void RecordTest::recordThatCannotOpenIsToldOnce()
{
    // A plain file where the record's folder should be.
    const QString blocker = m_dir->filePath(QStringLiteral("data"));
    {
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    Recorder recorder(recordAt(blocker + QStringLiteral("/txpanel/record.sqlite")));
    QSignalSpy stopped(&recorder, &Recorder::stopped);
    QVERIFY(!recorder.start());
    QCOMPARE(stopped.count(), 1);
    QVERIFY2(stopped.at(0).at(0).toString().contains(blocker), qPrintable(recorder.problem()));
    QVERIFY(!recorder.recording());
    QVERIFY(!recorder.database());
    recorder.addReading(TxReading());
    recorder.flush();
    QVERIFY(!recorder.start());
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(listing(m_dir->path()).size(), 1);
}

// --- a panel that records, as a process of its own ---

static int runChild(const QString &how)
{
    PanelDriver sandbox;
    sandbox.store(QStringLiteral("Comm"), QStringLiteral("1"));
    TxSimulator sim;
    if (!sim.start())
        return 3;
    sim.setPacing(true);
    PanelDriver::mapPort(1, sim.devicePath());
    frmTerminale w;
    // The time each sample is taken at, so the child can say which second it
    // handed to the record.
    QDateTime now = QDateTime::currentDateTimeUtc();
    qint64 lastSecond = -1;
    QObject::connect(&w.engine(), &LinkEngine::readingTaken, &w, [&] {
        now = QDateTime::currentDateTimeUtc();
        if (w.connectionState() == ConnectionState::Polling &&
            now.toSecsSinceEpoch() != lastSecond) {
            lastSecond = now.toSecsSinceEpoch();
            std::printf("SAMPLE %lld\n", lastSecond);
            std::fflush(stdout);
        }
    });
    auto *station = new Station(w, AlarmSettings::defaults(),
                                recordAt(qEnvironmentVariable("TXPANEL_RECORD_PATH")));
    station->setClocks(&TxReading::nowMs, [&now] { return now; });
    if (!station->recorder() || !station->recorder()->recording())
        return 4;
    int cycles = 0;
    QObject::connect(&w.engine(), &LinkEngine::readingTaken, &w, [&] { ++cycles; });
    QObject::connect(station->notifier(), &DesktopNotifier::notified, &w,
                     [](const QString &summary) {
                         std::printf("NOTIFIED %s\n", qPrintable(summary));
                         std::fflush(stdout);
                     });
    if (how == QLatin1String("record-full")) {
        // The file may grow a little, then no more: as a disk that fills.
        const QString file = station->recorder()->settings().path;
        const qint64 largest =
            qMax(QFileInfo(file).size(), QFileInfo(file + QStringLiteral("-wal")).size());
        if (qEnvironmentVariableIsSet("TXPANEL_TEST_IGNORE_XFSZ"))
            std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = rlim_t(largest + 12000);
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 5;
        QObject::connect(station->recorder(), &Recorder::stopped, &w, [&](const QString &why) {
            std::printf("STOPPED %s\n", qPrintable(why));
            std::fflush(stdout);
            const int before = cycles;
            QTimer::singleShot(2000, &w, [&, before] {
                station->openWindow();
                std::printf("CYCLES_AFTER %d\nTITLE %s\nSTATUS %s\nLABEL %s\n", cycles - before,
                            qPrintable(w.windowTitle()),
                            qPrintable(station->window()->recordStatus()),
                            qPrintable(connectionStateName(w.connectionState())));
                std::fflush(stdout);
                std::_Exit(0);
            });
        });
        QTimer::singleShot(30000, &w, [] { std::_Exit(6); });
    }
    QTimer::singleShot(0, &w, [&] { w.cmdPower_Click(); });
    return qApp->exec();
}

void RecordTest::killedWhileWriting_data()
{
    QTest::addColumn<int>("afterMs");
    QTest::newRow("after 2.3 s") << 2300;
    QTest::newRow("after 3.65 s") << 3650;
    QTest::newRow("after 5.1 s") << 5100;
}

void RecordTest::killedWhileWriting()
{
    QFETCH(int, afterMs);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TXPANEL_TEST_CHILD"), QStringLiteral("record-kill"));
    env.insert(QStringLiteral("TXPANEL_RECORD_PATH"), path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());

    // Each second the child handed to the record, and when this process heard of it.
    QElapsedTimer clock;
    clock.start();
    QMap<qint64, qint64> heard;
    QByteArray pending;
    qint64 firstMs = -1;
    auto readLines = [&] {
        pending += child.readAllStandardOutput();
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (line.startsWith("SAMPLE ")) {
                heard.insert(line.mid(7).toLongLong(), clock.elapsed());
                if (firstMs < 0)
                    firstMs = clock.elapsed();
            }
        }
    };
    while (child.state() == QProcess::Running &&
           (firstMs < 0 || clock.elapsed() < firstMs + afterMs) && clock.elapsed() < 30000) {
        child.waitForReadyRead(10);
        readLines();
    }
    QVERIFY2(firstMs >= 0, "the child never polled");
    QCOMPARE(child.state(), QProcess::Running);
    ::kill(pid_t(child.processId()), SIGKILL);
    const qint64 killedMs = clock.elapsed();
    QVERIFY(child.waitForFinished(10000));
    readLines();
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    const FileCheck file = checkFile(path());
    QCOMPARE(file.integrity, QStringLiteral("ok"));
    // Everything handed over more than a second (the flush interval) before
    // the kill is there; a little more for the pipe and the scheduler.
    constexpr qint64 SlackMs = 400;
    QStringList missing;
    int lastSecondOnly = 0;
    for (auto it = heard.cbegin(); it != heard.cend(); ++it) {
        if (file.seconds.contains(it.key()))
            continue;
        if (it.value() < killedMs - 1000 - SlackMs)
            missing << QStringLiteral("%1 (heard %2 ms before the kill)")
                           .arg(it.key())
                           .arg(killedMs - it.value());
        else
            ++lastSecondOnly;
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
    QVERIFY2(lastSecondOnly <= 2, qPrintable(QString::number(lastSecondOnly)));
    QVERIFY2(heard.size() >= afterMs / 1000, qPrintable(QString::number(heard.size())));
    // Nothing the child did not take.
    for (const qint64 second : file.seconds)
        QVERIFY(heard.contains(second));
    QVERIFY(file.eventKinds.contains(QStringLiteral("connection")));
}

void RecordTest::fullDiskStopsTheRecordNotThePoll_data()
{
    // Whether the test's child ignores SIGXFSZ itself (as for a full disk,
    // where no signal comes), or leaves that to the panel, as under ulimit -f.
    QTest::addColumn<bool>("childIgnoresSignal");
    QTest::newRow("a disk that fills") << true;
    QTest::newRow("a file-size limit (ulimit -f)") << false;
}

void RecordTest::fullDiskStopsTheRecordNotThePoll()
{
    QFETCH(bool, childIgnoresSignal);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TXPANEL_TEST_CHILD"), QStringLiteral("record-full"));
    if (childIgnoresSignal)
        env.insert(QStringLiteral("TXPANEL_TEST_IGNORE_XFSZ"), QStringLiteral("1"));
    env.insert(QStringLiteral("TXPANEL_RECORD_PATH"), path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    const qint64 childPid = child.processId();
    const auto locks = qScopeGuard([childPid] { removeSerialLocksOf(childPid); });
    QVERIFY(child.waitForFinished(60000));
    const QStringList lines =
        QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char('\n'));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit); // not ended by SIGXFSZ
    QCOMPARE(child.exitCode(), 0);
    if (!childIgnoresSignal)
        QVERIFY2(lines.filter(QRegularExpression(QStringLiteral("^STOPPED .*ulimit -f"))).size() ==
                     1,
                 qPrintable(lines.join(QLatin1Char('|'))));
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^STOPPED "))).size(), 1);
    // Told once: one notification, the window title, the Station window.
    QCOMPARE(lines.filter(QStringLiteral("NOTIFIED ")),
             QStringList{QStringLiteral("NOTIFIED RECORD STOPPED")});
    const QString title = lines.filter(QRegularExpression(QStringLiteral("^TITLE "))).value(0);
    QCOMPARE(title, QStringLiteral("TITLE ORVEL   BROADCAST - RECORD STOPPED"));
    const QString status = lines.filter(QRegularExpression(QStringLiteral("^STATUS "))).value(0);
    QVERIFY2(status.startsWith(QLatin1String("STATUS RECORD STOPPED: ")), qPrintable(status));
    // The poll went on afterwards.
    const QString cycles =
        lines.filter(QRegularExpression(QStringLiteral("^CYCLES_AFTER "))).value(0);
    QVERIFY2(cycles.mid(13).toInt() > 3, qPrintable(cycles));
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^LABEL "))).value(0),
             QStringLiteral("LABEL polling"));
    // What was written before stays readable.
    const FileCheck file = checkFile(path());
    QCOMPARE(file.integrity, QStringLiteral("ok"));
    QVERIFY(file.eventKinds.contains(QStringLiteral("record")));
}

void RecordTest::recordTellsTheTruthAboutItself_data()
{
    QTest::addColumn<QString>("happening");
    QTest::addColumn<bool>("recordingAfter");
    // In the reason the record stopped for, or in the new record's first entry.
    QTest::addColumn<QString>("told");

    QTest::newRow("a second panel on the same record")
        << "second panel" << false
        << QStringLiteral("is in use by another panel (%1, process %2 on ")
               .arg(QCoreApplication::applicationName())
               .arg(QCoreApplication::applicationPid());
    QTest::newRow("a lock left by a panel that no longer runs") << "stale lock" << true << "";
    QTest::newRow("the file deleted while in use") << "deleted" << true << "was deleted";
    QTest::newRow("the file and its journal deleted while in use")
        << "deleted with journal" << true << "was deleted";
    QTest::newRow("another file put in its place")
        << "replaced" << true << "was replaced by another file";
    QTest::newRow("a link to a device put in its place")
        << "replaced by device link" << false << "links to a device";
}

void RecordTest::recordTellsTheTruthAboutItself()
{
    QFETCH(QString, happening);
    QFETCH(bool, recordingAfter);
    QFETCH(QString, told);

    if (happening == QLatin1String("stale lock")) {
        // The pid of a process that has ended, in the lock's own format.
        QProcess gone;
        gone.start(QStringLiteral("true"), {});
        QVERIFY(gone.waitForStarted());
        const qint64 pid = gone.processId();
        QVERIFY(gone.waitForFinished());
        QFile lock(path() + QStringLiteral(".lock"));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QStringLiteral("%1\n%2\n%3\n")
                       .arg(pid)
                       .arg(QCoreApplication::applicationName(), QSysInfo::machineHostName())
                       .toUtf8());
    }
    auto first = std::make_unique<Recorder>(recordAt(path()));
    QSignalSpy stopped(first.get(), &Recorder::stopped);
    QSignalSpy reopened(first.get(), &Recorder::reopened);
    QVERIFY2(first->start(), qPrintable(first->problem()));
    first->addEvent(logEntry(Noon, QStringLiteral("port"), QStringLiteral("before")));
    first->flush();

    if (happening == QLatin1String("second panel")) {
        Recorder second(recordAt(path()));
        QSignalSpy secondStopped(&second, &Recorder::stopped);
        QVERIFY(!second.start());
        QCOMPARE(secondStopped.count(), 1);
        QVERIFY2(second.problem().contains(told), qPrintable(second.problem()));
        // The first panel's record goes on, and once it has ended the lock
        // is free for the next.
        QVERIFY(first->recording());
        first.reset();
        Recorder third(recordAt(path()));
        QVERIFY2(third.start(), qPrintable(third.problem()));
        return;
    }
    if (happening.startsWith(QLatin1String("deleted"))) {
        QVERIFY(QFile::remove(path()));
        if (happening.endsWith(QLatin1String("journal"))) {
            QFile::remove(path() + QStringLiteral("-wal"));
            QFile::remove(path() + QStringLiteral("-shm"));
        }
    } else if (happening == QLatin1String("replaced")) {
        const QString other = m_dir->filePath(QStringLiteral("other.sqlite"));
        {
            RecordDatabase db(other);
            QVERIFY(db.open(Noon));
        }
        QVERIFY(::rename(QFile::encodeName(other).constData(),
                         QFile::encodeName(path()).constData()) == 0);
    } else if (happening == QLatin1String("replaced by device link")) {
        QVERIFY(QFile::remove(path()));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), path()));
    }
    first->addEvent(logEntry(Noon.addSecs(1), QStringLiteral("port"), QStringLiteral("after")));
    first->flush();

    QCOMPARE(first->recording(), recordingAfter);
    if (!recordingAfter) {
        QCOMPARE(stopped.count(), 1);
        QVERIFY2(first->problem().contains(told), qPrintable(first->problem()));
        return;
    }
    QCOMPARE(stopped.count(), 0);
    QCOMPARE(reopened.count(), told.isEmpty() ? 0 : 1);
    if (!told.isEmpty())
        QVERIFY2(reopened.at(0).at(1).toString().contains(told),
                 qPrintable(reopened.at(0).at(1).toString()));
    first.reset();
    // What the file at the path holds now: the entry after, and (in a new
    // file) the record's own note of why it is new.
    const FileCheck file = checkFile(path());
    QCOMPARE(file.integrity, QStringLiteral("ok"));
    QVERIFY(file.eventKinds.contains(QStringLiteral("port")));
    QCOMPARE(file.eventKinds.contains(QStringLiteral("record")), true);
}

void RecordTest::exportReplacesOnlyFiles_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("refusal"); // empty: the export is written

    QTest::newRow("a new file") << "new"
                                << "";
    QTest::newRow("a file to replace") << "file"
                                       << "";
    QTest::newRow("a link to a file") << "link to file"
                                      << "";
    QTest::newRow("a link to a device") << "link to device"
                                        << "links to a device";
    QTest::newRow("a pipe (FIFO)") << "fifo"
                                   << "is a pipe (FIFO)";
    QTest::newRow("a link to a pipe") << "link to fifo"
                                      << "links to a pipe (FIFO)";
    QTest::newRow("a folder") << "folder"
                              << "is a folder";
    QTest::newRow("a link to nothing") << "dangling link"
                                       << "is a link to nothing";
}

void RecordTest::exportReplacesOnlyFiles()
{
    QFETCH(QString, target);
    QFETCH(QString, refusal);
    Recorder recorder(recordAt(path()));
    QVERIFY(recorder.start());
    recorder.addEvent(
        logEntry(QDateTime::currentDateTimeUtc(), QStringLiteral("port"), QStringLiteral("one")));
    recorder.flush();

    const QString csv = m_dir->filePath(QStringLiteral("export.csv"));
    const QString file = m_dir->filePath(QStringLiteral("plain.csv"));
    const QString fifo = m_dir->filePath(QStringLiteral("pipe"));
    {
        QFile plain(target == QLatin1String("file") ? csv : file);
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("old\n");
    }
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    if (target == QLatin1String("link to file"))
        QVERIFY(QFile::link(file, csv));
    else if (target == QLatin1String("link to device"))
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), csv));
    else if (target == QLatin1String("fifo"))
        QVERIFY(::rename(QFile::encodeName(fifo).constData(), QFile::encodeName(csv).constData()) ==
                0);
    else if (target == QLatin1String("link to fifo"))
        QVERIFY(QFile::link(fifo, csv));
    else if (target == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(csv));
    else if (target == QLatin1String("dangling link"))
        QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("nowhere.csv")), csv));
    const QFileInfo before(csv);

    // As the operator does it: the Station window's export, after "replace?".
    StationWindow window(nullptr, &recorder);
    RecordExport *job =
        window.exportTo(RecordExport::What::Log, QDateTime::currentDateTimeUtc().addDays(-1),
                        QDateTime::currentDateTimeUtc().addDays(1), {}, csv);
    QVERIFY(job);
    QTRY_VERIFY(window.exportNote()->text().startsWith(QLatin1String("Export done")) ||
                window.exportNote()->text().startsWith(QLatin1String("EXPORT FAILED")));
    const QString note = window.exportNote()->text();
    const QFileInfo after(csv);
    if (refusal.isEmpty()) {
        QVERIFY2(note.startsWith(QLatin1String("Export done: 2 rows")), qPrintable(note));
        // A link stays a link; the file it names gets the export.
        QCOMPARE(after.isSymLink(), before.isSymLink());
        QFile written(csv);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.readAll().contains("one"));
        return;
    }
    QVERIFY2(note.startsWith(QLatin1String("EXPORT FAILED: ")) && note.contains(refusal),
             qPrintable(note));
    // Nothing was replaced: the same kind of thing at the same place.
    QCOMPARE(after.isSymLink(), before.isSymLink());
    QCOMPARE(after.symLinkTarget(), before.symLinkTarget());
    QCOMPARE(after.isDir(), before.isDir());
    QCOMPARE(after.isFile(), before.isFile());
    QVERIFY(QFileInfo(file).size() == 4);
}

void RecordTest::exportMatchesTheDatabase_data()
{
    QTest::addColumn<int>("what");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QStringList>("kinds");
    QTest::newRow("the whole log") << int(RecordExport::What::Log) << "2026-12-08T11:00:00.000Z"
                                   << "2026-12-08T15:00:00.000Z" << QStringList();
    QTest::newRow("alarms only, part of the day")
        << int(RecordExport::What::Log) << "2026-12-08T12:00:00.000Z"
        << "2026-12-08T12:30:00.000Z"
        << QStringList{QStringLiteral("alarm-raised"), QStringLiteral("alarm-cleared")};
    QTest::newRow("seconds across hours")
        << int(RecordExport::What::Readings) << "2026-12-08T11:59:30.000Z"
        << "2026-12-08T14:00:00.000Z" << QStringList();
    QTest::newRow("seconds from mid-second")
        << int(RecordExport::What::Readings) << "2026-12-08T12:10:00.500Z"
        << "2026-12-08T12:10:20.500Z" << QStringList();
    QTest::newRow("minutes") << int(RecordExport::What::Minutes) << "2026-12-08T12:00:00.000Z"
                             << "2026-12-08T13:00:00.000Z" << QStringList();
    QTest::newRow("an empty range")
        << int(RecordExport::What::Readings) << "2026-12-09T00:00:00.000Z"
        << "2026-12-09T01:00:00.000Z" << QStringList();
}

void RecordTest::exportMatchesTheDatabase()
{
    QFETCH(int, what);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QStringList, kinds);
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        QSKIP("python3 is needed to read the CSV back");
    RecordDatabase db(path());
    QVERIFY(db.open(Noon));
    // Fields a careless writer would break: commas, quotes, line ends,
    // leading blanks, non-ASCII.
    const QStringList details = {QStringLiteral("plain"),
                                 QStringLiteral("a, comma"),
                                 QStringLiteral("\"quoted\" words"),
                                 QStringLiteral("two\nlines"),
                                 QStringLiteral("carriage\r\nreturn"),
                                 QStringLiteral("  leading blanks"),
                                 QStringLiteral("Température 80 °C — Ω"),
                                 QString()};
    const QStringList kindsWritten = {QStringLiteral("alarm-raised"), QStringLiteral("port"),
                                      QStringLiteral("alarm-cleared"), QStringLiteral("frequency")};
    QList<RecordEvent> events;
    for (int i = 0; i < 200; ++i)
        events << logEntry(Noon.addSecs(i * 61 - 1800).addMSecs(i * 7), kindsWritten.at(i % 4),
                           details.at(i % details.size()),
                           i % 5 ? QStringLiteral("maria") : QStringLiteral("o'brien, j"));
    QList<RecordSample> samples;
    const qint64 t0 = Noon.toSecsSinceEpoch() - 600;
    for (int s = 0; s < 2 * 3600; ++s) {
        // Every few seconds an item not read; now and then a silence.
        if (s % 997 < 20)
            continue;
        RecordSample one =
            sample(t0 + s, s % 13 ? std::optional<double>(12.5 + (s % 50) * 0.1) : std::nullopt,
                   0.1 + (s % 7) / 3.0, 15 + s % 60, s % 11 != 0);
        if (s % 17 == 0)
            one.frequencyKHz.reset();
        samples << one;
    }
    QVERIFY(db.write(events, samples));
    QVERIFY(db.summariseMinutes(t0 + 2 * 3600 + 60));

    const QString csv = m_dir->filePath(QStringLiteral("export.csv"));
    RecordExport job(db, RecordExport::What(what), QDateTime::fromString(from, Qt::ISODateWithMs),
                     QDateTime::fromString(to, Qt::ISODateWithMs), kinds, csv);
    QVERIFY(job.run());
    db.close();

    QStringList arguments{qEnvironmentVariable("TXPANEL_SOURCE_DIR") +
                              QStringLiteral("/tests/record/csv_matches_db.py"),
                          csv,
                          path(),
                          what == int(RecordExport::What::Log)        ? QStringLiteral("log")
                          : what == int(RecordExport::What::Readings) ? QStringLiteral("readings")
                                                                      : QStringLiteral("minutes"),
                          from,
                          to};
    arguments << kinds;
    QProcess checker;
    checker.setProcessChannelMode(QProcess::MergedChannels);
    checker.start(python, arguments);
    QVERIFY(checker.waitForFinished(60000));
    const QString said = QString::fromUtf8(checker.readAll());
    QVERIFY2(checker.exitStatus() == QProcess::NormalExit && checker.exitCode() == 0,
             qPrintable(said));
    QVERIFY2(said.startsWith(QString::number(job.rows()) + QStringLiteral(" rows match")),
             qPrintable(said));
    if (qstrcmp(QTest::currentDataTag(), "an empty range") != 0)
        QVERIFY(job.rows() > 0);
}

void RecordTest::recordingOffWritesNothing_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<bool>("recordExpected");
    QTest::newRow("alarms and record off") << "" << false;
    QTest::newRow("alarms on, an alarm raised, record off")
        << "[Alarms]\nEnabled=true\nReflectedDelay=0\nReadings=1\n"
        << false;
    // The check itself: with the record on, the file appears where it looks.
    QTest::newRow("record on: the file appears") << "[Record]\nEnabled=true\n" << true;
}

void RecordTest::recordingOffWritesNothing()
{
    QFETCH(QString, settings);
    QFETCH(bool, recordExpected);
    const QString program = qEnvironmentVariable("TXPANEL_BUILD_DIR") + QStringLiteral("/txpanel");
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
    // Everything the program could write to lives under root.
    const QString root = m_dir->path();
    const QString home = root + QStringLiteral("/home");
    for (const QString &dir : {QStringLiteral("/home/.config"), QStringLiteral("/home/run"),
                               QStringLiteral("/runtime"), QStringLiteral("/tmp")})
        QVERIFY(QDir().mkpath(root + dir));
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    {
        QFile conf(home + QStringLiteral("/.config/Tx_Orvel.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[Startup]\nComm=1\n[Link]\nConnectAtStart=true\n" + settings.toUtf8());
    }
    TxSimulator sim;
    QVERIFY(sim.start());
    sim.setReflectedPower(QStringLiteral("5"));
    const QStringList before = listing(root);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/.local/state"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("TMPDIR"), root + QStringLiteral("/tmp"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.remove(QStringLiteral("XDG_CONFIG_DIRS"));
    env.remove(QStringLiteral("XDG_DATA_DIRS"));
    env.insert(QStringLiteral("TXPANEL_COM1"), sim.devicePath());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess panel;
    panel.setProcessEnvironment(env);
    panel.setWorkingDirectory(home + QStringLiteral("/run"));
    panel.setProcessChannelMode(QProcess::ForwardedChannels);
    panel.start(program, {});
    QVERIFY(panel.waitForStarted());
    const qint64 panelPid = panel.processId();
    const auto locks = qScopeGuard([panelPid] { removeSerialLocksOf(panelPid); });
    // Polling for a while: the simulator answers in this process's loop.
    QTRY_VERIFY_WITH_TIMEOUT(sim.exchanges() >= 60, 30000);
    const int seen = sim.exchanges();
    QTRY_VERIFY_WITH_TIMEOUT(sim.exchanges() >= seen + 60, 30000);
    QCOMPARE(panel.state(), QProcess::Running);
    panel.terminate();
    QVERIFY(panel.waitForFinished(10000));

    const QStringList after = listing(root);
    if (recordExpected)
        QVERIFY2(QFileInfo::exists(home + QStringLiteral("/.local/share/txpanel/record.sqlite")),
                 qPrintable(after.join(QLatin1Char('\n'))));
    else
        QCOMPARE(after, before);
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString child = qEnvironmentVariable("TXPANEL_TEST_CHILD");
    if (!child.isEmpty())
        return runChild(child);
    RecordTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_record.moc"
