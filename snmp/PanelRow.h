// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "snmp/PanelStatus.h"

#include <QString>

#include <optional>

// One row of the panel table: where the panel's feed is, what it said last,
// and when it last said something readable (steady clock, milliseconds).
struct PanelRow
{
    QString url;
    PanelStatus status;
    std::optional<qint64> lastAnswerMs;
};
