#pragma once

#include "DSPSettings.h"
#include "PresetCategory.h"
#include "SoundPreset.h"
#include "UserDefaults.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

namespace quorel {

// The user's own presets (newest first) and the selected preset id, kept in the settings
// store. Main thread only. Keeps the selection truthful: it names the preset the current
// settings still are, or nothing.
class PresetLibrary : public QObject {
    Q_OBJECT
public:
    static constexpr const char* customKey = "Corvanta.Presets.Custom.v1";
    static constexpr const char* selectionKey = "Corvanta.Presets.Selected.v1";
    static constexpr const char* fileExtension = "quorelpreset";

    explicit PresetLibrary(QObject* parent = nullptr);   // the standard store
    explicit PresetLibrary(UserDefaults store, QObject* parent = nullptr);

    const std::vector<SoundPreset>& custom() const { return custom_; }
    const std::optional<QString>& selectedID() const { return selectedID_; }

    // The custom presets in their stored order, then the built-in table: the one list in which
    // presets are looked up, stepped through and matched.
    std::vector<SoundPreset> combined() const;
    // The first preset of combined() whose id is exactly `id`.
    std::optional<SoundPreset> find(const QString& id) const;
    std::vector<SoundPreset> presets(PresetCategory category) const;
    std::optional<SoundPreset> selected() const;

    void settingsChanged(const DSPSettings& settings);
    void select(const QString& id);
    std::optional<SoundPreset> save(const QString& name, const DSPSettings& settings);
    std::optional<SoundPreset> customPreset(const QString& named) const;
    void deletePreset(const SoundPreset& preset);

    // Adds the first preset held in the file (a JSON array or one object) under a new id and
    // selects it. Throws an AudioFailure; on a throw nothing changes.
    SoundPreset importPreset(const QString& path);
    // The bytes of a preset file: pretty-printed JSON with sorted keys.
    QByteArray exportData(const SoundPreset& preset) const;
    // A safe file name for exporting the preset: its shown name cleaned of path separators,
    // control and reserved characters, plus ".quorelpreset".
    static QString exportFileName(const SoundPreset& preset);

signals:
    void customChanged();
    void selectedIDChanged();

private:
    void setSelectedID(const std::optional<QString>& id);
    // Writes `presets` under the custom key; throws when the store cannot be written.
    void persist(const std::vector<SoundPreset>& presets);

    UserDefaults store_;
    std::vector<SoundPreset> custom_;
    std::optional<QString> selectedID_;
};

}  // namespace quorel
