#include "FlatGradient.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

// Tall translucent bars at fractional places, as the spectrum draws them.
QImage draw(QImage::Format format, qreal ratio, const QBrush& brush)
{
    QImage image(QSize(80, 260) * ratio, format);
    image.setDevicePixelRatio(ratio);
    image.fill(QColor(28, 30, 38));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(brush);
    for (const QRectF& bar : {QRectF(3.3, 10.7, 9.45, 240.6), QRectF(20.5, 0.2, 14.0, 259.8),
                              QRectF(41.77, 130.31, 3, 1.2), QRectF(50.1, 33.0, 11.2, 96.0)})
        painter.drawRoundedRect(bar, 1.5, 1.5);
    return image;
}

}  // namespace

TEST(FlatGradient, PaintsWhatTheSolidColourPaints)
{
    for (const QColor& colour : {QColor(140, 150, 170, 41), QColor(124, 92, 255, 140), QColor(255, 255, 255)})
        for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied})
            for (qreal ratio : {1.0, 2.0}) {
                const QImage solid = draw(format, ratio, colour);
                ASSERT_NE(solid, draw(format, ratio, QColor(0, 0, 0, 0))) << "nothing drawn";
                EXPECT_EQ(draw(format, ratio, FlatGradient::brush(colour)), solid)
                    << colour.name(QColor::HexArgb).toStdString() << ", format " << format << ", ratio " << ratio;
            }
}
