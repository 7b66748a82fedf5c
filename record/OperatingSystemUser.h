// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace OperatingSystemUser {
// The name of the user the panel runs as, as the system knows it (not an
// environment variable a shell may have changed, where the system tells);
// "unknown" when it cannot be told.
QString name();
} // namespace OperatingSystemUser
