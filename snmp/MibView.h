// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "snmp/PanelRow.h"

#include <QByteArray>

#include <map>
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
// rows are (absent readings are simply not in it).
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
        FeedAge = 17
    };
    static constexpr quint32 FirstColumn = Name;
    static constexpr quint32 LastColumn = FeedAge;

    MibView(const std::vector<PanelRow> &rows, qint64 nowMs);

    // txpanelMIB itself, as the MIB file gives it.
    static Oid root();
    // txpanelObjects: everything readable lies under it.
    static Oid objects();
    static Oid panelCount();
    static Oid cell(Column column, int index);
    static Oid notification(quint32 number);

    const MibValue *get(const Oid &instance) const;
    // The first instance after `after`, or nullptr at the end of the module.
    const std::pair<const Oid, MibValue> *next(const Oid &after) const;
    // Whether `instance` names an instance of an object the MIB defines, so a
    // Get of it that finds nothing answers noSuchInstance, not noSuchObject.
    static bool isObjectInstance(const Oid &instance);

    const std::map<Oid, MibValue> &instances() const { return instances_; }

private:
    std::map<Oid, MibValue> instances_;
};
