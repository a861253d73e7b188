#pragma once

#include "Action.h"
#include "AppRule.h"
#include "Clock.h"
#include "DSPSettings.h"
#include "HotKeyCenter.h"
#include "NightSchedule.h"
#include "RunningApp.h"
#include "UserDefaults.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace quorel {

class BoostModel;
class FrontApplicationSource;
class ShortcutBackend;

// Changes the sound by itself: per-app rules while their application is in front, the night
// schedule while its window is open, and the global shortcuts. Changes the settings only
// through the root model (apply, restore). Main thread only.
class AutomationModel : public QObject {
    Q_OBJECT
public:
    using Action = quorel::Action;
    static constexpr const char* key = "Corvanta.Automation.v1";
    static constexpr double nightInterval = 30.0;  // seconds between night evaluations

    // `frontApplications` and `shortcuts` may be none: rules and shortcuts are then unavailable.
    AutomationModel(UserDefaults store, std::shared_ptr<Clock> clock,
                    std::unique_ptr<FrontApplicationSource> frontApplications,
                    std::unique_ptr<ShortcutBackend> shortcuts, QObject* parent = nullptr);
    ~AutomationModel() override;

    // Stored settings (setters store them and run their side effects).
    bool rulesEnabled() const { return rulesEnabled_; }
    void setRulesEnabled(bool enabled);
    const std::vector<AppRule>& rules() const { return rules_; }
    const NightSchedule& night() const { return night_; }
    void setNight(const NightSchedule& night);
    bool hotkeysEnabled() const { return hotkeysEnabled_; }
    void setHotkeysEnabled(bool enabled);

    // Live state.
    const std::optional<QString>& activeRuleBundleID() const { return activeRuleBundleID_; }
    bool nightActive() const { return nightActive_; }
    const std::vector<RunningApp>& runningApps() const { return runningApps_; }
    // False where the front application cannot be known (Wayland, no display): rules then never
    // apply; the night schedule works anyway.
    bool rulesAvailable() const;
    bool shortcutsAvailable() const { return hotKeys_.isAvailable(); }
    // The application in front now, by its desktop-file id (none when unknown).
    std::optional<QString> frontApplicationID() const;

    void attach(BoostModel* model);
    void evaluateFrontmost();
    void evaluateNight();
    void refreshRunningApps();
    void setRule(const QString& bundleID, const QString& name, const QString& presetID);
    void removeRule(const QString& bundleID);
    void perform(Action action);

    HotKeyCenter& hotKeys() { return hotKeys_; }

    // The store record (exposed for the store's tests): every key required.
    struct Stored {
        bool rulesEnabled = true;
        std::vector<AppRule> rules;
        NightSchedule night;
        bool hotkeysEnabled = true;
    };
    static std::optional<Stored> decode(const QByteArray& json);
    static QByteArray encode(const Stored& stored);

signals:
    void rulesEnabledChanged();
    void rulesChanged();
    void nightChanged();
    void hotkeysEnabledChanged();
    void activeRuleChanged();
    void nightActiveChanged();
    void runningAppsChanged();
    void availabilityChanged();

private:
    void persist();
    void restoreFromRule();
    void setActiveRule(const std::optional<QString>& bundleID);
    void setNightActive(bool active);

    UserDefaults store_;
    std::shared_ptr<Clock> clock_;
    std::unique_ptr<FrontApplicationSource> front_;
    bool rulesEnabled_ = true;
    std::vector<AppRule> rules_;
    NightSchedule night_;
    bool hotkeysEnabled_ = true;
    std::optional<QString> activeRuleBundleID_;
    bool nightActive_ = false;
    std::vector<RunningApp> runningApps_;
    QPointer<BoostModel> model_;
    std::optional<DSPSettings> settingsBeforeRule_;
    std::optional<DSPSettings> settingsBeforeNight_;
    std::unique_ptr<ClockTimer> nightTimer_;
    HotKeyCenter hotKeys_;
};

}  // namespace quorel
