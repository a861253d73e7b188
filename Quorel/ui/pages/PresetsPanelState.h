#pragma once

#include "SoundPreset.h"

#include <QObject>
#include <QString>

#include <optional>

namespace quorel {

// The presets card's own state: which of its three alerts is on screen, the text of the name
// field, and the preset the delete confirmation is about (taken when the card's Delete button
// is pressed, so a selection that changes while the alert is open deletes nothing else).
class PresetsPanelState : public QObject {
    Q_OBJECT
public:
    explicit PresetsPanelState(QObject* parent = nullptr);

    bool askingName() const { return askingName_; }
    void setAskingName(bool asking);
    const QString& name() const { return name_; }
    void setName(const QString& name);
    bool confirmingDelete() const { return confirmingDelete_; }
    void setConfirmingDelete(bool confirming);
    bool confirmingOverwrite() const { return confirmingOverwrite_; }
    void setConfirmingOverwrite(bool confirming);
    const std::optional<SoundPreset>& deleteTarget() const { return deleteTarget_; }
    void setDeleteTarget(const std::optional<SoundPreset>& preset) { deleteTarget_ = preset; }

    // The name without spaces and tabs at its ends (what the library compares).
    static QString trimmedName(const QString& name);
    // Whether "Save" may be pressed: the trimmed name is not empty.
    bool canSave() const { return !trimmedName(name_).isEmpty(); }

signals:
    void changed();

private:
    bool askingName_ = false;
    QString name_;
    bool confirmingDelete_ = false;
    bool confirmingOverwrite_ = false;
    std::optional<SoundPreset> deleteTarget_;
};

}  // namespace quorel
