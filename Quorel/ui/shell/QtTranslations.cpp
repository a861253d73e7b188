#include "QtTranslations.h"

#include "LanguageBinding.h"
#include "LocalizationModel.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace quorel {

QtTranslations::QtTranslations(QObject* parent) : QObject(parent)
{
    LanguageBinding::follow(this, &QtTranslations::follow);
    follow();
}

QtTranslations::~QtTranslations()
{
    if (translator_) QCoreApplication::removeTranslator(translator_);
}

void QtTranslations::follow()
{
    if (translator_) {
        QCoreApplication::removeTranslator(translator_);
        delete translator_;
        translator_ = nullptr;
    }
    const AppLanguage language = LocalizationModel::shared().language();
    if (language == AppLanguage::english) return;
    auto* translator = new QTranslator(this);
    if (translator->load(appLanguage::locale(language), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        && QCoreApplication::installTranslator(translator)) {
        translator_ = translator;
    } else {
        delete translator;
    }
}

}  // namespace quorel
