// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The port dialog from the window's menu, and before a power-on with no port.
#include "app/frmTerminale.h"

#include "app/MessageBox.h"
#include "link/LinkEngine.h"
#include "settings/ProgramValues.h"
#include "settings/SettingsStore.h"
#include "settings/frmCom.h"

void frmTerminale::mnuFilePort_Click()
{
    // Modal; the link engine, the feed and the timers go on while it is open.
    frmCom dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        applyPortChoice(dialog.choice());
}

bool frmTerminale::askForPortIfNone()
{
    if (!Comm.toString().isEmpty())
        return true;
    frmCom dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    applyPortChoice(dialog.choice());
    return !Comm.toString().isEmpty();
}

void frmTerminale::applyPortChoice(const QString &port)
{
    Comm = port;
    showPort();
    // What the feed tells of the line now; a connection running keeps its own.
    m_engine->setLine(lineFor(Comm));
    QString why;
    const bool stored = SettingsStore::write(QStringLiteral("Comm"), Comm.toString(), &why);
    Q_EMIT portChosen(Comm.toString(), stored);
    if (stored)
        return;
    // Silently lost at the next start, the choice would surprise whoever
    // starts the panel then: say so while the operator is here.
    showCriticalMessage(this, QStringLiteral("WARNING"),
                        tr("Comm%1 is used until the panel is closed, but the choice could not "
                           "be saved: %2.")
                            .arg(Comm.toString(), why));
}
