// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "snmp/PanelRow.h"

#include <QByteArray>
#include <QDateTime>

#include <map>
#include <optional>
#include <vector>

using Oid = std::vector<quint32>;

struct MibValue
{
    enum class Kind
    {
        Integer,  // INTEGER, Integer32 and enumerations
        Unsigned, // Unsigned32 (the same tag as Gauge32)
        Text      // OCTET STRING
    };
    Kind kind = Kind::Integer;
    qint64 number = 0;
    QByteArray text;

    friend bool operator==(const MibValue &a, const MibValue &b)
    {
        return a.kind == b.kind && a.number == b.number && a.text == b.text;
    }
};

// Every instance TXPANEL-MIB has at one moment, in SNMP order. Requests are
// answered from such a snapshot: Get is a lookup, GetNext the first instance
// past the one asked for, so the walk order cannot go wrong however sparse the
// rows are (absent readings are simply not in it). The panel table comes
// first, then the alarm table (indexed by panel and alarm).
class MibView
{
public:
    // Sub-identifiers under txpanelPanelEntry, as in the MIB.
    enum Column : quint32
    {
        Name = 2,
        FeedUrl = 3,
        State = 4,
        Device = 5,
        Firmware = 6,
        ForwardPower = 7,
        ReflectedPower = 8,
        Vswr = 9,
        Temperature = 10,
        TemperatureAlarm = 11,
        Locked = 12,
        OnAir = 13,
        Frequency = 14,
        ConnectedTime = 15,
        ReadingAge = 16,
        FeedAge = 17,
        RfCommand = 18,
        AlarmAcknowledge = 19,
        FrequencySet = 20,
        LastRemoteWho = 21,
        LastRemoteWay = 22,
        LastRemoteCommand = 23,
        LastRemoteOutcome = 24,
        LastRemoteTime = 25
    };
    static constexpr quint32 FirstColumn = Name;
    static constexpr quint32 LastColumn = LastRemoteTime;
    // Sub-identifiers under txpanelAlarmEntry.
    enum AlarmColumn : quint32
    {
        AlarmName = 2,
        AlarmState = 3,
        AlarmRaisedValue = 4,
        AlarmRaisedTime = 5,
        AlarmClearedValue = 6,
        AlarmClearedTime = 7,
        AlarmAcknowledgedBy = 8,
        AlarmAcknowledgedTime = 9,
        AlarmRaises = 10
    };
    static constexpr quint32 FirstAlarmColumn = AlarmName;
    static constexpr quint32 LastAlarmColumn = AlarmRaises;

    MibView(const std::vector<PanelRow> &rows, qint64 nowMs);

    // txpanelMIB itself, as the MIB file gives it.
    static Oid root();
    // txpanelObjects: everything readable lies under it.
    static Oid objects();
    static Oid panelCount();
    static Oid cell(Column column, int index);
    static Oid alarmCell(AlarmColumn column, int index, AlarmStatus::Kind kind);
    static Oid notification(quint32 number);
    // The column and row `instance` names in the panel table, if it names a
    // cell of it (whether or not the cell is instantiated now).
    static std::optional<std::pair<Column, int>> panelCell(const Oid &instance);
    static bool isCommand(Column column)
    {
        return column == RfCommand || column == AlarmAcknowledge || column == FrequencySet;
    }

    const MibValue *get(const Oid &instance) const;
    // The first instance after `after`, or nullptr at the end of the module.
    const std::pair<const Oid, MibValue> *next(const Oid &after) const;
    // Whether `instance` names an instance of an object the MIB defines, so a
    // Get of it that finds nothing answers noSuchInstance, not noSuchObject.
    static bool isObjectInstance(const Oid &instance);
    // A UTC time as a DateAndTime: the eleven-octet form, to the tenth of a
    // second, '+' 0:0 from UTC.
    static QByteArray dateAndTime(const QDateTime &utc);

    const std::map<Oid, MibValue> &instances() const { return instances_; }

private:
    std::map<Oid, MibValue> instances_;
};
