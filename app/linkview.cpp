// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The window as a view of its link engine: the line set up and opened, and
// each completed exchange painted onto the front panel as it comes.
#include "app/frmTerminale.h"

#include "link/Commands.h"
#include "link/LinkEngine.h"
#include "link/MSComm.h"
#include "link/ReplyDecoding.h"
#include "panel/LedLamp.h"
#include "panel/PanelColors.h"
#include "panel/ReadoutLabel.h"
#include "panel/RibbonSwitch.h"

using namespace TxCommand;
using ReplyDecoding::printable;
using ReplyDecoding::TwoState;
using ReplyDecoding::twoState;

namespace {
constexpr QLatin1String NoReplyFromTx("No reply from TX");
} // namespace

void frmTerminale::connectEngine()
{
    LinkEngine *engine = m_engine;
    connect(engine, &LinkEngine::stateChanged, this, &frmTerminale::showState);
    connect(engine, &LinkEngine::exchangeCompleted, this, &frmTerminale::showExchange);
    connect(engine, &LinkEngine::replyLost, this, &frmTerminale::tmrTimeOutComm_Timer);
    connect(engine, &LinkEngine::connected, this, &frmTerminale::showConnected);
    connect(engine, &LinkEngine::noReply, this, &frmTerminale::showNoReply);
    connect(engine, &LinkEngine::portFailed, this, &frmTerminale::showPortFailure);
    connect(engine, &LinkEngine::resumeAttempted, this, &frmTerminale::showResumeAttempt);
    connect(engine, &LinkEngine::otherDeviceFound, this, &frmTerminale::showOtherDevice);
    connect(engine, &LinkEngine::lineNotice, this, &frmTerminale::showLineNotice);
    connect(engine, &LinkEngine::connectionEnded, this, &frmTerminale::endConnection);
    connect(engine, &LinkEngine::rfReleased, this, [this] { ssRfSwitch->setPressed(false); });
    connect(engine, &LinkEngine::programmingStarted, this, &frmTerminale::showProgrammingStarted);
    connect(engine, &LinkEngine::frequencyProgrammed, this, &frmTerminale::showProgrammed);
    connect(engine, &LinkEngine::shutDownComplete, this, &frmTerminale::finishEnd);
}

LinkLine frmTerminale::lineFor(const QVariant &PortNumber) const
{
    return m_linkDevice.isEmpty() ? LinkLine::forPort(PortNumber.toString())
                                  : LinkLine::forDevice(m_linkDevice);
}

bool frmTerminale::InitializeComPort(const QVariant &PortNumber)
{
    // A port number asked for is that port, whatever [Link] Device says.
    const LinkLine line = LinkLine::forPort(PortNumber.toString());
    if (line.problem.isEmpty()) {
        MSComm1->setCommPort(qint16(line.port.trimmed().toInt()));
        MSComm1->setSettings(QStringLiteral("4800,N,8,1"));
        MSComm1->setInputLen(0);
        MSComm1->setInBufferSize(40);
        MSComm1->setRThreshold(0);
        MSComm1->setInputMode(MSComm::comInputModeText);
        MSComm1->setOutBufferSize(10);
        MSComm1->setSThreshold(0);
        MSComm1->setHandshaking(MSComm::comNone);
    }
    m_engine->setLine(line);
    const bool opened = m_engine->openLine();
    PortFailureReason = m_engine->portFailure();
    return opened;
}

bool frmTerminale::fncCommandMicro(quint8 bytCommand)
{
    return m_engine->exchange(bytCommand);
}

void frmTerminale::tmrTimeOutComm_Timer()
{
    lblCommunications(0)->setText(NoReplyFromTx);
    ReplyTimedOut = true;
}

bool frmTerminale::ReadDataSerial()
{
    return m_engine->statusCycle();
}

const TxReading &frmTerminale::reading() const
{
    return m_engine->reading();
}

quint64 frmTerminale::statusCycles() const
{
    return m_engine->statusCycles();
}

QString frmTerminale::firmware() const
{
    return m_engine->firmware();
}

void frmTerminale::showExchange(quint8 command, const QString &reply, bool lost)
{
    ReplyTimedOut = false;
    AbortComm = m_engine->stopPending();
    ReplyText = reply;
    const TxReading &now = m_engine->reading();
    // A lost reply (time-out, line gone) decodes nothing: the read-out or
    // lamp keeps what it showed, since an empty text is no reading.
    switch (command) {
    case CMD_READ_FORWARD:
        if (!lost)
            lblDirDigital(0)->setText(now.forwardW.text);
        ReplyText.clear();
        break;
    case CMD_READ_REFLECTED:
        if (!lost)
            lblRefDigital(0)->setText(now.reflectedW.text);
        ReplyText.clear();
        break;
    case CMD_READ_TEMPERATURE:
        if (!lost) {
            lblTemp->setText(now.temperatureC.text);
            ledTemp->setLampColor(now.temperatureAlarm.value.value_or(false) ? PanelColor::BrightRed
                                                                             : PanelColor::DarkRed);
        }
        ReplyText.clear();
        break;
    case CMD_READ_LOCK:
        if (!lost)
            ledLock->setLampColor(now.locked.value.value_or(false) ? PanelColor::BrightRed
                                                                   : PanelColor::DarkRed);
        ReplyText.clear();
        break;
    case CMD_READ_FREQUENCY:
        // The operator may have started typing while the question was out:
        // the digits typed stay, or OK would accept what the display hides.
        if (!lost && DisplayEnabled)
            showReportedFrequency(reply);
        ReplyText.clear();
        break;
    case CMD_READ_RF_STATUS:
        RfStatus = reply;
        if (twoState(reply) == TwoState::Yes)
            ledRfInhibit->setLampColor(PanelColor::Yellow);
        else if (twoState(reply) == TwoState::No)
            ledRfInhibit->setLampColor(PanelColor::DarkYellow);
        ReplyText.clear();
        break;
    case CMD_RF_OFF:
        if (twoState(reply) == TwoState::No)
            ledRfInhibit->setLampColor(PanelColor::DarkYellow);
        break;
    case CMD_RF_ON:
        if (twoState(reply) == TwoState::Yes)
            ledRfInhibit->setLampColor(PanelColor::Yellow);
        break;
    case CMD_SET_FREQUENCY:
        lblCommunications(0)->setText(QStringLiteral("SEND FREQUENCY TO TRANSMITTER"));
        break;
    default:
        break;
    }
}

void frmTerminale::rfSwitchChanged(bool pressed)
{
    // The engine lets go of a press made while no poll runs (rfReleased).
    m_engine->setRfPressed(pressed);
}

void frmTerminale::showReportedFrequency(const QString &report)
{
    // Kept apart from the display, so the digits can go back to the
    // transmitter's frequency when typed digits outlive their connection.
    int reported = 0;
    for (int i = 0; i < 5 && i < report.size(); ++i) {
        const QChar character = report.at(i);
        if (character < QLatin1Char('0') || character > QLatin1Char('9'))
            continue;
        ReportedFrequency[i] = character;
        ++reported;
    }
    if (reported == 5)
        DisplayHoldsTyped = false;
    DisplayFrequency(report);
}

qint16 frmTerminale::Atoi(const QString &Value)
{
    if (Value.isEmpty())
        return 0;
    return ReplyDecoding::leadingNumber(Value);
}
