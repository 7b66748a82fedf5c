// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The drawing and layout helpers the front panel is built with, against the
// hand-written code they replaced.
#include "panel/BevelPainter.h"
#include "panel/PanelColors.h"
#include "panel/Twips.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {
// The bevel as the panels, keys and status bar each drew it by hand.
void handDrawnBevel(QPainter &painter, QRect r, int width, bool raised, int highlight, int shadow)
{
    const QColor topLeft = PanelColor::toQColor(raised ? highlight : shadow);
    const QColor bottomRight = PanelColor::toQColor(raised ? shadow : highlight);
    for (int i = 0; i < width && r.width() > 1 && r.height() > 1; ++i) {
        painter.setPen(topLeft);
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(bottomRight);
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
        r.adjust(1, 1, -1, -1);
    }
}

QImage face()
{
    QImage image(48, 40, QImage::Format_RGB32);
    image.fill(PanelColor::toQColor(PanelColor::LightGrey));
    return image;
}
} // namespace

class FrontPanelHelpersTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void bevelAsDrawnByHand_data();
    void bevelAsDrawnByHand();
    void twipsToNearestPixel();
};

void FrontPanelHelpersTest::bevelAsDrawnByHand_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("shadow");
    // The panels' widths, the keys' and the status bar's, and frames too small for them.
    for (const int width : {1, 3, 5, 8}) {
        for (const int shadow : {PanelColor::Grey, PanelColor::DarkGrey}) {
            QTest::addRow("%d rings, shadow %06x", width, shadow)
                << QRect(2, 3, 41, 33) << width << shadow;
            QTest::addRow("%d rings in 6 x 9, shadow %06x", width, shadow)
                << QRect(5, 4, 6, 9) << width << shadow;
        }
    }
}

void FrontPanelHelpersTest::bevelAsDrawnByHand()
{
    QFETCH(QRect, frame);
    QFETCH(int, width);
    QFETCH(int, shadow);
    for (const bool raised : {true, false}) {
        QImage expected = face();
        QImage drawn = face();
        {
            QPainter byHand(&expected);
            handDrawnBevel(byHand, frame, width, raised, PanelColor::White, shadow);
            QPainter painter(&drawn);
            BevelPainter::draw(painter, frame, width,
                               raised ? BevelPainter::Relief::Raised : BevelPainter::Relief::Sunken,
                               PanelColor::White, shadow);
        }
        QCOMPARE(drawn, expected);
    }
}

void FrontPanelHelpersTest::twipsToNearestPixel()
{
    for (int twips = -3000; twips <= 12000; ++twips)
        QCOMPARE(Twips::toPixels(twips), qRound(twips / 15.0));
    QCOMPARE(Twips::toPixels(360, 1320, 1665, 675), QRect(24, 88, 111, 45));
}

QTEST_MAIN(FrontPanelHelpersTest)
#include "tst_frontpanelhelpers.moc"
