#pragma once

#include <QColor>
#include <QPainterPath>
#include <QString>

#include <span>

class QPainter;

namespace quorel::SymbolDrawings {

// Drawing helpers on a 24 x 24 grid: strokes of 1.8 with round caps, fills, in one colour.
struct Pen {
    QPainter& painter;
    QColor colour;

    void stroke(const QPainterPath& path, double width = 1.8) const;
    void fill(const QPainterPath& path) const;
    void line(double x1, double y1, double x2, double y2, double width = 1.8) const;
    void circle(double cx, double cy, double r, bool filled = false, double width = 1.8) const;
    void roundedRect(double x, double y, double w, double h, double r, bool filled = false, double width = 1.8) const;
    // An arc of a circle; angles in degrees counter-clockwise from 3 o'clock.
    void arc(double cx, double cy, double r, double start, double sweep, double width = 1.8) const;
};

struct Drawing {
    const char* name;
    void (*draw)(const Pen&);
};

std::span<const Drawing> table();
const Drawing* find(const QString& name);
void fallback(const Pen& pen);

}  // namespace quorel::SymbolDrawings
