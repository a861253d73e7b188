#pragma once

#include "Action.h"
#include "AppRule.h"
#include "RunningApp.h"

#include <QIcon>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QMenu;
class QVBoxLayout;

namespace quorel {

class BoostModel;
class DesktopEntryIndex;
class PanelHeading;
class PresetPicker;
class StudioButton;
class StudioPanel;
class StudioSwitch;

// The Automation page: the per-app rules card, the night mode card, and below them the global
// shortcuts card beside the URL commands card. Every control reads the automation model and the
// preset library on each change and writes only on a user action (a click, a chosen row).
class AutomationPanel : public QWidget {
    Q_OBJECT
public:
    explicit AutomationPanel(BoostModel& model, QWidget* parent = nullptr);
    ~AutomationPanel() override;

    // The running applications offered for a new rule: in their order, without those that have
    // a rule, each id once.
    static std::vector<RunningApp> offeredApps(const std::vector<RunningApp>& running,
                                               const std::vector<AppRule>& rules);
    // The preset of a new rule: the selected preset, else the neutral one.
    static QString newRulePreset(const std::optional<QString>& selectedID);
    // The 48 times of a day in steps of 30 minutes.
    static std::vector<int> timeChoices();
    static QString timeText(int64_t minutes);  // "22:00"
    // A shortcut as shown: "Ctrl+Alt+Super+B", arrows as arrow glyphs.
    static QString shortcutText(Action action);
    // An application icon from its icon name or path (empty: none).
    static QIcon applicationIcon(const QString& icon);

    // The widgets, for tests and snapshots.
    StudioSwitch* rulesSwitch() const { return rulesSwitch_; }
    StudioButton* addAppButton() const { return addApp_; }
    QMenu* addAppMenu() const { return addAppMenu_; }
    QLabel* rulesNote() const { return rulesNote_; }
    QLabel* emptyText() const { return empty_; }
    QLabel* unavailableText() const { return unavailable_; }
    struct RuleRow {
        QString bundleID;
        QWidget* row = nullptr;
        QLabel* icon = nullptr;
        QLabel* name = nullptr;
        PresetPicker* picker = nullptr;
        QLabel* badge = nullptr;
        StudioButton* remove = nullptr;
    };
    const std::vector<RuleRow>& ruleRows() const { return rows_; }
    StudioSwitch* nightSwitch() const { return nightSwitch_; }
    QLabel* nightBadge() const { return nightBadge_; }
    QComboBox* startPicker() const { return start_; }
    QComboBox* endPicker() const { return end_; }
    PresetPicker* nightPresetPicker() const { return nightPreset_; }
    StudioSwitch* shortcutsSwitch() const { return hotkeysSwitch_; }
    QList<QPair<QLabel*, QLabel*>> shortcutRows() const { return shortcuts_; }
    QLabel* urlIntro() const { return urlIntro_; }
    QLabel* shortcutsNote() const { return shortcutsNote_; }
    QLabel* shortcutsUnavailableText() const { return shortcutsUnavailable_; }

    void refresh();

protected:
    void showEvent(QShowEvent* event) override;

private:
    StudioPanel* buildRulesCard();
    StudioPanel* buildNightCard();
    StudioPanel* buildShortcutsCard();
    StudioPanel* buildUrlCard();
    void rebuildRules();
    void rebuildAddMenu();
    void refreshNight();
    void refreshTexts();
    QIcon ruleIcon(const QString& bundleID);

    BoostModel& model_;
    std::unique_ptr<DesktopEntryIndex> entries_;

    PanelHeading* rulesHeading_;
    StudioSwitch* rulesSwitch_;
    StudioButton* addApp_;
    QMenu* addAppMenu_;
    QLabel* rulesNote_;
    QLabel* unavailable_;
    QLabel* empty_;
    QWidget* ruleList_;
    QVBoxLayout* ruleLayout_;
    std::vector<RuleRow> rows_;

    PanelHeading* nightHeading_;
    QLabel* nightBadge_;
    StudioSwitch* nightSwitch_;
    QLabel* fromTitle_;
    QLabel* toTitle_;
    QLabel* applyText_;
    QComboBox* start_;
    QComboBox* end_;
    PresetPicker* nightPreset_;
    QLabel* nightNote_;

    PanelHeading* shortcutsHeading_;
    StudioSwitch* hotkeysSwitch_;
    QList<QPair<QLabel*, QLabel*>> shortcuts_;
    QLabel* shortcutsNote_;
    QLabel* shortcutsUnavailable_;

    PanelHeading* urlHeading_;
    QLabel* urlIntro_;
    QLabel* urlNote_;
};

}  // namespace quorel
