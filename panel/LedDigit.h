// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>

// One seven-segment LED digit: the lit segments in ForeColor on black.
// ForeColor is a window-system colour value (red in the low byte).
class LedDigit : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int ForeColor READ ForeColor WRITE setForeColor NOTIFY ForeColorChanged)
    Q_PROPERTY(int DigitValue READ DigitValue WRITE setDigitValue NOTIFY DigitValueChanged)
public:
    explicit LedDigit(QWidget *parent = nullptr);

    int ForeColor() const { return m_foreColor; }
    void setForeColor(int colorValue);
    int DigitValue() const { return m_digitValue; }
    void setDigitValue(int digit);

Q_SIGNALS:
    void ForeColorChanged(int colorValue);
    void DigitValueChanged(int digit);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_foreColor = 128;
    int m_digitValue = 0;
};
