#include "ShellHarness.h"

#include "BuiltInPresets.h"
#include "OnboardingState.h"
#include "OnboardingView.h"
#include "PresetLibrary.h"
#include "StudioButton.h"

#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

std::optional<bool> storedFlag() { return UserDefaults::standard().boolean(OnboardingState::key); }

}  // namespace

TEST(Onboarding, AFirstLaunchShowsStepOneWithoutBack)
{
    test::ShellHarness h;
    OnboardingState state;
    EXPECT_TRUE(state.presented());
    EXPECT_EQ(state.step(), 0);
    OnboardingView view(*h.model, state);
    EXPECT_EQ(view.titleText(), "Welcome to Quorel");
    EXPECT_EQ(view.stepText(), "Step 1 of 3");
    EXPECT_TRUE(view.backButton()->isHidden());
    EXPECT_EQ(view.forwardButton()->text(), "Continue");
}

TEST(Onboarding, AStoredFlagOrAWrongTypeDecides)
{
    test::ShellHarness h;
    UserDefaults::standard().setBoolean(OnboardingState::key, true);
    EXPECT_FALSE(OnboardingState().presented());
    UserDefaults::standard().setString(OnboardingState::key, "maybe");
    EXPECT_TRUE(OnboardingState().presented());  // not a Boolean: not completed
}

TEST(Onboarding, SkipAtEachStepStoresTheFlagAndChangesNothingElse)
{
    for (int step = 0; step < 3; ++step) {
        test::ShellHarness h;
        OnboardingState state;
        OnboardingView view(*h.model, state);
        const DSPSettings before = h.model->settings();
        for (int i = 0; i < step; ++i) QTest::mouseClick(view.forwardButton(), Qt::LeftButton);
        ASSERT_EQ(state.step(), step);
        QTest::mouseClick(view.skipButton(), Qt::LeftButton);
        EXPECT_FALSE(state.presented()) << step;
        EXPECT_EQ(storedFlag(), true) << step;
        EXPECT_EQ(state.step(), step);
        EXPECT_EQ(h.model->settings(), before);
        EXPECT_FALSE(h.system().isActive());
    }
}

TEST(Onboarding, ReturnGoesForwardAndFinishes)
{
    test::ShellHarness h;
    OnboardingState state;
    OnboardingView view(*h.model, state);
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(state.step(), 1);
    EXPECT_EQ(view.stepText(), "Step 2 of 3");
    EXPECT_FALSE(view.backButton()->isHidden());
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(state.step(), 2);
    EXPECT_EQ(view.forwardButton()->text(), "Finish");
    QTest::mouseClick(view.backButton(), Qt::LeftButton);
    EXPECT_EQ(state.step(), 1);
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_FALSE(storedFlag().has_value());
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_FALSE(state.presented());
    EXPECT_EQ(storedFlag(), true);
}

TEST(Onboarding, EscapeClosesTheSheetButLeavesTheFlagUnset)
{
    test::ShellHarness h;
    OnboardingState state;
    OnboardingView view(*h.model, state);
    view.show();
    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_FALSE(state.presented());
    EXPECT_FALSE(view.isVisible());
    EXPECT_FALSE(storedFlag().has_value());
    EXPECT_TRUE(OnboardingState().presented());  // shown again at the next launch
}

TEST(Onboarding, ThePermissionStepFollowsActivityAndThePermissionFlag)
{
    test::ShellHarness h;
    OnboardingState state;
    state.setStep(1);
    OnboardingView view(*h.model, state);
    ASSERT_TRUE(view.enableButton());
    EXPECT_EQ(view.enableButton()->text(), "Enable now");
    EXPECT_TRUE(view.enableButton()->isProminent());
    EXPECT_TRUE(view.enableButton()->isEnabled());
    EXPECT_EQ(view.statusWord()->text(), "Idle");
    EXPECT_FALSE(view.soundSettingsButton());

    QTest::mouseClick(view.enableButton(), Qt::LeftButton);
    h.settle();
    ASSERT_TRUE(h.system().isActive());
    EXPECT_EQ(state.step(), 1);
    EXPECT_EQ(view.enableButton()->text(), "Processing is active");
    EXPECT_FALSE(view.enableButton()->isProminent());
    EXPECT_FALSE(view.enableButton()->isEnabled());
    EXPECT_EQ(view.statusWord()->text(), "Working");

    // A refused start asks for the permission: the sound-settings button appears.
    h.system().setActive(false);
    h.settle();
    h.backend->tapStatus = AudioBackend::Status(0x6E6F7065);
    h.start();
    ASSERT_TRUE(h.system().needsPermission());
    ASSERT_TRUE(view.soundSettingsButton());
    EXPECT_EQ(view.soundSettingsButton()->text(), "Open sound settings");
    QTest::mouseClick(view.soundSettingsButton(), Qt::LeftButton);
    EXPECT_EQ(h.soundSettingsOpened, 1);
    EXPECT_EQ(state.step(), 1);
}

TEST(Onboarding, CardsApplyAndHighlightTheSelectedPreset)
{
    test::ShellHarness h;
    OnboardingState state;
    state.setStep(2);
    OnboardingView view(*h.model, state);
    ASSERT_EQ(view.presetCards().size(), 4);
    QTest::mouseClick(view.presetCards()[1], Qt::LeftButton);
    EXPECT_EQ(h.model->presets().selectedID(), QString("builtin.movies"));
    EXPECT_EQ(state.step(), 2);
    QCoreApplication::processEvents();
    ASSERT_EQ(view.presetCards().size(), 4);
    EXPECT_EQ(view.presetCards()[1]->accessibleName(), BuiltInPresets::preset("builtin.movies")->localizedName());
}

TEST(Onboarding, AMissingPresetIdLeavesThreeEqualCards)
{
    test::ShellHarness h;
    OnboardingState state;
    state.setStep(2);
    OnboardingView view(*h.model, state, nullptr,
                        {"builtin.macbook-speakers", "builtin.no-such-preset", "builtin.music", "builtin.voice"});
    view.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(view.presetCards().size(), 3);
    const int width = view.presetCards()[0]->width();
    EXPECT_GT(width, 100);
    for (QAbstractButton* card : view.presetCards()) EXPECT_NEAR(card->width(), width, 1);
}

TEST(Onboarding, PortugueseFromThePickerRendersTheSheetAtOnce)
{
    test::ShellHarness h;
    OnboardingState state;
    OnboardingView view(*h.model, state);
    emit view.languagePicker()->activated(1);
    EXPECT_EQ(view.titleText(), "Boas-vindas ao Quorel");
    EXPECT_EQ(view.stepText(), "Passo 1 de 3");
    EXPECT_EQ(view.languagePicker()->itemText(0), "English");
    EXPECT_EQ(state.step(), 0);
}

// The step title takes the header's free width (between the icon and the language picker) and
// wraps only when it does not fit there ("Welcome to Quorel" stays on one line).
TEST(Onboarding, StepTitlesUseTheHeadersWidth)
{
    test::ShellHarness h;
    for (AppLanguage language : {AppLanguage::english, AppLanguage::portuguese}) {
        h.setLanguage(language);
        OnboardingState state;
        OnboardingView view(*h.model, state);
        view.show();
        for (int step = 0; step < 3; ++step) {
            QCoreApplication::processEvents();
            view.layout()->activate();
            QLabel* title = nullptr;
            for (QLabel* label : view.findChildren<QLabel*>())
                if (label->text() == view.titleText()) title = label;
            ASSERT_TRUE(title) << step;
            const QFontMetrics metrics(title->font());
            // 504 inside the margins, less the 44 icon, the 115 picker and two gaps of 12.
            EXPECT_GE(title->width(), 320) << title->text().toStdString();
            if (metrics.horizontalAdvance(title->text()) <= title->width()) {
                EXPECT_LT(title->height(), 2 * metrics.lineSpacing()) << title->text().toStdString();
            }
            if (step < 2) QTest::mouseClick(view.forwardButton(), Qt::LeftButton);
        }
    }
    h.setLanguage(AppLanguage::english);
}
