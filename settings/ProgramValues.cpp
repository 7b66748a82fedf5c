// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ProgramValues.h"

QVariant Comm;
QVariant LimitUp;
QVariant LimitDown;
BandLimits Band;
