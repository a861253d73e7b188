// Writes pictures of the design vocabulary into the build tree (snapshots/), for a person to
// compare against the design: cards, headings, buttons, every slider variant, the brand
// artwork and every symbol by name, in English and in Brazilian Portuguese; and checks what each
// shows (colours, cards, accents, text).
#include "Brand.h"
#include "BrandIcon.h"
#include "DrawnPicture.h"
#include "SidebarBrandIcon.h"
#include "L10n.h"
#include "LocalizationModel.h"
#include "PanelHeading.h"
#include "Studio.h"
#include "StudioButton.h"
#include "StudioPanel.h"
#include "StudioSlider.h"
#include "Symbols.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

QLabel* caption(const QString& text, int px = 11, QColor colour = Studio::secondary())
{
    auto* label = new QLabel(text);
    label->setFont(Studio::font(px, QFont::Medium));
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
    return label;
}

// The template mark at a size, drawn in the primary text colour the way a tinting desktop would.
class MarkView : public QWidget {
public:
    explicit MarkView(qreal side) : side_(side) { setFixedSize(int(side), int(side)); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        Brand::drawMark(p, side_, rect(), Studio::text());
    }

private:
    qreal side_;
};

struct SliderSpec {
    const char* name;
    Qt::Orientation orientation;
    float lo, hi, step, value;
    bool bipolar, cyan, compact, enabled, focused;
    const char* unit;
};

StudioSlider* makeSlider(const SliderSpec& s, AppLanguage language, QWidget** focusTarget)
{
    auto* slider = new StudioSlider(s.orientation);
    slider->setValueRange(s.lo, s.hi);
    slider->setStep(s.step);
    slider->setValue(s.value);
    slider->setBipolar(s.bipolar);
    slider->setCyan(s.cyan);
    slider->setCompact(s.compact);
    slider->setEnabled(s.enabled);
    slider->setUnit(QString::fromLatin1(s.unit));
    slider->setLabel(L10n::render(QString::fromLatin1(s.name), {}, language));
    if (s.focused) *focusTarget = slider;
    if (s.orientation == Qt::Horizontal)
        slider->setFixedWidth(220);
    else
        slider->setFixedHeight(170);
    return slider;
}

QWidget* buildGallery(AppLanguage language, QWidget** focusTarget)
{
    auto tr = [language](const char* key) { return L10n::render(QString::fromUtf8(key), {}, language); };
    auto* root = new QWidget;
    root->setAutoFillBackground(true);
    QPalette pal = root->palette();
    pal.setColor(QPalette::Window, Studio::background());
    root->setPalette(pal);
    auto* columns = new QHBoxLayout(root);
    columns->setContentsMargins(24, 24, 24, 24);
    columns->setSpacing(20);

    // Column 1: cards, headings, buttons, standard controls, brand.
    auto* left = new QVBoxLayout;
    left->setSpacing(16);
    {
        auto* card = new StudioPanel;
        card->addWidget(new PanelHeading(tr("Boost"), "speaker.wave.3.fill"));
        card->addWidget(new PanelHeading(tr("Equalizer"), "slider.vertical.3", QStringLiteral("31 × 1/3 oct")));
        card->addWidget(new PanelHeading(tr("Audio output"), "hifispeaker", QString()));
        card->addWidget(caption(QStringLiteral("StudioPanel · PanelHeading (2 / 3 / 3 items)")));
        left->addWidget(card);
    }
    {
        auto* card = new StudioPanel;
        card->addWidget(new PanelHeading(QStringLiteral("StudioButtonStyle"), "rectangle.stack"));
        auto* grid = new QGridLayout;
        grid->setHorizontalSpacing(10);
        grid->setVerticalSpacing(10);
        const char* states[] = {"enabled", "pressed", "disabled"};
        for (int row = 0; row < 2; ++row) {
            const bool prominent = row == 0;
            grid->addWidget(caption(prominent ? "prominent" : "plain"), row, 0);
            for (int col = 0; col < 3; ++col) {
                auto* b = new StudioButton(tr(col == 0 ? "Apply" : "Reset"), prominent);
                if (col == 1) b->setDown(true);
                if (col == 2) b->setEnabled(false);
                if (row == 1 && col == 0) b->setSymbol("arrow.counterclockwise");
                b->setToolTip(QString::fromLatin1(states[col]));
                grid->addWidget(b, row, col + 1);
            }
        }
        auto* icons = new QHBoxLayout;
        for (const char* sym : {"plus", "minus", "trash"}) {
            auto* b = new StudioButton(QString(), false);
            b->setSymbol(QString::fromLatin1(sym));
            icons->addWidget(b);
        }
        icons->addStretch();
        auto* holder = new QWidget;
        auto* v = new QVBoxLayout(holder);
        v->setContentsMargins(0, 0, 0, 0);
        v->addLayout(grid);
        v->addLayout(icons);
        card->addWidget(holder);
        left->addWidget(card);
    }
    {
        auto* card = new StudioPanel;
        card->addWidget(new PanelHeading(QStringLiteral("Fusion"), "gearshape"));
        auto* row = new QHBoxLayout;
        auto* combo = new QComboBox;
        combo->addItems({tr("English"), QStringLiteral("Português")});
        row->addWidget(combo);
        auto* check = new QCheckBox(tr("Check for updates automatically"));
        check->setChecked(true);
        row->addWidget(check);
        auto* holder = new QWidget;
        holder->setLayout(row);
        card->addWidget(holder);
        left->addWidget(card);
    }
    {
        auto* card = new StudioPanel;
        card->addWidget(new PanelHeading(QStringLiteral("Brand"), "waveform"));
        auto* row = new QHBoxLayout;
        row->setSpacing(18);
        auto* withIcon = new BrandIcon(44);
        auto* without = new BrandIcon(44);
        without->setIconAvailable(false);
        row->addWidget(withIcon);
        row->addWidget(without);
        row->addWidget(new MarkView(18), 0, Qt::AlignVCenter);
        row->addWidget(new SidebarBrandIcon(80));
        auto* name = new QLabel(QStringLiteral("Quorel"));
        name->setFont(Studio::font(25, QFont::DemiBold));
        row->addWidget(name);
        row->addStretch();
        auto* holder = new QWidget;
        holder->setLayout(row);
        card->addWidget(holder);
        card->addWidget(caption(QStringLiteral("BrandIcon 44 (icon / fallback) · mark 18 · plate mark 80")));
        left->addWidget(card);
    }
    left->addStretch();
    columns->addLayout(left, 0);

    // Column 2: sliders.
    auto* middle = new QVBoxLayout;
    middle->setSpacing(16);
    {
        auto* card = new StudioPanel;
        card->addWidget(new PanelHeading(QStringLiteral("StudioSlider"), "slider.horizontal.3"));
        const SliderSpec horizontal[] = {
            {"Boost", Qt::Horizontal, 0, 12, 0.5f, 6, false, false, false, true, false, "dB"},
            {"Loudness", Qt::Horizontal, 0, 1, 0.01f, 0.125f, false, true, false, true, false, "%"},
            {"Drive", Qt::Horizontal, 0, 1, 0.01f, 0.4f, false, false, false, false, false, "%"},
            {"Auto level", Qt::Horizontal, 0, 1, 0.01f, 0.7f, false, false, false, true, true, "%"},
            {"Balance", Qt::Horizontal, -12, 12, 0.5f, -4, true, true, false, true, false, "dB"},
        };
        const char* notes[] = {"violet", "cyan", "disabled", "focused", "bipolar cyan"};
        auto* grid = new QGridLayout;
        grid->setVerticalSpacing(8);
        int row = 0;
        for (const auto& spec : horizontal) {
            StudioSlider* s = makeSlider(spec, language, focusTarget);
            grid->addWidget(caption(s->label() + " · " + notes[row], 11, Studio::text()), row, 0);
            grid->addWidget(s, row, 1);
            grid->addWidget(caption(s->spokenValue()), row, 2);
            ++row;
        }
        auto* holder = new QWidget;
        holder->setLayout(grid);
        card->addWidget(holder);

        auto* faders = new QHBoxLayout;
        faders->setSpacing(14);
        const SliderSpec vertical[] = {
            {"Equalizer", Qt::Vertical, -12, 12, 0.5f, 6, true, false, false, true, false, "dB"},
            {"Equalizer", Qt::Vertical, -12, 12, 0.5f, -6, true, false, false, true, false, "dB"},
            {"Ceiling", Qt::Vertical, -12, 0, 0.1f, -1, false, true, false, true, false, "dB"},
            {"Equalizer", Qt::Vertical, -12, 12, 0.5f, 3, true, false, true, true, false, "dB"},
            {"Equalizer", Qt::Vertical, -12, 12, 0.5f, -12, true, true, true, true, false, "dB"},
            {"Equalizer", Qt::Vertical, -12, 12, 0.5f, 4, true, false, false, false, false, "dB"},
            {"Equalizer", Qt::Vertical, -12, 12, 0.5f, 9, true, false, true, true, true, "dB"},
        };
        const char* vnotes[] = {"bipolar", "bipolar -", "cyan", "compact", "compact lo", "disabled", "focused"};
        int i = 0;
        for (const auto& spec : vertical) {
            auto* col = new QVBoxLayout;
            StudioSlider* s = makeSlider(spec, language, focusTarget);
            col->addWidget(s, 0, Qt::AlignHCenter);
            col->addWidget(caption(QString::fromLatin1(vnotes[i++]), 10), 0, Qt::AlignHCenter);
            col->addWidget(caption(s->spokenValue(), 10), 0, Qt::AlignHCenter);
            faders->addLayout(col);
        }
        faders->addStretch();
        auto* fholder = new QWidget;
        fholder->setLayout(faders);
        card->addWidget(fholder);
        middle->addWidget(card);
    }
    middle->addStretch();
    columns->addLayout(middle, 0);

    // Column 3: every symbol by name.
    {
        auto* card = new StudioPanel;
        card->addWidget(
            new PanelHeading(QStringLiteral("Symbols"), "sparkles", QString::number(Symbols::names().size())));
        auto* grid = new QGridLayout;
        grid->setHorizontalSpacing(8);
        grid->setVerticalSpacing(4);
        const QStringList names = Symbols::names() + QStringList{QStringLiteral("(unknown)")};
        const int rows = (int(names.size()) + 1) / 2;
        for (int i = 0; i < names.size(); ++i) {
            const int r = i % rows, c = (i / rows) * 2;
            grid->addWidget(new SymbolView(names[i], 16, i % 3 == 2 ? Studio::cyan() : Studio::violet()), r, c);
            grid->addWidget(caption(names[i], 10, Studio::text()), r, c + 1);
        }
        auto* holder = new QWidget;
        holder->setLayout(grid);
        card->addWidget(holder);
        auto* right = new QVBoxLayout;
        right->addWidget(card);
        right->addStretch();
        columns->addLayout(right, 0);
    }
    return root;
}

void writeGallery(AppLanguage language, const QString& fileName)
{
    test::TemporaryHome home;
    LocalizationModel::shared().setLanguage(language);
    QWidget* focusTarget = nullptr;
    std::unique_ptr<QWidget> gallery(buildGallery(language, &focusTarget));
    gallery->setWindowTitle("Quorel");
    gallery->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(gallery.get()));
    gallery->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(gallery.get()));
    ASSERT_NE(focusTarget, nullptr);
    focusTarget->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    EXPECT_TRUE(focusTarget->hasFocus());

    const QString folder = quorel::test::buildPath("snapshots");
    QDir().mkpath(folder);
    const QString path = folder + "/" + fileName + qEnvironmentVariable("QUOREL_GALLERY_SUFFIX") + ".png";
    const QImage image = gallery->grab().toImage();
    ASSERT_TRUE(image.save(path, "PNG")) << qPrintable(path);
    test::expectDrawn(gallery.get(), image, fileName);
    LocalizationModel::shared().setLanguage(AppLanguage::english);
    std::printf("gallery: %s (%dx%d)\n", qPrintable(path), image.width(), image.height());
}

}  // namespace

TEST(Gallery, English)
{
    Studio::install(*qApp);
    writeGallery(AppLanguage::english, "design-en");
}

TEST(Gallery, BrazilianPortuguese)
{
    Studio::install(*qApp);
    writeGallery(AppLanguage::portuguese, "design-pt-BR");
}
