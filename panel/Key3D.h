// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QPushButton>

// A 3-D keypad key that reports its index in the key array when clicked.
class Key3D : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(int Index READ Index CONSTANT)
public:
    Key3D(int index, const QString &caption, QWidget *parent = nullptr);

    int Index() const { return m_index; }

Q_SIGNALS:
    void keyClicked(int index);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_index;
};
