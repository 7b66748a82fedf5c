// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/Key3D.h"

#include <QPainter>

Key3D::Key3D(int index, const QString &caption, QWidget *parent)
    : QPushButton(caption, parent), m_index(index)
{
    connect(this, &QPushButton::clicked, this, [this] { Q_EMIT keyClicked(m_index); });
}

void Key3D::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const bool down = isDown();
    const QRect r = rect();
    painter.fillRect(r, QColor(192, 192, 192));
    const QColor light = down ? QColor(128, 128, 128) : QColor(255, 255, 255);
    const QColor dark = down ? QColor(255, 255, 255) : QColor(64, 64, 64);
    const int bevel = 3;
    for (int i = 0; i < bevel; ++i) {
        const QRect b = r.adjusted(i, i, -i - 1, -i - 1);
        painter.setPen(light);
        painter.drawLine(b.topLeft(), b.topRight());
        painter.drawLine(b.topLeft(), b.bottomLeft());
        painter.setPen(dark);
        painter.drawLine(b.bottomLeft(), b.bottomRight());
        painter.drawLine(b.topRight(), b.bottomRight());
    }
    painter.setPen(isEnabled() ? QColor(0, 0, 0) : QColor(128, 128, 128));
    painter.setFont(font());
    const int shift = down ? 1 : 0;
    painter.drawText(r.translated(shift, shift), Qt::AlignCenter, text());
    if (hasFocus()) {
        painter.setPen(QPen(QColor(0, 0, 0), 1, Qt::DotLine));
        painter.drawRect(r.adjusted(bevel + 2, bevel + 2, -bevel - 3, -bevel - 3));
    }
}
