// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLine>
#include <QWidget>

// A straight static line of a given pen width between two points of its
// container (pixels). The widget covers just the line's own extent.
class LineWidget : public QWidget
{
    Q_OBJECT
public:
    LineWidget(const QLine &line, int penWidth, int colorValue, QWidget *parent = nullptr);

    QLine line() const { return m_line; }
    int colorValue() const { return m_colorValue; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLine m_line;
    int m_penWidth;
    int m_colorValue;
};
