// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/LedLamp.h"

#include "panel/PanelColors.h"

#include <QPainter>
#include <QRadialGradient>

LedLamp::LedLamp(int lampColor, QWidget *parent) : QWidget(parent), m_lampColor(lampColor) {}

void LedLamp::setLampColor(int colorValue)
{
    if (colorValue == m_lampColor)
        return;
    m_lampColor = colorValue;
    update();
    describeState();
    Q_EMIT LampColorChanged(colorValue);
}

void LedLamp::setMeanings(const QString &caption, const QHash<int, QString> &meanings)
{
    m_caption = caption;
    m_meanings = meanings;
    setAccessibleName(caption);
    describeState();
}

void LedLamp::describeState()
{
    if (m_caption.isEmpty())
        return;
    const QString state = m_caption + QStringLiteral(": ") + m_meanings.value(m_lampColor);
    setAccessibleDescription(state);
    setToolTip(state);
}

void LedLamp::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height()) - 2;
    if (side <= 0)
        return;
    const QRectF lamp((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    const QColor color = PanelColor::toQColor(m_lampColor);
    QRadialGradient glow(lamp.center() - QPointF(side / 6.0, side / 6.0), side / 1.6);
    glow.setColorAt(0.0, color.lighter(170));
    glow.setColorAt(0.6, color);
    glow.setColorAt(1.0, color.darker(160));
    painter.setPen(QPen(PanelColor::toQColor(PanelColor::DarkGrey), 1.5));
    painter.setBrush(glow);
    painter.drawEllipse(lamp);
}
