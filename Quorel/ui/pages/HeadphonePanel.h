#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QMenu;

class QPushButton;

namespace quorel {

class BoostModel;
class HeadphoneLibrary;
class HeadphonePanelState;
class PanelHeading;
class StudioButton;
class SymbolView;
struct HeadphoneProfile;

// The headphone correction card: the profile menu (None, the imported profiles, the built-in
// catalog by brand), the AutoEq import, the deletion of an imported profile after a
// confirmation, and the summary of the current profile (filters, source, pre-gain note).
class HeadphonePanel : public QWidget {
    Q_OBJECT
public:
    // Asks the user for an AutoEq file; none when cancelled. Replaced by tests.
    using FileChooser = std::function<std::optional<QString>(QWidget* parent)>;
    static void setFileChooser(FileChooser chooser);  // empty: the file dialog
    // The address the credits link opens (the AutoEq project).
    static QString autoEqAddress();

    HeadphonePanel(BoostModel& model, HeadphoneLibrary& library, QWidget* parent = nullptr);

    HeadphonePanelState& state() const { return *state_; }
    QPushButton* menuButton() const { return menuButton_; }
    StudioButton* importButton() const { return import_; }
    StudioButton* deleteButton() const { return delete_; }
    StudioButton* turnOffButton() const { return turnOff_; }
    QLabel* hint() const { return hint_; }
    QWidget* summary() const { return summary_; }
    QLabel* summaryName() const { return name_; }
    QLabel* detailLine() const { return detail_; }
    QLabel* preGainNote() const { return note_; }
    SymbolView* summarySymbol() const { return summarySymbol_; }
    QPushButton* creditsLink() const { return link_; }
    QMessageBox* confirmation() const { return confirmation_; }

    // The profile menu as it would open now (the caller owns it).
    QMenu* buildMenu(QWidget* parent) const;
    // The label of the menu button: symbol and text.
    QString menuSymbol() const;
    QString menuText() const;

    // Runs the import: asks for a file and hands it to the root model.
    void importFile();
    void refresh();

private:
    void showConfirmation();
    void confirmDelete();

    BoostModel& model_;
    HeadphoneLibrary& library_;
    HeadphonePanelState* state_;
    PanelHeading* heading_;
    QPushButton* menuButton_;
    StudioButton* import_;
    StudioButton* delete_;
    QLabel* hint_;
    QWidget* summary_;
    SymbolView* summarySymbol_;
    QLabel* name_;
    QLabel* detail_;
    QLabel* note_;
    StudioButton* turnOff_;
    QLabel* credits_;
    QPushButton* link_;
    QPointer<QMessageBox> confirmation_;
};

}  // namespace quorel
