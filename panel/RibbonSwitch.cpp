#include "panel/RibbonSwitch.h"

#include <QPainter>

RibbonSwitch::RibbonSwitch(const QImage &releasedPicture, const QImage &pressedPicture,
                           QWidget *parent)
    : QAbstractButton(parent), m_released(releasedPicture), m_pressed(pressedPicture)
{
    setCheckable(true);
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        update();
        Q_EMIT PressedChanged(on);
    });
}

void RibbonSwitch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QImage &picture = isChecked() ? m_pressed : m_released;
    if (picture.isNull())
        painter.fillRect(rect(), isChecked() ? QColor(128, 128, 128) : QColor(192, 192, 192));
    else
        painter.drawImage(rect(), picture);
}
