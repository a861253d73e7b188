// Qt's own texts (file dialog, standard buttons) follow the interface language.
#include "ShellHarness.h"

#include "QtTranslations.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>

#include <gtest/gtest.h>

using namespace quorel;

TEST(QtTranslations, TheFileDialogFollowsTheInterfaceLanguage)
{
    test::ShellHarness h;
    QtTranslations translations;
    const auto fileNameLabel = [] {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        QString text;
        for (QLabel* label : dialog.findChildren<QLabel*>())
            if (label->objectName() == QLatin1String("fileNameLabel")) text = label->text();
        return text;
    };
    EXPECT_FALSE(translations.loaded());
    EXPECT_EQ(fileNameLabel(), "File &name:");

    h.setLanguage(AppLanguage::portuguese);
    EXPECT_TRUE(translations.loaded()) << "Qt's translations are missing (scripts/install-deps: qt6-translations-l10n)";
    EXPECT_NE(fileNameLabel(), "File &name:");
    EXPECT_NE(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");

    h.setLanguage(AppLanguage::english);
    EXPECT_FALSE(translations.loaded());
    EXPECT_EQ(fileNameLabel(), "File &name:");
}
