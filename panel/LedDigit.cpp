// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/LedDigit.h"

#include "panel/PanelColors.h"

#include <QPainter>
#include <QPolygonF>

namespace {
// Segments a..g of each digit as bits 0..6.
constexpr unsigned char SegmentMasks[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                            0x6D, 0x7D, 0x07, 0x7F, 0x6F};

// A segment as a hexagon between two points, thickness t.
QPolygonF segmentPolygon(QPointF from, QPointF to, qreal t)
{
    const qreal h = t / 2.0;
    if (qFuzzyCompare(from.y(), to.y())) {
        return QPolygonF({QPointF(from.x(), from.y()), QPointF(from.x() + h, from.y() - h),
                          QPointF(to.x() - h, to.y() - h), QPointF(to.x(), to.y()),
                          QPointF(to.x() - h, to.y() + h), QPointF(from.x() + h, from.y() + h)});
    }
    return QPolygonF({QPointF(from.x(), from.y()), QPointF(from.x() + h, from.y() + h),
                      QPointF(to.x() + h, to.y() - h), QPointF(to.x(), to.y()),
                      QPointF(to.x() - h, to.y() - h), QPointF(from.x() - h, from.y() + h)});
}
} // namespace

LedDigit::LedDigit(QWidget *parent) : QWidget(parent)
{
    setAccessibleName(QString::number(m_digitValue));
}

void LedDigit::setForeColor(int colorValue)
{
    if (colorValue == m_foreColor)
        return;
    m_foreColor = colorValue;
    update();
    Q_EMIT ForeColorChanged(colorValue);
}

void LedDigit::setDigitValue(int digit)
{
    if (digit == m_digitValue)
        return;
    m_digitValue = digit;
    update();
    setAccessibleName(QString::number(digit));
    Q_EMIT DigitValueChanged(digit);
}

void LedDigit::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setRenderHint(QPainter::Antialiasing);

    const qreal w = width();
    const qreal h = height();
    const qreal t = qMax<qreal>(2.0, qMin(w, h) * 0.14);
    const qreal left = t * 0.8;
    const qreal right = w - t * 0.8;
    const qreal top = t * 0.8;
    const qreal bottom = h - t * 0.8;
    const qreal middle = h / 2.0;
    const qreal gap = t * 0.15;

    const QPolygonF segments[7] = {
        segmentPolygon({left + gap, top}, {right - gap, top}, t),        // a
        segmentPolygon({right, top + gap}, {right, middle - gap}, t),    // b
        segmentPolygon({right, middle + gap}, {right, bottom - gap}, t), // c
        segmentPolygon({left + gap, bottom}, {right - gap, bottom}, t),  // d
        segmentPolygon({left, middle + gap}, {left, bottom - gap}, t),   // e
        segmentPolygon({left, top + gap}, {left, middle - gap}, t),      // f
        segmentPolygon({left + gap, middle}, {right - gap, middle}, t)}; // g

    const unsigned mask =
        (m_digitValue >= 0 && m_digitValue <= 9) ? SegmentMasks[m_digitValue] : 0u;
    const QColor lit = PanelColor::toQColor(m_foreColor);
    QColor unlit = lit;
    unlit.setAlpha(28);
    painter.setPen(Qt::NoPen);
    for (int s = 0; s < 7; ++s) {
        painter.setBrush((mask & (1u << s)) ? lit : unlit);
        painter.drawPolygon(segments[s]);
    }
}
