// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// What the transmitter's one-value replies mean, apart from where the panel
// shows them: the status poll paints with these, and the reading it hands to
// the rest of the program is made of them too.
namespace ReplyDecoding {
// Raw temperature readings above this are 72 degrees or more: the alarm.
constexpr qint16 TemperatureAlarmRaw = 175;

// The reply as a read-out shows it: bytes that are not printable ASCII would
// make a garbled caption, so each shows as '?'.
QString printable(const QString &reply);
// The leading number of a reply, as the panel has always read it: at most
// three characters, stopping at a '.', a blank or any other non-digit
// counting as 0; a shorter text gives the value of what is there.
qint16 leadingNumber(const QString &text);
// Degrees Celsius from the raw temperature reading: (n - 130) x 2 - 20.
qint16 celsiusFromRaw(qint16 raw);
bool temperatureAlarm(qint16 raw);

// The two-state replies ("9" yes, "0" no), compared exactly.
enum class TwoState
{
    Yes,
    No,
    Other
};
TwoState twoState(const QString &reply);

// The frequency a report names, in kHz, from its first six characters when
// they are all digits; std::nullopt for anything else.
std::optional<qint32> frequencyKHz(const QString &report);
// A frequency as the LED digits and the feed show it: "107.900 MHz".
QString frequencyText(qint32 kHz);
// A reading that is a number, such as "12.5"; std::nullopt for "--" or "".
std::optional<double> number(const QString &reply);
} // namespace ReplyDecoding
