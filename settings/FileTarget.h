// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Every file the panel writes (the settings it stores, the transmitter log,
// an export) is a plain file of its own: a path that is, or links to, a
// device, a pipe, a folder, a socket or nothing at all is never written
// through nor replaced, so a careless or planted link cannot turn a write
// into one on a device node.
namespace FileTarget {
// Why the file at this path must not be written; empty when nothing is there
// yet, or when it is (or links to) a plain file.
QString refusal(const QString &path);
// "a device", "a pipe (FIFO)", ... for a file's st_mode.
QString kindOf(unsigned mode);
} // namespace FileTarget
