#include "AudioFailure.h"
#include "L10n.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <gtest/gtest.h>

using namespace quorel;

namespace {
void saveLanguage(AppLanguage language)
{
    UserDefaults::standard().setString(appLanguage::preferenceKey, appLanguage::rawValue(language));
}
}  // namespace

TEST(AudioFailure, LocalizedFailureFollowsTheSavedLanguage)
{
    test::TemporaryHome home;
    const QString key = "No preset in this file.";
    const QString portuguese = L10n::render(key, {}, AppLanguage::portuguese);
    ASSERT_NE(portuguese, key) << "the Portuguese table lacks the key";

    const AudioFailure failure = AudioFailure::localized(LocalizedMessage(key));
    const LocalizedMessage shown = LocalizedMessage::fromError(failure);
    saveLanguage(AppLanguage::portuguese);
    EXPECT_EQ(failure.description(), portuguese);
    EXPECT_EQ(shown.text(), portuguese);
    EXPECT_EQ(QString::fromStdString(failure.what()), portuguese);
    saveLanguage(AppLanguage::english);
    EXPECT_EQ(failure.description(), key);
    EXPECT_EQ(shown.localized(AppLanguage::portuguese), key);
}

TEST(AudioFailure, MessageFailureIsTheSameInEveryLanguage)
{
    test::TemporaryHome home;
    const AudioFailure failure = AudioFailure::message("No preset in this file.");
    saveLanguage(AppLanguage::portuguese);
    EXPECT_EQ(failure.description(), "No preset in this file.");
    saveLanguage(AppLanguage::english);
    EXPECT_EQ(failure.description(), "No preset in this file.");
}

TEST(AudioFailure, CaughtAsAnException)
{
    test::TemporaryHome home;
    try {
        throw AudioFailure::localized(LocalizedMessage::make("Round {0} of {1}", "1", "3"));
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "Round 1 of 3");
        EXPECT_EQ(LocalizedMessage::fromError(error).text(), "Round 1 of 3");
    }
}
