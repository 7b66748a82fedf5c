// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Programming a new carrier frequency into the transmitter.
#include "app/frmTerminale.h"

#include "link/Commands.h"
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
    for (int i = 1; i <= 5; ++i)
        SendDigits[size_t(i)] = EnteredDigits[size_t(i)];
    tmrPausa->setEnabled(true);
    cmdSend->setEnabled(false);
    tmrPausaLabel->setEnabled(true);
    setKeysEnabled(KeypadKey::First, KeypadKey::Zero, false);
}

void frmTerminale::ImpostaFrequenza()
{
    // Each command clears the stop flag; a DISCONNECT during the programming
    // must still end the connection afterwards.
    bool stopRequested = false;
    // The request is taken now, on the digits of its own SEND: a SEND made
    // while these digits go out is a new request, served after this one, and
    // never mixes its digits into this frequency.
    const auto digits = SendDigits;
    SendRequest = false;
    m_programming = true;
    ReplyText = fncCommandMicro(TxCommand::CMD_SET_FREQUENCY);
    stopRequested = stopRequested || AbortComm;
    bool lost = ReplyLost;
    lblCommunications(0)->setText(QStringLiteral("SEND FREQUENCY TO TRANSMITTER"));

    bool programmed = !lost;
    QString sent;
    // A lost reply to the programming command itself stops here too: digits
    // sent to a transmitter that did not take the command would leave it
    // holding a partial sequence.
    for (int i = 1; i <= 6 && !lost; ++i) {
        const QString digit = i <= 5 ? digits[size_t(i)] : QString();
        const quint8 byte = quint8(TxCommand::DIGIT_ZERO + (digit.isEmpty() ? 0 : digit.toInt()));
        ReplyText = fncCommandMicro(byte);
        stopRequested = stopRequested || AbortComm;
        lost = ReplyLost;
        if (lost || ReplyText != digit) {
            // Sending the digit again could shift the transmitter's count of
            // digits: stop here and tell the operator.
            programmed = false;
            break;
        }
        sent += digit;
    }
    if (!programmed) {
        lblCommunications(0)->setText(QStringLiteral("FREQUENCY NOT PROGRAMMED"));
        // A lost reply ends the connection: the message then stays until the
        // end of the connection replaces it, never "COMMUNICATIONS IN PROGRESS".
        if (lost)
            m_programmingLost = true;
        else
            tmrPausaLabel->start();
    } else {
        // Every echo matched: the transmitter holds these digits now.
        ReportedFrequency = sent.left(5);
        QString shown;
        for (int i = 1; i <= 5; ++i)
            shown += QString::number(ledDigit(i)->DigitValue());
        if (shown == ReportedFrequency)
            DisplayHoldsTyped = false;
    }
    QString asked;
    for (int i = 1; i <= 5; ++i)
        asked += digits[size_t(i)].isEmpty() ? QStringLiteral("0") : digits[size_t(i)];
    Q_EMIT frequencyProgrammed(m_reading.frequencyKHz.value.value_or(-1), asked.toInt() * 10,
                               programmed);
    AbortComm = stopRequested;
    m_programming = false;
    if (m_endAfterProgramming)
        mnuFileExit_Click();
}
