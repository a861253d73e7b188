// Sizes and texts as a user meets them: the main window's first size is its content's, alerts
// hold their title and a sentence on one line, and the texts say what happens on this system.

#include "ShellHarness.h"

#include "MainView.h"
#include "MainWindow.h"
#include "OnboardingState.h"
#include "OnboardingView.h"
#include "OutputPanel.h"
#include "Sidebar.h"
#include "WindowChrome.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorel;

TEST(TextsAndSizes, TheFirstSizeIsTheContentsAndTheMenuBarComesOnTop)
{
    test::ShellHarness h;
    UserDefaults::standard().setBoolean(OnboardingState::key, true);
    MainWindow window(*h.model, *h.updater, false);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();  // the first layout runs after the current pass
    ASSERT_TRUE(window.menuBar()->isVisible());
    EXPECT_EQ(window.centralWidget()->size(), QSize(1120, 640));
    EXPECT_EQ(window.height(), 640 + window.menuBar()->height());
}

TEST(TextsAndSizes, AnAlertHoldsItsTitleAndASentenceOnOneLine)
{
    test::ShellHarness h;
    UserDefaults::standard().setBoolean(OnboardingState::key, true);
    MainWindow window(*h.model, *h.updater, false);
    window.show();
    for (AppLanguage language : appLanguage::allCases) {
        h.setLanguage(language);
        const QString sentence = L10n::text("The sound server is not running.", language);
        h.system().setError(sentence);
        ASSERT_TRUE(
            test::waitUntil([&] { return window.view()->alertBox() && window.view()->alertBox()->isVisible(); }));
        QMessageBox* box = window.view()->alertBox();
        const auto* message = box->findChild<QLabel*>("qt_msgbox_informativelabel");
        ASSERT_TRUE(message);
        EXPECT_EQ(message->text(), sentence);
        // One line: the label is as wide as the sentence, and no taller than with all the room.
        EXPECT_GE(message->width(), message->fontMetrics().horizontalAdvance(sentence));
        EXPECT_EQ(message->heightForWidth(message->width()), message->heightForWidth(QWIDGETSIZE_MAX));
        // The title beside the window manager's buttons and icon.
        QFont bold = box->font();
        bold.setBold(true);
        EXPECT_GE(box->width(), QFontMetrics(bold).horizontalAdvance(box->windowTitle()) + 150);
        box->escapeButton()->click();
        ASSERT_TRUE(test::waitUntil([&] { return !window.view()->alertBox(); }));
    }
}

TEST(TextsAndSizes, TheWelcomeBulletKeepsItsTypographicApostrophe)
{
    for (AppLanguage language : appLanguage::allCases) {
        test::ShellHarness h;
        h.setLanguage(language);
        OnboardingState state;
        OnboardingView view(*h.model, state);
        const QStringList texts = test::visibleTexts(&view);
        const QString expected =
            language == AppLanguage::english
                ? QString::fromUtf8("Everything happens in this computer’s memory. Nothing is recorded or sent.")
                : QString::fromUtf8("Tudo acontece na memória deste computador. Nada é gravado nem enviado.");
        EXPECT_TRUE(texts.contains(expected)) << texts.join(" | ").toStdString();
    }
}

TEST(TextsAndSizes, NoPermissionIsPromisedThatThisSystemNeverAsksFor)
{
    // The engine's status and error texts, as both string tables hold them.
    QFile table(QStringLiteral(QUOREL_SOURCE_DIR "/QuorelLocalization/resources/pt-BR.lproj/Localizable.strings"));
    ASSERT_TRUE(table.open(QIODevice::ReadOnly)) << table.fileName().toStdString();
    const QString text = QString::fromUtf8(table.readAll());
    for (const char* macOS :
         {"System Audio Recording", "Gravação de Áudio do Sistema", "click Allow", "clique em Permitir", "may ask for"})
        EXPECT_FALSE(text.contains(QString::fromUtf8(macOS))) << macOS;
    EXPECT_TRUE(text.contains(QString::fromUtf8(
        "\"Starting… Quorel becomes the default output while processing runs.\" = \"Iniciando… o Quorel vira a "
        "saída padrão enquanto o processamento está ligado.\";")));
}

TEST(TextsAndSizes, TheSidebarStatusAndTheOutputPickerHoldTheirLongestTextsInBothLanguages)
{
    for (AppLanguage language : appLanguage::allCases) {
        SCOPED_TRACE(appLanguage::rawValue(language).toStdString());
        test::ShellHarness h;
        UserDefaults::standard().setBoolean(OnboardingState::key, true);
        h.setLanguage(language);
        h.start();
        h.model->setTab(MainTab::output);
        MainWindow window(*h.model, *h.updater, false);
        window.show();
        QCoreApplication::processEvents();

        // "Processing system audio" whole, on as many lines as it takes.
        Sidebar* sidebar = window.view()->sidebar();
        ASSERT_EQ(sidebar->statusText(), L10n::text("Processing system audio", language));
        QLabel* status = nullptr;
        for (QLabel* label : sidebar->findChildren<QLabel*>())
            if (label->text() == sidebar->statusText()) status = label;
        ASSERT_TRUE(status);
        const QRect needed = status->fontMetrics().boundingRect(QRect(0, 0, status->contentsRect().width(), 1000),
                                                                Qt::TextWordWrap, status->text());
        EXPECT_TRUE(status->wordWrap() || needed.height() <= status->fontMetrics().height());
        EXPECT_LE(needed.height(), status->contentsRect().height()) << "the status is cut";
        EXPECT_LE(needed.width(), status->contentsRect().width());

        // "Device disconnected" fits the picker's text field.
        auto* output = window.view()->page()->findChild<OutputPanel*>();
        ASSERT_TRUE(output);
        QComboBox* picker = output->picker();
        QStyleOptionComboBox option;
        option.initFrom(picker);
        option.rect = picker->rect();
        const QRect field =
            picker->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, picker);
        EXPECT_LE(picker->fontMetrics().horizontalAdvance(L10n::text("Device disconnected", language)), field.width());
    }
}
