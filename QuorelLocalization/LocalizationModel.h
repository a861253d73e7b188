#pragma once

#include "AppLanguage.h"

#include <QObject>

namespace quorel {

// The interface language of the application: the language pickers set it, views redraw on
// languageChanged, and the choice is saved under "Quorel.Language". One instance, main thread.
class LocalizationModel : public QObject {
    Q_OBJECT

public:
    static LocalizationModel& shared();

    AppLanguage language() const { return language_; }
    // Publishes languageChanged every time; saves the choice only when it differs.
    void setLanguage(AppLanguage language);

signals:
    void languageChanged(quorel::AppLanguage language);

private:
    LocalizationModel();

    AppLanguage language_;
};

}  // namespace quorel
