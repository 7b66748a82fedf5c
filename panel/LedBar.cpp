// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/LedBar.h"

#include "panel/PanelColors.h"

#include <QPainter>

LedBar::LedBar(int segments, const Zones &zones, QWidget *parent)
    : QWidget(parent), m_segments(qMax(1, segments)), m_zones(zones)
{
}

void LedBar::setValue(int value)
{
    if (value == m_value)
        return;
    m_value = value;
    update();
    Q_EMIT ValueChanged(value);
}

int LedBar::zoneOf(int segment) const
{
    if (segment <= m_zones.firstLimit)
        return 0;
    if (segment <= m_zones.secondLimit)
        return 1;
    return 2;
}

int LedBar::segmentColor(int segment) const
{
    const int zone = zoneOf(segment);
    return segment <= m_value ? m_zones.lit[zone] : m_zones.unlit[zone];
}

void LedBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const qreal gap = 3.0;
    const qreal slot = (width() - gap) / m_segments;
    for (int segment = 1; segment <= m_segments; ++segment) {
        const QRectF cell(gap + (segment - 1) * slot, gap, slot - gap, height() - 2 * gap);
        painter.fillRect(cell, PanelColor::toQColor(segmentColor(segment)));
    }
}
