// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/Pictures.h"

#include "panel/BevelPainter.h"
#include "panel/PanelColors.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {
// The colours only these pictures use; every other is the panel's own.
constexpr QColor SkyTop(0, 0, 128);           // the banner's gradient, from the top
constexpr QColor SkyBottom(0, 0, 48);         // to the bottom
constexpr QColor Stripes(0, 0, 160);          // the hidden picture's stripes
constexpr QColor UnlitSwitchLamp(96, 0, 0);   // the RF INHIBIT switch's lamp, released
constexpr QColor ConnectedPlug(0, 160, 0);    // the plug pictures' bodies
constexpr QColor DisconnectedPlug(200, 0, 0); // and the slash across the broken one

constexpr QColor Navy = PanelColor::toQColor(PanelColor::Navy);
constexpr QColor Yellow = PanelColor::toQColor(PanelColor::Yellow);

QImage blankImage(int width, int height, const QColor &fill)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

// A small mast radiating waves: the panel's emblem.
void drawMast(QPainter &painter, const QRectF &box, const QColor &color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal cx = box.center().x();
    const qreal top = box.top() + box.height() * 0.25;
    QPen pen(color, qMax<qreal>(1.0, box.width() / 14.0));
    painter.setPen(pen);
    painter.drawLine(QPointF(cx, top), QPointF(box.left() + box.width() * 0.25, box.bottom()));
    painter.drawLine(QPointF(cx, top), QPointF(box.right() - box.width() * 0.25, box.bottom()));
    painter.drawLine(QPointF(cx, top), QPointF(cx, box.bottom()));
    for (int wave = 1; wave <= 2; ++wave) {
        const qreal r = box.width() * 0.16 * wave;
        const QRectF arc(cx - r, top - r, 2 * r, 2 * r);
        painter.drawArc(arc, 30 * 16, 120 * 16);
    }
    painter.restore();
}

QImage ribbonPicture(bool pressed)
{
    QImage image = blankImage(104, 32, PanelColor::toQColor(PanelColor::LightGrey));
    QPainter painter(&image);
    // The bevel leaves the last column and row in the face's grey.
    BevelPainter::draw(painter, image.rect().adjusted(0, 0, -1, -1), 1,
                       pressed ? BevelPainter::Relief::Sunken : BevelPainter::Relief::Raised,
                       PanelColor::White, PanelColor::DarkGrey);
    // The lamp of the switch: lit red while pressed.
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(PanelColor::toQColor(PanelColor::DarkGrey));
    painter.setBrush(pressed ? PanelColor::toQColor(PanelColor::BrightRed) : UnlitSwitchLamp);
    painter.drawEllipse(QRectF(8, 10, 12, 12));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(10);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(24, pressed ? 1 : 0, 78, 32), Qt::AlignCenter,
                     QStringLiteral("RF INHIBIT"));
    return image;
}

QImage plugPicture(bool connected)
{
    QImage image = blankImage(32, 32, Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor body = connected ? ConnectedPlug : DisconnectedPlug;
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(body);
    if (connected) {
        painter.drawRect(QRectF(6, 11, 20, 10));
        painter.drawLine(QPointF(1, 16), QPointF(6, 16));
        painter.drawLine(QPointF(26, 16), QPointF(31, 16));
    } else {
        painter.drawRect(QRectF(2, 11, 10, 10));
        painter.drawRect(QRectF(20, 11, 10, 10));
        painter.setPen(QPen(DisconnectedPlug, 2.5));
        painter.drawLine(QPointF(13, 8), QPointF(19, 24));
    }
    return image;
}
} // namespace

QImage logoPicture()
{
    QImage image = blankImage(709, 236, Navy);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 236);
    sky.setColorAt(0.0, SkyTop);
    sky.setColorAt(1.0, SkyBottom);
    painter.fillRect(image.rect(), sky);
    drawMast(painter, QRectF(20, 20, 190, 196), Yellow);
    QFont title(QStringLiteral("DejaVu Serif"));
    title.setPixelSize(96);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(PanelColor::toQColor(PanelColor::White));
    painter.drawText(QRect(220, 20, 480, 130), Qt::AlignCenter, QStringLiteral("FM TX"));
    QFont subtitle(QStringLiteral("DejaVu Sans"));
    subtitle.setPixelSize(34);
    subtitle.setBold(true);
    painter.setFont(subtitle);
    painter.setPen(Yellow);
    painter.drawText(QRect(220, 150, 480, 60), Qt::AlignCenter, QStringLiteral("FRONT PANEL"));
    return image;
}

QImage hiddenPicture()
{
    QImage image = blankImage(247, 109, Navy);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Stripes, 3));
    for (int x = -109; x < 247; x += 18)
        painter.drawLine(x, 109, x + 109, 0);
    return image;
}

QImage windowIconPicture()
{
    QImage image = blankImage(32, 32, Navy);
    QPainter painter(&image);
    drawMast(painter, QRectF(2, 2, 28, 28), Yellow);
    return image;
}

QImage ribbonReleasedPicture()
{
    return ribbonPicture(false);
}

QImage ribbonPressedPicture()
{
    return ribbonPicture(true);
}

QImage statusIconPicture()
{
    QImage image = blankImage(32, 32, Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(PanelColor::toQColor(PanelColor::Grey));
    painter.drawRoundedRect(QRectF(3, 8, 26, 16), 3, 3);
    painter.setBrush(Yellow);
    for (int pin = 0; pin < 4; ++pin)
        painter.drawEllipse(QRectF(6 + pin * 6, 14, 4, 4));
    return image;
}

QImage connectedPicture()
{
    return plugPicture(true);
}

QImage disconnectedPicture()
{
    return plugPicture(false);
}
