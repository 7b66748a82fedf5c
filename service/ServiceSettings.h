// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "control/ControlSettings.h"
#include "feed/FeedSettings.h"
#include "link/LinkLine.h"
#include "record/AlarmSettings.h"
#include "record/RecordSettings.h"
#include "settings/BandLimits.h"

#include <QString>
#include <QStringList>

// What the station service is told by its settings file: the same format
// and the same fail-closed rules as the desktop panel's store (a damaged
// file gives no port and a closed band), read from the one file named on
// the command line and never written.
struct ServiceSettings
{
    QString file;
    QString instance;
    LinkLine line;
    BandLimits band;
    bool resume = true;
    FeedSettings feed;
    AlarmSettings alarms;
    RecordSettings record;
    ControlSettings control;
    // Why the service cannot run on these settings at all (the file cannot
    // be used, no line is named); each names the file or the key and its text.
    QStringList fatal;
    // What runs in a lesser way than asked (a closed band, a feed left off).
    QStringList problems;

    // Reads the file now. The instance names the service ("main" for
    // txpaneld@main); empty: the file's name without its extension.
    static ServiceSettings read(const QString &file, const QString &instance);
    // What the service would do, a line each, for --check.
    QStringList describe() const;
    // Every problem, the fatal ones first.
    QStringList allProblems() const { return fatal + problems; }
};
