#include "SymbolDrawings.h"

#include <QPainter>
#include <QPolygonF>

#include <array>
#include <cmath>
#include <numbers>

namespace quorel::SymbolDrawings {

void Pen::stroke(const QPainterPath& path, double width) const
{
    QPen p(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.strokePath(path, p);
}

void Pen::fill(const QPainterPath& path) const { painter.fillPath(path, colour); }

void Pen::line(double x1, double y1, double x2, double y2, double width) const
{
    QPainterPath p;
    p.moveTo(x1, y1);
    p.lineTo(x2, y2);
    stroke(p, width);
}

void Pen::circle(double cx, double cy, double r, bool filled, double width) const
{
    QPainterPath p;
    p.addEllipse(QPointF(cx, cy), r, r);
    filled ? fill(p) : stroke(p, width);
}

void Pen::roundedRect(double x, double y, double w, double h, double r, bool filled, double width) const
{
    QPainterPath p;
    p.addRoundedRect(QRectF(x, y, w, h), r, r);
    filled ? fill(p) : stroke(p, width);
}

void Pen::arc(double cx, double cy, double r, double start, double sweep, double width) const
{
    QPainterPath p;
    const QRectF box(cx - r, cy - r, 2 * r, 2 * r);
    p.arcMoveTo(box, start);
    p.arcTo(box, start, sweep);
    stroke(p, width);
}

namespace {

QPainterPath polygon(std::initializer_list<QPointF> points, bool close = true)
{
    QPainterPath p;
    bool first = true;
    for (const QPointF& pt : points) {
        if (first)
            p.moveTo(pt);
        else
            p.lineTo(pt);
        first = false;
    }
    if (close) p.closeSubpath();
    return p;
}

QPainterPath circlePath(double cx, double cy, double r)
{
    QPainterPath p;
    p.addEllipse(QPointF(cx, cy), r, r);
    return p;
}

QPainterPath roundedPath(double x, double y, double w, double h, double r)
{
    QPainterPath p;
    p.addRoundedRect(QRectF(x, y, w, h), r, r);
    return p;
}

// A four-pointed sparkle centred at (cx, cy) with outer radius r.
QPainterPath sparkle(double cx, double cy, double r)
{
    const double k = r * 0.22;
    return polygon({{cx, cy - r},
                    {cx + k, cy - k},
                    {cx + r, cy},
                    {cx + k, cy + k},
                    {cx, cy + r},
                    {cx - k, cy + k},
                    {cx - r, cy},
                    {cx - k, cy - k}});
}

// Speakers: the box and cone, open or filled.
QPainterPath speakerBody(double dx = 0)
{
    return polygon({{2.5 + dx, 9}, {6.5 + dx, 9}, {11.5 + dx, 4.5}, {11.5 + dx, 19.5}, {6.5 + dx, 15}, {2.5 + dx, 15}});
}

void speaker(const Pen& pen, int waves, bool filled, double dx = 0)
{
    if (filled)
        pen.fill(speakerBody(dx));
    else
        pen.stroke(speakerBody(dx), 1.6);
    const double radii[] = {3.6, 6.6, 9.6};
    for (int i = 0; i < waves; ++i) pen.arc(11.5 + dx, 12, radii[i], -45, 90, 1.6);
}

void speakerWave1(const Pen& p) { speaker(p, 1, false, -2); }
void speakerWave2(const Pen& p) { speaker(p, 2, false, -1); }
void speakerWave2Fill(const Pen& p) { speaker(p, 2, true, -1); }
void speakerWave3(const Pen& p) { speaker(p, 3, false); }
void speakerWave3Fill(const Pen& p) { speaker(p, 3, true); }

void speakerSlash(const Pen& p)
{
    p.stroke(speakerBody(1), 1.6);
    p.line(3, 3, 21, 21, 1.6);
}

void hifispeakerShape(const Pen& p, bool filled)
{
    if (filled) {
        QPainterPath body = roundedPath(5.5, 1.5, 13, 21, 2.5);
        body.addPath(circlePath(12, 6.5, 2));
        body.addPath(circlePath(12, 15, 4));
        body.setFillRule(Qt::OddEvenFill);
        p.fill(body);
        p.circle(12, 15, 1.6, true);
    } else {
        p.roundedRect(5.5, 1.5, 13, 21, 2.5, false, 1.6);
        p.circle(12, 6.5, 1.8, false, 1.4);
        p.circle(12, 15, 4, false, 1.4);
        p.circle(12, 15, 1.2, true);
    }
}
void hifispeaker(const Pen& p) { hifispeakerShape(p, false); }
void hifispeakerFill(const Pen& p) { hifispeakerShape(p, true); }

QPainterPath gearPath(double cx, double cy, double outer, double inner, int teeth)
{
    QPainterPath p;
    const int n = teeth * 4;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * std::numbers::pi * (i - 0.5) / n;
        const double r = (i % 4 < 2) ? outer : inner;
        const QPointF pt(cx + r * std::cos(a), cy + r * std::sin(a));
        if (i == 0)
            p.moveTo(pt);
        else
            p.lineTo(pt);
    }
    p.closeSubpath();
    return p;
}

void gearshape(const Pen& p)
{
    p.stroke(gearPath(12, 12, 10, 7.6, 8), 1.5);
    p.circle(12, 12, 3.2, false, 1.5);
}

void gearshapeFill(const Pen& p)
{
    QPainterPath g = gearPath(12, 12, 10.5, 8, 8);
    g.addPath(circlePath(12, 12, 3.4));
    g.setFillRule(Qt::OddEvenFill);
    p.fill(g);
}

void power(const Pen& p)
{
    p.arc(12, 13, 8.5, 125, 290, 2);
    p.line(12, 2.5, 12, 11.5, 2);
}

void globe(const Pen& p)
{
    p.circle(12, 12, 9.5, false, 1.5);
    QPainterPath meridian;
    meridian.addEllipse(QPointF(12, 12), 4.2, 9.5);
    p.stroke(meridian, 1.3);
    p.line(2.5, 12, 21.5, 12, 1.3);
    p.line(4, 7, 20, 7, 1.1);
    p.line(4, 17, 20, 17, 1.1);
}

void arrowCounterclockwise(const Pen& p)
{
    p.arc(12, 12.5, 8, 135, -300, 1.8);
    // Arrow head at the start of the arc (upper left), pointing back along it.
    const double a = 135 * std::numbers::pi / 180;
    const QPointF tip(12 + 8 * std::cos(a), 12.5 - 8 * std::sin(a));
    p.fill(polygon({tip + QPointF(-3.2, -2.4), tip + QPointF(3.4, -1.6), tip + QPointF(-0.6, 3.6)}));
}

void lockBody(const Pen& p, double cx, double top, double scale, bool filledBody = true)
{
    const double w = 9 * scale, h = 7 * scale, r = 1.3 * scale;
    p.arc(cx, top + 3.5 * scale, 3 * scale, 0, 180, 1.5 * std::max(scale, 0.8));
    p.line(cx - 3 * scale, top + 3.5 * scale, cx - 3 * scale, top + 5.5 * scale, 1.5 * std::max(scale, 0.8));
    p.line(cx + 3 * scale, top + 3.5 * scale, cx + 3 * scale, top + 5.5 * scale, 1.5 * std::max(scale, 0.8));
    p.roundedRect(cx - w / 2, top + 5.5 * scale, w, h, r, filledBody, 1.4);
}

void lockCircle(const Pen& p)
{
    p.circle(12, 12, 10, false, 1.6);
    lockBody(p, 12, 5, 0.85);
}

QPainterPath shieldPath()
{
    QPainterPath s;
    s.moveTo(12, 2);
    s.cubicTo(15, 3.8, 17.5, 4.5, 20.5, 4.8);
    s.cubicTo(20.5, 13, 18, 18.5, 12, 22);
    s.cubicTo(6, 18.5, 3.5, 13, 3.5, 4.8);
    s.cubicTo(6.5, 4.5, 9, 3.8, 12, 2);
    s.closeSubpath();
    return s;
}

void lockShield(const Pen& p)
{
    p.stroke(shieldPath(), 1.6);
    lockBody(p, 12, 6.2, 0.75);
}

void shieldLefthalfFilled(const Pen& p)
{
    p.stroke(shieldPath(), 1.6);
    QPainterPath left = shieldPath().intersected(roundedPath(0, 0, 12, 24, 0));
    p.fill(left);
}

void slidersHorizontal(const Pen& p)
{
    const double ys[] = {5, 12, 19};
    const double knobs[] = {15, 8, 13};
    for (int i = 0; i < 3; ++i) {
        p.line(3, ys[i], 21, ys[i], 1.6);
        p.circle(knobs[i], ys[i], 2.6, true);
    }
}

void slidersVertical(const Pen& p)
{
    const double xs[] = {5, 12, 19};
    const double knobs[] = {9, 15, 7};
    for (int i = 0; i < 3; ++i) {
        p.line(xs[i], 3, xs[i], 21, 1.6);
        p.roundedRect(xs[i] - 3, knobs[i] - 1.6, 6, 3.2, 1.2, true);
    }
}

void chevronUpDown(const Pen& p)
{
    p.stroke(polygon({{7, 9.5}, {12, 4.5}, {17, 9.5}}, false), 2);
    p.stroke(polygon({{7, 14.5}, {12, 19.5}, {17, 14.5}}, false), 2);
}

void squareAndArrowDown(const Pen& p)
{
    p.stroke(polygon({{8, 9}, {5, 9}, {5, 21.5}, {19, 21.5}, {19, 9}, {16, 9}}, false), 1.6);
    p.line(12, 2.5, 12, 15, 1.7);
    p.stroke(polygon({{8, 11.5}, {12, 15.5}, {16, 11.5}}, false), 1.7);
}

void waveformBars(const Pen& p, double x0, double x1, double cy, double scale)
{
    const std::array<double, 7> heights{0.3, 0.6, 1.0, 0.7, 0.45, 0.85, 0.35};
    const double dx = (x1 - x0) / 6;
    for (int i = 0; i < 7; ++i) {
        const double h = 9 * heights[size_t(i)] * scale;
        p.line(x0 + i * dx, cy - h, x0 + i * dx, cy + h, 1.8 * std::min(1.0, scale + 0.2));
    }
}

void waveform(const Pen& p) { waveformBars(p, 3, 21, 12, 1.0); }

void waveformPath(const Pen& p)
{
    QPainterPath w;
    w.moveTo(2, 12);
    for (int i = 0; i <= 80; ++i) {
        const double x = 2 + 20.0 * i / 80;
        const double env = std::sin(std::numbers::pi * i / 80);
        w.lineTo(x, 12 - 8.5 * env * std::sin(i * 2 * std::numbers::pi * 3.5 / 80));
    }
    p.stroke(w, 1.6);
}

void waveformPathEcg(const Pen& p)
{
    p.stroke(
        polygon({{1.5, 13}, {6, 13}, {8, 9}, {10, 17}, {12.5, 4}, {15, 20}, {17, 11}, {18.5, 13}, {22.5, 13}}, false),
        1.6);
}

void waveformAndMic(const Pen& p)
{
    waveformBars(p, 2, 10, 12, 0.75);
    p.roundedRect(14.5, 3, 5, 10, 2.5, true);
    p.arc(17, 10.5, 4.5, 180, 180, 1.5);
    p.line(17, 15, 17, 19.5, 1.5);
    p.line(14, 19.5, 20, 19.5, 1.5);
}

void wandAndStars(const Pen& p)
{
    p.line(3.5, 20.5, 14.5, 9.5, 2.2);
    p.line(15.5, 8.5, 17, 7, 2.2);
    p.fill(sparkle(18.5, 14.5, 3.2));
    p.fill(sparkle(9, 5.5, 3));
    p.fill(sparkle(19, 3.5, 2));
}

void rectangleStack(const Pen& p)
{
    p.roundedRect(3, 9, 18, 12, 2.2, false, 1.6);
    p.line(5, 6, 19, 6, 1.6);
    p.line(7.5, 3, 16.5, 3, 1.6);
}

QPainterPath crescent(double cx, double cy, double r)
{
    QPainterPath moon = circlePath(cx, cy, r);
    return moon.subtracted(circlePath(cx + r * 0.55, cy - r * 0.45, r * 0.85));
}

void moonStars(const Pen& p)
{
    p.fill(crescent(10, 13, 8.5));
    p.fill(sparkle(18.5, 5, 3));
    p.fill(sparkle(21, 11, 1.8));
}

void eyeSlash(const Pen& p)
{
    QPainterPath eye;
    eye.moveTo(2, 12);
    eye.cubicTo(6, 5, 18, 5, 22, 12);
    eye.cubicTo(18, 19, 6, 19, 2, 12);
    eye.closeSubpath();
    p.stroke(eye, 1.6);
    p.circle(12, 12, 3, true);
    p.line(4, 3, 20, 21, 1.8);
}

void ellipsisCircle(const Pen& p)
{
    p.circle(12, 12, 10, false, 1.6);
    for (double x : {7.0, 12.0, 17.0}) p.circle(x, 12, 1.5, true);
}

void appBadge(const Pen& p)
{
    p.stroke(polygon({{13, 4}, {6, 4}, {4, 6}, {4, 18}, {6, 20}, {18, 20}, {20, 18}, {20, 11}}, false), 1.6);
    p.circle(19, 5, 3.5, true);
}

void headphones(const Pen& p)
{
    p.arc(12, 13, 8.5, 0, 180, 1.9);
    p.line(3.5, 13, 3.5, 16, 1.9);
    p.line(20.5, 13, 20.5, 16, 1.9);
    p.roundedRect(3, 13.5, 4.5, 8, 1.8, true);
    p.roundedRect(16.5, 13.5, 4.5, 8, 1.8, true);
}

void keyboard(const Pen& p)
{
    p.roundedRect(1.5, 5.5, 21, 13, 2.2, false, 1.5);
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 6; ++col) p.roundedRect(4 + col * 3, 8 + row * 3, 1.8, 1.6, 0.4, true);
    p.line(7.5, 15.5, 16.5, 15.5, 1.6);
}

void link(const Pen& p)
{
    p.painter.save();
    p.painter.translate(12, 12);
    p.painter.rotate(-45);
    p.roundedRect(-10, -3.5, 11, 7, 3.5, false, 1.8);
    p.roundedRect(-1, -3.5, 11, 7, 3.5, false, 1.8);
    p.painter.restore();
}

void minus(const Pen& p) { p.line(5, 12, 19, 12, 2.2); }

void plus(const Pen& p)
{
    p.line(5, 12, 19, 12, 2.2);
    p.line(12, 5, 12, 19, 2.2);
}

void trash(const Pen& p)
{
    p.line(3.5, 5.5, 20.5, 5.5, 1.6);
    p.stroke(polygon({{9, 5.5}, {9.5, 3}, {14.5, 3}, {15, 5.5}}, false), 1.5);
    p.stroke(polygon({{5.5, 5.5}, {6.8, 21}, {17.2, 21}, {18.5, 5.5}}, false), 1.6);
    p.line(10, 9, 10.3, 17.5, 1.3);
    p.line(14, 9, 13.7, 17.5, 1.3);
}

void laptopcomputer(const Pen& p)
{
    p.roundedRect(4, 4.5, 16, 11.5, 1.5, false, 1.6);
    p.stroke(polygon({{1.5, 18}, {22.5, 18}, {21.5, 19.8}, {2.5, 19.8}}), 1.2);
}

void macbook(const Pen& p)
{
    // The same laptop, thinner bezel, the notch at the top of the screen.
    p.roundedRect(3.5, 4, 17, 12, 1.2, false, 1.4);
    p.roundedRect(10.5, 4, 3, 1.4, 0.5, true);
    p.roundedRect(1, 17.8, 22, 2, 1, true);
}

void earbud(const Pen& p, double cx, bool mirrored, bool stem)
{
    const double s = mirrored ? -1 : 1;
    p.circle(cx, 8, 4, true);
    if (stem) {
        p.line(cx + s * 1.6, 10, cx + s * 2.2, 20, 2.6);
    } else {
        QPainterPath cable;
        cable.moveTo(cx, 12);
        cable.cubicTo(cx, 16, 12, 17, 12, 22);
        p.stroke(cable, 1.3);
    }
}

void airpodspro(const Pen& p)
{
    earbud(p, 7, true, true);
    earbud(p, 17, false, true);
    p.circle(5.2, 7.2, 1.3, true);
}

void earbuds(const Pen& p)
{
    earbud(p, 7, true, false);
    earbud(p, 17, false, false);
}

void ear(const Pen& p)
{
    QPainterPath e;
    e.moveTo(7, 10);
    e.cubicTo(7, 4.5, 11, 2, 13.5, 2);
    e.cubicTo(17.5, 2, 19.5, 5.5, 19.5, 9);
    e.cubicTo(19.5, 13, 15.5, 14, 15, 17.5);
    e.cubicTo(14.5, 21, 12.5, 22, 10.5, 22);
    e.cubicTo(8.5, 22, 7.5, 20.5, 7.5, 19.5);
    p.stroke(e, 1.7);
    QPainterPath inner;
    inner.moveTo(10.5, 10);
    inner.cubicTo(10.5, 7, 12, 5.5, 13.5, 5.5);
    inner.cubicTo(15.5, 5.5, 16.5, 7.5, 16, 9.5);
    p.stroke(inner, 1.4);
}

void circleDashed(const Pen& p)
{
    for (int i = 0; i < 12; ++i) p.arc(12, 12, 9.5, i * 30 + 6, 18, 1.7);
}

void figureWalk(const Pen& p)
{
    p.circle(13.5, 3.5, 2.2, true);
    p.stroke(polygon({{13, 7}, {11.5, 14}}, false), 2.6);
    p.stroke(polygon({{11.5, 14}, {14, 17.5}, {14, 22}}, false), 2.1);
    p.stroke(polygon({{11.5, 14}, {9.5, 18}, {6.5, 21.5}}, false), 2.1);
    p.stroke(polygon({{12.5, 8}, {9, 10}, {7.5, 13}}, false), 1.8);
    p.stroke(polygon({{12.8, 8.5}, {15, 11}, {17.5, 12}}, false), 1.8);
}

void film(const Pen& p)
{
    QPainterPath strip = roundedPath(4, 2, 16, 20, 2);
    for (int i = 0; i < 5; ++i) {
        strip.addRect(QRectF(5.2, 3.6 + i * 3.6, 1.8, 2));
        strip.addRect(QRectF(17, 3.6 + i * 3.6, 1.8, 2));
    }
    strip.addRect(QRectF(8.6, 3.5, 6.8, 7.6));
    strip.addRect(QRectF(8.6, 12.9, 6.8, 7.6));
    strip.setFillRule(Qt::OddEvenFill);
    p.fill(strip);
}

void gamecontroller(const Pen& p)
{
    QPainterPath body;
    body.moveTo(7, 6.5);
    body.lineTo(17, 6.5);
    body.cubicTo(21, 6.5, 22.5, 12, 23, 16);
    body.cubicTo(23.4, 19.5, 20, 20.5, 18, 17.5);
    body.lineTo(16.5, 15.5);
    body.lineTo(7.5, 15.5);
    body.lineTo(6, 17.5);
    body.cubicTo(4, 20.5, 0.6, 19.5, 1, 16);
    body.cubicTo(1.5, 12, 3, 6.5, 7, 6.5);
    body.closeSubpath();
    body.addRect(QRectF(5.2, 10.2, 4.6, 1.6));
    body.addRect(QRectF(6.7, 8.7, 1.6, 4.6));
    body.addEllipse(QPointF(16.5, 9.6), 1, 1);
    body.addEllipse(QPointF(18.5, 11.8), 1, 1);
    body.setFillRule(Qt::OddEvenFill);
    p.fill(body);
}

void guitars(const Pen& p)
{
    // A guitar across the box: the waisted body at the lower left with its sound hole, the neck
    // and head towards the upper right, and a second neck behind it.
    p.line(5.5, 4.5, 12, 11, 1.5);
    p.roundedRect(3, 2, 3.6, 3.6, 1, true);
    QPainterPath body = circlePath(8.2, 15.8, 5.4).united(circlePath(11.6, 12.4, 4));
    body.addPath(circlePath(9.6, 14.4, 1.7));
    body.setFillRule(Qt::OddEvenFill);
    p.fill(body);
    p.line(13, 11, 19.6, 4.4, 2);
    p.painter.save();
    p.painter.translate(20.4, 3.6);
    p.painter.rotate(45);
    p.roundedRect(-1.6, -2.6, 3.2, 5.2, 1, true);
    p.painter.restore();
}

void noteHead(const Pen& p, double x, double y, double r)
{
    p.painter.save();
    p.painter.translate(x, y);
    p.painter.rotate(-20);
    QPainterPath head;
    head.addEllipse(QPointF(0, 0), r * 1.3, r);
    p.fill(head);
    p.painter.restore();
}

void musicNote(const Pen& p)
{
    noteHead(p, 8.5, 18.5, 3.2);
    p.line(11.8, 18, 11.8, 3, 1.8);
    QPainterPath flag;
    flag.moveTo(11.8, 3);
    flag.cubicTo(14, 6.5, 18.5, 7, 17.5, 12.5);
    p.stroke(flag, 1.8);
}

void musicQuarternote3(const Pen& p)
{
    const double xs[] = {4.5, 11.5, 18.5};
    const double ys[] = {18.5, 16.5, 19};
    for (int i = 0; i < 3; ++i) {
        noteHead(p, xs[i], ys[i], 2.2);
        p.line(xs[i] + 2.4, ys[i] - 0.5, xs[i] + 2.4, 4 + i * 1.5 - (i == 2 ? 2.0 : 0.0), 1.5);
    }
}

void pianokeys(const Pen& p)
{
    p.roundedRect(2, 4, 20, 16, 1.8, false, 1.5);
    for (double x : {7.0, 12.0, 17.0}) p.line(x, 12, x, 20, 1.2);
    for (double x : {7.0, 12.0, 17.0}) p.roundedRect(x - 1.5, 4, 3, 8.5, 0.6, true);
}

void sparkles(const Pen& p)
{
    p.fill(sparkle(10, 13, 8));
    p.fill(sparkle(19, 5, 3.5));
    p.fill(sparkle(19.5, 19, 2.5));
}

void sunRays(const Pen& p, double core, double inner, double outer, bool dots)
{
    p.circle(12, 12, core, true);
    for (int i = 0; i < 8; ++i) {
        const double a = i * std::numbers::pi / 4;
        const double c = std::cos(a), s = std::sin(a);
        if (dots)
            p.circle(12 + c * inner, 12 + s * inner, 1.3, true);
        else
            p.line(12 + c * inner, 12 + s * inner, 12 + c * outer, 12 + s * outer, 1.8);
    }
}

void sunMax(const Pen& p) { sunRays(p, 4.5, 7.5, 10.8, false); }
void sunMin(const Pen& p) { sunRays(p, 3.6, 7.2, 7.2, true); }

void video(const Pen& p)
{
    p.roundedRect(1.5, 6, 14.5, 12, 2.5, true);
    p.fill(polygon({{17, 10.5}, {22.5, 7}, {22.5, 17}, {17, 13.5}}));
}

void personCropSquare(const Pen& p)
{
    p.roundedRect(2.5, 2.5, 19, 19, 4, false, 1.6);
    p.circle(12, 9.5, 3.6, true);
    QPainterPath shoulders;
    shoulders.moveTo(5.5, 21.5);
    shoulders.cubicTo(6, 16, 9, 14.8, 12, 14.8);
    shoulders.cubicTo(15, 14.8, 18, 16, 18.5, 21.5);
    shoulders.closeSubpath();
    p.fill(shoulders);
}

constexpr std::array<Drawing, 54> drawings{{
    {"airpodspro", airpodspro},
    {"app.badge", appBadge},
    {"arrow.counterclockwise", arrowCounterclockwise},
    {"chevron.up.chevron.down", chevronUpDown},
    {"circle.dashed", circleDashed},
    {"ear", ear},
    {"earbuds", earbuds},
    {"ellipsis.circle", ellipsisCircle},
    {"eye.slash", eyeSlash},
    {"figure.walk", figureWalk},
    {"film", film},
    {"gamecontroller", gamecontroller},
    {"gearshape", gearshape},
    {"gearshape.fill", gearshapeFill},
    {"globe", globe},
    {"guitars", guitars},
    {"headphones", headphones},
    {"hifispeaker", hifispeaker},
    {"hifispeaker.fill", hifispeakerFill},
    {"keyboard", keyboard},
    {"laptopcomputer", laptopcomputer},
    {"link", link},
    {"lock.circle", lockCircle},
    {"lock.shield", lockShield},
    {"macbook", macbook},
    {"minus", minus},
    {"moon.stars", moonStars},
    {"music.note", musicNote},
    {"music.quarternote.3", musicQuarternote3},
    {"person.crop.square", personCropSquare},
    {"pianokeys", pianokeys},
    {"plus", plus},
    {"power", power},
    {"rectangle.stack", rectangleStack},
    {"shield.lefthalf.filled", shieldLefthalfFilled},
    {"slider.horizontal.3", slidersHorizontal},
    {"slider.vertical.3", slidersVertical},
    {"sparkles", sparkles},
    {"speaker.slash", speakerSlash},
    {"speaker.wave.1", speakerWave1},
    {"speaker.wave.2", speakerWave2},
    {"speaker.wave.2.fill", speakerWave2Fill},
    {"speaker.wave.3", speakerWave3},
    {"speaker.wave.3.fill", speakerWave3Fill},
    {"square.and.arrow.down", squareAndArrowDown},
    {"sun.max", sunMax},
    {"sun.min", sunMin},
    {"trash", trash},
    {"video", video},
    {"wand.and.stars", wandAndStars},
    {"waveform", waveform},
    {"waveform.and.mic", waveformAndMic},
    {"waveform.path", waveformPath},
    {"waveform.path.ecg", waveformPathEcg},
}};

}  // namespace

std::span<const Drawing> table() { return drawings; }

const Drawing* find(const QString& name)
{
    for (const auto& d : table())
        if (name == QLatin1String(d.name)) return &d;
    return nullptr;
}

void fallback(const Pen& pen)
{
    QPen dashed(pen.colour, 1.6, Qt::DashLine, Qt::RoundCap, Qt::RoundJoin);
    dashed.setDashPattern({2.0, 1.6});
    QPainterPath square;
    square.addRoundedRect(QRectF(3, 3, 18, 18), 4, 4);
    pen.painter.strokePath(square, dashed);
    pen.circle(12, 12, 2.2, true);
}

}  // namespace quorel::SymbolDrawings
