// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/PanelStatusBar.h"

#include "panel/BevelPainter.h"
#include "panel/PanelColors.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

namespace {
constexpr int PanelGap = 2;    // pixels between two panels
constexpr int TextPadding = 8; // pixels around a panel's contents
constexpr int PictureGap = 2;  // pixels between the picture and the text
} // namespace

PanelStatusBar::PanelStatusBar(const std::array<PanelDesign, PanelCount> &design, QWidget *parent)
    : QWidget(parent)
{
    for (int i = 0; i < PanelCount; ++i) {
        PanelDesign &panel = m_panels[static_cast<size_t>(i)].design;
        panel = design[static_cast<size_t>(i)];
        if (panel.text.isEmpty())
            panel.text = panel.prefix;
    }
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, PanelColor::toQColor(PanelColor::LightGrey));
    setPalette(palette);
    relayout();
}

QString PanelStatusBar::panelText(int index) const
{
    return validIndex(index) ? m_panels[static_cast<size_t>(index - 1)].design.text : QString();
}

QImage PanelStatusBar::panelPicture(int index) const
{
    return validIndex(index) ? m_panels[static_cast<size_t>(index - 1)].picture : QImage();
}

QString PanelStatusBar::panelKey(int index) const
{
    return validIndex(index) ? m_panels[static_cast<size_t>(index - 1)].design.key : QString();
}

QString PanelStatusBar::panelToolTip(int index) const
{
    return validIndex(index) ? m_panels[static_cast<size_t>(index - 1)].design.toolTip : QString();
}

QRect PanelStatusBar::panelRect(int index) const
{
    return validIndex(index) ? m_panels[static_cast<size_t>(index - 1)].rect : QRect();
}

int PanelStatusBar::indexOfKey(const QString &key) const
{
    if (key.isEmpty())
        return 0;
    for (int i = 0; i < PanelCount; ++i) {
        if (m_panels[static_cast<size_t>(i)].design.key == key)
            return i + 1;
    }
    return 0;
}

void PanelStatusBar::setPanelText(int index, const QString &text)
{
    if (!validIndex(index))
        return;
    Panel &panel = m_panels[static_cast<size_t>(index - 1)];
    if (panel.design.text == text)
        return;
    panel.design.text = text;
    repaintChanged(panel);
    Q_EMIT panelChanged(index);
}

void PanelStatusBar::setPanelText(const QString &key, const QString &text)
{
    setPanelText(indexOfKey(key), text);
}

void PanelStatusBar::setPanelValue(StatusPanel panel, const QString &value)
{
    const int index = int(panel);
    if (validIndex(index))
        setPanelText(index, m_panels[static_cast<size_t>(index - 1)].design.prefix + value);
}

void PanelStatusBar::setPanelPicture(int index, const QImage &picture)
{
    if (!validIndex(index))
        return;
    Panel &panel = m_panels[static_cast<size_t>(index - 1)];
    if (panel.picture == picture)
        return;
    panel.picture = picture;
    repaintChanged(panel);
    Q_EMIT panelChanged(index);
}

void PanelStatusBar::repaintChanged(const Panel &changed)
{
    // The clock changes one panel every second: only it is painted again,
    // unless the new text moved the others.
    std::array<QRect, PanelCount> before;
    for (size_t i = 0; i < before.size(); ++i)
        before[i] = m_panels[i].rect;
    relayout();
    for (size_t i = 0; i < before.size(); ++i) {
        if (before[i] != m_panels[i].rect) {
            update();
            return;
        }
    }
    update(changed.rect);
}

void PanelStatusBar::relayout()
{
    const int pictureSide = qMax(0, height() - 6);
    std::array<int, PanelCount> widths{};
    int used = 0;
    int springs = 0;
    for (int i = 0; i < PanelCount; ++i) {
        const Panel &panel = m_panels[static_cast<size_t>(i)];
        int w = panel.design.width;
        if (panel.design.sizing == Sizing::Contents) {
            int contents = fontMetrics().horizontalAdvance(panel.design.text) + TextPadding;
            if (!panel.picture.isNull())
                contents += pictureSide + PictureGap;
            w = qMax(panel.design.minWidth, contents);
        } else if (panel.design.sizing == Sizing::Spring) {
            ++springs;
            w = 0;
        }
        widths[static_cast<size_t>(i)] = w;
        used += w + PanelGap;
    }
    if (springs > 0) {
        const int remaining = qMax(0, width() - used);
        int handed = 0;
        int seen = 0;
        for (int i = 0; i < PanelCount; ++i) {
            if (m_panels[static_cast<size_t>(i)].design.sizing != Sizing::Spring)
                continue;
            ++seen;
            const int share = seen == springs ? remaining - handed : remaining / springs;
            const int minWidth = m_panels[static_cast<size_t>(i)].design.minWidth;
            widths[static_cast<size_t>(i)] = qMax(share, minWidth);
            handed += share;
        }
    }
    int x = 0;
    for (int i = 0; i < PanelCount; ++i) {
        const int w = widths[static_cast<size_t>(i)];
        m_panels[static_cast<size_t>(i)].rect = QRect(x, 1, w, qMax(0, height() - 2));
        x += w + PanelGap;
    }
}

void PanelStatusBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void PanelStatusBar::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setFont(font());
    for (const Panel &panel : m_panels) {
        const QRect r = panel.rect;
        if (r.width() <= 0 || !event->rect().intersects(r))
            continue;
        // The bevel leaves the last column and row in the bar's grey.
        BevelPainter::draw(painter, r.adjusted(0, 0, -1, -1), 1, BevelPainter::Relief::Sunken);
        QRect inner = r.adjusted(TextPadding / 2, 2, -TextPadding / 2, -2);
        painter.save();
        painter.setClipRect(r.adjusted(1, 1, -1, -1));
        if (!panel.picture.isNull()) {
            const int side = inner.height();
            painter.drawImage(QRect(inner.left(), inner.top(), side, side), panel.picture);
            inner.setLeft(inner.left() + side + PictureGap);
        }
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter, panel.design.text);
        painter.restore();
    }
}

bool PanelStatusBar::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        for (const Panel &panel : m_panels) {
            if (panel.rect.contains(help->pos()) && !panel.design.toolTip.isEmpty()) {
                QToolTip::showText(help->globalPos(), panel.design.toolTip, this, panel.rect);
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    if (event->type() == QEvent::FontChange)
        relayout();
    return QWidget::event(event);
}
