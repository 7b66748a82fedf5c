// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// One cycle of the status poll, each reply decoded onto the panel at once.
#include "app/frmTerminale.h"

#include "link/Commands.h"
#include "link/ReplyDecoding.h"
#include "link/TxReading.h"
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
    readStatusCycle();
    if (!AbortComm)
        ++m_statusCycles;
    // Whatever the cycle got, even cut short: the feed and the record see
    // each reading with its own time.
    Q_EMIT readingTaken(m_reading);
}

void frmTerminale::readStatusCycle()
{
    // A step whose reply was lost (time-out, line gone) decodes nothing: the
    // read-out or lamp keeps what it showed, since an empty text is no
    // reading, and the stop check after it ends the cycle.
    ReplyText = fncCommandMicro(CMD_READ_FORWARD);
    if (!ReplyLost) {
        lblDirDigital(0)->setText(printable(ReplyText));
        takeReading(m_reading.forwardW, ReplyDecoding::number(ReplyText), printable(ReplyText));
    }
    ReplyText.clear();
    if (AbortComm)
        return;

    ReplyText = fncCommandMicro(CMD_READ_REFLECTED);
    if (!ReplyLost) {
        lblRefDigital(0)->setText(printable(ReplyText));
        takeReading(m_reading.reflectedW, ReplyDecoding::number(ReplyText), printable(ReplyText));
    }
    ReplyText.clear();
    if (AbortComm)
        return;

    ReplyText = fncCommandMicro(CMD_READ_TEMPERATURE);
    if (!ReplyLost) {
        const qint16 raw = Atoi(ReplyText);
        const qint16 celsius = ReplyDecoding::celsiusFromRaw(raw);
        const bool alarm = ReplyDecoding::temperatureAlarm(raw);
        lblTemp->setText(QString::number(celsius));
        ledTemp->setLampColor(alarm ? PanelColor::BrightRed : PanelColor::DarkRed);
        takeReading(m_reading.temperatureC, std::optional<qint16>(celsius),
                    QString::number(celsius));
        takeReading(m_reading.temperatureAlarm, std::optional<bool>(alarm));
    }
    ReplyText.clear();
    if (AbortComm)
        return;

    ReplyText = fncCommandMicro(CMD_READ_LOCK);
    const bool locked = !ReplyLost && twoState(ReplyText) == TwoState::Yes;
    if (!ReplyLost) {
        ledLock->setLampColor(locked ? PanelColor::BrightRed : PanelColor::DarkRed);
        takeReading(m_reading.locked, std::optional<bool>(locked));
    }
    ReplyText.clear();
    if (AbortComm)
        return;

    if (DisplayEnabled && locked) {
        ReplyText = fncCommandMicro(CMD_READ_FREQUENCY);
        if (!ReplyLost) {
            // The operator may have started typing while the question was
            // out: the digits typed stay, or OK would accept what the display
            // hides. The report is the transmitter's all the same.
            if (DisplayEnabled)
                showReportedFrequency(ReplyText);
            const std::optional<qint32> kHz = ReplyDecoding::frequencyKHz(ReplyText);
            takeReading(m_reading.frequencyKHz, kHz,
                        kHz ? ReplyDecoding::frequencyText(*kHz) : printable(ReplyText));
        }
        ReplyText.clear();
        if (AbortComm)
            return;
    }

    ReplyText = fncCommandMicro(CMD_READ_RF_STATUS);
    RfStatus = ReplyText;
    if (!ReplyLost)
        takeOnAir(ReplyText);
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
        const bool confirmed = twoState(ReplyText) == TwoState::No;
        if (confirmed) {
            ledRfInhibit->setLampColor(PanelColor::DarkYellow);
            takeOnAir(ReplyText);
        }
        Q_EMIT rfCommandSent(false, confirmed);
    } else if (twoState(RfStatus) == TwoState::No) {
        ReplyText = fncCommandMicro(CMD_RF_ON);
        const bool confirmed = twoState(ReplyText) == TwoState::Yes;
        if (confirmed) {
            ledRfInhibit->setLampColor(PanelColor::Yellow);
            takeOnAir(ReplyText);
        }
        Q_EMIT rfCommandSent(true, confirmed);
    }
    ssRfSwitch->setPressed(false);
}

void frmTerminale::takeOnAir(const QString &reply)
{
    const TwoState state = twoState(reply);
    takeReading(m_reading.onAir,
                state == TwoState::Other ? std::nullopt
                                         : std::optional<bool>(state == TwoState::Yes),
                state == TwoState::Other ? printable(reply) : QString());
}

template <typename T>
void frmTerminale::takeReading(TxReading::Item<T> &item, std::optional<T> value,
                               const QString &text)
{
    item.value = value;
    item.text = text;
    item.readAtMs = TxReading::nowMs();
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
