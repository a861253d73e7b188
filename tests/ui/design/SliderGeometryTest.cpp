#include "SliderGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quorel;

namespace {
const QRectF horizontalBar(0, 0, 204, 20);  // track 200 wide
const QRectF verticalBar(0, 0, 40, 210);    // track 200 high
}  // namespace

TEST(SliderGeometry, HorizontalFillStartsAtTheLeftEdgeAndCoversHalf)
{
    const auto b = SliderGeometry::bar(horizontalBar, 6, 0, 12, false, false, false);
    EXPECT_EQ(b.track, QRectF(2, 7.5, 200, 5));
    EXPECT_DOUBLE_EQ(b.fill.left(), b.track.left());
    EXPECT_DOUBLE_EQ(b.fill.width(), 100);
    EXPECT_EQ(b.markCount, 0);
}

TEST(SliderGeometry, BipolarVerticalFaderFillsFromTheMiddle)
{
    const QRectF track(18, 5, 4, 200);
    auto at = [](double v) { return SliderGeometry::bar(verticalBar, v, -12, 12, true, true, false); };
    EXPECT_EQ(at(0).track, track);
    EXPECT_DOUBLE_EQ(at(0).fill.height(), 0);
    // 6: from the middle up a quarter (y grows downwards).
    EXPECT_DOUBLE_EQ(at(6).fill.bottom(), 105);
    EXPECT_DOUBLE_EQ(at(6).fill.top(), 55);
    // -6: from the middle down a quarter.
    EXPECT_DOUBLE_EQ(at(-6).fill.top(), 105);
    EXPECT_DOUBLE_EQ(at(-6).fill.bottom(), 155);
    // At the lower bound: from the bottom to the middle.
    EXPECT_DOUBLE_EQ(at(-12).fill.top(), 105);
    EXPECT_DOUBLE_EQ(at(-12).fill.bottom(), 205);
}

TEST(SliderGeometry, UnflippedSpacePutsHigherValuesHigherToo)
{
    // y grows upwards: 6 of -12...12 lies above the middle, so its fill starts at the middle.
    const auto b = SliderGeometry::bar(verticalBar, 6, -12, 12, true, true, false, false);
    EXPECT_DOUBLE_EQ(b.fill.top(), 105);
    EXPECT_DOUBLE_EQ(b.fill.bottom(), 155);
}

TEST(SliderGeometry, ZeroWidthRangeStaysFinite)
{
    for (bool bipolar : {false, true}) {
        const auto b = SliderGeometry::bar(horizontalBar, 5, 5, 5, false, bipolar, false);
        EXPECT_TRUE(std::isfinite(b.fraction));
        EXPECT_TRUE(std::isfinite(b.zeroFraction));
        EXPECT_TRUE(std::isfinite(b.fill.left()) && std::isfinite(b.fill.width()));
        EXPECT_TRUE(b.track.contains(b.fill) || b.fill.width() == 0);
    }
}

TEST(SliderGeometry, BipolarFillStaysInTheTrackWhenZeroIsOutOfRange)
{
    for (double lo : {2.0, -20.0}) {
        const double hi = lo + 8;
        for (double v : {lo, lo + 4, hi}) {
            const auto b = SliderGeometry::bar(horizontalBar, v, lo, hi, false, true, false);
            EXPECT_GE(b.fill.left(), b.track.left() - 1e-9) << lo << " " << v;
            EXPECT_LE(b.fill.right(), b.track.right() + 1e-9) << lo << " " << v;
        }
    }
}

TEST(SliderGeometry, ValuesOutOfRangeAreDrawnClamped)
{
    const auto over = SliderGeometry::bar(horizontalBar, 40, 0, 12, false, false, false);
    EXPECT_DOUBLE_EQ(over.fill.width(), over.track.width());
    const auto nan = SliderGeometry::bar(horizontalBar, std::nan(""), 0, 12, false, false, false);
    EXPECT_DOUBLE_EQ(nan.fill.width(), 0);
}

TEST(SliderGeometry, ScaleMarksOfNormalAndCompactFaders)
{
    const auto normal = SliderGeometry::bar(verticalBar, 0, -12, 12, true, true, false);
    ASSERT_EQ(normal.markCount, 9);
    const QRectF t = normal.track;
    for (int i = 0; i < 9; ++i) {
        const auto& m = normal.marks[size_t(i)];
        EXPECT_DOUBLE_EQ(m.left.y1(), t.top() + t.height() * i * 0.125);
        EXPECT_DOUBLE_EQ(m.left.x1(), t.left() - 10);
        EXPECT_DOUBLE_EQ(m.left.x2(), t.left() - 5);
        EXPECT_DOUBLE_EQ(m.right.x1(), t.right() + 5);
        EXPECT_DOUBLE_EQ(m.right.x2(), t.right() + 10);
        EXPECT_DOUBLE_EQ(m.alpha, i == 4 ? 0.25 : 0.07);
    }
    const auto compact = SliderGeometry::bar(verticalBar, 0, -12, 12, true, true, true);
    EXPECT_DOUBLE_EQ(compact.marks[0].left.x1(), t.left() - 5);
    EXPECT_DOUBLE_EQ(compact.marks[0].left.x2(), t.left() - 2);
    EXPECT_DOUBLE_EQ(compact.marks[0].right.x1(), t.right() + 2);
    EXPECT_DOUBLE_EQ(compact.marks[0].right.x2(), t.right() + 5);
}

TEST(SliderGeometry, Knobs)
{
    const QRectF k(40, 10, 20, 30);  // centre (50, 25)
    const auto round = SliderGeometry::knob(k, false, true);
    EXPECT_EQ(round.shape, QRectF(43, 18, 14, 14));
    EXPECT_EQ(round.radius, 7);
    EXPECT_FALSE(round.hasAccentLine);
    const auto cap = SliderGeometry::knob(k, true, false);
    EXPECT_EQ(cap.shape, QRectF(38, 19.5, 24, 11));
    EXPECT_EQ(cap.radius, 3);
    ASSERT_TRUE(cap.hasAccentLine);
    EXPECT_DOUBLE_EQ(cap.accentLine.left(), 42);
    EXPECT_DOUBLE_EQ(cap.accentLine.width(), 16);
    EXPECT_DOUBLE_EQ(cap.accentLine.height(), 1.4);
    EXPECT_DOUBLE_EQ(cap.accentLine.center().y(), 25);
    EXPECT_DOUBLE_EQ(SliderGeometry::knob(k, true, true).shape.width(), 16);
}

TEST(SliderGeometry, DisabledColours)
{
    EXPECT_NEAR(SliderGeometry::fillColour(false, false).alphaF(), 0.2, 1e-3);
    EXPECT_NEAR(SliderGeometry::fillColour(true, true).alphaF(), 0.95, 1e-3);
    EXPECT_EQ(SliderGeometry::fillColour(true, true).rgb(), SliderGeometry::accent(true).rgb());
    EXPECT_NE(SliderGeometry::accent(true).rgb(), SliderGeometry::accent(false).rgb());
    EXPECT_LT(SliderGeometry::knobBase(false).lightnessF(), SliderGeometry::knobBase(true).lightnessF());
}
