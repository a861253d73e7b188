#pragma once

#include <QDialog>

class QAbstractButton;
class QComboBox;
class QLabel;
class QVBoxLayout;

namespace quorel {

enum class AppLanguage;
class BoostModel;
class OnboardingState;
class StudioButton;

// The first-run sheet: welcome, what processing does on this system, and a starting preset,
// with a language picker in its header. Window-modal over the main window. "Skip" and "Finish"
// complete the onboarding; closing the sheet any other way (Esc, the window's close button)
// only hides it, so it comes back at the next launch.
class OnboardingView : public QDialog {
    Q_OBJECT
public:
    // The four starting presets, in order.
    static const QStringList startingPresetIDs;

    OnboardingView(BoostModel& model, OnboardingState& state, QWidget* parent = nullptr,
                   QStringList presetIDs = startingPresetIDs);

    QString titleText() const;
    QString stepText() const;
    StudioButton* skipButton() const { return skip_; }
    StudioButton* backButton() const { return back_; }
    StudioButton* forwardButton() const { return forward_; }
    QComboBox* languagePicker() const { return language_; }
    // The current step's buttons and cards (built anew with each step).
    StudioButton* enableButton() const { return enable_; }
    StudioButton* soundSettingsButton() const { return soundSettings_; }
    QLabel* statusWord() const { return statusWord_; }
    QList<QAbstractButton*> presetCards() const { return cards_; }

    void refresh();

    // Closing by the window (Esc, close button): hides the sheet, the flag stays as it was.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Which control of the step had the focus (its place in stepControls), and whether it came
    // by the keyboard.
    struct StepFocus {
        qsizetype at = -1;
        bool fromKeyboard = false;
    };

    // The current step's content anew: the old one removed, the new one built, Tab ordered and
    // the focus handed on.
    void buildStep();
    // The step's controls in Tab order.
    QList<QWidget*> stepControls() const;
    StepFocus removeStep();
    void buildWelcome(QVBoxLayout& layout, AppLanguage language);
    void buildPermission(QVBoxLayout& layout, AppLanguage language);
    void buildPresets(QVBoxLayout& layout, AppLanguage language);
    void orderTabs();
    void restoreFocus(StepFocus focus);

    BoostModel& model_;
    OnboardingState& state_;
    QLabel* title_;
    QLabel* step_;
    QComboBox* language_;
    QWidget* content_ = nullptr;
    int builtStep_ = -1;
    QVBoxLayout* contentSlot_;
    StudioButton* skip_;
    StudioButton* back_;
    StudioButton* forward_;
    StudioButton* enable_ = nullptr;
    StudioButton* soundSettings_ = nullptr;
    QLabel* statusWord_ = nullptr;
    QList<QAbstractButton*> cards_;
    QStringList presetIDs_;
};

}  // namespace quorel
