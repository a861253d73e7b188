#include "AppLanguage.h"
#include "L10n.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <gtest/gtest.h>

using namespace quorel;

TEST(AppLanguage, RawValuesMatchExactly)
{
    EXPECT_EQ(appLanguage::fromRawValue("pt-BR"), AppLanguage::portuguese);
    EXPECT_EQ(appLanguage::fromRawValue("en"), AppLanguage::english);
    EXPECT_EQ(appLanguage::fromRawValue("pt-br"), std::nullopt);
    EXPECT_EQ(appLanguage::fromRawValue("EN"), std::nullopt);
    EXPECT_EQ(appLanguage::nativeName(AppLanguage::portuguese), QString::fromUtf8("Português"));
    EXPECT_EQ(appLanguage::locale(AppLanguage::portuguese).decimalPoint(), ",");
}

TEST(AppLanguage, SavedReadsOnlyTheExactPortugueseValue)
{
    test::TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
    EXPECT_EQ(appLanguage::saved(store), AppLanguage::english);
    store.setString(appLanguage::preferenceKey, "pt-br");
    EXPECT_EQ(appLanguage::saved(store), AppLanguage::english);
    store.setString(appLanguage::preferenceKey, "pt-BR");
    EXPECT_EQ(appLanguage::saved(store), AppLanguage::portuguese);
    EXPECT_EQ(L10n::language(), AppLanguage::portuguese);
    store.setString(appLanguage::preferenceKey, "fr");
    EXPECT_EQ(L10n::language(), AppLanguage::english);
}
