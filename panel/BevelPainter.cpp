// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/BevelPainter.h"

#include <QPalette>
#include <QRect>
#include <qdrawutil.h>

void BevelPainter::draw(QPainter &painter, const QRect &frame, int width, Relief relief,
                        int highlight, int shadow)
{
    const int rings = qMin(width, qMin(frame.width(), frame.height()) / 2);
    if (rings <= 0)
        return;
    QPalette shades;
    shades.setColor(QPalette::Light, PanelColor::toQColor(highlight));
    shades.setColor(QPalette::Dark, PanelColor::toQColor(shadow));
    qDrawShadePanel(&painter, frame, shades, relief == Relief::Sunken, rings);
}
