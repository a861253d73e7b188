#include "PanelHeading.h"
#include "Studio.h"
#include "StudioButton.h"
#include "StudioButtonStyle.h"
#include "StudioPanel.h"
#include "Symbols.h"

#include "LocalizationModel.h"
#include "TestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace quorel;

TEST(StudioButtonStyle, LooksByState)
{
    const StudioButtonStyle prominent{true}, plain{false};
    auto alpha = [](const QColor& c) { return c.alphaF(); };

    const auto idle = prominent.look(false, true);
    const auto pressed = prominent.look(true, true);
    EXPECT_NEAR(alpha(idle.fill), 0.16, 1e-3);
    EXPECT_NEAR(alpha(pressed.fill), 0.24, 1e-3);
    EXPECT_EQ(idle.fill.rgb(), Studio::violet().rgb());
    // Pressing changes only the fill.
    EXPECT_EQ(idle.text, pressed.text);
    EXPECT_EQ(idle.border, pressed.border);
    EXPECT_EQ(idle.text, Studio::text());
    EXPECT_NEAR(alpha(idle.border), 0.22, 1e-3);

    const auto plainIdle = plain.look(false, true);
    const auto plainPressed = plain.look(true, true);
    EXPECT_NEAR(alpha(plainIdle.fill), 0.035, 1e-3);
    EXPECT_NEAR(alpha(plainPressed.fill), 0.09, 1e-3);
    EXPECT_EQ(plainIdle.text, Studio::secondary());
    EXPECT_EQ(plainIdle.border, Studio::line());

    // A disabled prominent button keeps its violet fill and border, drawn at 0.4.
    const auto disabled = prominent.look(false, false);
    EXPECT_EQ(disabled.fill, idle.fill);
    EXPECT_EQ(disabled.border, idle.border);
    EXPECT_DOUBLE_EQ(disabled.opacity, 0.4);
    EXPECT_DOUBLE_EQ(idle.opacity, 1.0);
}

TEST(StudioButton, FollowsItsStateAndPadding)
{
    StudioButton button("Apply", true);
    EXPECT_EQ(button.font().pixelSize(), 12);
    const QFontMetrics fm(button.font());
    EXPECT_EQ(button.sizeHint().width(), fm.horizontalAdvance("Apply") + 24);
    EXPECT_EQ(button.sizeHint().height(), fm.height() + 16);
    button.setDown(true);
    EXPECT_NEAR(button.currentLook().fill.alphaF(), 0.24, 1e-3);
    button.setDown(false);
    button.setEnabled(false);
    EXPECT_DOUBLE_EQ(button.currentLook().opacity, 0.4);
}

TEST(PanelHeading, ItemsAndTextsAsGiven)
{
    test::TemporaryHome home;
    LocalizationModel::shared().setLanguage(AppLanguage::portuguese);
    PanelHeading plain("Equalizer", "slider.vertical.3");
    EXPECT_EQ(plain.itemCount(), 2);
    EXPECT_EQ(plain.detailLabel(), nullptr);
    EXPECT_EQ(plain.titleLabel()->text(), "Equalizer");  // never looked up here
    EXPECT_EQ(plain.titleLabel()->font().pixelSize(), 14);
    EXPECT_EQ(plain.symbolView()->pixelSize(), 13);
    EXPECT_EQ(plain.symbolView()->colour(), Studio::violet());

    PanelHeading empty("Boost", "speaker.wave.3.fill", QString());
    EXPECT_EQ(empty.itemCount(), 3);
    ASSERT_NE(empty.detailLabel(), nullptr);
    EXPECT_EQ(empty.detailLabel()->text(), "");
    EXPECT_EQ(empty.detailLabel()->font().pixelSize(), 11);

    empty.setDetail(std::nullopt);
    EXPECT_EQ(empty.itemCount(), 2);
    LocalizationModel::shared().setLanguage(AppLanguage::english);
}

TEST(StudioPanel, SpansTheWidthWithContentAtTheLeadingEdge)
{
    QWidget host;
    auto* column = new QVBoxLayout(&host);
    column->setContentsMargins(0, 0, 0, 0);
    auto* panel = new StudioPanel;
    auto* label = new QLabel("short");
    panel->addWidget(label);
    column->addWidget(panel);
    column->addStretch();
    host.resize(500, 300);
    host.show();
    QApplication::processEvents();
    EXPECT_EQ(panel->width(), 500);
    EXPECT_EQ(label->x(), 18);
    EXPECT_EQ(label->y(), 18);
    EXPECT_EQ(panel->height(), label->height() + 36);
    EXPECT_EQ(StudioPanel::outlineRect(QRectF(0, 0, 100, 50)), QRectF(0.5, 0.5, 99, 49));
}

TEST(Studio, FontsAreSizedInPixels)
{
    const QFont f = Studio::font(13, QFont::Medium);
    EXPECT_EQ(f.pixelSize(), 13);
    EXPECT_EQ(f.pointSize(), -1);
}

TEST(Studio, PaletteGivesStandardControlsTheDarkLook)
{
    const QPalette p = Studio::palette();
    EXPECT_EQ(p.color(QPalette::Window), Studio::background());
    EXPECT_EQ(p.color(QPalette::WindowText), Studio::text());
    EXPECT_LT(p.color(QPalette::Base).lightnessF(), 0.2);
    EXPECT_LT(p.color(QPalette::Button).lightnessF(), 0.2);
    EXPECT_GT(p.color(QPalette::ButtonText).lightnessF(), 0.8);
}
