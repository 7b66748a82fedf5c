// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/AgentOptions.h"
#include "snmp/AlarmTracker.h"
#include "snmp/ControlCommand.h"
#include "snmp/MibView.h"
#include "snmp/NotificationTracker.h"
#include "snmp/PanelStatus.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using Event = NotificationTracker::Event;
using Kind = AlarmStatus::Kind;

Q_DECLARE_METATYPE(MibValue)
Q_DECLARE_METATYPE(ControlCommand::SetError)

namespace {

const char Polling[] = R"({"name": "site-a", "state": "polling", "port": "1",
 "device": "/dev/ttyUSB0", "firmware": "V1.0", "connected_s": 1234, "cycles": 5678,
 "readings": {
   "forward_w": {"value": 12.5, "text": "12.5", "age_s": 0.2},
   "reflected_w": {"value": 0.3, "text": "0.3", "age_s": 0.2},
   "vswr": {"value": 1.37, "age_s": 0.2},
   "temperature_c": {"value": 20, "text": "20", "age_s": 0.2},
   "temperature_alarm": {"value": false, "age_s": 0.2},
   "locked": {"value": true, "age_s": 0.2},
   "on_air": {"value": true, "age_s": 0.2},
   "frequency_khz": {"value": 107900, "text": "107.900 MHz", "age_s": 0.3}}})";

PanelStatus parsed(const QByteArray &json)
{
    QString error;
    const std::optional<PanelStatus> status = PanelStatus::fromJson(json, &error);
    if (!status)
        qFatal("fixture does not parse: %s", qPrintable(error));
    return *status;
}

// The reflected-power alarm as a panel's feed tells it; times are minutes
// and seconds past 14:00 on 2026-12-08 ("03:22.5"), nullptr for null.
QByteArray reflected(const char *state, const char *raised, const char *cleared = nullptr,
                     const char *acknowledged = nullptr, int raises = 1)
{
    const auto time = [](const char *minutes) {
        if (!minutes)
            return QByteArray("null");
        const QTime t = QTime::fromString(QString::fromLatin1(minutes), QStringLiteral("mm:ss.z"));
        return '"' +
               QDateTime(QDate(2026, 12, 8), QTime(14, t.minute(), t.second(), t.msec()), Qt::UTC)
                   .toString(Qt::ISODateWithMs)
                   .toLatin1() +
               '"';
    };
    return QByteArray(R"({"id":"reflected-high","title":"REFLECTED POWER HIGH","state":")") +
           state + R"(","raised":)" + time(raised) + R"(,"raisedValue":)" +
           (raised ? R"("2.5 W")" : "null") + R"(,"cleared":)" + time(cleared) +
           R"(,"clearedValue":)" + (cleared ? R"("1.0 W")" : "null") + R"(,"acknowledgedAt":)" +
           time(acknowledged) + R"(,"acknowledgedBy":)" + (acknowledged ? R"("alice")" : "null") +
           R"(,"raises":)" + QByteArray::number(raises) + '}';
}

PanelStatus withAlarms(const QByteArray &alarms)
{
    return parsed(R"({"name":"site-a","state":"polling","alarms":[)" + alarms + "]}");
}

QStringList named(const std::vector<AlarmTracker::Notice> &notices)
{
    QStringList names;
    for (const AlarmTracker::Notice &notice : notices) {
        const char *event = notice.event == AlarmTracker::Event::Raised    ? "raised"
                            : notice.event == AlarmTracker::Event::Cleared ? "cleared"
                                                                           : "acknowledged";
        names << QStringLiteral("%1 %2").arg(QLatin1String(event)).arg(int(notice.kind));
    }
    return names;
}

Oid under(const Oid &base, std::initializer_list<quint32> arcs)
{
    Oid result = base;
    result.insert(result.end(), arcs);
    return result;
}

} // namespace

class TestSnmpModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parsesTheFeedScaledAsTheMibCarriesIt();
    void absentNullAndMistypedReadingsAreLeftOut();
    void rejectsWhatIsNotAPanelStatus();
    void unreadKeepsOnlyWhatIdentifiesThePanel();
    void walkOrderSkipsAbsentReadingsAndEndsAfterTheTable();
    void getTellsMissingInstanceFromUnknownObject();
    void feedAgeCountsFromTheLastAnswer();
    void longTextIsCutOnACharacterBoundary();
    void alarmsFromTheFeed();
    void alarmRowsFollowThePanelTable();
    void alarmNotifications_data();
    void alarmNotifications();
    void alarmsUnknownMeanwhileAreToldWhenKnownAgain();
    void firstValuesAreABaselineWithoutNotifications();
    void changesNotifyOnceAndSurviveAnOutage();
    void optionsTakeCommandLineThenConfigFile();
    void optionsRejectWhatCannotWork();
    void optionsPairFeedsWithControlSockets();
    void commandRequests_data();
    void commandRequests();
    void panelReplies_data();
    void panelReplies();
};

void TestSnmpModel::parsesTheFeedScaledAsTheMibCarriesIt()
{
    const PanelStatus s = parsed(Polling);
    QCOMPARE(s.name, QStringLiteral("site-a"));
    QCOMPARE(s.state, PanelStatus::State::Polling);
    QCOMPARE(s.device, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(s.firmware, QStringLiteral("V1.0"));
    QCOMPARE(s.connectedSeconds, std::optional<qint64>(1234));
    QCOMPARE(s.forwardTenthsW, std::optional<qint32>(125));
    QCOMPARE(s.reflectedTenthsW, std::optional<qint32>(3));
    // 1.37 * 100 is 137.00000000000003 in binary floating point.
    QCOMPARE(s.vswrHundredths, std::optional<qint32>(137));
    QCOMPARE(s.temperatureTenthsC, std::optional<qint32>(200));
    QCOMPARE(s.temperatureAlarm, std::optional<bool>(false));
    QCOMPARE(s.locked, std::optional<bool>(true));
    QCOMPARE(s.onAir, std::optional<bool>(true));
    QCOMPARE(s.frequencyKhz, std::optional<quint32>(107900));
    QCOMPARE(s.readingAgeTenthsS, std::optional<qint32>(3));

    for (const auto &[text, state] :
         {std::pair{"off", PanelStatus::State::Off},
          std::pair{"connecting", PanelStatus::State::Connecting},
          std::pair{"ended", PanelStatus::State::Ended},
          std::pair{"port-not-available", PanelStatus::State::PortNotAvailable},
          std::pair{"resuming", PanelStatus::State::Resuming}}) {
        const QByteArray json = QByteArray(R"({"state": ")") + text + R"("})";
        QCOMPARE(parsed(json).state, state);
    }
    // A negative temperature stays negative.
    QCOMPARE(parsed(R"({"state": "polling", "readings":
        {"temperature_c": {"value": -5.25, "age_s": 0}}})")
                 .temperatureTenthsC,
             std::optional<qint32>(-53));
}

void TestSnmpModel::absentNullAndMistypedReadingsAreLeftOut()
{
    const PanelStatus s = parsed(R"({"name": "b", "state": "connecting", "firmware": "",
        "connected_s": null, "readings": {
        "forward_w": {"value": null, "text": "--", "age_s": 9.0},
        "locked": {"value": "yes", "age_s": 8.0},
        "vswr": 1.2,
        "frequency_khz": {"value": -1, "age_s": 7.0},
        "on_air": {"value": false, "age_s": 1.04}}})");
    QCOMPARE(s.state, PanelStatus::State::Connecting);
    QVERIFY(s.firmware.isEmpty());
    QVERIFY(!s.connectedSeconds);
    QVERIFY(!s.forwardTenthsW);
    QVERIFY(!s.locked);
    QVERIFY(!s.vswrHundredths);
    QVERIFY(!s.frequencyKhz);
    QVERIFY(!s.reflectedTenthsW);
    QCOMPARE(s.onAir, std::optional<bool>(false));
    // Only readings shown count towards the age: not the 9 s of the "--".
    QCOMPARE(s.readingAgeTenthsS, std::optional<qint32>(10));

    // Numbers no transmitter gives are left out, not wrapped or saturated.
    const PanelStatus huge = parsed(R"({"state": "polling", "connected_s": 1e300, "readings": {
        "forward_w": {"value": 1e300, "age_s": 0}, "frequency_khz": {"value": 5e9, "age_s": 0}}})");
    QVERIFY(!huge.connectedSeconds);
    QVERIFY(!huge.forwardTenthsW);
    QVERIFY(!huge.frequencyKhz);

    const PanelStatus none = parsed(R"({"state": "off"})");
    QVERIFY(!none.readingAgeTenthsS);
    QVERIFY(!none.onAir);
}

void TestSnmpModel::rejectsWhatIsNotAPanelStatus()
{
    for (const char *document : {"<html>404</html>", "[1, 2]", R"({"name": "x"})",
                                 R"({"state": "sleeping"})", R"({"state": 3})", ""}) {
        QString error;
        QVERIFY2(!PanelStatus::fromJson(document, &error), document);
        QVERIFY2(!error.isEmpty(), document);
    }
    QString error;
    PanelStatus::fromJson(R"({"state": "sleeping"})", &error);
    QVERIFY2(error.contains(QStringLiteral("sleeping")), qPrintable(error));
}

void TestSnmpModel::unreadKeepsOnlyWhatIdentifiesThePanel()
{
    PanelStatus s = parsed(Polling);
    s.markUnread(PanelStatus::State::Unreachable);
    QCOMPARE(s.state, PanelStatus::State::Unreachable);
    QCOMPARE(s.name, QStringLiteral("site-a"));
    QCOMPARE(s.device, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(s.firmware, QStringLiteral("V1.0"));
    QVERIFY(!s.connectedSeconds);
    QVERIFY(!s.forwardTenthsW);
    QVERIFY(!s.locked);
    QVERIFY(!s.frequencyKhz);
    QVERIFY(!s.readingAgeTenthsS);
}

void TestSnmpModel::walkOrderSkipsAbsentReadingsAndEndsAfterTheTable()
{
    PanelStatus sparse;
    sparse.state = PanelStatus::State::Connecting;
    sparse.locked = false;
    const std::vector<PanelRow> rows{{QStringLiteral("http://a/status.json"), parsed(Polling), 0},
                                     {QStringLiteral("http://b/status.json"), sparse, {}}};
    const MibView view(rows, 0);

    // Walk the whole module with GetNext from its root, as snmpwalk does.
    std::vector<Oid> walked;
    Oid at = MibView::root();
    while (const auto *found = view.next(at)) {
        QVERIFY(at < found->first);
        walked.push_back(found->first);
        at = found->first;
    }
    QCOMPARE(walked.front(), MibView::panelCount());
    QCOMPARE(view.get(MibView::panelCount())->number, 2);
    // Column by column, row by row: Name.1, Name.2, FeedUrl.1, ...
    QCOMPARE(walked[1], MibView::cell(MibView::Name, 1));
    QCOMPARE(walked[2], MibView::cell(MibView::Name, 2));
    QCOMPARE(walked[3], MibView::cell(MibView::FeedUrl, 1));
    // Row 2 has Locked but not OnAir or ForwardPower: its Locked follows
    // row 1's, and the walk goes from row 1's ForwardPower to ReflectedPower.
    const auto position = [&](const Oid &oid) {
        return std::find(walked.begin(), walked.end(), oid) - walked.begin();
    };
    QCOMPARE(position(MibView::cell(MibView::Locked, 2)),
             position(MibView::cell(MibView::Locked, 1)) + 1);
    QCOMPARE(position(MibView::cell(MibView::ReflectedPower, 1)),
             position(MibView::cell(MibView::ForwardPower, 1)) + 1);
    QVERIFY(!view.get(MibView::cell(MibView::OnAir, 2)));
    // The count, all 16 columns of row 1 and its 3 commands (no last remote
    // command), row 2's 5 identity cells, its Locked and its acknowledgement
    // (the only command column that reads without a reading behind it).
    QCOMPARE(walked.size(), std::size_t(1 + 16 + 3 + 7));

    // GetNext from inside an instance, or between columns, lands on the next one.
    QCOMPARE(view.next(under(MibView::cell(MibView::Vswr, 1), {7}))->first,
             MibView::cell(MibView::Temperature, 1));
    QCOMPARE(view.next(MibView::cell(MibView::OnAir, 1))->first,
             MibView::cell(MibView::Frequency, 1));
    // Past the last instance there is nothing: the agent moves on.
    QVERIFY(!view.next(MibView::cell(MibView::FrequencySet, 1)));
    QVERIFY(!view.next(under(MibView::root(), {2})));
    // Values as the MIB types them.
    QCOMPARE(view.get(MibView::cell(MibView::State, 2))->number, 2);
    QCOMPARE(view.get(MibView::cell(MibView::Locked, 2))->number, 2); // TruthValue false
    QCOMPARE(view.get(MibView::cell(MibView::OnAir, 1))->number, 1);  // TruthValue true
    QCOMPARE(view.get(MibView::cell(MibView::Frequency, 1))->kind, MibValue::Kind::Unsigned);
    QCOMPARE(view.get(MibView::cell(MibView::FeedUrl, 2))->text,
             QByteArray("http://b/status.json"));
}

void TestSnmpModel::getTellsMissingInstanceFromUnknownObject()
{
    QVERIFY(MibView::isObjectInstance(MibView::cell(MibView::OnAir, 9)));
    QVERIFY(MibView::isObjectInstance(MibView::panelCount()));
    QVERIFY(MibView::isObjectInstance(under(MibView::objects(), {1, 1})));
    QVERIFY(!MibView::isObjectInstance(under(MibView::objects(), {1})));
    QVERIFY(!MibView::isObjectInstance(under(MibView::objects(), {2, 1, 1, 1})));  // the index
    QVERIFY(!MibView::isObjectInstance(under(MibView::objects(), {2, 1, 26, 1}))); // no column 26
    QVERIFY(!MibView::isObjectInstance(under(MibView::objects(), {3, 0})));
    QVERIFY(!MibView::isObjectInstance(MibView::root()));
    // The root comes from the MIB file: enterprises 32473 (RFC 5612).
    const Oid root = MibView::root();
    QVERIFY(root.size() > 7);
    QCOMPARE(Oid(root.begin(), root.begin() + 7), (Oid{1, 3, 6, 1, 4, 1, 32473}));
}

void TestSnmpModel::feedAgeCountsFromTheLastAnswer()
{
    const std::vector<PanelRow> rows{{QStringLiteral("u"), parsed(Polling), 10'000}};
    QCOMPARE(MibView(rows, 12'345).get(MibView::cell(MibView::FeedAge, 1))->number, 23);
    const std::vector<PanelRow> never{{QStringLiteral("u"), PanelStatus{}, {}}};
    QVERIFY(!MibView(never, 12'345).get(MibView::cell(MibView::FeedAge, 1)));
    QCOMPARE(MibView(never, 0).get(MibView::cell(MibView::State, 1))->number, 7); // unreachable
}

void TestSnmpModel::longTextIsCutOnACharacterBoundary()
{
    PanelStatus s;
    // 254 ASCII bytes and a two-byte character that would straddle byte 255.
    s.name = QString(254, QLatin1Char('x')) + QChar(0x00E9) + QStringLiteral("tail");
    const MibView view({{QStringLiteral("u"), s, {}}}, 0);
    const QByteArray name = view.get(MibView::cell(MibView::Name, 1))->text;
    QCOMPARE(name.size(), 254);
    QCOMPARE(QString::fromUtf8(name), QString(254, QLatin1Char('x')));
}

void TestSnmpModel::alarmsFromTheFeed()
{
    const PanelStatus s =
        withAlarms(reflected("cleared-unacknowledged", "03:22.5", "04:10.25") + ',' +
                   R"({"id":"link-lost","title":"LINK LOST","state":"active-acknowledged",
            "raised":"2026-12-08T15:00:00.000+01:00","raisedValue":"the line was lost",
            "cleared":null,"clearedValue":null,"acknowledgedAt":"2026-12-08T14:01:00.000Z",
            "acknowledgedBy":"bob","raises":3},
           {"id":"smoke-detected","state":"normal","raises":0},
           {"id":"lock-lost","state":"flashing","raises":0},
           "lock-lost", 7,
           )" + reflected("normal", nullptr, nullptr, nullptr, 0));
    // Unknown alarms and states, things that are not alarms, and a second
    // object for the same alarm are left out.
    QCOMPARE(s.alarms.size(), std::size_t(2));
    const AlarmStatus &high = s.alarms[0];
    QCOMPARE(high.kind, Kind::ReflectedHigh);
    QCOMPARE(high.name, QStringLiteral("REFLECTED POWER HIGH"));
    QCOMPARE(high.state, AlarmStatus::State::ClearedUnacknowledged);
    QCOMPARE(high.raisedValue, std::optional<QString>(QStringLiteral("2.5 W")));
    QCOMPARE(high.raisedUtc, std::optional<QDateTime>(
                                 QDateTime(QDate(2026, 12, 8), QTime(14, 3, 22, 500), Qt::UTC)));
    QCOMPARE(high.clearedValue, std::optional<QString>(QStringLiteral("1.0 W")));
    QVERIFY(!high.acknowledgedBy);
    QVERIFY(!high.acknowledgedUtc);
    QCOMPARE(high.raises, quint32(1));
    const AlarmStatus &link = s.alarms[1];
    QCOMPARE(link.kind, Kind::LinkLost);
    QCOMPARE(link.state, AlarmStatus::State::ActiveAcknowledged);
    // A time with an offset is the same moment in UTC.
    QCOMPARE(link.raisedUtc->toUTC().time(), QTime(14, 0));
    QVERIFY(!link.clearedValue);
    QCOMPARE(link.acknowledgedBy, std::optional<QString>(QStringLiteral("bob")));
    QCOMPARE(link.raises, quint32(3));

    // Alarms off: no "alarms" at all. Feed gone: the alarms are unknown.
    QVERIFY(parsed(Polling).alarms.empty());
    PanelStatus unread = s;
    unread.markUnread(PanelStatus::State::Unreachable);
    QVERIFY(unread.alarms.empty());
}

void TestSnmpModel::alarmRowsFollowThePanelTable()
{
    const std::vector<PanelRow> rows{
        {QStringLiteral("http://a/status.json"), parsed(Polling), 0},
        {QStringLiteral("http://b/status.json"),
         withAlarms(reflected("active-acknowledged", "03:22.57", nullptr, "05:00.0") + ',' +
                    R"({"id":"forward-low","title":"FORWARD POWER LOW","state":"normal",
                        "raised":null,"raisedValue":null,"cleared":null,"clearedValue":null,
                        "acknowledgedAt":null,"acknowledgedBy":null,"raises":0})"),
         0}};
    const MibView view(rows, 0);
    std::vector<Oid> alarmTable;
    const Oid table = under(MibView::objects(), {3});
    for (const auto &[oid, value] : view.instances()) {
        if (oid.size() > table.size() && std::equal(table.begin(), table.end(), oid.begin()))
            alarmTable.push_back(oid);
    }
    // Column by column, then by panel and alarm: row 2's forward-low (1)
    // before its reflected-high (2); nothing for panel 1, whose alarms are off.
    using A = MibView::AlarmColumn;
    const std::vector<Oid> expected{
        MibView::alarmCell(A::AlarmName, 2, Kind::ForwardLow),
        MibView::alarmCell(A::AlarmName, 2, Kind::ReflectedHigh),
        MibView::alarmCell(A::AlarmState, 2, Kind::ForwardLow),
        MibView::alarmCell(A::AlarmState, 2, Kind::ReflectedHigh),
        MibView::alarmCell(A::AlarmRaisedValue, 2, Kind::ReflectedHigh),
        MibView::alarmCell(A::AlarmRaisedTime, 2, Kind::ReflectedHigh),
        MibView::alarmCell(A::AlarmAcknowledgedBy, 2, Kind::ReflectedHigh),
        MibView::alarmCell(A::AlarmAcknowledgedTime, 2, Kind::ReflectedHigh),
        MibView::alarmCell(A::AlarmRaises, 2, Kind::ForwardLow),
        MibView::alarmCell(A::AlarmRaises, 2, Kind::ReflectedHigh),
    };
    QCOMPARE(alarmTable, expected);
    // The alarm table follows the whole panel table.
    QCOMPARE(view.next(MibView::cell(MibView::LastRemoteTime, 2))->first, expected.front());
    QVERIFY(!view.next(expected.back()));
    QCOMPARE(expected[1], under(MibView::objects(), {3, 1, 2, 2, 2}));

    QCOMPARE(view.get(expected[1])->text, QByteArray("REFLECTED POWER HIGH"));
    QCOMPARE(view.get(expected[3])->number, 3); // activeAcknowledged
    QCOMPARE(view.get(expected[2])->number, 1); // normal
    QCOMPARE(view.get(expected[4])->text, QByteArray("2.5 W"));
    // DateAndTime: 2026 (0x07EA), 12, 8, 14:03:22 and 5 tenths (the 70 ms
    // dropped), '+' 0:0 from UTC.
    QCOMPARE(view.get(expected[5])->text,
             QByteArray("\x07\xEA\x0C\x08\x0E\x03\x16\x05+\x00\x00", 11));
    QCOMPARE(view.get(expected[5])->kind, MibValue::Kind::Text);
    QCOMPARE(view.get(expected[9])->kind, MibValue::Kind::Unsigned);
    QCOMPARE(view.get(expected[9])->number, 1);

    // A missing instance of a defined column is noSuchInstance; past the
    // columns, or without the whole index, no such object.
    QVERIFY(MibView::isObjectInstance(MibView::alarmCell(A::AlarmClearedTime, 2, Kind::RfOff)));
    QVERIFY(MibView::isObjectInstance(MibView::alarmCell(A::AlarmName, 9, Kind::LockLost)));
    QVERIFY(!MibView::isObjectInstance(under(MibView::objects(), {3, 1, 1, 2, 2}))); // the index
    QVERIFY(!MibView::isObjectInstance(under(MibView::objects(), {3, 1, 11, 2, 2})));
    QVERIFY(!MibView::isObjectInstance(under(MibView::objects(), {3, 1, 2, 2})));
}

void TestSnmpModel::alarmNotifications_data()
{
    QTest::addColumn<QByteArray>("before"); // reflected-high at one read of the feed
    QTest::addColumn<QByteArray>("after");  // and at the next
    QTest::addColumn<QStringList>("sent");
    const QByteArray never = reflected("normal", nullptr, nullptr, nullptr, 0);
    const QByteArray active = reflected("active-unacknowledged", "03:22.5");
    const QByteArray acked = reflected("active-acknowledged", "03:22.5", nullptr, "05:00.0");
    const QByteArray cleared = reflected("cleared-unacknowledged", "03:22.5", "04:10.2");
    const QByteArray over = reflected("normal", "03:22.5", "04:10.2", "05:00.0");
    const QByteArray overAckedFirst = reflected("normal", "03:22.5", "06:00.0", "05:00.0");
    const QString raised = QStringLiteral("raised 2");
    const QString clearedNow = QStringLiteral("cleared 2");
    const QString acknowledged = QStringLiteral("acknowledged 2");

    QTest::newRow("unchanged") << active << active << QStringList();
    QTest::newRow("raised") << never << active << QStringList{raised};
    QTest::newRow("acknowledged while active") << active << acked << QStringList{acknowledged};
    QTest::newRow("cleared unacknowledged") << active << cleared << QStringList{clearedNow};
    QTest::newRow("cleared once acknowledged")
        << acked << overAckedFirst << QStringList{clearedNow};
    QTest::newRow("acknowledged once cleared") << cleared << over << QStringList{acknowledged};
    QTest::newRow("raised again before anyone acknowledged")
        << cleared << reflected("active-unacknowledged", "07:00.0", nullptr, nullptr, 2)
        << QStringList{raised};
    QTest::newRow("raised again after the last was over")
        << over << reflected("active-unacknowledged", "07:00.0", nullptr, nullptr, 2)
        << QStringList{raised};
    QTest::newRow("raised and cleared between two reads")
        << never << cleared << QStringList{raised, clearedNow};
    QTest::newRow("raised, cleared, acknowledged between two reads")
        << never << over << QStringList{raised, clearedNow, acknowledged};
    QTest::newRow("raised, acknowledged, cleared between two reads")
        << never << overAckedFirst << QStringList{raised, acknowledged, clearedNow};
    QTest::newRow("acknowledged, cleared and raised again between two reads")
        << active << reflected("active-unacknowledged", "07:00.0", nullptr, nullptr, 2)
        << QStringList{raised};
    QTest::newRow("the panel restarted: its alarms start over, nothing to tell")
        << acked << never << QStringList();
}

void TestSnmpModel::alarmNotifications()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QStringList, sent);
    AlarmTracker tracker;
    // The first state seen is the baseline, whatever it is.
    QCOMPARE(named(tracker.update(withAlarms(before))), QStringList());
    QCOMPARE(named(tracker.update(withAlarms(after))), sent);
    // Told once.
    QCOMPARE(named(tracker.update(withAlarms(after))), QStringList());
}

void TestSnmpModel::alarmsUnknownMeanwhileAreToldWhenKnownAgain()
{
    AlarmTracker tracker;
    const QByteArray link = R"({"id":"link-lost","title":"LINK LOST","state":"normal",
        "raised":null,"raisedValue":null,"cleared":null,"clearedValue":null,
        "acknowledgedAt":null,"acknowledgedBy":null,"raises":0})";
    QVERIFY(tracker.update(withAlarms(reflected("active-unacknowledged", "03:22.5") + ',' + link))
                .empty());
    // The feed stops answering: nothing known, nothing told, nothing forgotten.
    PanelStatus gone = withAlarms(link);
    gone.markUnread(PanelStatus::State::Unreachable);
    QVERIFY(tracker.update(gone).empty());
    // Back: the clear that happened meanwhile is told, the alarm that stayed
    // normal is not; an alarm first told now is a baseline.
    const QByteArray lock = R"({"id":"lock-lost","title":"LOCK LOST",
        "state":"active-unacknowledged","raised":"2026-12-08T14:20:00.000Z",
        "raisedValue":"unlocked","raises":1})";
    QCOMPARE(
        named(tracker.update(withAlarms(reflected("cleared-unacknowledged", "03:22.5", "09:00.0") +
                                        ',' + link + ',' + lock))),
        QStringList{QStringLiteral("cleared 2")});
    // A panel with alarms off never sends any.
    AlarmTracker off;
    QVERIFY(off.update(parsed(Polling)).empty());
    QVERIFY(off.update(parsed(Polling)).empty());
}

void TestSnmpModel::firstValuesAreABaselineWithoutNotifications()
{
    NotificationTracker tracker;
    PanelStatus alarmed = parsed(Polling);
    alarmed.locked = false;
    alarmed.temperatureAlarm = true;
    // A panel found unlocked and alarmed at start-up: its baseline.
    QVERIFY(tracker.update(alarmed).empty());
    QVERIFY(tracker.update(alarmed).empty());

    // A panel unreachable at first, then coming up: the link came up, but its
    // readings are first known now and are a baseline.
    NotificationTracker late;
    PanelStatus down;
    down.markUnread(PanelStatus::State::Unreachable);
    QVERIFY(late.update(down).empty());
    QCOMPARE(late.update(alarmed), std::vector<Event>{Event::LinkUp});
}

void TestSnmpModel::changesNotifyOnceAndSurviveAnOutage()
{
    NotificationTracker tracker;
    PanelStatus s = parsed(Polling);
    QVERIFY(tracker.update(s).empty());

    s.locked = false;
    s.temperatureAlarm = true;
    s.onAir = false;
    QCOMPARE(tracker.update(s), (std::vector<Event>{Event::LockLost, Event::TemperatureAlarmRaised,
                                                    Event::OnAirChanged}));
    QVERIFY(tracker.update(s).empty());

    // Resuming leaves polling; the readings are gone but stay known.
    PanelStatus resuming = s;
    resuming.state = PanelStatus::State::Resuming;
    resuming.locked.reset();
    resuming.temperatureAlarm.reset();
    resuming.onAir.reset();
    QCOMPARE(tracker.update(resuming), std::vector<Event>{Event::LinkDown});
    PanelStatus unreachable = resuming;
    unreachable.markUnread(PanelStatus::State::Unreachable);
    QVERIFY(tracker.update(unreachable).empty()); // not polling before either

    // Back, locked again and the alarm over, still off the air.
    s.locked = true;
    s.temperatureAlarm = false;
    QCOMPARE(tracker.update(s), (std::vector<Event>{Event::LinkUp, Event::LockRegained,
                                                    Event::TemperatureAlarmCleared}));
    s.onAir = true;
    QCOMPARE(tracker.update(s), std::vector<Event>{Event::OnAirChanged});
}

void TestSnmpModel::optionsTakeCommandLineThenConfigFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("feeds.conf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# the station's panels\n\n  http://10.0.0.5:8740/status.json  \n"
               "#http://10.0.0.9:8740/status.json\nhttp://10.0.0.6:8740/status.json\n");
    file.close();

    AgentOptions options;
    QString error;
    const QStringList argv{QStringLiteral("txpanel-snmp"),
                           QStringLiteral("-c"),
                           path,
                           QStringLiteral("-x"),
                           QStringLiteral("/run/agentx/master"),
                           QStringLiteral("-i"),
                           QStringLiteral("1.5"),
                           QStringLiteral("http://127.0.0.1:8740/status.json")};
    QCOMPARE(AgentOptions::parse(argv, &options, &error), AgentOptions::Outcome::Run);
    QCOMPARE(options.feeds.size(), std::size_t(3));
    QCOMPARE(options.feeds[0], QUrl(QStringLiteral("http://127.0.0.1:8740/status.json")));
    QCOMPARE(options.feeds[1], QUrl(QStringLiteral("http://10.0.0.5:8740/status.json")));
    QCOMPARE(options.feeds[2], QUrl(QStringLiteral("http://10.0.0.6:8740/status.json")));
    QCOMPARE(options.agentxSocket, QStringLiteral("/run/agentx/master"));
    QCOMPARE(options.intervalMs, 1500);
    QCOMPARE(options.timeoutMs, 1500); // the default 2 s, bounded by the interval
    QCOMPARE(options.reconnectSeconds, 5);
}

void TestSnmpModel::optionsRejectWhatCannotWork()
{
    const QString feed = QStringLiteral("http://127.0.0.1:8740/status.json");
    const struct
    {
        QStringList arguments;
        const char *says;
    } cases[] = {
        {{}, "no panel feed"},
        {{QStringLiteral("127.0.0.1:8740/status.json")}, "not an http"},
        {{QStringLiteral("http:///status.json")}, "not an http"},
        {{QStringLiteral("-i"), QStringLiteral("0"), feed}, "--interval"},
        {{QStringLiteral("-i"), QStringLiteral("1"), QStringLiteral("-t"), QStringLiteral("3"),
          feed},
         "--timeout"},
        {{QStringLiteral("-r"), QStringLiteral("0.5"), feed}, "--reconnect"},
        {{QStringLiteral("--bogus"), feed}, "bogus"},
        {{QStringLiteral("-c"), QStringLiteral("/nonexistent/feeds.conf")}, "cannot read"},
        {{QStringLiteral("--control-socket"), QStringLiteral("2=/run/c"), feed}, "only 1 panels"},
        {{QStringLiteral("--control-socket"), QStringLiteral("/run/c"), feed}, "a panel's number"},
        {{QStringLiteral("--control-socket"), QStringLiteral("1="), feed}, "a panel's number"},
        {{QStringLiteral("--control-socket"), QStringLiteral("1=/run/a"),
          QStringLiteral("--control-socket"), QStringLiteral("1=/run/b"), feed},
         "already has /run/a"},
        {{QStringLiteral("-w"), QStringLiteral("two words"), feed}, "--writer"},
    };
    for (const auto &c : cases) {
        AgentOptions options;
        QString error;
        const QStringList argv = QStringList{QStringLiteral("txpanel-snmp")} + c.arguments;
        QCOMPARE(AgentOptions::parse(argv, &options, &error), AgentOptions::Outcome::Error);
        QVERIFY2(error.contains(QLatin1String(c.says)), qPrintable(error));
    }
}

void TestSnmpModel::optionsPairFeedsWithControlSockets()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("feeds.conf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("http://10.0.0.5:8740/ \t /run/txpanel/b/control\nhttp://10.0.0.6:8740/\n");
    file.close();
    AgentOptions options;
    QString error;
    const QStringList argv{QStringLiteral("txpanel-snmp"),
                           QStringLiteral("--control-socket"),
                           QStringLiteral("1=/run/txpanel/a/control"),
                           QStringLiteral("-w"),
                           QStringLiteral("ops"),
                           QStringLiteral("http://127.0.0.1:8740/"),
                           QStringLiteral("-c"),
                           path};
    QCOMPARE(AgentOptions::parse(argv, &options, &error), AgentOptions::Outcome::Run);
    QCOMPARE(options.controlSockets,
             (std::vector<QString>{QStringLiteral("/run/txpanel/a/control"),
                                   QStringLiteral("/run/txpanel/b/control"), QString()}));
    QCOMPARE(options.writers, QStringList{QStringLiteral("ops")});

    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("http://10.0.0.5:8740/ /run/a extra\n");
    file.close();
    QCOMPARE(AgentOptions::parse(argv, &options, &error), AgentOptions::Outcome::Error);
    QVERIFY2(error.contains(QLatin1String(":1: a feed address and at most")), qPrintable(error));
}

void TestSnmpModel::commandRequests_data()
{
    using Kind = MibValue::Kind;
    using E = ControlCommand::SetError;
    QTest::addColumn<int>("column");
    QTest::addColumn<MibValue>("value");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<E>("error");
    const auto text = [](const char *t) { return MibValue{Kind::Text, 0, QByteArray(t)}; };
    QTest::newRow("rf 0") << int(MibView::RfCommand) << MibValue{Kind::Integer, 0, {}}
                          << QByteArray() << E::WrongValue;
    QTest::newRow("rf as text") << int(MibView::RfCommand) << text("off") << QByteArray()
                                << E::WrongType;
    QTest::newRow("ack all") << int(MibView::AlarmAcknowledge) << text(" all ")
                             << QByteArray("ack all") << E::None;
    QTest::newRow("ack a title") << int(MibView::AlarmAcknowledge) << text("LOCK LOST")
                                 << QByteArray("ack LOCK LOST") << E::None;
    QTest::newRow("ack a second line")
        << int(MibView::AlarmAcknowledge) << text("all\nrf on") << QByteArray() << E::WrongValue;
    QTest::newRow("ack 65 bytes") << int(MibView::AlarmAcknowledge)
                                  << MibValue{Kind::Text, 0, QByteArray(65, 'a')} << QByteArray()
                                  << E::WrongValue;
    QTest::newRow("frequency 0") << int(MibView::FrequencySet) << MibValue{Kind::Unsigned, 0, {}}
                                 << QByteArray() << E::WrongValue;
    QTest::newRow("frequency as integer")
        << int(MibView::FrequencySet) << MibValue{Kind::Integer, 107900, {}} << QByteArray()
        << E::WrongType;
    QTest::newRow("a reading") << int(MibView::Frequency) << MibValue{Kind::Unsigned, 1, {}}
                               << QByteArray() << E::NotWritable;
}

void TestSnmpModel::commandRequests()
{
    QFETCH(int, column);
    QFETCH(MibValue, value);
    QFETCH(QByteArray, request);
    QFETCH(ControlCommand::SetError, error);
    ControlCommand::Verdict verdict;
    const std::optional<QByteArray> made =
        ControlCommand::request(static_cast<MibView::Column>(column), value, &verdict);
    QCOMPARE(made.value_or(QByteArray()), request);
    QCOMPARE(verdict.error, error);
    if (made)
        QCOMPARE(ControlCommand::requestLine(QStringLiteral("ops"), *made),
                 "via snmp ops " + request + '\n');
}

void TestSnmpModel::panelReplies_data()
{
    using E = ControlCommand::SetError;
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<E>("error");
    QTest::newRow("done") << QByteArray(R"({"protocol":1,"ok":true,"outcome":"done"})") << E::None;
    QTest::newRow("too many requests")
        << QByteArray(R"({"ok":false,"outcome":"refused","reason":"too many requests"})")
        << E::ResourceUnavailable;
    QTest::newRow("not JSON") << QByteArray("OK") << E::GenErr;
    QTest::newRow("no ok") << QByteArray(R"({"outcome":"done"})") << E::GenErr;
}

void TestSnmpModel::panelReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(ControlCommand::SetError, error);
    const ControlCommand::Verdict verdict = ControlCommand::interpret(reply);
    QCOMPARE(verdict.error, error);
    // The agent's log tells the panel's own reason.
    if (reply.contains("reason"))
        QVERIFY2(
            verdict.reason.contains(
                QJsonDocument::fromJson(reply).object().value(QLatin1String("reason")).toString()),
            qPrintable(verdict.reason));
}

QTEST_GUILESS_MAIN(TestSnmpModel)
#include "tst_snmpmodel.moc"
