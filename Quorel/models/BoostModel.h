#pragma once

#include "Clock.h"
#include "DSPSettings.h"
#include "FrontApplicationSource.h"
#include "HeadphoneProfile.h"
#include "MainTab.h"
#include "RandomSource.h"
#include "ShortcutBackend.h"
#include "SoundPreset.h"
#include "SystemModel.h"
#include "UpdateChecker.h"
#include "UserDefaults.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorel {

class AutomationModel;
class HeadphoneLibrary;
class PresetLibrary;

// The root model: owns the engine controller, the preset and headphone libraries and the
// automation, holds the current settings, the A/B flag and the page, and is the one road by
// which the settings change (change()). One per process; main thread only.
class BoostModel : public QObject {
    Q_OBJECT
public:
    static constexpr const char* preferencesKey = "Corvanta.DSP.v2";
    static constexpr const char* legacyKey = "Corvanta.Lab.DSP.v1";
    static constexpr const char* tabKey = "Corvanta.Tab.v1";
    static constexpr double updateDelay = 0.03;  // seconds without a change before the engine update

    // What the model is built on. Every field has a production default when left empty, but the
    // system's engine factory (see SystemModel::Options).
    struct Options {
        std::shared_ptr<Clock> clock;                               // none: Clock::system()
        std::optional<UserDefaults> store;                          // none: UserDefaults::standard()
        SystemModel::Options system;                                // its clock and store default to ours
        std::unique_ptr<FrontApplicationSource> frontApplications;  // none: this session's (X11, portal or unavailable)
        std::unique_ptr<ShortcutBackend> shortcuts;                 // none: this session's (X11, portal or unavailable)
        std::shared_ptr<RandomSource> random;                       // none: RandomSource::system()
        bool desktopServices = true;  // false: leave the absent desktop services absent (tools, tests)
    };

    explicit BoostModel(Options options, QObject* parent = nullptr);
    ~BoostModel() override;

    // Published state.
    const DSPSettings& settings() const { return settings_; }
    bool processed() const { return processed_; }
    // Only publishes the flag; the writer then calls system().configure(settings(), flag) itself.
    void setProcessed(bool processed);
    // Hands the current settings and flag to the engine controller at once (no debounce): what
    // every writer of the flag does after setProcessed(), and what the debounced update does.
    void configureSystem();
    MainTab tab() const { return tab_; }
    // Shows a page and stores it (every write, also of the page shown).
    void setTab(MainTab tab);
    // True while a blind test runs (never stored): comparison switches and status lines then
    // hide which sound is heard.
    bool blindTestRunning() const { return blindTestRunning_; }
    void setBlindTestRunning(bool running);

    // The owned models.
    SystemModel& system() { return *system_; }
    const SystemModel& system() const { return *system_; }
    PresetLibrary& presets() { return *presets_; }
    const PresetLibrary& presets() const { return *presets_; }
    HeadphoneLibrary& headphones() { return *headphones_; }
    UpdateChecker& updater() { return *updater_; }
    AutomationModel& automation() { return *automation_; }
    const AutomationModel& automation() const { return *automation_; }
    // The services it was built on.
    const UserDefaults& store() const { return store_; }
    const std::shared_ptr<Clock>& clock() const { return clock_; }
    const std::shared_ptr<RandomSource>& random() const { return random_; }

    // The settings road: runs the mutation, sanitizes, tells the preset library, stores the
    // settings and, 30 ms after the last change, hands them to the engine controller.
    void change(const std::function<void(DSPSettings&)>& mutation);
    // Puts back settings a rule or the night saved, keeping Boost, the comparison trim, the
    // leveler and the headphone correction as they are now.
    void restore(const DSPSettings& saved);
    // Every setting to its default; the neutral preset selected.
    void reset();
    // Whether an engine update is waiting for the quiet period to end.
    bool updatePending() const { return updateTimer_ != nullptr; }

    // Presets and profiles.
    void apply(const SoundPreset& preset);
    void cyclePreset(int step);
    void adjustBoost(float decibels);
    void setHeadphoneProfile(const std::optional<HeadphoneProfile>& profile);
    void importHeadphoneProfile(const QString& path);

    // URL commands ("quorel:" and "corvanta:") and opened files (file URLs import a preset).
    // Anything else is ignored. Never throws.
    void handle(const QString& url);
    void handle(const QUrl& url);

    // The Boost number of a "boost" URL: "," read as ".", C-locale float syntax, whole text.
    static std::optional<float> parseBoost(const QString& text);
    // Strict percent-decoding: none on a bad escape or on bytes that are not UTF-8.
    static std::optional<QString> percentDecoded(const QString& text);

signals:
    void settingsChanged();
    void processedChanged();
    void tabChanged();
    void blindTestRunningChanged();
    // The engine controller was handed the settings and flag (configureSystem()).
    void systemConfigured();

private:
    void write(const QString& key, const QString& value);
    void storeSettings();
    void scheduleUpdate();
    void handleCommand(const QString& command, const QString& argument);

    Options options_;
    std::shared_ptr<Clock> clock_;
    UserDefaults store_;
    std::shared_ptr<RandomSource> random_;
    DSPSettings settings_;
    bool processed_ = true;
    MainTab tab_ = MainTab::boost;
    bool blindTestRunning_ = false;
    std::unique_ptr<SystemModel> system_;
    std::unique_ptr<PresetLibrary> presets_;
    std::unique_ptr<HeadphoneLibrary> headphones_;
    std::unique_ptr<UpdateChecker> updater_;
    std::unique_ptr<AutomationModel> automation_;
    std::unique_ptr<ClockTimer> updateTimer_;
};

}  // namespace quorel
