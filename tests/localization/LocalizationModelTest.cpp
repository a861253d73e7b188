#include "LocalizationModel.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <gtest/gtest.h>

using namespace quorel;

// The model is one instance per process, created on first use: this is the only test that
// touches it, so it sees the store as it was at creation.
TEST(LocalizationModel, StartsFromTheStoreAndSavesOnlyChanges)
{
    test::TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
    const QString key = appLanguage::preferenceKey;
    store.setString(key, "fr");

    LocalizationModel& model = LocalizationModel::shared();
    EXPECT_EQ(&model, &LocalizationModel::shared());
    EXPECT_EQ(model.language(), AppLanguage::english);
    EXPECT_EQ(store.string(key), "fr");

    int published = 0;
    const QMetaObject::Connection connection =
        QObject::connect(&model, &LocalizationModel::languageChanged, [&] { ++published; });

    model.setLanguage(AppLanguage::english);  // same value: published, nothing written
    EXPECT_EQ(published, 1);
    EXPECT_EQ(store.string(key), "fr");

    model.setLanguage(AppLanguage::portuguese);
    EXPECT_EQ(published, 2);
    EXPECT_EQ(store.string(key), "pt-BR");
    EXPECT_EQ(model.language(), AppLanguage::portuguese);

    store.setString(key, "changed elsewhere");
    model.setLanguage(AppLanguage::portuguese);
    EXPECT_EQ(published, 3);
    EXPECT_EQ(store.string(key), "changed elsewhere");

    model.setLanguage(AppLanguage::english);
    EXPECT_EQ(store.string(key), "en");
    QObject::disconnect(connection);
}
