// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "snmp/MibView.h"

#include "snmp/TxpanelMibRoot.h"

#include <algorithm>

namespace {

constexpr quint32 ObjectsArc = 1;
constexpr quint32 NotificationsArc = 0;
constexpr quint32 PanelCountArc = 1;
constexpr quint32 TableArc = 2;
constexpr quint32 AlarmTableArc = 3;
constexpr quint32 EntryArc = 1;
// A DisplayString holds at most 255 octets.
constexpr int DisplayStringMax = 255;

Oid operator+(Oid base, std::initializer_list<quint32> arcs)
{
    base.insert(base.end(), arcs);
    return base;
}

MibValue integer(qint64 number)
{
    return {MibValue::Kind::Integer, number, {}};
}

MibValue unsignedValue(qint64 number)
{
    return {MibValue::Kind::Unsigned, number, {}};
}

MibValue truth(bool value)
{
    // TruthValue: true(1), false(2).
    return integer(value ? 1 : 2);
}

MibValue displayString(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() > DisplayStringMax) {
        int cut = DisplayStringMax;
        // Cut before a UTF-8 continuation byte would leave half a character.
        while (cut > 0 && (static_cast<quint8>(bytes.at(cut)) & 0xC0) == 0x80)
            --cut;
        bytes.truncate(cut);
    }
    return {MibValue::Kind::Text, 0, bytes};
}

} // namespace

Oid MibView::root()
{
    return Oid(std::begin(TxpanelMibRoot), std::end(TxpanelMibRoot));
}

Oid MibView::objects()
{
    return root() + std::initializer_list<quint32>{ObjectsArc};
}

Oid MibView::panelCount()
{
    return objects() + std::initializer_list<quint32>{PanelCountArc, 0};
}

Oid MibView::cell(Column column, int index)
{
    return objects() +
           std::initializer_list<quint32>{TableArc, EntryArc, column, static_cast<quint32>(index)};
}

Oid MibView::alarmCell(AlarmColumn column, int index, AlarmStatus::Kind kind)
{
    return objects() + std::initializer_list<quint32>{AlarmTableArc, EntryArc, column,
                                                      static_cast<quint32>(index),
                                                      static_cast<quint32>(kind)};
}

QByteArray MibView::dateAndTime(const QDateTime &utc)
{
    const QDateTime t = utc.toUTC();
    const QDate date = t.date();
    const QTime time = t.time();
    const int year = date.year();
    const char octets[] = {static_cast<char>((year >> 8) & 0xFF),
                           static_cast<char>(year & 0xFF),
                           static_cast<char>(date.month()),
                           static_cast<char>(date.day()),
                           static_cast<char>(time.hour()),
                           static_cast<char>(time.minute()),
                           static_cast<char>(time.second()),
                           static_cast<char>(time.msec() / 100),
                           '+',
                           0,
                           0};
    return QByteArray(octets, sizeof octets);
}

Oid MibView::notification(quint32 number)
{
    return root() + std::initializer_list<quint32>{NotificationsArc, number};
}

MibView::MibView(const std::vector<PanelRow> &rows, qint64 nowMs)
{
    instances_.emplace(panelCount(), integer(static_cast<qint64>(rows.size())));
    int index = 0;
    for (const PanelRow &row : rows) {
        ++index;
        const PanelStatus &s = row.status;
        auto put = [&](Column column, const MibValue &value) {
            instances_.emplace(cell(column, index), value);
        };
        put(Name, displayString(s.name));
        put(FeedUrl, displayString(row.url));
        put(State, integer(static_cast<int>(s.state)));
        put(Device, displayString(s.device));
        put(Firmware, displayString(s.firmware));
        if (s.forwardTenthsW)
            put(ForwardPower, integer(*s.forwardTenthsW));
        if (s.reflectedTenthsW)
            put(ReflectedPower, integer(*s.reflectedTenthsW));
        if (s.vswrHundredths)
            put(Vswr, integer(*s.vswrHundredths));
        if (s.temperatureTenthsC)
            put(Temperature, integer(*s.temperatureTenthsC));
        if (s.temperatureAlarm)
            put(TemperatureAlarm, truth(*s.temperatureAlarm));
        if (s.locked)
            put(Locked, truth(*s.locked));
        if (s.onAir)
            put(OnAir, truth(*s.onAir));
        if (s.frequencyKhz)
            put(Frequency, unsignedValue(*s.frequencyKhz));
        if (s.connectedSeconds)
            put(ConnectedTime, unsignedValue(std::min<qint64>(*s.connectedSeconds, 0xFFFFFFFF)));
        if (s.readingAgeTenthsS)
            put(ReadingAge, integer(*s.readingAgeTenthsS));
        // The command columns read back what a manager compares a write
        // with: the RF state and the frequency (as the feed tells them).
        if (s.onAir)
            put(RfCommand, integer(*s.onAir ? 1 : 2));
        put(AlarmAcknowledge, displayString(QString()));
        if (s.frequencyKhz)
            put(FrequencySet, unsignedValue(*s.frequencyKhz));
        if (s.lastRemote) {
            const PanelStatus::LastRemote &last = *s.lastRemote;
            put(LastRemoteWho, displayString(last.who));
            put(LastRemoteWay, displayString(last.way));
            put(LastRemoteCommand, displayString(last.command));
            if (last.outcome)
                put(LastRemoteOutcome, integer(static_cast<int>(*last.outcome)));
            if (last.whenUtc && last.whenUtc->date().year() >= 0 &&
                last.whenUtc->date().year() <= 65535)
                put(LastRemoteTime, {MibValue::Kind::Text, 0, dateAndTime(*last.whenUtc)});
        }
        if (row.lastAnswerMs) {
            const qint64 tenths = std::max<qint64>(0, nowMs - *row.lastAnswerMs) / 100;
            put(FeedAge, integer(std::min<qint64>(tenths, 0x7FFFFFFF)));
        }
        for (const AlarmStatus &alarm : s.alarms) {
            auto putAlarm = [&](AlarmColumn column, const MibValue &value) {
                instances_.emplace(alarmCell(column, index, alarm.kind), value);
            };
            auto putTime = [&](AlarmColumn column, const std::optional<QDateTime> &time) {
                // DateAndTime has two octets for the year: a time it cannot
                // hold is left out rather than wrapped.
                if (time && time->isValid() && time->date().year() >= 0 &&
                    time->date().year() <= 65535)
                    putAlarm(column, {MibValue::Kind::Text, 0, dateAndTime(*time)});
            };
            auto putText = [&](AlarmColumn column, const std::optional<QString> &text) {
                if (text)
                    putAlarm(column, displayString(*text));
            };
            putAlarm(AlarmName, displayString(alarm.name));
            putAlarm(AlarmState, integer(static_cast<int>(alarm.state)));
            putText(AlarmRaisedValue, alarm.raisedValue);
            putTime(AlarmRaisedTime, alarm.raisedUtc);
            putText(AlarmClearedValue, alarm.clearedValue);
            putTime(AlarmClearedTime, alarm.clearedUtc);
            putText(AlarmAcknowledgedBy, alarm.acknowledgedBy);
            putTime(AlarmAcknowledgedTime, alarm.acknowledgedUtc);
            putAlarm(AlarmRaises, unsignedValue(alarm.raises));
        }
    }
}

const MibValue *MibView::get(const Oid &instance) const
{
    const auto found = instances_.find(instance);
    return found == instances_.end() ? nullptr : &found->second;
}

const std::pair<const Oid, MibValue> *MibView::next(const Oid &after) const
{
    const auto found = instances_.upper_bound(after);
    return found == instances_.end() ? nullptr : &*found;
}

std::optional<std::pair<MibView::Column, int>> MibView::panelCell(const Oid &instance)
{
    const Oid base = objects();
    if (instance.size() != base.size() + 4 ||
        !std::equal(base.begin(), base.end(), instance.begin()))
        return std::nullopt;
    const quint32 *rest = instance.data() + base.size();
    if (rest[0] != TableArc || rest[1] != EntryArc || rest[2] < FirstColumn ||
        rest[2] > LastColumn || rest[3] < 1 || rest[3] > 65535)
        return std::nullopt;
    return std::make_pair(static_cast<Column>(rest[2]), static_cast<int>(rest[3]));
}

bool MibView::isObjectInstance(const Oid &instance)
{
    const Oid base = objects();
    if (instance.size() <= base.size() || !std::equal(base.begin(), base.end(), instance.begin()))
        return false;
    const Oid rest(instance.begin() + static_cast<std::ptrdiff_t>(base.size()), instance.end());
    if (rest.size() >= 1 && rest[0] == PanelCountArc)
        return rest.size() >= 2;
    if (rest.size() >= 1 && rest[0] == AlarmTableArc)
        return rest.size() >= 5 && rest[1] == EntryArc && rest[2] >= FirstAlarmColumn &&
               rest[2] <= LastAlarmColumn;
    return rest.size() >= 4 && rest[0] == TableArc && rest[1] == EntryArc &&
           rest[2] >= FirstColumn && rest[2] <= LastColumn;
}
