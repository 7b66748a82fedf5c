// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ConnectionState.h"

QString connectionStateName(ConnectionState state)
{
    switch (state) {
    case ConnectionState::Off:
        return QStringLiteral("off");
    case ConnectionState::Connecting:
        return QStringLiteral("connecting");
    case ConnectionState::Polling:
        return QStringLiteral("polling");
    case ConnectionState::Ended:
        return QStringLiteral("ended");
    case ConnectionState::PortNotAvailable:
        return QStringLiteral("port-not-available");
    case ConnectionState::Resuming:
        return QStringLiteral("resuming");
    }
    return QString();
}
