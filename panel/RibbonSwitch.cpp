// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/RibbonSwitch.h"

#include "panel/PanelColors.h"

#include <QPainter>

RibbonSwitch::RibbonSwitch(const QImage &releasedPicture, const QImage &pressedPicture,
                           QWidget *parent)
    : QAbstractButton(parent), m_released(releasedPicture), m_pressed(pressedPicture)
{
    setCheckable(true);
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        update();
        describeState();
        Q_EMIT PressedChanged(on);
    });
}

void RibbonSwitch::setMeanings(const QString &caption, const QString &released,
                               const QString &pressed)
{
    m_caption = caption;
    m_releasedWords = released;
    m_pressedWords = pressed;
    setAccessibleName(caption);
    describeState();
}

void RibbonSwitch::describeState()
{
    if (m_caption.isEmpty())
        return;
    const QString state =
        m_caption + QStringLiteral(": ") + (isChecked() ? m_pressedWords : m_releasedWords);
    setAccessibleDescription(state);
    setToolTip(state);
}

void RibbonSwitch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QImage &picture = isChecked() ? m_pressed : m_released;
    if (picture.isNull())
        painter.fillRect(
            rect(), PanelColor::toQColor(isChecked() ? PanelColor::Grey : PanelColor::LightGrey));
    else
        painter.drawImage(rect(), picture);
}
