// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Running with nobody at the panel: connecting by itself at start-up, and
// connecting again by itself after the link was lost.
#include "app/frmTerminale.h"

#include "link/LinkLine.h"
#include "panel/ReadoutLabel.h"
#include "settings/ProgramValues.h"
#include "settings/SettingsStore.h"

#include <QPushButton>

void frmTerminale::connectAtStartIfAsked()
{
    if (!SettingsStore::flag(QStringLiteral("Link"), QStringLiteral("ConnectAtStart"), false))
        return;
    // ON would ask for a port in a dialog nobody is there to answer.
    if (Comm.toString().isEmpty() && m_linkDevice.isEmpty()) {
        lblCommunications(0)->setText(QStringLiteral(" NO PORT CHOSEN "));
        return;
    }
    // Exactly the operator's press.
    if (!PowerOn && cmdPower->isEnabled())
        cmdPower_Click();
}

bool frmTerminale::resumeAsked() const
{
    return SettingsStore::flag(QStringLiteral("Link"), QStringLiteral("Resume"), false);
}
