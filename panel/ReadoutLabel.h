// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLabel>

// A label whose background is a window-system colour value (BackColor, red in
// the low byte). Used for the read-outs and every coloured caption.
class ReadoutLabel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(int BackColor READ BackColor WRITE setBackColor NOTIFY BackColorChanged)
public:
    // backColor < 0 leaves the label transparent.
    explicit ReadoutLabel(const QString &caption, int backColor, QWidget *parent = nullptr);

    int BackColor() const { return m_backColor; }
    void setBackColor(int colorValue);
    void setForeColor(int colorValue);

Q_SIGNALS:
    void BackColorChanged(int colorValue);

private:
    int m_backColor;
};
