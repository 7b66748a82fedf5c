// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>

// A filled rectangle drawn behind the controls that lie over it. BackColor is
// a window-system colour value; borderColor < 0 means no border.
class ShapeWidget : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int BackColor READ BackColor WRITE setBackColor NOTIFY BackColorChanged)
public:
    ShapeWidget(int backColor, int borderColor, QWidget *parent = nullptr);

    int BackColor() const { return m_backColor; }
    void setBackColor(int colorValue);
    int borderColor() const { return m_borderColor; }

Q_SIGNALS:
    void BackColorChanged(int colorValue);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_backColor;
    int m_borderColor;
};
