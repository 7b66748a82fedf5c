// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/Panel3D.h"

#include <QPainter>

namespace {
void drawBevel(QPainter &painter, QRect r, int width, bool raised)
{
    const QColor light(255, 255, 255);
    const QColor dark(128, 128, 128);
    const QColor topLeft = raised ? light : dark;
    const QColor bottomRight = raised ? dark : light;
    for (int i = 0; i < width && r.width() > 1 && r.height() > 1; ++i) {
        painter.setPen(topLeft);
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(bottomRight);
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
        r.adjust(1, 1, -1, -1);
    }
}
} // namespace

Panel3D::Panel3D(Bevel outer, int bevelWidth, int borderWidth, QWidget *parent, Bevel inner)
    : QWidget(parent), m_outer(outer), m_inner(inner), m_bevelWidth(bevelWidth),
      m_borderWidth(borderWidth)
{
}

void Panel3D::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    update();
    Q_EMIT captionChanged(m_caption);
}

void Panel3D::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(192, 192, 192));
    QRect r = rect();
    if (m_outer != Bevel::None) {
        drawBevel(painter, r, m_bevelWidth, m_outer == Bevel::Raised);
        r.adjust(m_bevelWidth, m_bevelWidth, -m_bevelWidth, -m_bevelWidth);
    }
    r.adjust(m_borderWidth, m_borderWidth, -m_borderWidth, -m_borderWidth);
    if (m_inner != Bevel::None) {
        drawBevel(painter, r, m_bevelWidth, m_inner == Bevel::Raised);
        r.adjust(m_bevelWidth, m_bevelWidth, -m_bevelWidth, -m_bevelWidth);
    }
    if (!m_caption.isEmpty()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(r, Qt::AlignCenter, m_caption);
    }
}
