#include "ShellHarness.h"

#include "BuiltInPresets.h"
#include "LoginItemState.h"
#include "PresetLibrary.h"
#include "ProductInfo.h"
#include "SettingsPanel.h"
#include "StudioButton.h"
#include "TrayPresence.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorel;

TEST(SettingsPanel, ResetActsAtOnceAndLeavesLanguageLoginAndUpdatesAlone)
{
    test::ShellHarness h;
    h.setLanguage(AppLanguage::portuguese);
    h.updater->setAutomatic(false);
    h.model->change([](DSPSettings& s) { s.boostDB = 9; });
    SettingsPanel panel(*h.model, *h.updater);
    QTest::mouseClick(panel.resetButton(), Qt::LeftButton);
    EXPECT_EQ(h.model->settings(), DSPSettings().sanitized());
    EXPECT_EQ(h.model->presets().selectedID(), QString(BuiltInPresets::neutralID));
    EXPECT_EQ(LocalizationModel::shared().language(), AppLanguage::portuguese);
    EXPECT_FALSE(h.updater->automatic());
    EXPECT_FALSE(panel.loginSwitch()->isChecked());
}

TEST(SettingsPanel, TheUpdateSwitchStoresAtOnceAndTheCheckButtonFollowsChecking)
{
    test::ShellHarness h;
    SettingsPanel panel(*h.model, *h.updater);
    EXPECT_TRUE(panel.updateSwitch()->isChecked());
    panel.updateSwitch()->click();
    EXPECT_EQ(UserDefaults::standard().boolean(UpdateChecker::automaticKey), false);
    EXPECT_FALSE(h.updater->checking());  // switching never checks by itself
    panel.updateSwitch()->click();
    EXPECT_FALSE(h.updater->checking());

    EXPECT_EQ(panel.checkButton()->text(), "Check now");
    panel.checkButton()->click();
    ASSERT_TRUE(h.updater->checking());
    EXPECT_EQ(panel.checkButton()->text(), QString::fromUtf8("Checking…"));
    EXPECT_FALSE(panel.checkButton()->isEnabled());
    ASSERT_TRUE(test::waitUntil([&] { return !h.updater->checking(); }));
    EXPECT_EQ(panel.checkButton()->text(), "Check now");
    EXPECT_TRUE(panel.checkButton()->isEnabled());
}

TEST(SettingsPanel, ShortcutsFooterAndLinks)
{
    test::ShellHarness h;
    SettingsPanel panel(*h.model, *h.updater);
    const auto rows = panel.shortcutRows();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[0].first, "Ctrl+M");
    EXPECT_EQ(rows[2].first, "Ctrl+Shift+M");
    EXPECT_EQ(rows[2].second, "Set system volume to maximum");
    EXPECT_EQ(rows[3].first, "Ctrl+1 to Ctrl+5");
    // Ctrl+W says what a close does at this moment: with no tray host it quits.
    EXPECT_EQ(rows[4].second, "Close the window and quit Quorel");
    TrayPresence::shared().setPresent(true);
    EXPECT_EQ(panel.shortcutRows()[4].second, "Close the window; Quorel stays in the system tray");
    EXPECT_EQ(panel.versionLabel()->text(),
              "v" + ProductInfo::version() + " (" + QString::number(ProductInfo::build()) + ")");

    h.setLanguage(AppLanguage::portuguese);
    EXPECT_EQ(panel.shortcutRows()[3].first, "Ctrl+1 a Ctrl+5");
    EXPECT_EQ(panel.shortcutRows()[0].first, "Ctrl+M");
    EXPECT_EQ(panel.shortcutRows()[4].second, "Fecha a janela; o Quorel continua na bandeja do sistema");
    TrayPresence::shared().setPresent(false);
    EXPECT_EQ(panel.shortcutRows()[4].second, "Fecha a janela e encerra o Quorel");
    EXPECT_EQ(panel.languagePicker()->itemText(0), "English");
    EXPECT_EQ(panel.languagePicker()->itemText(1), QString::fromUtf8("Português"));

    test::UrlCatcher https("https");
    test::UrlCatcher mail("mailto");
    panel.privacyButton()->click();
    panel.supportButton()->click();
    ASSERT_EQ(https.urls.size(), 1);
    EXPECT_EQ(https.urls[0], ProductInfo::privacyURL());
    ASSERT_EQ(mail.urls.size(), 1);
    EXPECT_TRUE(mail.urls[0].toString().startsWith("mailto:support@"));
    EXPECT_TRUE(mail.urls[0].toString(QUrl::FullyEncoded).endsWith("?subject=Quorel%20" + ProductInfo::version()));
    EXPECT_FALSE(SettingsPanel::supportURL("1.0 beta"));  // a space makes no URL: the link does nothing
}
