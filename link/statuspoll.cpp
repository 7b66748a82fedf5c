// One cycle of the status poll, each reply decoded onto the panel at once.
#include "app/frmTerminale.h"

#include "link/Commands.h"
#include "panel/LedLamp.h"
#include "panel/PanelColors.h"
#include "panel/ReadoutLabel.h"
#include "panel/RibbonSwitch.h"

using namespace TxCommand;

namespace {
constexpr QLatin1String Yes("9");
constexpr QLatin1String No("0");
// Raw readings above this are 72 degrees or more: the alarm lamp lights.
constexpr qint16 TemperatureAlarmRaw = 175;

// Read-outs show what came in; bytes that are not printable would make a
// garbled caption, so they are shown as '?'.
QString printable(const QString &reply)
{
    QString shown = reply;
    for (QChar &character : shown) {
        if (character.unicode() < 32 || character.unicode() > 126)
            character = QLatin1Char('?');
    }
    return shown;
}
} // namespace

void frmTerminale::ReadDataSerial()
{
    ReplyText = fncCommandMicro(CMD_READ_FORWARD);
    lblDirDigital(0)->setText(printable(ReplyText));
    ReplyText.clear();
    if (AbortComm)
        return;

    ReplyText = fncCommandMicro(CMD_READ_REFLECTED);
    lblRefDigital(0)->setText(printable(ReplyText));
    ReplyText.clear();
    if (AbortComm)
        return;

    ReplyText = fncCommandMicro(CMD_READ_TEMPERATURE);
    const qint16 raw = Atoi(ReplyText);
    const qint16 celsius = qint16((raw - 130) * 2 - 20);
    lblTemp->setText(QString::number(celsius));
    ledTemp->setLampColor(raw > TemperatureAlarmRaw ? PanelColor::BrightRed : PanelColor::DarkRed);
    ReplyText.clear();
    if (AbortComm)
        return;

    ReplyText = fncCommandMicro(CMD_READ_LOCK);
    const bool locked = ReplyText == Yes;
    ledLock->setLampColor(locked ? PanelColor::BrightRed : PanelColor::DarkRed);
    ReplyText.clear();
    if (AbortComm)
        return;

    if (DisplayEnabled && locked) {
        ReplyText = fncCommandMicro(CMD_READ_FREQUENCY);
        // The operator may have started typing while the question was out:
        // the digits typed stay, or OK would accept what the display hides.
        if (DisplayEnabled)
            DisplayFrequency(QString(ReplyText));
        ReplyText.clear();
        if (AbortComm)
            return;
    }

    ReplyText = fncCommandMicro(CMD_READ_RF_STATUS);
    RfStatus = ReplyText;
    if (ReplyText == Yes)
        ledRfInhibit->setLampColor(PanelColor::Yellow);
    else if (ReplyText == No)
        ledRfInhibit->setLampColor(PanelColor::DarkYellow);
    ReplyText.clear();
    if (AbortComm)
        return;

    if (!ssRfSwitch->Pressed())
        return;
    if (RfStatus == Yes) {
        ReplyText = fncCommandMicro(CMD_RF_OFF);
        if (ReplyText == No)
            ledRfInhibit->setLampColor(PanelColor::DarkYellow);
    } else if (RfStatus == No) {
        ReplyText = fncCommandMicro(CMD_RF_ON);
        if (ReplyText == Yes)
            ledRfInhibit->setLampColor(PanelColor::Yellow);
    }
    ssRfSwitch->setPressed(false);
}

qint16 frmTerminale::Atoi(const QString &Value)
{
    if (Value.isEmpty())
        return 0;
    qint16 result = 0;
    // At most three characters; a shorter text gives the value of what is there.
    const int length = qMin(3, int(Value.size()));
    for (int position = 0; position < length; ++position) {
        const QChar character = Value.at(position);
        if (character == QLatin1Char('.'))
            break;
        int digit = 0;
        if (character >= QLatin1Char('0') && character <= QLatin1Char('9'))
            digit = character.unicode() - '0';
        result = qint16(result * 10 + digit);
    }
    return result;
}
