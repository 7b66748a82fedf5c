// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QHash>
#include <QWidget>

// A round LED lamp shown in LampColor (window-system colour value, red in the low byte).
class LedLamp : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int LampColor READ LampColor WRITE setLampColor NOTIFY LampColorChanged)
public:
    explicit LedLamp(int lampColor, QWidget *parent = nullptr);

    int LampColor() const { return m_lampColor; }
    void setLampColor(int colorValue);
    // Words for whoever cannot tell the colours apart: the caption is the
    // lamp's accessible name, "CAPTION: meaning" of the colour shown its
    // accessible description and tool tip, kept up with every change.
    void setMeanings(const QString &caption, const QHash<int, QString> &meanings);

Q_SIGNALS:
    void LampColorChanged(int colorValue);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void describeState();

    int m_lampColor;
    QString m_caption;
    QHash<int, QString> m_meanings;
};
