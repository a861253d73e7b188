#include "BandedFill.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

// Tall bars at fractional places, as the spectrum draws them, once as one fill and once in
// bands, on the window's two image formats and at pixel ratios 1 and 2.
QImage draw(QImage::Format format, qreal ratio, bool banded)
{
    QImage image(QSize(120, 260) * ratio, format);
    image.setDevicePixelRatio(ratio);
    image.fill(QColor(28, 30, 38));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF bars[] = {{3.3, 10.7, 9.45, 240.6}, {20.5, 0.2, 14.0, 259.8}, {41.77, 130.31, 3, 1.2},
                           {50.1, 33.0, 11.2, 96.0}};
    for (const QRectF& bar : bars) {
        painter.setBrush(QColor(140, 150, 170, 41));
        banded ? BandedFill::drawRoundedRect(painter, bar, 1.5) : painter.drawRoundedRect(bar, 1.5, 1.5);
        QLinearGradient fill(0, bar.top(), 0, bar.bottom());
        fill.setColorAt(0, QColor(124, 92, 255, 140));
        fill.setColorAt(1, QColor(124, 92, 255, 46));
        painter.setBrush(fill);
        const QRectF beside = bar.translated(62, 0);
        banded ? BandedFill::drawRoundedRect(painter, beside, 1.5) : painter.drawRoundedRect(beside, 1.5, 1.5);
    }
    return image;
}

}  // namespace

TEST(BandedFill, DrawsTheSamePixelsAsOneFill)
{
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied})
        for (qreal ratio : {1.0, 2.0}) {
            const QImage whole = draw(format, ratio, false);
            const QImage banded = draw(format, ratio, true);
            EXPECT_EQ(whole, banded) << "format " << format << ", ratio " << ratio;
        }
}

TEST(BandedFill, LeavesThePainterUnclipped)
{
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setBrush(Qt::white);
    BandedFill::drawRoundedRect(painter, QRectF(2, 2, 5, 30), 1.5);
    EXPECT_FALSE(painter.hasClipping());
    painter.fillRect(QRect(30, 30, 5, 5), Qt::red);
    painter.end();
    EXPECT_EQ(image.pixelColor(32, 32), QColor(Qt::red));
}
