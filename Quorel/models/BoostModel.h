#pragma once

// Interim root model for the shell's windows until the root-model work lands; replaced whole.

#include "DSPSettings.h"
#include "MainTab.h"
#include "PresetLibrary.h"
#include "SoundPreset.h"
#include "SystemModel.h"

#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>

namespace quorel {

class BoostModel : public QObject {
    Q_OBJECT
public:
    static constexpr const char* tabKey = "Corvanta.Tab.v1";

    BoostModel();

    SystemModel& system() { return *system_; }
    const SystemModel& system() const { return *system_; }
    PresetLibrary& presets() { return *presets_; }
    const PresetLibrary& presets() const { return *presets_; }

    const DSPSettings& settings() const { return settings_; }
    bool processed() const { return processed_; }
    void setProcessed(bool processed);
    MainTab tab() const { return tab_; }
    void setTab(MainTab tab);
    bool blindTestRunning() const { return false; }

    void change(const std::function<void(DSPSettings&)>& mutation);
    void apply(const SoundPreset& preset);
    void reset();
    void handle(const QUrl& url);

signals:
    void settingsChanged();
    void processedChanged();
    void tabChanged();
    void blindTestRunningChanged();

private:
    std::unique_ptr<SystemModel> system_;
    std::unique_ptr<PresetLibrary> presets_;
    DSPSettings settings_;
    bool processed_ = true;
    MainTab tab_ = MainTab::boost;
};

}  // namespace quorel
