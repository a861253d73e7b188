#pragma once

#include "PresetCategory.h"
#include "SoundPreset.h"

#include <QComboBox>

#include <optional>
#include <vector>

namespace quorel {

class PresetLibrary;

// A pop-up of every preset by category: each category with presets gets a title row that
// cannot be chosen, then its presets (the user's first). Shows a preset id with setCurrentID()
// (an id that names no row shows no selection) and reports only a user's choice, through
// presetChosen.
class PresetPicker : public QComboBox {
    Q_OBJECT
public:
    explicit PresetPicker(QWidget* parent = nullptr);

    // Rebuilds the rows from the library in `language`, keeping `currentID` shown.
    void rebuild(const PresetLibrary& library, AppLanguage language, const QString& currentID);
    void setCurrentID(const QString& id);
    // The id shown (none without a selection).
    std::optional<QString> currentID() const;
    // The ids of the rows that can be chosen, in order.
    QStringList ids() const;
    // The title rows' texts, in order.
    QStringList titles() const;

signals:
    void presetChosen(const QString& id);
};

}  // namespace quorel
