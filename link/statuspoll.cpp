// One cycle of the status poll, each reply decoded onto the panel at once.
#include "app/frmTerminale.h"

#include "link/Commands.h"
#include "link/ReplyDecoding.h"
#include "panel/LedLamp.h"
#include "panel/PanelColors.h"
#include "panel/ReadoutLabel.h"
#include "panel/RibbonSwitch.h"

using namespace TxCommand;

using ReplyDecoding::printable;
using ReplyDecoding::TwoState;
using ReplyDecoding::twoState;

void frmTerminale::ReadDataSerial()
{
    // A step whose reply was lost (time-out, line gone) decodes nothing: the
    // read-out or lamp keeps what it showed, since an empty text is no
    // reading, and the stop check after it ends the cycle.
    ReplyText = fncCommandMicro(CMD_READ_FORWARD);
    if (!ReplyLost)
        lblDirDigital(0)->setText(printable(ReplyText));
    ReplyText.clear();
    if (AbortComm)
        return;

    ReplyText = fncCommandMicro(CMD_READ_REFLECTED);
    if (!ReplyLost)
        lblRefDigital(0)->setText(printable(ReplyText));
    ReplyText.clear();
    if (AbortComm)
        return;

    ReplyText = fncCommandMicro(CMD_READ_TEMPERATURE);
    if (!ReplyLost) {
        const qint16 raw = Atoi(ReplyText);
        lblTemp->setText(QString::number(ReplyDecoding::celsiusFromRaw(raw)));
        ledTemp->setLampColor(ReplyDecoding::temperatureAlarm(raw) ? PanelColor::BrightRed
                                                                   : PanelColor::DarkRed);
    }
    ReplyText.clear();
    if (AbortComm)
        return;

    ReplyText = fncCommandMicro(CMD_READ_LOCK);
    const bool locked = !ReplyLost && twoState(ReplyText) == TwoState::Yes;
    if (!ReplyLost)
        ledLock->setLampColor(locked ? PanelColor::BrightRed : PanelColor::DarkRed);
    ReplyText.clear();
    if (AbortComm)
        return;

    if (DisplayEnabled && locked) {
        ReplyText = fncCommandMicro(CMD_READ_FREQUENCY);
        // The operator may have started typing while the question was out:
        // the digits typed stay, or OK would accept what the display hides.
        if (!ReplyLost && DisplayEnabled)
            showReportedFrequency(ReplyText);
        ReplyText.clear();
        if (AbortComm)
            return;
    }

    ReplyText = fncCommandMicro(CMD_READ_RF_STATUS);
    RfStatus = ReplyText;
    if (twoState(ReplyText) == TwoState::Yes)
        ledRfInhibit->setLampColor(PanelColor::Yellow);
    else if (twoState(ReplyText) == TwoState::No)
        ledRfInhibit->setLampColor(PanelColor::DarkYellow);
    ReplyText.clear();
    if (AbortComm)
        return;

    if (!ssRfSwitch->Pressed())
        return;
    if (twoState(RfStatus) == TwoState::Yes) {
        ReplyText = fncCommandMicro(CMD_RF_OFF);
        if (twoState(ReplyText) == TwoState::No)
            ledRfInhibit->setLampColor(PanelColor::DarkYellow);
    } else if (twoState(RfStatus) == TwoState::No) {
        ReplyText = fncCommandMicro(CMD_RF_ON);
        if (twoState(ReplyText) == TwoState::Yes)
            ledRfInhibit->setLampColor(PanelColor::Yellow);
    }
    ssRfSwitch->setPressed(false);
}

void frmTerminale::refuseRfPressOutsidePoll(bool pressed)
{
    if (pressed && m_connectionState != ConnectionState::Polling)
        ssRfSwitch->setPressed(false);
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
