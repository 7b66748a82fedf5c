// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The alarm rules as tables over sequences of readings and link events,
// without a window or a line: each row is a script of inputs, with their
// times, and the raises and clears it must give, at which step. Then the
// alarm book's acknowledgement states and its published snapshot, and the
// [Alarms] settings as the store gives them.
#include "record/AlarmBook.h"
#include "record/AlarmRules.h"
#include "record/AlarmSettings.h"
#include "settings/SettingsStore.h"
#include "support/PanelDriver.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

namespace {
// "Reflected=2/1.5/2 Readings=3 Ignore=Vswr": raise/clear/delay in seconds
// for a stem, on top of the defaults.
AlarmSettings settingsFrom(const QString &text)
{
    AlarmSettings settings = AlarmSettings::defaults();
    settings.enabled = true;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString key = word.section(QLatin1Char('='), 0, 0);
        const QString value = word.section(QLatin1Char('='), 1);
        if (key == QLatin1String("Readings")) {
            settings.readings = value.toInt();
            continue;
        }
        for (const AlarmKind kind : AlarmKinds::All) {
            if (key == QLatin1String("Ignore") && value == AlarmKinds::settingStem(kind))
                settings[kind].watched = false;
            if (key != AlarmKinds::settingStem(kind))
                continue;
            const QStringList parts = value.split(QLatin1Char('/'));
            if (parts.size() == 3) {
                settings[kind].raise = parts[0].toDouble();
                settings[kind].clear = parts[1].toDouble();
            }
            settings[kind].delaySeconds = parts.constLast().toDouble();
        }
    }
    return settings;
}

template <typename T> void read(TxReading::Item<T> &item, T value, qint64 at)
{
    item.value = value;
    item.readAtMs = at;
}

// Runs a script such as "R0 r=2.5 air=1; lost1500; start2000; tick9000" and
// returns what changed, as "+reflected-high@2000 -link-lost@5000".
//   R<t> key=value...  a status cycle at t ms reading only the items given:
//                      f forward W, r reflected W, c Celsius, lamp, lock, air (0/1)
//   start<t> lost<t> stop<t> tick<t> rf-off<t> rf-on<t>
QString run(AlarmRules &rules, const QString &script)
{
    TxReading reading;
    QStringList out;
    for (const QString &step : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList words = step.simplified().split(QLatin1Char(' '));
        const QRegularExpressionMatch head =
            QRegularExpression(QStringLiteral("^([A-Za-z-]+?)(\\d+)$")).match(words.first());
        if (!head.hasMatch())
            return QStringLiteral("bad step: ") + step;
        const QString verb = head.captured(1);
        const qint64 at = head.captured(2).toLongLong();
        AlarmRules::Changes changes;
        if (verb == QLatin1String("R")) {
            for (const QString &item : words.mid(1)) {
                const QString key = item.section(QLatin1Char('='), 0, 0);
                const double value = item.section(QLatin1Char('='), 1).toDouble();
                if (key == QLatin1String("f"))
                    read(reading.forwardW, value, at);
                else if (key == QLatin1String("r"))
                    read(reading.reflectedW, value, at);
                else if (key == QLatin1String("c"))
                    read(reading.temperatureC, qint16(value), at);
                else if (key == QLatin1String("lamp"))
                    read(reading.temperatureAlarm, value != 0, at);
                else if (key == QLatin1String("lock"))
                    read(reading.locked, value != 0, at);
                else if (key == QLatin1String("air"))
                    read(reading.onAir, value != 0, at);
                else
                    return QStringLiteral("bad item: ") + item;
            }
            // The lamp is read with the temperature, never alone.
            if (reading.temperatureC.readAtMs == at && reading.temperatureAlarm.readAtMs != at)
                read(reading.temperatureAlarm, false, at);
            changes = rules.reading(reading);
        } else if (verb == QLatin1String("start")) {
            reading = TxReading(); // the window starts each connection afresh
            changes = rules.connectionStarted(at);
        } else if (verb == QLatin1String("lost")) {
            changes = rules.linkLost(at);
        } else if (verb == QLatin1String("stop")) {
            changes = rules.monitoringStopped(at);
        } else if (verb == QLatin1String("tick")) {
            changes = rules.tick(at);
        } else if (verb == QLatin1String("rf-off") || verb == QLatin1String("rf-on")) {
            changes = rules.rfCommand(verb == QLatin1String("rf-on"), at);
        } else {
            return QStringLiteral("bad verb: ") + verb;
        }
        for (const AlarmRules::Change &change : changes)
            out << (change.raised ? QStringLiteral("+") : QStringLiteral("-")) +
                       AlarmKinds::id(change.kind) + QLatin1Char('@') + QString::number(at);
    }
    return out.join(QLatin1Char(' '));
}

// The same reading every `every` ms from `from` to `to` inclusive.
QString repeat(const QString &items, int from, int to, int every)
{
    QStringList steps;
    for (int t = from; t <= to; t += every)
        steps << QStringLiteral("R%1 %2").arg(t).arg(items);
    return steps.join(QStringLiteral("; "));
}
} // namespace

class AlarmsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rules_data();
    void rules();
    void valueTellsWhatWasSeen();
    void bookStates_data();
    void bookStates();
    void acknowledgementRecordsWhoAndWhen();
    void snapshotForTheFeed();
    void flappingAlarmIsToldOnce_data();
    void flappingAlarmIsToldOnce();
    void settingsFromTheStore_data();
    void settingsFromTheStore();
};

void AlarmsTest::rules_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("changes");

    const QString quiet = QStringLiteral("R0 f=12.5 r=0.3 c=20 lock=1 air=1");
    // Reflected power: raise above 2 W, clear below 1.5 W, 2 s, 3 readings.
    const QString reflected = QStringLiteral("Reflected=2/1.5/2 Readings=3");
    QTest::newRow("one noisy reading raises nothing")
        << reflected << quiet + QStringLiteral("; R1000 r=9; R2000 r=0.3; R3000 r=0.3") << "";
    QTest::newRow("raised once the delay and the readings are both met")
        << reflected << repeat(QStringLiteral("r=2.5"), 0, 5000, 1000) << "+reflected-high@2000";
    QTest::newRow("the readings count when the delay is short")
        << QStringLiteral("Reflected=2/1.5/0 Readings=3")
        << repeat(QStringLiteral("r=2.5"), 0, 300, 100) << "+reflected-high@200";
    QTest::newRow("the delay counts when readings come fast")
        << QStringLiteral("Reflected=2/1.5/5 Readings=3")
        << repeat(QStringLiteral("r=2.5"), 0, 6000, 250) << "+reflected-high@5000";
    QTest::newRow("at the raise threshold itself nothing is raised")
        << reflected << repeat(QStringLiteral("r=2"), 0, 5000, 1000) << "";
    QTest::newRow("a reading between the thresholds restarts the run")
        << reflected
        << QStringLiteral("R0 r=2.5; R1000 r=2.5; R1500 r=1.8; R2000 r=2.5; R3000 r=2.5; R4000 "
                          "r=2.5")
        << "+reflected-high@4000";
    QTest::newRow("hysteresis: between the thresholds it stays raised")
        << reflected
        << repeat(QStringLiteral("r=2.5"), 0, 2000, 1000) + QStringLiteral("; ") +
               repeat(QStringLiteral("r=1.8"), 3000, 9000, 1000)
        << "+reflected-high@2000";
    QTest::newRow("hysteresis: below the clear threshold for the delay it clears")
        << reflected
        << repeat(QStringLiteral("r=2.5"), 0, 2000, 1000) + QStringLiteral("; ") +
               repeat(QStringLiteral("r=1.0"), 3000, 9000, 1000)
        << "+reflected-high@2000 -reflected-high@5000";
    QTest::newRow("one low reading clears nothing")
        << reflected
        << repeat(QStringLiteral("r=2.5"), 0, 2000, 1000) +
               QStringLiteral("; R3000 r=0.1; R4000 r=2.5; R5000 r=2.5")
        << "+reflected-high@2000";
    QTest::newRow("a cycle cut short before the item is not a reading of it")
        << reflected << QStringLiteral("R0 r=2.5; R1000 c=20; R2000 c=20; R3000 c=20; R4000 c=20")
        << "";

    QTest::newRow("forward low on the air")
        << QStringLiteral("ForwardLow=5/6/2 Readings=3")
        << QStringLiteral("R0 air=1; ") + repeat(QStringLiteral("f=3"), 0, 3000, 1000)
        << "+forward-low@2000";
    QTest::newRow("forward low off the air is no alarm")
        << QStringLiteral("ForwardLow=5/6/2 Readings=3")
        << QStringLiteral("R0 air=0; ") + repeat(QStringLiteral("f=0"), 0, 5000, 1000) << "";
    QTest::newRow("forward low clears when the operator takes RF off the air")
        << QStringLiteral("ForwardLow=5/6/2 Readings=3")
        << QStringLiteral("R0 air=1; ") + repeat(QStringLiteral("f=3"), 0, 2000, 1000) +
               QStringLiteral("; rf-off2500; ") +
               repeat(QStringLiteral("f=0 air=0"), 3000, 6000, 1000)
        << "+forward-low@2000 -forward-low@5000";
    QTest::newRow("forward low needs the clear threshold, not the raise one")
        << QStringLiteral("ForwardLow=5/6/2 Readings=3")
        << QStringLiteral("R0 air=1; ") + repeat(QStringLiteral("f=3"), 0, 2000, 1000) +
               QStringLiteral("; ") + repeat(QStringLiteral("f=5.5"), 3000, 8000, 1000)
        << "+forward-low@2000";

    QTest::newRow("VSWR from forward and reflected")
        << QStringLiteral("Vswr=2/1.8/2 Reflected=50/40/2 Readings=3")
        << repeat(QStringLiteral("f=10 r=2"), 0, 3000, 1000) + QStringLiteral("; ") +
               repeat(QStringLiteral("f=10 r=0.2"), 4000, 7000, 1000)
        << "+vswr-high@2000 -vswr-high@6000";
    QTest::newRow("reflected at or above forward is the worst VSWR")
        << QStringLiteral("Vswr=2/1.8/1 Reflected=50/40/1 Readings=2")
        << repeat(QStringLiteral("f=4 r=4"), 0, 2000, 1000) << "+vswr-high@1000";
    QTest::newRow("no forward power, no VSWR")
        << QStringLiteral("Vswr=2/1.8/1 Readings=2")
        << repeat(QStringLiteral("f=0 r=0"), 0, 5000, 1000) << "";

    const QString temperature = QStringLiteral("Temperature=65/60/2 Readings=3");
    QTest::newRow("temperature above its limit")
        << temperature
        << repeat(QStringLiteral("c=70"), 0, 2000, 1000) + QStringLiteral("; ") +
               repeat(QStringLiteral("c=62"), 3000, 6000, 1000) + QStringLiteral("; ") +
               repeat(QStringLiteral("c=55"), 7000, 10000, 1000)
        << "+temperature-high@2000 -temperature-high@9000";
    QTest::newRow("the transmitter's own lamp counts as raised")
        << temperature << repeat(QStringLiteral("c=50 lamp=1"), 0, 3000, 1000)
        << "+temperature-high@2000";
    QTest::newRow("a lit lamp keeps it raised below the clear threshold")
        << temperature
        << repeat(QStringLiteral("c=70"), 0, 2000, 1000) + QStringLiteral("; ") +
               repeat(QStringLiteral("c=50 lamp=1"), 3000, 9000, 1000)
        << "+temperature-high@2000";

    const QString lock = QStringLiteral("Lock=3 Readings=3");
    QTest::newRow("lock lost and found again")
        << lock
        << repeat(QStringLiteral("lock=1"), 0, 1000, 1000) + QStringLiteral("; ") +
               repeat(QStringLiteral("lock=0"), 2000, 6000, 1000) + QStringLiteral("; ") +
               repeat(QStringLiteral("lock=1"), 7000, 11000, 1000)
        << "+lock-lost@5000 -lock-lost@10000";
    QTest::newRow("a lock dropping for two seconds is no alarm")
        << lock
        << QStringLiteral("R0 lock=1; R1000 lock=0; R2000 lock=0; R3000 lock=1; R4000 lock=0")
        << "";

    const QString rf = QStringLiteral("RfOff=2 Readings=3");
    QTest::newRow("RF gone off the air by itself")
        << rf << QStringLiteral("R0 air=1; ") + repeat(QStringLiteral("air=0"), 1000, 4000, 1000)
        << "+rf-off@3000";
    QTest::newRow("RF switched off by the operator")
        << rf
        << QStringLiteral("R0 air=1; rf-off500; ") +
               repeat(QStringLiteral("air=0"), 1000, 6000, 1000)
        << "";
    QTest::newRow("RF never on the air")
        << rf << repeat(QStringLiteral("air=0"), 0, 6000, 1000) << "";
    QTest::newRow("RF back on the air clears it")
        << rf
        << QStringLiteral("R0 air=1; ") + repeat(QStringLiteral("air=0"), 1000, 3000, 1000) +
               QStringLiteral("; ") + repeat(QStringLiteral("air=1"), 4000, 7000, 1000)
        << "+rf-off@3000 -rf-off@6000";
    QTest::newRow("the operator switching off clears it at once")
        << rf
        << QStringLiteral("R0 air=1; ") + repeat(QStringLiteral("air=0"), 1000, 3000, 1000) +
               QStringLiteral("; rf-off3500; R4000 air=0")
        << "+rf-off@3000 -rf-off@3500";

    QTest::newRow("link lost, raised at once with no delay")
        << QStringLiteral("Link=0") << QStringLiteral("start0; lost1000; start5000")
        << "+link-lost@1000 -link-lost@5000";
    QTest::newRow("link lost after its delay")
        << QStringLiteral("Link=10")
        << QStringLiteral("start0; lost1000; tick5000; tick10000; tick11000; tick12000; stop20000")
        << "+link-lost@11000 -link-lost@20000";
    QTest::newRow("link back within its delay")
        << QStringLiteral("Link=10") << QStringLiteral("lost0; start3000; tick20000") << "";
    QTest::newRow("a loss does not restart the link's delay")
        << QStringLiteral("Link=10") << QStringLiteral("lost0; lost8000; tick10000")
        << "+link-lost@10000";

    QTest::newRow("readings either side of a loss are not consecutive")
        << reflected
        << QStringLiteral("R0 r=2.5; R1000 r=2.5; lost1500; start2000; R2500 r=2.5; R3500 r=2.5; "
                          "R4500 r=2.5")
        << "+link-lost@1500 -link-lost@2000 +reflected-high@4500";
    QTest::newRow("an alarm raised stays raised through a loss")
        << reflected
        << repeat(QStringLiteral("r=2.5"), 0, 2000, 1000) + QStringLiteral("; lost3000; start4000")
        << "+reflected-high@2000 +link-lost@3000 -link-lost@4000";
    QTest::newRow("the operator stopping clears what can no longer be watched")
        << reflected + QStringLiteral(" Lock=2")
        << QStringLiteral("R0 r=2.5 lock=0; R1000 r=2.5 lock=0; R2000 r=2.5 lock=0; stop3000")
        << "+reflected-high@2000 +lock-lost@2000 -reflected-high@3000 -lock-lost@3000";
    QTest::newRow("an ignored alarm is never raised")
        << reflected + QStringLiteral(" Ignore=Reflected")
        << repeat(QStringLiteral("r=9"), 0, 9000, 1000) << "";
    QTest::newRow("one reading is enough when the settings say so")
        << QStringLiteral("Reflected=2/1.5/0 Readings=1") << QStringLiteral("R0 r=3; R1000 r=1")
        << "+reflected-high@0 -reflected-high@1000";
}

void AlarmsTest::rules()
{
    QFETCH(QString, settings);
    QFETCH(QString, script);
    AlarmRules rules(settingsFrom(settings));
    QTEST(run(rules, script), "changes");
}

void AlarmsTest::valueTellsWhatWasSeen()
{
    AlarmRules rules(
        settingsFrom(QStringLiteral("Reflected=2/1.5/0 Readings=1 Temperature=65/60/0")));
    TxReading reading;
    read(reading.reflectedW, 2.5, 10);
    read(reading.temperatureC, qint16(80), 10);
    read(reading.temperatureAlarm, true, 10);
    const AlarmRules::Changes changes = rules.reading(reading);
    QCOMPARE(changes.size(), size_t(2));
    QCOMPARE(changes[0].value, QStringLiteral("2.5 W"));
    QCOMPARE(changes[1].value, QStringLiteral("80 °C, ALARM TEMP lit"));
}

void AlarmsTest::bookStates_data()
{
    QTest::addColumn<QString>("steps"); // r raise, c clear, a acknowledge
    QTest::addColumn<QString>("accepted");
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("raises");
    QTest::newRow("raised") << "r"
                            << "1"
                            << "active-unacknowledged" << 1;
    QTest::newRow("raised, acknowledged") << "ra"
                                          << "11"
                                          << "active-acknowledged" << 1;
    QTest::newRow("acknowledged, then cleared") << "rac"
                                                << "111"
                                                << "normal" << 1;
    QTest::newRow("cleared before anyone acknowledged") << "rc"
                                                        << "11"
                                                        << "cleared-unacknowledged" << 1;
    QTest::newRow("cleared, then acknowledged") << "rca"
                                                << "111"
                                                << "normal" << 1;
    QTest::newRow("cleared unacknowledged, raised again") << "rcr"
                                                          << "111"
                                                          << "active-unacknowledged" << 2;
    QTest::newRow("raised twice") << "rr"
                                  << "10"
                                  << "active-unacknowledged" << 1;
    QTest::newRow("acknowledged twice") << "raa"
                                        << "110"
                                        << "active-acknowledged" << 1;
    QTest::newRow("nothing to acknowledge") << "a"
                                            << "0"
                                            << "normal" << 0;
    QTest::newRow("nothing to clear") << "c"
                                      << "0"
                                      << "normal" << 0;
    QTest::newRow("a new raise needs its own acknowledgement") << "racr"
                                                               << "1111"
                                                               << "active-unacknowledged" << 2;
}

void AlarmsTest::bookStates()
{
    QFETCH(QString, steps);
    AlarmBook book;
    QSignalSpy spy(&book, &AlarmBook::changed);
    const QDateTime t0 = QDateTime(QDate(2026, 12, 8), QTime(14, 0), Qt::UTC);
    QString accepted;
    int second = 0;
    for (const QChar step : steps) {
        const QDateTime at = t0.addSecs(++second);
        bool ok = false;
        if (step == QLatin1Char('r'))
            ok = book.raise(AlarmKind::LockLost, QStringLiteral("unlocked"), at);
        else if (step == QLatin1Char('c'))
            ok = book.clear(AlarmKind::LockLost, QStringLiteral("locked"), at);
        else
            ok = book.acknowledge(AlarmKind::LockLost, QStringLiteral("operator"), at);
        accepted += ok ? QLatin1Char('1') : QLatin1Char('0');
    }
    QTEST(accepted, "accepted");
    QTEST(AlarmEntry::stateId(book.entry(AlarmKind::LockLost).state), "state");
    QTEST(book.entry(AlarmKind::LockLost).raises, "raises");
    // A signal for every step taken, none for a step refused.
    QCOMPARE(spy.count(), int(accepted.count(QLatin1Char('1'))));
    // Only the alarm acted on changes.
    for (const AlarmKind other : AlarmKinds::All) {
        if (other != AlarmKind::LockLost)
            QCOMPARE(book.entry(other).state, AlarmEntry::State::Normal);
    }
    QCOMPARE(book.attention().size(),
             book.entry(AlarmKind::LockLost).state == AlarmEntry::State::Normal ? 0 : 1);
}

void AlarmsTest::acknowledgementRecordsWhoAndWhen()
{
    AlarmBook book;
    QSignalSpy spy(&book, &AlarmBook::changed);
    const QDateTime raised = QDateTime(QDate(2026, 12, 8), QTime(14, 0, 1), Qt::UTC);
    const QDateTime cleared = raised.addSecs(30);
    const QDateTime acknowledged = raised.addSecs(95);
    book.raise(AlarmKind::ReflectedHigh, QStringLiteral("2.5 W"), raised);
    book.clear(AlarmKind::ReflectedHigh, QStringLiteral("0.3 W"), cleared);
    QVERIFY(book.acknowledge(AlarmKind::ReflectedHigh, QStringLiteral("maria"), acknowledged));
    const AlarmEntry &alarm = book.entry(AlarmKind::ReflectedHigh);
    QCOMPARE(alarm.acknowledgedBy, QStringLiteral("maria"));
    QCOMPARE(alarm.acknowledgedUtc, acknowledged);
    QCOMPARE(alarm.raisedUtc, raised);
    QCOMPARE(alarm.clearedUtc, cleared);
    QCOMPARE(alarm.raisedValue, QStringLiteral("2.5 W"));
    QCOMPARE(spy.count(), 3);
    QCOMPARE(spy.at(2).at(1).value<AlarmBook::Transition>(), AlarmBook::Transition::Acknowledged);
    QCOMPARE(spy.at(2).at(0).value<AlarmEntry>().acknowledgedBy, QStringLiteral("maria"));

    // Raised again: the new occurrence is nobody's acknowledged one.
    book.raise(AlarmKind::ReflectedHigh, QStringLiteral("3 W"), acknowledged.addSecs(60));
    QVERIFY(book.entry(AlarmKind::ReflectedHigh).acknowledgedBy.isEmpty());
    QVERIFY(!book.entry(AlarmKind::ReflectedHigh).clearedUtc.isValid());
}

void AlarmsTest::snapshotForTheFeed()
{
    AlarmBook book;
    const QDateTime raised = QDateTime(QDate(2026, 12, 8), QTime(14, 0, 1, 250), Qt::UTC);
    book.raise(AlarmKind::TemperatureHigh, QStringLiteral("80 °C"), raised);
    book.acknowledge(AlarmKind::TemperatureHigh, QStringLiteral("maria"), raised.addSecs(5));
    const QJsonArray snapshot = book.toJson();
    QCOMPARE(snapshot.size(), qsizetype(AlarmKinds::All.size()));
    QStringList ids;
    for (const QJsonValue &value : snapshot)
        ids << value.toObject().value(QStringLiteral("id")).toString();
    QCOMPARE(ids.join(QLatin1Char(' ')),
             QStringLiteral("forward-low reflected-high vswr-high temperature-high lock-lost "
                            "link-lost rf-off"));
    const QJsonObject hot = snapshot.at(3).toObject();
    QCOMPARE(hot.value(QStringLiteral("state")).toString(), QStringLiteral("active-acknowledged"));
    QCOMPARE(hot.value(QStringLiteral("active")).toBool(), true);
    QCOMPARE(hot.value(QStringLiteral("acknowledged")).toBool(), true);
    QCOMPARE(hot.value(QStringLiteral("raised")).toString(),
             QStringLiteral("2026-12-08T14:00:01.250Z"));
    QCOMPARE(hot.value(QStringLiteral("raisedValue")).toString(), QStringLiteral("80 °C"));
    QCOMPARE(hot.value(QStringLiteral("acknowledgedBy")).toString(), QStringLiteral("maria"));
    QCOMPARE(hot.value(QStringLiteral("title")).toString(), QStringLiteral("TEMPERATURE HIGH"));
    QVERIFY(hot.value(QStringLiteral("cleared")).isNull());
    const QJsonObject quiet = snapshot.at(0).toObject();
    QCOMPARE(quiet.value(QStringLiteral("state")).toString(), QStringLiteral("normal"));
    QVERIFY(quiet.value(QStringLiteral("raised")).isNull());
    QCOMPARE(quiet.value(QStringLiteral("raises")).toInt(), 0);
}

void AlarmsTest::flappingAlarmIsToldOnce_data()
{
    // A reading flapping about its threshold: raise, clear, raise... one
    // flap every `everyMs`, then quiet.
    QTest::addColumn<int>("flaps");
    QTest::addColumn<int>("everyMs");
    QTest::addColumn<bool>("endsActive");
    QTest::addColumn<int>("raisesTold");        // changed(Raised) while flapping
    QTest::addColumn<bool>("chattered");        // chatterChanged(true) once
    QTest::addColumn<QStringList>("toldAfter"); // changed() once it settled

    QTest::newRow("three flaps a minute: each told")
        << 3 << 15000 << false << 3 << false << QStringList();
    // The first three raises of a minute are told; the fourth makes it chatter.
    QTest::newRow("a hundred flaps a minute: quiet after the third, settles cleared")
        << 100 << 600 << false << 3 << true << QStringList();
    QTest::newRow("ten flaps, settles raised: told so once settled")
        << 10 << 1000 << true << 3 << true << QStringList{QStringLiteral("Raised")};
    QTest::newRow("slow flaps, a few a minute: each told")
        << 6 << 25000 << false << 6 << false << QStringList();
}

void AlarmsTest::flappingAlarmIsToldOnce()
{
    QFETCH(int, flaps);
    QFETCH(int, everyMs);
    QFETCH(bool, endsActive);
    QFETCH(int, raisesTold);
    QFETCH(bool, chattered);
    QFETCH(QStringList, toldAfter);

    AlarmBook book;
    AlarmBook::ChatterLimits limits;
    limits.settleMs = 200; // the panel waits a minute
    book.setChatterLimits(limits);
    QStringList told;
    QObject::connect(&book, &AlarmBook::changed, &book,
                     [&told](const AlarmEntry &, AlarmBook::Transition t) {
                         told << QString::fromLatin1(
                             QMetaEnum::fromType<AlarmBook::Transition>().valueToKey(int(t)));
                     });
    QSignalSpy chatter(&book, &AlarmBook::chatterChanged);
    const QDateTime start = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < flaps; ++i) {
        const QDateTime at = start.addMSecs(qint64(i) * everyMs);
        QVERIFY(book.raise(AlarmKind::ReflectedHigh, QStringLiteral("2.5 W"), at));
        if (i + 1 < flaps || !endsActive)
            QVERIFY(book.clear(AlarmKind::ReflectedHigh, QStringLiteral("1.0 W"),
                               at.addMSecs(everyMs / 2)));
    }
    const AlarmEntry during = book.entry(AlarmKind::ReflectedHigh);
    QCOMPARE(told.count(QStringLiteral("Raised")), raisesTold);
    QCOMPARE(during.raises, flaps); // every raise is counted all the same
    QCOMPARE(during.chattering, chattered);
    QCOMPARE(book.toJson().at(1).toObject().value(QStringLiteral("chattering")).toBool(),
             chattered);
    if (!chattered) {
        QCOMPARE(chatter.count(), 0);
        QCOMPARE(told.count(QStringLiteral("Cleared")), flaps);
        return;
    }
    QCOMPARE(chatter.count(), 1);
    QCOMPARE(during.chatterRaises, flaps);
    // Quiet now: it settles, and says where it came to rest if that is not
    // what was last told.
    const int toldBefore = int(told.size());
    QTRY_COMPARE(chatter.count(), 2);
    QCOMPARE(chatter.at(1).at(1).toBool(), false);
    QCOMPARE(told.mid(toldBefore), toldAfter);
    QVERIFY(!book.entry(AlarmKind::ReflectedHigh).chattering);
    QCOMPARE(book.entry(AlarmKind::ReflectedHigh).active(), endsActive);
}

void AlarmsTest::settingsFromTheStore_data()
{
    QTest::addColumn<QString>("ini");       // lines of [Alarms]
    QTest::addColumn<QString>("reflected"); // raise/clear/delay as read
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<QString>("watched"); // stems watched, of Reflected Vswr RfOff
    QTest::newRow("absent: defaults, off") << ""
                                           << "2/1.5/5"
                                           << "0"
                                           << "Reflected Vswr RfOff";
    QTest::newRow("set") << "Enabled=yes\nReflectedRaise=3\nReflectedClear=2.5\nReflectedDelay=0.5"
                         << "3/2.5/0.5"
                         << "1"
                         << "Reflected Vswr RfOff";
    QTest::newRow("clear on the wrong side of raise")
        << "Enabled=true\nReflectedRaise=1\nReflectedClear=3"
        << "1/1/5"
        << "1"
        << "Reflected Vswr RfOff";
    QTest::newRow("not numbers, or a decimal comma, keep the defaults")
        << "Enabled=maybe\nReflectedRaise=high\nReflectedClear=1,2\nReflectedDelay=-4"
        << "2/1.5/5"
        << "0"
        << "Reflected Vswr RfOff";
    QTest::newRow("ignored, with commas or blanks") << "Enabled=1\nIgnore=vswr, RfOff"
                                                    << "2/1.5/5"
                                                    << "1"
                                                    << "Reflected";
}

void AlarmsTest::settingsFromTheStore()
{
    QFETCH(QString, ini);
    PanelDriver sandbox;
    {
        QFile file(sandbox.storeDir() + QStringLiteral("/Tx_Orvel.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Startup]\nComm=1\n[Alarms]\n" + ini.toUtf8() + "\n");
    }
    SettingsStore::check();
    const AlarmSettings settings = AlarmSettings::fromStore();
    const AlarmSettings::Limits &r = settings[AlarmKind::ReflectedHigh];
    QTEST(QStringLiteral("%1/%2/%3").arg(r.raise).arg(r.clear).arg(r.delaySeconds), "reflected");
    QTEST(QString::number(int(settings.enabled)), "enabled");
    QStringList watched;
    for (const AlarmKind kind : {AlarmKind::ReflectedHigh, AlarmKind::VswrHigh, AlarmKind::RfOff})
        if (settings[kind].watched)
            watched << AlarmKinds::settingStem(kind);
    QTEST(watched.join(QLatin1Char(' ')), "watched");
}

QTEST_MAIN(AlarmsTest)
#include "tst_alarms.moc"
