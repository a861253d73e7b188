#pragma once

#include <QUrl>
#include <QWidget>

#include <optional>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace quorel {

class BoostModel;
class LoginItemState;
class PanelHeading;
class StudioButton;
class StudioPanel;
class UpdateChecker;

// The settings page: one card with the reset button, the interface language, launch at login,
// automatic update checks with "Check now", the keyboard shortcuts, and a footer with the
// privacy and support links and the version. Wiring only: every change goes to its model.
class SettingsPanel : public QWidget {
    Q_OBJECT
public:
    SettingsPanel(BoostModel& model, UpdateChecker& updater, QWidget* parent = nullptr);

    // The support link: "mailto:" + address + "?subject=Quorel%20" + version, when it forms a
    // URL; none otherwise.
    static std::optional<QUrl> supportURL(const QString& version);
    static QString supportAddress();

    StudioButton* resetButton() const { return reset_; }
    QComboBox* languagePicker() const { return language_; }
    QCheckBox* loginSwitch() const { return login_; }
    QLabel* loginCaption() const { return loginCaption_; }
    QCheckBox* updateSwitch() const { return automatic_; }
    QPushButton* checkButton() const { return check_; }
    QPushButton* privacyButton() const { return privacy_; }
    QPushButton* supportButton() const { return support_; }
    QLabel* versionLabel() const { return version_; }
    // The shortcut rows as shown: keys text, then description.
    QList<QPair<QString, QString>> shortcutRows() const;
    LoginItemState& loginItem() const { return *loginItem_; }

    void refresh();

private:
    QVBoxLayout* buildSettings(StudioPanel* card);
    QVBoxLayout* buildShortcutList(StudioPanel* card);
    QHBoxLayout* buildFooter(StudioPanel* card);

    BoostModel& model_;
    UpdateChecker& updater_;
    LoginItemState* loginItem_;
    PanelHeading* heading_;
    StudioButton* reset_;
    QLabel* languageTitle_;
    QComboBox* language_;
    QLabel* languageCaption_;
    QCheckBox* login_;
    QLabel* loginTitle_;
    QLabel* loginCaption_;
    QCheckBox* automatic_;
    QLabel* automaticTitle_;
    QPushButton* check_;
    QLabel* automaticCaption_;
    QList<QPair<QLabel*, QLabel*>> shortcuts_;
    QLabel* footer_;
    QPushButton* privacy_;
    QPushButton* support_;
    QLabel* version_;
};

}  // namespace quorel
