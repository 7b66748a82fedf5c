// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/ShapeWidget.h"

#include "panel/PanelColors.h"

#include <QPainter>

ShapeWidget::ShapeWidget(int backColor, int borderColor, QWidget *parent)
    : QWidget(parent), m_backColor(backColor), m_borderColor(borderColor)
{
}

void ShapeWidget::setBackColor(int colorValue)
{
    if (colorValue == m_backColor)
        return;
    m_backColor = colorValue;
    update();
    Q_EMIT BackColorChanged(colorValue);
}

void ShapeWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), PanelColor::toQColor(m_backColor));
    if (m_borderColor >= 0) {
        painter.setPen(PanelColor::toQColor(m_borderColor));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
