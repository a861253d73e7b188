#include "L10n.h"
#include "LocalizedMessage.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace quorel;

namespace {

const char* const translatedKey = "No preset in this file.";

void saveLanguage(AppLanguage language)
{
    UserDefaults::standard().setString(appLanguage::preferenceKey, appLanguage::rawValue(language));
}

// An error whose description is rendered when it is read.
class LanguageError : public DescribedError {
public:
    QString description() const override { return L10n::render(translatedKey, {}, L10n::language()); }
    std::shared_ptr<const DescribedError> clone() const override { return std::make_shared<LanguageError>(*this); }
};

}  // namespace

TEST(LocalizedMessage, RendersInTheLanguageSavedWhenShown)
{
    test::TemporaryHome home;
    const LocalizedMessage message(translatedKey);
    const QString english = message.text();
    EXPECT_EQ(english, translatedKey);
    saveLanguage(AppLanguage::portuguese);
    EXPECT_NE(message.text(), english);
    EXPECT_EQ(message.text(), message.localized(AppLanguage::portuguese));
    EXPECT_EQ(message.localized(AppLanguage::english), english);
}

TEST(LocalizedMessage, KeyWithoutArgumentsKeepsItsBraces)
{
    test::TemporaryHome home;
    EXPECT_EQ(LocalizedMessage("Level {0} of {x}").text(), "Level {0} of {x}");
    EXPECT_EQ(LocalizedMessage::make("Level {0} of {1}", "1", "2").text(), "Level 1 of 2");
}

TEST(LocalizedMessage, DescribedErrorStaysLive)
{
    test::TemporaryHome home;
    const LocalizedMessage message = LocalizedMessage::fromError(LanguageError());
    EXPECT_EQ(message.localized(AppLanguage::portuguese), translatedKey);  // saved language: English
    saveLanguage(AppLanguage::portuguese);
    EXPECT_NE(message.localized(AppLanguage::english), translatedKey);
    EXPECT_EQ(message.text(), L10n::render(translatedKey, {}, AppLanguage::portuguese));
}

TEST(LocalizedMessage, PlainErrorShowsWhatWithoutLookup)
{
    test::TemporaryHome home;
    saveLanguage(AppLanguage::portuguese);
    const LocalizedMessage message = LocalizedMessage::fromError(std::runtime_error(translatedKey));
    EXPECT_EQ(message.text(), translatedKey);
    EXPECT_EQ(message.localized(AppLanguage::portuguese), translatedKey);
}

TEST(LocalizedMessage, WhatOfADescribedErrorIsItsDescription)
{
    test::TemporaryHome home;
    const LanguageError error;
    EXPECT_STREQ(error.what(), translatedKey);
}
