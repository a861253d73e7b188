#pragma once

#include <QObject>

class QTranslator;

namespace quorel {

// Qt's own texts (the file dialog's labels and columns, standard buttons, a text field's context
// menu) in the interface language: follows LocalizationModel and loads Qt's translation for it
// from Qt's translations folder (Debian: qt6-translations-l10n). English needs none.
class QtTranslations : public QObject {
    Q_OBJECT
public:
    explicit QtTranslations(QObject* parent = nullptr);
    ~QtTranslations() override;

    // Whether a translation is installed now.
    bool loaded() const { return translator_ != nullptr; }

private:
    void follow();

    QTranslator* translator_ = nullptr;
};

}  // namespace quorel
