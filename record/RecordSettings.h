// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The [Record] section: whether the transmitter log is kept, where, and for
// how long its readings are kept one a second and then as per-minute minimum,
// mean and maximum.
struct RecordSettings
{
    bool enabled = false;
    QString path;
    int rawDays = 7;
    int keepDays = 400;

    // GenericDataLocation/txpanel/record.sqlite: on Linux
    // ~/.local/share/txpanel/record.sqlite ($XDG_DATA_HOME), on Windows
    // %LOCALAPPDATA%\txpanel\record.sqlite. The same whatever the program's
    // own name, so a renamed or test build finds the same record.
    static QString defaultPath();
    static RecordSettings fromStore();
};
