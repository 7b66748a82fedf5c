// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The power button: connect, poll the transmitter while connected, power off.
#include "app/frmTerminale.h"

#include "app/MessageBox.h"
#include "link/Commands.h"
#include "link/MSComm.h"
#include "link/ReplyDecoding.h"
#include "panel/KeypadKeys.h"
#include "panel/LedLamp.h"
#include "panel/PanelColors.h"
#include "panel/PanelStatusBar.h"
#include "panel/PanelTimer.h"
#include "panel/Pictures.h"
#include "panel/ReadoutLabel.h"
#include "panel/RibbonSwitch.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPushButton>

void frmTerminale::cmdPower_Click()
{
    // With no port ever chosen, ask for one first; Cancel leaves all as it was.
    if (!PowerOn && Comm.toString().isEmpty() && !askForPortIfNone())
        return;
    // OK too: the display goes back to the transmitter, and an entry left
    // open would otherwise accept digits no longer shown.
    setKeysEnabled(KeypadKey::First, KeypadKey::Last, false);
    DisplayEnabled = true;
    // Disabled for the whole connection: the polling loop below must never be re-entered.
    cmdPower->setEnabled(false);
    if (!PowerOn)
        powerOnSequence();
    else
        powerOff(true);
    cmdPower->setEnabled(true);
}

void frmTerminale::powerOnSequence()
{
    Turn_On();
    PowerOn = true;
    cmdPower->setText(QStringLiteral("OFF"));
    // A request left from an earlier connection would program an old frequency.
    SendRequest = false;
    m_disconnectAsked = false;
    m_lostBecause.clear();
    setConnectionState(ConnectionState::Connecting);
    const bool resume = resumeAsked();

    QString firmware;
    if (!InitializeComPort(Comm)) {
        // Whatever an earlier connection left in AbortComm: this one never
        // happened, so there is no end of connection to show, no clock to stop.
        setConnectionState(ConnectionState::PortNotAvailable);
        lblCommunications(0)->setText(QStringLiteral(" PORT NOT AVAILABLE "));
        // Unattended, nobody may be there to close a box: the reason goes to
        // the label's tool tip and the panel keeps trying.
        if (!resume) {
            reportPortFailure();
            return;
        }
        lblCommunications(0)->setToolTip(PortFailureReason);
    } else {
        ReplyText = fncCommandMicro(TxCommand::CMD_READ_FIRMWARE);
        firmware = ReplyText;
        if (ReplyText.isEmpty()) {
            lblCommunications(0)->setText(QStringLiteral(" NO REPLY FROM MICRO "));
            if (!resume) {
                powerOff(false);
                return;
            }
        }
    }

    // With [Link] Resume, a lost link (or a transmitter not there yet) is
    // tried again until it answers or the operator presses DISCONNECT.
    for (;;) {
        if (!firmware.isEmpty())
            runConnection(firmware);
        if (!resume || m_disconnectAsked)
            return;
        firmware = resumeLink();
        if (firmware.isEmpty())
            return;
    }
}

void frmTerminale::runConnection(const QString &firmware)
{
    m_lostBecause.clear();
    cmdDisconnect->setEnabled(true);
    StartConnectionClock();
    m_firmware = ReplyDecoding::printable(firmware);
    sbrStatus->setPanelValue(StatusPanel::Firmware, m_firmware);
    showConnectionIcon(true);
    ReplyText.clear();
    setConnectionState(ConnectionState::Polling);

    for (;;) {
        ReadDataSerial();
        if (AbortComm)
            break;
        if (SendRequest) {
            ImpostaFrequenza();
            // A stop asked for during the programming ends the connection too.
            if (AbortComm)
                break;
        }
    }
    endConnection();
}

void frmTerminale::endConnection()
{
    Q_EMIT connectionEnded(m_disconnectAsked         ? QStringLiteral("DISCONNECT pressed")
                           : m_lostBecause.isEmpty() ? QStringLiteral("no reply")
                                                     : m_lostBecause);
    setConnectionState(ConnectionState::Ended);
    m_firmware.clear();
    // The label's own five seconds belong to a live connection: left running,
    // they would put "COMMUNICATIONS IN PROGRESS" over a dead link.
    tmrPausaLabel->setEnabled(false);
    if (m_programmingLost) {
        // The operator must learn that the frequency did not go out before
        // learning that the line went with it.
        m_programmingLost = false;
        tmrNotProgrammed->setEnabled(true);
    } else {
        lblCommunications(0)->setText(QStringLiteral(" DISCONNECTED "));
    }
    StopConnectionClock();
    sbrStatus->setPanelValue(StatusPanel::Firmware, QString());
    lblDirDigital(0)->setText(QStringLiteral("0"));
    lblRefDigital(0)->setText(QStringLiteral("0"));
    showConnectionIcon(false);
    ledLock->setLampColor(PanelColor::DarkRed);
    ledRfInhibit->setLampColor(PanelColor::DarkYellow);
    lblTemp->setText(QStringLiteral("0"));
    SendRequest = false;
    closeEntryAtEnd();
}

void frmTerminale::tmrNotProgrammed_Timer()
{
    tmrNotProgrammed->setEnabled(false);
    if (m_connectionState == ConnectionState::Ended)
        lblCommunications(0)->setText(QStringLiteral(" DISCONNECTED "));
    else if (m_connectionState == ConnectionState::Resuming)
        lblCommunications(0)->setText(LinkDownRetrying);
}

void frmTerminale::powerOff(bool callTurnOff)
{
    // Nothing may write over the label of a panel switched off (or of a
    // power-on that got no reply) once the connection is gone.
    tmrPausaLabel->setEnabled(false);
    tmrNotProgrammed->setEnabled(false);
    if (callTurnOff)
        Turn_Off();
    sbrStatus->setPanelValue(StatusPanel::Firmware, QString());
    MSComm1->setPortOpen(false);
    PowerOn = false;
    cmdPower->setText(QStringLiteral("ON"));
    setConnectionState(ConnectionState::Off);
}

void frmTerminale::setConnectionState(ConnectionState state)
{
    if (state == m_connectionState)
        return;
    m_connectionState = state;
    // Readings belong to the connection they were taken in.
    if (state == ConnectionState::Connecting || state == ConnectionState::Polling) {
        m_reading = TxReading();
        m_statusCycles = 0;
    }
    // A press belongs to the connection it was made in: none carries across
    // the start or the end of one.
    ssRfSwitch->setPressed(false);
    Q_EMIT connectionStateChanged(state);
}

void frmTerminale::cmdDisconnect_Click()
{
    AbortComm = true;
    // Told apart from a lost reply, which also sets AbortComm: only this one
    // stops a panel that resumes by itself.
    m_disconnectAsked = true;
    stopResuming();
}

void frmTerminale::reportPortFailure()
{
    QString text = tr("The serial port could not be opened.\n\n%1").arg(PortFailureReason);
#ifdef Q_OS_LINUX
    if (MSComm1->lastErrorWasPermission()) {
        const QString group = QFileInfo(MSComm1->deviceName()).group();
        text +=
            tr("\n\nYour user must be a member of the group that owns the device "
               "(\"%1\"; on Debian usually \"dialout\"): sudo adduser $USER %1, then log in again.")
                .arg(group.isEmpty() ? QStringLiteral("dialout") : group);
    }
#endif
    showCriticalMessage(this, QStringLiteral("WARNING"), text);
}

void frmTerminale::showConnectionIcon(bool connected)
{
    // Loaded from the working directory each time, so a station can put its own icons there.
    const QString fileName =
        connected ? QStringLiteral("Connect.ico") : QStringLiteral("NoConn.ICO");
    QImage picture(QDir::current().filePath(fileName));
    if (picture.isNull())
        picture = connected ? connectedPicture() : disconnectedPicture();
    sbrStatus->setPanelPicture(StatusPanel::Connection, picture);
}
