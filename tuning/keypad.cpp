// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The twelve-key frequency keypad and its check against the band limits.
#include "app/frmTerminale.h"

#include "app/MessageBox.h"
#include "panel/Key3D.h"
#include "panel/KeypadKeys.h"
#include "panel/LedDigit.h"
#include "panel/PanelColors.h"
#include "panel/PanelTimer.h"

#include <QPushButton>

void frmTerminale::setKeysEnabled(int first, int last, bool enabled)
{
    for (int index = first; index <= last; ++index)
        cmdKey(index)->setEnabled(enabled);
}

void frmTerminale::cmdKey_Click(int Index)
{
    // Only a running poll can send what is typed; anywhere else the keys
    // would change the display and promise a frequency nothing will program.
    if (!PowerOn || m_connectionState != ConnectionState::Polling)
        return;
    Key3D *key = cmdKey(Index);
    if (!key)
        return;
    const QString caption = key->text();

    if (Index == KeypadKey::Ok) {
        for (int i = 1; i <= 5; ++i)
            ledDigit(i)->setForeColor(PanelColor::BrightRed);
        QString joined;
        for (int i = 1; i <= 5; ++i)
            joined += EnteredDigits[size_t(i)];
        const qint32 candidate = joined.toInt() * 10;

        if (!Band.accepts(candidate)) {
            showCriticalMessage(this, QStringLiteral("WARNING"), Band.refusal());
            setDisplayEnabled(true);
            cmdSend->setEnabled(false);
            tmrTimeOut->setEnabled(false);
            Ripristina();
            ledDigit(DigitPosition)->setForeColor(PanelColor::BrightRed);
            DigitPosition = 1;
            return;
        }
        cmdSend->setEnabled(true);
        tmrTimeOut->setEnabled(false);
        DigitPosition = 1;
        for (int i = 1; i <= 5; ++i)
            ledDigit(i)->setForeColor(PanelColor::BrightRed);
        cmdKey(KeypadKey::Ok)->setEnabled(false);
        tmrPausa->setEnabled(true);
        setDisplayEnabled(false);
        return;
    }

    if (Index == KeypadKey::Back) {
        ledDigit(DigitPosition)->setForeColor(PanelColor::BrightRed);
        DigitPosition = qint16(DigitPosition - 1);
        if (DigitPosition == 0)
            DigitPosition = 1;
        return;
    }

    // A digit typed after an accepted entry withdraws it: only a frequency
    // that passed the band check may ever be sent.
    cmdSend->setEnabled(false);
    EnteredDigits[size_t(DigitPosition)] = caption;
    ledDigit(DigitPosition)->setDigitValue(caption.toInt());
    DisplayHoldsTyped = true;
    ledDigit(DigitPosition)->setForeColor(PanelColor::BrightRed);
    DigitPosition = qint16(DigitPosition + 1);
    if (DigitPosition > 5) {
        DigitPosition = 5;
        cmdKey(KeypadKey::Ok)->setEnabled(true);
    }
}
