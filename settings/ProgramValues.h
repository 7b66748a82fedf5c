// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/BandLimits.h"

#include <QVariant>

// Program-wide values, filled from the settings store at start-up.
// Each holds a text or a number and keeps whichever it was last given.
extern QVariant Comm;      // stored port number: "1", "2" or empty
extern QVariant LimitUp;   // upper band limit in kHz: stored text, or 1000000
extern QVariant LimitDown; // lower band limit in kHz: stored text, or 0
// The band the keypad checks against, parsed once from the stored limits.
extern BandLimits Band;
