// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/LineWidget.h"

#include "panel/PanelColors.h"

#include <QPainter>

LineWidget::LineWidget(const QLine &line, int penWidth, int colorValue, QWidget *parent)
    : QWidget(parent), m_line(line), m_penWidth(qMax(1, penWidth)), m_colorValue(colorValue)
{
    // Cover the line's extent, grown by the pen so the thick ends are not cut.
    const int half = (m_penWidth + 1) / 2;
    const QRect extent = QRect(line.p1(), line.p2()).normalized();
    setGeometry(extent.adjusted(-half, -half, half, half));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(
        QPen(PanelColor::toQColor(m_colorValue), m_penWidth, Qt::SolidLine, Qt::SquareCap));
    const QPoint offset = geometry().topLeft();
    painter.drawLine(m_line.translated(-offset));
}
