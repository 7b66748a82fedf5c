#pragma once

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

Q_SIGNALS:
    void LampColorChanged(int colorValue);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_lampColor;
};
