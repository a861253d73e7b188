#pragma once

#include "SoundPreset.h"

#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <optional>
#include <vector>

class QDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QMessageBox;
class QPushButton;

namespace quorel {

class BoostModel;
class PanelHeading;
class PresetsPanelState;
class SelectableButton;
class StudioButton;

// The presets card of the Equalizer page: the preset menu by category, quick-pick chips (the
// six featured built-ins, then the first three of the user's own), "Save as…" with its name
// prompt and replace confirmation, Delete with its confirmation, export and import, and the
// selected preset's description. Every action is one call on the root model or the library;
// export and import failures go to the main window's error banner.
class PresetsPanel : public QWidget {
    Q_OBJECT
public:
    explicit PresetsPanel(BoostModel& model, QWidget* parent = nullptr);
    ~PresetsPanel() override;

    // The chips' presets, in order: featured built-ins that exist, then up to three custom.
    static std::vector<SoundPreset> chipPresets(const std::vector<SoundPreset>& custom);
    // The menu's sections: each category with at least one preset, in category order.
    struct Section {
        PresetCategory category;
        std::vector<SoundPreset> presets;
    };
    static std::vector<Section> menuSections(const class PresetLibrary& library);

    PresetsPanelState& state() const { return *state_; }
    QWidget* menuButton() const { return menuButton_; }
    QMenu* presetMenu() const { return presetMenu_; }
    QMenu* fileMenu() const { return fileMenu_; }
    QWidget* fileButton() const { return fileButton_; }
    QList<SelectableButton*> chips() const;
    StudioButton* saveButton() const { return save_; }
    StudioButton* deleteButton() const { return delete_; }
    QLabel* summary() const { return summary_; }
    // The alerts while they are open (null otherwise).
    QDialog* nameDialog() const { return nameDialog_; }
    QLineEdit* nameField() const { return nameField_; }
    QPushButton* nameSaveButton() const { return nameSave_; }
    QMessageBox* replaceBox() const { return replaceBox_; }
    QMessageBox* deleteBox() const { return deleteBox_; }

    // The actions, as the buttons and menu items run them.
    void saveAs();
    void askDelete();
    void exportCurrent();
    void importFiles();

    void refresh();

private:
    void rebuildChips();
    void rebuildMenu();
    void refreshTexts();
    void showNamePrompt();
    void confirmName();
    // Saves the settings under the name asked for; a refusal (a full list, a store that cannot
    // be written) is shown as the window's error.
    void saveNamed();
    void showReplace();
    void showDelete();

    BoostModel& model_;
    PresetsPanelState* state_;
    PanelHeading* heading_;
    QWidget* menuButton_;
    QMenu* presetMenu_;
    QWidget* fileButton_;
    QMenu* fileMenu_;
    QAction* exportAction_;
    QAction* importAction_;
    StudioButton* save_;
    StudioButton* delete_;
    QWidget* chipRow_;
    QList<SelectableButton*> chips_;
    QLabel* summary_;
    QPointer<QDialog> nameDialog_;
    QPointer<QLineEdit> nameField_;
    QPointer<QPushButton> nameSave_;
    QPointer<QMessageBox> replaceBox_;
    QPointer<QMessageBox> deleteBox_;
};

}  // namespace quorel
