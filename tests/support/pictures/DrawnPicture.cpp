#include "DrawnPicture.h"

#include "StudioPanel.h"

#include <QLabel>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

namespace quorel::test {

namespace {

// The design's colours, written out here rather than read from Studio, so that a change of the
// palette shows as a failure.
const QColor windowBackground(12, 13, 18);
const QColor cardFill(22, 23, 31);

bool near(QRgb pixel, const QColor& colour, int tolerance)
{
    return std::abs(qRed(pixel) - colour.red()) <= tolerance && std::abs(qGreen(pixel) - colour.green()) <= tolerance
           && std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

// The part of `widget` that `root`'s picture shows (clipped by scrolling parents), in pixels of
// `image`.
QRect areaOf(const QWidget* widget, const QWidget* root, const QImage& image)
{
    const double scale = root->width() > 0 ? double(image.width()) / root->width() : 1.0;
    QRect own = widget->rect();
    for (const QWidget* ancestor = widget->parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        own &= QRect(widget->mapFrom(ancestor, QPoint(0, 0)), ancestor->size());
        if (ancestor == root) break;
    }
    const QRect logical(widget->mapTo(root, own.topLeft()), own.size());
    return QRect(int(logical.x() * scale), int(logical.y() * scale), int(logical.width() * scale),
                 int(logical.height() * scale))
        .intersected(image.rect());
}

// Whether `widget` is part of `root`'s picture: not hidden, not a window of its own (a menu).
bool shown(const QWidget* widget, const QWidget* root)
{
    for (const QWidget* w = widget; w && w != root; w = w->parentWidget())
        if (w->isHidden() || w->isWindow()) return false;
    return !widget->size().isEmpty();
}

std::string where(const QString& name, const QWidget* widget)
{
    return (name + ": " + widget->metaObject()->className() + " '" + widget->objectName() + "'").toStdString();
}

}  // namespace

Dominant dominantColour(const QImage& image, const QRect& area)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    std::unordered_map<QRgb, int> counts;
    const QRect inside = area.intersected(rgb.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) ++counts[rgb.pixel(x, y) | 0xff000000u];
    const auto most = std::max_element(counts.begin(), counts.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    if (most == counts.end()) return {};
    return {QColor::fromRgb(most->first), double(most->second) / (double(inside.width()) * inside.height())};
}

int pixelsNear(const QImage& image, const QRect& area, const QColor& colour, int tolerance)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const QRect inside = area.intersected(rgb.rect());
    int count = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) count += near(rgb.pixel(x, y), colour, tolerance);
    return count;
}

void expectDrawn(const QWidget* root, const QImage& image, const QString& name)
{
    ASSERT_FALSE(image.isNull()) << name.toStdString();
    const double scale = root->width() > 0 ? double(image.width()) / root->width() : 1.0;

    // The picture is on the window background or is itself a card.
    const Dominant whole = dominantColour(image, image.rect());
    EXPECT_TRUE(near(whole.colour.rgb(), windowBackground, 2) || near(whole.colour.rgb(), cardFill, 2))
        << name.toStdString() << ": mostly " << whole.colour.name().toStdString();

    // Each card filled in the card colour: its inside (clear of the rounded corners) is mostly it.
    QList<const StudioPanel*> cards;
    if (auto* card = qobject_cast<const StudioPanel*>(root)) cards.append(card);
    for (const StudioPanel* card : root->findChildren<StudioPanel*>()) cards.append(card);
    for (const StudioPanel* card : cards) {
        if (!shown(card, root)) continue;
        const int inset = int(12 * scale);
        const QRect inside = areaOf(card, root, image).adjusted(inset, inset, -inset, -inset);
        if (inside.isEmpty()) continue;
        const Dominant fill = dominantColour(image, inside);
        EXPECT_TRUE(near(fill.colour.rgb(), cardFill, 2))
            << where(name, card) << " filled with " << fill.colour.name().toStdString();
        EXPECT_GT(fill.share, 0.3) << where(name, card);
    }

    // Each label with text has ink on its ground. A label that scrolling cuts to less than half
    // its height or width is not judged: its part in view may be the blank above or below its text.
    for (const QLabel* label : root->findChildren<QLabel*>()) {
        if (!shown(label, root) || label->text().trimmed().isEmpty()) continue;
        const QRect area = areaOf(label, root, image);
        if (2 * area.height() < int(label->height() * scale) || 2 * area.width() < int(label->width() * scale))
            continue;
        const QColor ground = dominantColour(image, area).colour;
        const int plain = pixelsNear(image, area, ground, 40);
        EXPECT_GE(area.width() * area.height() - plain, int(3 * scale * scale))
            << where(name, label) << " '" << label->text().toStdString() << "' shows no text";
    }
}

}  // namespace quorel::test
