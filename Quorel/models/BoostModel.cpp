#include "BoostModel.h"

#include "BuiltInPresets.h"

namespace quorel {

BoostModel::BoostModel() : system_(std::make_unique<SystemModel>()), presets_(std::make_unique<PresetLibrary>())
{
    if (auto raw = UserDefaults::standard().string(tabKey))
        tab_ = mainTab::fromRawValue(*raw).value_or(MainTab::boost);
    system_->configure(settings_, processed_);
}

void BoostModel::setProcessed(bool processed)
{
    processed_ = processed;
    emit processedChanged();
}

void BoostModel::setTab(MainTab tab)
{
    tab_ = tab;
    UserDefaults::standard().setString(tabKey, mainTab::rawValue(tab));
    emit tabChanged();
}

void BoostModel::change(const std::function<void(DSPSettings&)>& mutation)
{
    mutation(settings_);
    settings_ = settings_.sanitized();
    presets_->settingsChanged(settings_);
    emit settingsChanged();
}

void BoostModel::apply(const SoundPreset& preset)
{
    change([&](DSPSettings& settings) { preset.apply(settings); });
    presets_->select(preset.id);
}

void BoostModel::reset()
{
    change([](DSPSettings& settings) { settings = DSPSettings(); });
    presets_->select(BuiltInPresets::neutralID);
}

void BoostModel::handle(const QUrl&) {}

}  // namespace quorel
