// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Opening the transmitter's line and one command / reply exchange on it.
#include "app/frmTerminale.h"

#include "link/Commands.h"
#include "link/MSComm.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace {
// A line that never ends (noise, a babbling device) keeps at most this much.
constexpr int MaxReceiveText = 1024;
constexpr QLatin1String NoReplyFromTx("No reply from TX");
} // namespace

bool frmTerminale::InitializeComPort(const QVariant &PortNumber)
{
    PortFailureReason.clear();
    if (MSComm1->PortOpen())
        MSComm1->setPortOpen(false);

    bool isNumber = false;
    const QString portText = PortNumber.toString().trimmed();
    const int port = portText.toInt(&isNumber);
    if (portText.isEmpty()) {
        PortFailureReason = tr("No serial port has been chosen yet (File, Setting Port).");
        return false;
    }
    if (!isNumber || port < 1 || port > 255) {
        PortFailureReason = tr("\"%1\" is not a serial port number (1 to 255).").arg(portText);
        return false;
    }

    MSComm1->setCommPort(qint16(port));
    MSComm1->setSettings(QStringLiteral("4800,N,8,1"));
    MSComm1->setInputLen(0);
    MSComm1->setInBufferSize(40);
    MSComm1->setRThreshold(0);
    MSComm1->setInputMode(MSComm::comInputModeText);
    MSComm1->setOutBufferSize(10);
    MSComm1->setSThreshold(0);
    MSComm1->setHandshaking(MSComm::comNone);
    if (!MSComm1->setPortOpen(true)) {
        PortFailureReason =
            tr("COM%1 (%2): %3").arg(port).arg(MSComm1->deviceName(), MSComm1->lastError());
        return false;
    }
    return true;
}

QString frmTerminale::fncCommandMicro(quint8 bytCommand)
{
    if (!MSComm1->PortOpen()) {
        // Nothing can be asked on a closed line: the connection must end.
        AbortComm = true;
        ReplyLost = true;
        m_lostBecause = QStringLiteral("the line was lost");
        return QString();
    }
    ReplyLost = false;
    // A late or doubled reply to an earlier question belongs to no question.
    MSComm1->discardInput();
    MSComm1->Output(QByteArray(1, char(bytCommand)));
    AbortComm = false;
    tmrTimeOutComm->setEnabled(true);

    QString received;
    for (;;) {
        // Serve clicks and ticks, sleeping until something happens: the serial
        // data, a timer or the operator wake the wait, nothing else burns CPU.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!MSComm1->PortOpen()) {
            // The adapter went away (or the line closed) mid-exchange: end now
            // as a failed exchange instead of waiting on a line that is gone.
            tmrTimeOutComm->setEnabled(false);
            MSComm1->endOfReply();
            lblCommunications(0)->setText(NoReplyFromTx);
            ReplyTimedOut = false;
            AbortComm = true;
            ReplyLost = true;
            m_lostBecause = QStringLiteral("the line was lost");
            return QString();
        }
        received += MSComm1->Input();
        if (received.contains(QLatin1Char(TxCommand::CarriageReturn)) || ReplyTimedOut)
            break;
        if (received.size() > MaxReceiveText)
            received = received.right(MaxReceiveText);
    }
    tmrTimeOutComm->setEnabled(false);
    MSComm1->endOfReply();

    QString result;
    if (ReplyTimedOut) {
        AbortComm = true;
        ReplyLost = true;
        m_lostBecause = QStringLiteral("the transmitter stopped answering");
    } else
        result = received.left(received.indexOf(QLatin1Char(TxCommand::CarriageReturn)))
                     .right(MaxReceiveText);
    ReplyTimedOut = false;
    return result;
}

void frmTerminale::tmrTimeOutComm_Timer()
{
    // A modal box or dialog holds the wait, not the transmitter: a reply that
    // has come in whole meanwhile is taken when the box closes.
    if (MSComm1->replyWaiting())
        return;
    lblCommunications(0)->setText(NoReplyFromTx);
    ReplyTimedOut = true;
}
