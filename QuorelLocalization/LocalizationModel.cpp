#include "LocalizationModel.h"

#include "UserDefaults.h"

namespace quorel {

LocalizationModel& LocalizationModel::shared()
{
    // Created on first use and kept for the life of the process.
    static LocalizationModel* model = new LocalizationModel;
    return *model;
}

LocalizationModel::LocalizationModel() : language_(appLanguage::saved(UserDefaults::standard())) {}

void LocalizationModel::setLanguage(AppLanguage language)
{
    const bool differs = language != language_;
    language_ = language;
    if (differs)
        UserDefaults::standard().setString(QString::fromLatin1(appLanguage::preferenceKey),
                                           appLanguage::rawValue(language));
    emit languageChanged(language);
}

}  // namespace quorel
