// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/ReadoutLabel.h"

#include "panel/PanelColors.h"

namespace {
void applyBackColor(QLabel *label, int colorValue)
{
    QPalette palette = label->palette();
    if (colorValue < 0) {
        label->setAutoFillBackground(false);
        palette.setColor(QPalette::Window, Qt::transparent);
    } else {
        label->setAutoFillBackground(true);
        palette.setColor(QPalette::Window, PanelColor::toQColor(colorValue));
    }
    label->setPalette(palette);
}
} // namespace

ReadoutLabel::ReadoutLabel(const QString &caption, int backColor, QWidget *parent)
    : QLabel(caption, parent), m_backColor(backColor)
{
    applyBackColor(this, backColor);
    setForeColor(PanelColor::Black);
}

void ReadoutLabel::setBackColor(int colorValue)
{
    if (colorValue == m_backColor)
        return;
    m_backColor = colorValue;
    applyBackColor(this, colorValue);
    update();
    Q_EMIT BackColorChanged(colorValue);
}

void ReadoutLabel::setForeColor(int colorValue)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, PanelColor::toQColor(colorValue));
    palette.setColor(QPalette::Text, PanelColor::toQColor(colorValue));
    setPalette(palette);
    update();
}
