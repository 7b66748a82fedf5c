// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Running with nobody at the panel: connecting by itself at start-up, and
// connecting again by itself after the link was lost.
#include "app/frmTerminale.h"

#include "link/Commands.h"
#include "link/MSComm.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"
#include "settings/ProgramValues.h"
#include "settings/SettingsStore.h"

#include <QEventLoop>
#include <QPushButton>

namespace {
// A transmitter that is there answers its firmware question within a few
// tens of milliseconds; a retry need not wait the full supervision for one
// that is not.
constexpr int ProbeReplyMs = 2000;
} // namespace

void frmTerminale::connectAtStartIfAsked()
{
    if (!SettingsStore::flag(QStringLiteral("Link"), QStringLiteral("ConnectAtStart"), false))
        return;
    // ON would ask for a port in a dialog nobody is there to answer.
    if (Comm.toString().isEmpty()) {
        lblCommunications(0)->setText(QStringLiteral(" NO PORT CHOSEN "));
        return;
    }
    // Exactly the operator's press; the connection then runs inside it.
    if (!PowerOn && cmdPower->isEnabled())
        cmdPower_Click();
}

bool frmTerminale::resumeAsked() const
{
    return SettingsStore::flag(QStringLiteral("Link"), QStringLiteral("Resume"), false);
}

QString frmTerminale::resumeLink()
{
    setConnectionState(ConnectionState::Resuming);
    lblCommunications(0)->setText(LinkDownRetrying);
    // The operator's way to stop the retries, whatever ended the link.
    cmdDisconnect->setEnabled(true);
    for (;;) {
        // A timer, not a loop: waiting for a device that is not there costs nothing.
        QEventLoop wait;
        m_resumeWait = &wait;
        connect(tmrResume, &QTimer::timeout, &wait, &QEventLoop::quit);
        tmrResume->setEnabled(true);
        wait.exec();
        tmrResume->setEnabled(false);
        m_resumeWait = nullptr;
        if (m_disconnectAsked)
            break;

        // The same port, its device looked up again: an adapter back under
        // the same name or link is found.
        if (InitializeComPort(Comm)) {
            const int supervision = tmrTimeOutComm->interval();
            tmrTimeOutComm->setInterval(qMin(supervision, ProbeReplyMs));
            ReplyText = fncCommandMicro(TxCommand::CMD_READ_FIRMWARE);
            tmrTimeOutComm->setInterval(supervision);
            if (m_disconnectAsked)
                break;
            Q_EMIT resumeAttempted(!ReplyText.isEmpty());
            if (!ReplyText.isEmpty()) {
                // A new connection, lit as a power-on lights it.
                Turn_On();
                lblCommunications(0)->setToolTip(QString());
                return ReplyText;
            }
        } else {
            Q_EMIT resumeAttempted(false);
            lblCommunications(0)->setToolTip(PortFailureReason);
        }
        lblCommunications(0)->setText(LinkDownRetrying);
    }
    // DISCONNECT: the retries stop; OFF then switches the panel off as ever.
    setConnectionState(ConnectionState::Ended);
    lblCommunications(0)->setText(QStringLiteral(" DISCONNECTED "));
    return QString();
}

void frmTerminale::stopResuming()
{
    if (m_resumeWait)
        m_resumeWait->quit();
}
