// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The panel's two looks: lit while a connection is in progress, unlit otherwise.
#include "app/frmTerminale.h"

#include "panel/LedDigit.h"
#include "panel/PanelColors.h"
#include "panel/PanelStatusBar.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"
#include "panel/ShapeWidget.h"

#include <QPushButton>

namespace {
constexpr QLatin1String CommunicationsInProgress("COMMUNICATIONS IN PROGRESS");
}

void frmTerminale::Turn_On()
{
    for (int i = 1; i <= 6; ++i)
        ledDigit(i)->setForeColor(PanelColor::BrightRed);
    shpPunto->setBackColor(PanelColor::BrightRed);
    lblDirDigital(0)->setBackColor(PanelColor::Yellow);
    lblRefDigital(0)->setBackColor(PanelColor::Yellow);
    lblDirDigital(0)->setText(QString());
    lblRefDigital(0)->setText(QString());
    lblCommunications(0)->setText(CommunicationsInProgress);
    lblCommunications(0)->setBackColor(PanelColor::Yellow);
    lblTemp->setBackColor(PanelColor::Yellow);
}

void frmTerminale::Turn_Off()
{
    for (int i = 1; i <= 6; ++i) {
        ledDigit(i)->setForeColor(PanelColor::DarkRed);
        ledDigit(i)->setDigitValue(0);
    }
    shpPunto->setBackColor(PanelColor::DarkRed);
    lblDirDigital(0)->setBackColor(PanelColor::Olive);
    lblRefDigital(0)->setBackColor(PanelColor::Olive);
    lblDirDigital(0)->setText(QString());
    lblRefDigital(0)->setText(QString());
    lblCommunications(0)->setText(QString());
    lblCommunications(0)->setBackColor(PanelColor::Olive);
    lblTemp->setText(QString());
    lblTemp->setBackColor(PanelColor::Olive);
    cmdSend->setEnabled(false);
    tmrTimeOut->setEnabled(false);
    DigitPosition = 1;
    sbrStatus->setPanelValue(StatusPanel::ConnectionTime, QString());
    cmdDisconnect->setEnabled(false);
}

void frmTerminale::tmrPausaLabel_Timer()
{
    tmrPausaLabel->setEnabled(false);
    lblCommunications(0)->setText(CommunicationsInProgress);
}
