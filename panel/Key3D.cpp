// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/Key3D.h"

#include "panel/BevelPainter.h"
#include "panel/PanelColors.h"

#include <QPainter>

namespace {
constexpr int BevelWidth = 3;
} // namespace

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
    painter.fillRect(r, PanelColor::toQColor(PanelColor::LightGrey));
    // The bevel leaves the last column and row in the face's grey.
    BevelPainter::draw(painter, r.adjusted(0, 0, -1, -1), BevelWidth,
                       down ? BevelPainter::Relief::Sunken : BevelPainter::Relief::Raised,
                       PanelColor::White, down ? PanelColor::Grey : PanelColor::DarkGrey);
    painter.setPen(PanelColor::toQColor(isEnabled() ? PanelColor::Black : PanelColor::Grey));
    painter.setFont(font());
    const int shift = down ? 1 : 0;
    painter.drawText(r.translated(shift, shift), Qt::AlignCenter, text());
    if (hasFocus()) {
        painter.setPen(QPen(PanelColor::toQColor(PanelColor::Black), 1, Qt::DotLine));
        painter.drawRect(
            r.adjusted(BevelWidth + 2, BevelWidth + 2, -BevelWidth - 3, -BevelWidth - 3));
    }
}
