#include "Symbols.h"

#include "BuiltInPresets.h"
#include "HeadphoneProfile.h"
#include "SoundPreset.h"

#include <QImage>
#include <QPainter>
#include <QSet>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

// The symbol names the interface uses: sidebar rows, headings, buttons, bullets, device and
// headphone symbols, the panel and page symbols.
const QStringList interfaceSymbols{
    "airpodspro",
    "app.badge",
    "arrow.counterclockwise",
    "chevron.up.chevron.down",
    "ellipsis.circle",
    "eye.slash",
    "gearshape",
    "gearshape.fill",
    "globe",
    "headphones",
    "hifispeaker",
    "hifispeaker.fill",
    "keyboard",
    "laptopcomputer",
    "link",
    "lock.circle",
    "lock.shield",
    "macbook",
    "minus",
    "moon.stars",
    "plus",
    "power",
    "rectangle.stack",
    "shield.lefthalf.filled",
    "slider.horizontal.3",
    "slider.vertical.3",
    "speaker.slash",
    "speaker.wave.1",
    "speaker.wave.2",
    "speaker.wave.2.fill",
    "speaker.wave.3",
    "speaker.wave.3.fill",
    "square.and.arrow.down",
    "trash",
    "wand.and.stars",
    "waveform",
    "waveform.path",
};

QStringList usedNames()
{
    QStringList names = interfaceSymbols;
    for (const SoundPreset& preset : BuiltInPresets::all()) names << preset.symbol;
    names << QString::fromLatin1(SoundPreset::customSymbol);
    for (const char* form : {"over-ear", "in-ear", ""}) {
        HeadphoneProfile profile;
        profile.form = QString::fromLatin1(form);
        names << profile.symbol();
    }
    names.removeDuplicates();
    return names;
}

QImage render(const QString& name)
{
    QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Symbols::draw(painter, name, QRectF(0, 0, 48, 48), Qt::white);
    return image;
}

int paintedPixels(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += qAlpha(image.pixel(x, y)) > 40;
    return n;
}

}  // namespace

TEST(Symbols, EveryUsedNameHasADrawingOfItsOwn)
{
    const QImage fallback = render("no.such.symbol");
    QHash<QByteArray, QString> seen;
    for (const QString& name : usedNames()) {
        EXPECT_TRUE(Symbols::has(name)) << qPrintable(name);
        const QImage image = render(name);
        EXPECT_GT(paintedPixels(image), 30) << qPrintable(name);
        EXPECT_NE(image, fallback) << qPrintable(name);
        const QByteArray key(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
        EXPECT_FALSE(seen.contains(key)) << qPrintable(name) << " draws like " << qPrintable(seen.value(key));
        seen.insert(key, name);
    }
}

TEST(Symbols, EveryDrawingStaysInsideItsBox)
{
    for (const QString& name : Symbols::names()) {
        QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        Symbols::draw(painter, name, QRectF(8, 8, 48, 48), Qt::white);
        painter.end();
        int outside = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                if ((x < 7 || x > 56 || y < 7 || y > 56) && qAlpha(image.pixel(x, y)) > 0) ++outside;
        EXPECT_EQ(outside, 0) << qPrintable(name);
    }
}

TEST(Symbols, UnknownNamesDrawTheNeutralFallback)
{
    EXPECT_FALSE(Symbols::has("no.such.symbol"));
    EXPECT_GT(paintedPixels(render("no.such.symbol")), 30);
    EXPECT_EQ(render("no.such.symbol"), render(""));
}

TEST(Symbols, DrawInTheGivenColourAndPixelRatio)
{
    const QPixmap pm = Symbols::pixmap("power", 13, QColor(255, 0, 0), 2);
    EXPECT_EQ(pm.size(), QSize(26, 26));
    EXPECT_EQ(pm.devicePixelRatio(), 2);
    const QImage image = pm.toImage();
    bool sawRed = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 200) {
                EXPECT_GT(c.red(), 200);
                EXPECT_LT(c.green(), 30);
                sawRed = true;
            }
        }
    EXPECT_TRUE(sawRed);
    EXPECT_FALSE(Symbols::icon("trash", Qt::white).pixmap(16, 16).isNull());
}
