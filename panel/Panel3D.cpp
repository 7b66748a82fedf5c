// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/Panel3D.h"

#include "panel/BevelPainter.h"
#include "panel/PanelColors.h"

#include <QPainter>

namespace {
BevelPainter::Relief reliefOf(Panel3D::Bevel bevel)
{
    return bevel == Panel3D::Bevel::Raised ? BevelPainter::Relief::Raised
                                           : BevelPainter::Relief::Sunken;
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
    painter.fillRect(rect(), PanelColor::toQColor(PanelColor::LightGrey));
    QRect r = rect();
    if (m_outer != Bevel::None) {
        BevelPainter::draw(painter, r, m_bevelWidth, reliefOf(m_outer));
        r.adjust(m_bevelWidth, m_bevelWidth, -m_bevelWidth, -m_bevelWidth);
    }
    r.adjust(m_borderWidth, m_borderWidth, -m_borderWidth, -m_borderWidth);
    if (m_inner != Bevel::None) {
        BevelPainter::draw(painter, r, m_bevelWidth, reliefOf(m_inner));
        r.adjust(m_bevelWidth, m_bevelWidth, -m_bevelWidth, -m_bevelWidth);
    }
    if (!m_caption.isEmpty()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(r, Qt::AlignCenter, m_caption);
    }
}
