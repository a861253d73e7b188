#include "ImageEffects.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace quorel::ImageEffects {

namespace {

// One box pass of half-width r over a w x h alpha plane, along rows or columns.
void boxPass(std::vector<float>& plane, std::vector<float>& scratch, int w, int h, int r, bool rows)
{
    const int lines = rows ? h : w;
    const int length = rows ? w : h;
    const float norm = 1.0f / float(2 * r + 1);
    for (int line = 0; line < lines; ++line) {
        auto at = [&](int i) -> float& { return rows ? plane[size_t(line) * w + i] : plane[size_t(i) * w + line]; };
        float sum = 0;
        for (int i = -r; i <= r; ++i) sum += (i >= 0 && i < length) ? at(i) : 0.0f;
        for (int i = 0; i < length; ++i) {
            scratch[size_t(i)] = sum * norm;
            const int out = i - r, in = i + r + 1;
            if (out >= 0) sum -= at(out);
            if (in < length) sum += at(in);
        }
        for (int i = 0; i < length; ++i) at(i) = scratch[size_t(i)];
    }
}

}  // namespace

QImage shadow(const QImage& image, const QColor& colour, double blur, QPointF offset)
{
    const QImage src = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = src.width(), h = src.height();
    std::vector<float> alpha(size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        for (int x = 0; x < w; ++x) alpha[size_t(y) * w + x] = float(qAlpha(line[x]));
    }
    // Three box passes of width ~ sigma approximate a Gaussian; the blur radius is ~ 2 sigma.
    const int r = std::max(0, int(std::lround(blur / 2.0)));
    if (r > 0) {
        std::vector<float> scratch(size_t(std::max(w, h)));
        for (int pass = 0; pass < 3; ++pass) {
            boxPass(alpha, scratch, w, h, r, true);
            boxPass(alpha, scratch, w, h, r, false);
        }
    }
    QImage tinted(w, h, QImage::Format_ARGB32_Premultiplied);
    tinted.fill(Qt::transparent);
    const double a0 = colour.alphaF();
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(tinted.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const double a = std::clamp(alpha[size_t(y) * w + x] / 255.0 * a0, 0.0, 1.0);
            line[x] = qRgba(int(colour.red() * a + 0.5), int(colour.green() * a + 0.5), int(colour.blue() * a + 0.5),
                            int(a * 255 + 0.5));
        }
    }
    if (offset.isNull()) return tinted;
    QImage moved(w, h, QImage::Format_ARGB32_Premultiplied);
    moved.fill(Qt::transparent);
    QPainter p(&moved);
    p.drawImage(offset, tinted);
    return moved;
}

}  // namespace quorel::ImageEffects
