// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The LED digits: the transmitter's reported frequency, or the keypad's entry.
#include "app/frmTerminale.h"

#include "link/LinkEngine.h"
#include "panel/Key3D.h"
#include "panel/KeypadKeys.h"
#include "panel/LedDigit.h"
#include "panel/PanelColors.h"
#include "panel/PanelTimer.h"

#include <QPushButton>

void frmTerminale::setDisplayEnabled(bool enabled)
{
    DisplayEnabled = enabled;
    m_engine->setFollowFrequency(enabled);
}

void frmTerminale::DisplayFrequency(const QString &sFrequency)
{
    // A short or garbled report leaves the digits it cannot fill as they are,
    // so a bad line never blanks or corrupts the rest of the display.
    for (int i = 1; i <= 5; ++i) {
        if (i > sFrequency.size())
            break;
        const QChar character = sFrequency.at(i - 1);
        if (character >= QLatin1Char('0') && character <= QLatin1Char('9'))
            ledDigit(i)->setDigitValue(character.unicode() - '0');
    }
}

void frmTerminale::cmdSetFrequency_Click()
{
    setDisplayEnabled(false);
    // Each entry starts at the first digit: OK is offered only once all five
    // were typed, so it never accepts digits left from an entry cut short.
    if (DigitPosition != 1) {
        ledDigit(DigitPosition)->setForeColor(PanelColor::BrightRed);
        DigitPosition = 1;
    }
    tmrTimeOut->setEnabled(true);
    TickCount = 0;
    setKeysEnabled(KeypadKey::First, KeypadKey::Zero, true);
    cmdKey(KeypadKey::Ok)->setEnabled(false);
}

void frmTerminale::Ripristina()
{
    setDisplayEnabled(true);
    cmdSend->setEnabled(false);
    setKeysEnabled(KeypadKey::First, KeypadKey::Last, false);
}

void frmTerminale::closeEntryAtEnd()
{
    // An entry cannot outlive the connection it was typed for: nothing could
    // send it, and OK or SEND would only pretend to.
    if (tmrTimeOut->isEnabled()) {
        tmrTimeOut->setEnabled(false);
        ledDigit(DigitPosition)->setForeColor(PanelColor::BrightRed);
    }
    tmrPausa->setEnabled(false);
    Ripristina();
    // Typed digits are not the transmitter's frequency; left up, they would
    // read as if it had been tuned there.
    if (DisplayHoldsTyped) {
        DisplayFrequency(ReportedFrequency);
        DisplayHoldsTyped = false;
    }
}
