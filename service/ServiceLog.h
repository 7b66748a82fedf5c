// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The service's log: one line per event on standard error, prefixed with its
// priority as the journal reads it ("<3>" error, "<4>" warning, "<5>" notice,
// "<6>" information), so `journalctl -p warning` finds what needs a person.
// The service keeps no log file of its own; the transmitter log (the record)
// is where the station's history lives.
namespace ServiceLog {
enum class Priority
{
    Error = 3,
    Warning = 4,
    Notice = 5,
    Info = 6,
};
// One line; a text of several lines is joined, so the journal keeps each
// event whole under one priority.
void write(Priority priority, const QString &text);
inline void error(const QString &text)
{
    write(Priority::Error, text);
}
inline void warning(const QString &text)
{
    write(Priority::Warning, text);
}
inline void notice(const QString &text)
{
    write(Priority::Notice, text);
}
inline void info(const QString &text)
{
    write(Priority::Info, text);
}
} // namespace ServiceLog
