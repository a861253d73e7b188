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
    // What the store keeps of the user's own: every change rewrites the whole list, so neither
    // a name nor the list may grow without bound.
    static constexpr qsizetype maximumNameLength = 200;  // UTF-16 code units, after trimming
    static constexpr std::size_t maximumCustom = 1000;

    explicit PresetLibrary(QObject* parent = nullptr);  // the standard store
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
    // Saves the settings under `name`, replacing a preset of that name. None for a blank name or
    // one longer than maximumNameLength. Throws an AudioFailure when a new preset would pass
    // maximumCustom or the store cannot be written; on a throw nothing changes.
    std::optional<SoundPreset> save(const QString& name, const DSPSettings& settings);
    std::optional<SoundPreset> customPreset(const QString& named) const;
    void deletePreset(const SoundPreset& preset);

    // Adds the first preset held in the file (a JSON array or one object) under a new id and
    // selects it. Throws an AudioFailure (a name longer than maximumNameLength makes the file
    // invalid; a list at maximumCustom takes no more); on a throw nothing changes.
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
    // Throws when the list is full and a preset would be added.
    void checkRoomForOneMore() const;
    // Writes `presets` under the custom key; throws when the store cannot be written.
    void persist(const std::vector<SoundPreset>& presets);

    UserDefaults store_;
    std::vector<SoundPreset> custom_;
    std::optional<QString> selectedID_;
};

}  // namespace quorel
