// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The entry blink, the one-minute entry limit and the ten-second SEND window.
#include "app/frmTerminale.h"

#include "panel/LedDigit.h"
#include "panel/PanelColors.h"
#include "panel/PanelTimer.h"

#include <QPushButton>

namespace {
// 120 ticks of half a second: an entry may stay open one minute.
constexpr qint16 EntryLimitTicks = 120;
} // namespace

void frmTerminale::tmrTimeOut_Timer()
{
    ++TickCount;
    LedDigit *cursorDigit = ledDigit(DigitPosition);
    if (cursorDigit->ForeColor() == PanelColor::BrightRed)
        cursorDigit->setForeColor(PanelColor::Black);
    else
        cursorDigit->setForeColor(PanelColor::BrightRed);

    if (TickCount == EntryLimitTicks) {
        cursorDigit->setForeColor(PanelColor::BrightRed);
        tmrTimeOut->setEnabled(false);
        tmrPausa->setEnabled(false);
        cmdSend->setEnabled(false);
    }
}

void frmTerminale::tmrPausa_Timer()
{
    PausaFreq();
    tmrPausa->setEnabled(false);
}

void frmTerminale::PausaFreq()
{
    Ripristina();
}
