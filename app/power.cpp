// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The power button: connect, poll the transmitter while connected, power off.
#include "app/frmTerminale.h"

#include "app/MessageBox.h"
#include "link/Commands.h"
#include "link/LinkEngine.h"
#include "link/MSComm.h"
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
    if (ending())
        return;
    // With no port ever chosen, ask for one first; Cancel leaves all as it was.
    if (!PowerOn && Comm.toString().isEmpty() && m_linkDevice.isEmpty() && !askForPortIfNone())
        return;
    // OK too: the display goes back to the transmitter, and an entry left
    // open would otherwise accept digits no longer shown.
    setKeysEnabled(KeypadKey::First, KeypadKey::Last, false);
    setDisplayEnabled(true);
    // Disabled while the engine connects, polls or resumes (showState).
    cmdPower->setEnabled(false);
    if (PowerOn) {
        powerOff(true);
        return;
    }
    Turn_On();
    PowerOn = true;
    cmdPower->setText(QStringLiteral("OFF"));
    // A request left from an earlier connection would program an old frequency.
    SendRequest = false;
    AbortComm = false;
    // Each power-on takes the port stored now, its device looked up afresh.
    m_engine->setLine(lineFor(Comm));
    m_engine->setResume(resumeAsked());
    m_engine->powerOn();
}

bool frmTerminale::disconnectAsked() const
{
    return m_engine->disconnectAsked();
}

void frmTerminale::showState(ConnectionState state)
{
    const ConnectionState was = m_connectionState;
    m_connectionState = state;
    // A press belongs to the connection it was made in: none carries across
    // the start or the end of one.
    ssRfSwitch->setPressed(false);
    const bool running = state == ConnectionState::Connecting ||
                         state == ConnectionState::Polling || state == ConnectionState::Resuming;
    cmdPower->setEnabled(!running && !ending());
    switch (state) {
    case ConnectionState::PortNotAvailable:
        lblCommunications(0)->setText(QStringLiteral(" PORT NOT AVAILABLE "));
        break;
    case ConnectionState::Resuming:
        lblCommunications(0)->setText(LinkDownRetrying);
        // The operator's way to stop the retries, whatever ended the link.
        cmdDisconnect->setEnabled(true);
        break;
    case ConnectionState::Ended:
        // DISCONNECT stopped the retries; OFF then switches the panel off as ever.
        if (was == ConnectionState::Resuming)
            lblCommunications(0)->setText(QStringLiteral(" DISCONNECTED "));
        break;
    case ConnectionState::Off:
        // A power-on that got no answer ends here without Turn_Off.
        if (PowerOn)
            powerOff(false);
        break;
    case ConnectionState::Connecting:
    case ConnectionState::Polling:
        break;
    }
    Q_EMIT connectionStateChanged(state);
}

void frmTerminale::showConnected(const QString &firmware)
{
    // A connection found again by the retries is lit as a power-on lights it.
    if (m_connectionState == ConnectionState::Resuming) {
        Turn_On();
        lblCommunications(0)->setToolTip(QString());
    }
    cmdDisconnect->setEnabled(true);
    StartConnectionClock();
    sbrStatus->setPanelValue(StatusPanel::Firmware, firmware);
    showConnectionIcon(true);
    ReplyText.clear();
}

void frmTerminale::showNoReply()
{
    lblCommunications(0)->setText(QStringLiteral(" NO REPLY FROM MICRO "));
}

void frmTerminale::showPortFailure(const QString &reason)
{
    PortFailureReason = reason;
    // Unattended, nobody may be there to close a box: the reason goes to the
    // label's tool tip and the panel keeps trying.
    if (m_engine->resumes())
        lblCommunications(0)->setToolTip(reason);
    else
        reportPortFailure();
}

void frmTerminale::showResumeAttempt(bool answered)
{
    if (answered)
        return;
    if (!m_engine->otherDevice().isEmpty()) {
        showOtherDevice(m_engine->otherDevice());
        return;
    }
    PortFailureReason = m_engine->portFailure();
    if (!PortFailureReason.isEmpty())
        lblCommunications(0)->setToolTip(PortFailureReason);
    lblCommunications(0)->setText(LinkDownRetrying);
}

void frmTerminale::showOtherDevice(const QString &why)
{
    lblCommunications(0)->setText(OtherDeviceOnPort);
    lblCommunications(0)->setToolTip(
        tr("Not the transmitter that was lost: %1. The panel keeps looking for it; to take "
           "the one now on the port, press DISCONNECT, then OFF and ON.")
            .arg(why));
}

void frmTerminale::showLineNotice(const QString &text)
{
    qWarning("txpanel: %s", qUtf8Printable(text));
    noteStartupWarning(text);
}

void frmTerminale::endConnection()
{
    AbortComm = true;
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
    PowerOn = false;
    cmdPower->setText(QStringLiteral("ON"));
    m_engine->powerOff();
    cmdPower->setEnabled(!ending());
}

void frmTerminale::cmdDisconnect_Click()
{
    AbortComm = true;
    // Honoured after the exchange in flight (or the programming under way);
    // the retries of a lost link stop at once.
    m_engine->stop();
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
    // Not waited for: the engine's signal that brought this runs between two
    // steps of the link.
    showCriticalMessageLater(this, QStringLiteral("WARNING"), text);
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
