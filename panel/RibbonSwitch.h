// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QAbstractButton>
#include <QImage>

// A push switch that stays down once pressed until it is clicked again or the
// program releases it. Pressed is the switch's state; it shows one picture
// released and another pressed.
class RibbonSwitch : public QAbstractButton
{
    Q_OBJECT
    Q_PROPERTY(bool Pressed READ Pressed WRITE setPressed NOTIFY PressedChanged)
public:
    RibbonSwitch(const QImage &releasedPicture, const QImage &pressedPicture,
                 QWidget *parent = nullptr);

    bool Pressed() const { return isChecked(); }
    void setPressed(bool pressed) { setChecked(pressed); }
    // The switch's caption as its accessible name; "CAPTION: released" or
    // "CAPTION: pressed" as its accessible description and tool tip.
    void setMeanings(const QString &caption, const QString &released, const QString &pressed);

Q_SIGNALS:
    void PressedChanged(bool pressed);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void describeState();

    QImage m_released;
    QImage m_pressed;
    QString m_caption;
    QString m_releasedWords;
    QString m_pressedWords;
};
