// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Programming a new carrier frequency into the transmitter.
#include "app/frmTerminale.h"

#include "link/LinkEngine.h"
#include "panel/KeypadKeys.h"
#include "panel/LedDigit.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"

#include <QPushButton>

void frmTerminale::cmdSend_Click()
{
    // Only the running poll serves a request; one raised anywhere else would
    // wait to program a frequency into a later connection nobody asked it for.
    if (m_connectionState != ConnectionState::Polling)
        return;
    SendRequest = true;
    // What is programmed is what "OK" accepted, whatever is typed meanwhile.
    QString digits;
    for (int i = 1; i <= 5; ++i) {
        SendDigits[size_t(i)] = EnteredDigits[size_t(i)];
        digits += EnteredDigits[size_t(i)];
    }
    tmrPausa->setEnabled(true);
    cmdSend->setEnabled(false);
    tmrPausaLabel->setEnabled(true);
    setKeysEnabled(KeypadKey::First, KeypadKey::Zero, false);
    // The engine programs them after the status cycle running, checked
    // against the band it was given once more.
    if (!m_engine->requestProgramming(digits)) {
        SendRequest = false;
        lblCommunications(0)->setText(QStringLiteral("FREQUENCY NOT PROGRAMMED"));
        tmrPausaLabel->start();
    }
}

bool frmTerminale::ImpostaFrequenza()
{
    QString digits;
    for (int i = 1; i <= 5; ++i)
        digits += SendDigits[size_t(i)].isEmpty() ? QStringLiteral("0") : SendDigits[size_t(i)];
    return m_engine->program(digits);
}

void frmTerminale::showProgrammingStarted()
{
    // The request is taken: a SEND made while these digits go out is a new
    // one, served after this one, and never mixes its digits into this one.
    SendRequest = false;
}

void frmTerminale::showProgrammed(qint32 fromKHz, qint32 toKHz, bool programmed, bool lost)
{
    Q_UNUSED(fromKHz)
    if (!programmed) {
        lblCommunications(0)->setText(QStringLiteral("FREQUENCY NOT PROGRAMMED"));
        // A lost reply ends the connection: the message then stays until the
        // end of the connection replaces it, never "COMMUNICATIONS IN PROGRESS".
        if (lost)
            m_programmingLost = true;
        else
            tmrPausaLabel->start();
        return;
    }
    // Every echo matched: the transmitter holds these digits now.
    ReportedFrequency = QStringLiteral("%1").arg(toKHz / 10, 5, 10, QLatin1Char('0'));
    QString shown;
    for (int i = 1; i <= 5; ++i)
        shown += QString::number(ledDigit(i)->DigitValue());
    if (shown == ReportedFrequency)
        DisplayHoldsTyped = false;
}
