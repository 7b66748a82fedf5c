// Programming a new carrier frequency into the transmitter.
#include "app/frmTerminale.h"

#include "link/Commands.h"
#include "panel/Key3D.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"

#include <QPushButton>

void frmTerminale::cmdSend_Click()
{
    SendRequest = true;
    // What is programmed is what "OK" accepted, whatever is typed meanwhile.
    for (int i = 1; i <= 5; ++i)
        SendDigits[size_t(i)] = EnteredDigits[size_t(i)];
    tmrPausa->setEnabled(true);
    cmdSend->setEnabled(false);
    tmrPausaLabel->setEnabled(true);
    for (int index = 0; index <= 10; ++index)
        cmdKey(index)->setEnabled(false);
}

void frmTerminale::ImpostaFrequenza()
{
    // Each command clears the stop flag; a DISCONNECT or a lost reply during
    // the programming must still end the connection afterwards.
    bool stopRequested = false;
    // The request is taken now, on the digits of its own SEND: a SEND made
    // while these digits go out is a new request, served after this one, and
    // never mixes its digits into this frequency.
    const auto digits = SendDigits;
    SendRequest = false;
    ReplyText = fncCommandMicro(TxCommand::CMD_SET_FREQUENCY);
    stopRequested = stopRequested || AbortComm;
    lblCommunications(0)->setText(QStringLiteral("SEND FREQUENCY TO TRANSMITTER"));

    bool programmed = true;
    for (int i = 1; i <= 6; ++i) {
        const QString digit = i <= 5 ? digits[size_t(i)] : QString();
        const quint8 byte = quint8(TxCommand::DIGIT_ZERO + (digit.isEmpty() ? 0 : digit.toInt()));
        ReplyText = fncCommandMicro(byte);
        stopRequested = stopRequested || AbortComm;
        if (ReplyText != digit) {
            // Sending the digit again could shift the transmitter's count of
            // digits: stop here and tell the operator.
            programmed = false;
            break;
        }
    }
    if (!programmed) {
        lblCommunications(0)->setText(QStringLiteral("FREQUENCY NOT PROGRAMMED"));
        tmrPausaLabel->start();
    }
    AbortComm = stopRequested;
}
