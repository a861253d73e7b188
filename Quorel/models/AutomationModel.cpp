#include "AutomationModel.h"

#include "BoostModel.h"
#include "FrontApplicationSource.h"
#include "PresetLibrary.h"
#include "ShortcutBackend.h"

#include <QCollator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace quorel {

namespace {

// Localized, case-insensitive ascending order of display names; a stable sort keeps equal
// names in their previous order.
template <typename T>
void sortByName(std::vector<T>& items)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(items.begin(), items.end(),
                     [&collator](const T& a, const T& b) { return collator.compare(a.name, b.name) < 0; });
}

std::optional<QString> requiredString(const QJsonObject& object, const char* name)
{
    const QJsonValue value = object.value(QLatin1String(name));
    if (!value.isString()) return std::nullopt;
    return value.toString();
}

std::optional<bool> requiredBool(const QJsonObject& object, const char* name)
{
    const QJsonValue value = object.value(QLatin1String(name));
    if (!value.isBool()) return std::nullopt;
    return value.toBool();
}

std::optional<int64_t> requiredInteger(const QJsonObject& object, const char* name)
{
    const QJsonValue value = object.value(QLatin1String(name));
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::trunc(number) != number || std::fabs(number) > 9.0e15) return std::nullopt;
    return static_cast<int64_t>(number);
}

}  // namespace

AutomationModel::AutomationModel(UserDefaults store, std::shared_ptr<Clock> clock,
                                 std::unique_ptr<FrontApplicationSource> frontApplications,
                                 std::unique_ptr<ShortcutBackend> shortcuts, QObject* parent)
    : QObject(parent), store_(std::move(store)), clock_(clock ? std::move(clock) : Clock::system()),
      front_(std::move(frontApplications)), hotKeys_(std::move(shortcuts))
{
    const QString storeKey = QString::fromLatin1(key);
    if (const std::optional<QString> data = store_.string(storeKey)) {
        if (const std::optional<Stored> stored = decode(data->toUtf8())) {
            rulesEnabled_ = stored->rulesEnabled;
            rules_ = stored->rules;
            night_ = stored->night;
            hotkeysEnabled_ = stored->hotkeysEnabled;
        } else {
            // Defaults for all four; the unreadable record is kept aside before persist() replaces it.
            store_.setAsideUnreadable(storeKey);
        }
    }
    if (front_)
        connect(front_.get(), &FrontApplicationSource::availabilityChanged, this,
                &AutomationModel::availabilityChanged);
    connect(&hotKeys_, &HotKeyCenter::availabilityChanged, this, &AutomationModel::availabilityChanged);
}

AutomationModel::~AutomationModel() = default;

std::optional<AutomationModel::Stored> AutomationModel::decode(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    Stored stored;
    const std::optional<bool> rulesEnabled = requiredBool(object, "rulesEnabled");
    const std::optional<bool> hotkeysEnabled = requiredBool(object, "hotkeysEnabled");
    const QJsonValue rules = object.value(QLatin1String("rules"));
    const QJsonValue night = object.value(QLatin1String("night"));
    if (!rulesEnabled || !hotkeysEnabled || !rules.isArray() || !night.isObject()) return std::nullopt;
    stored.rulesEnabled = *rulesEnabled;
    stored.hotkeysEnabled = *hotkeysEnabled;
    for (const QJsonValue& item : rules.toArray()) {
        if (!item.isObject()) return std::nullopt;
        const QJsonObject rule = item.toObject();
        const auto bundleID = requiredString(rule, "bundleID");
        const auto name = requiredString(rule, "name");
        const auto presetID = requiredString(rule, "presetID");
        if (!bundleID || !name || !presetID) return std::nullopt;
        stored.rules.push_back({*bundleID, *name, *presetID});
    }
    const QJsonObject nightObject = night.toObject();
    const auto enabled = requiredBool(nightObject, "enabled");
    const auto start = requiredInteger(nightObject, "startMinutes");
    const auto end = requiredInteger(nightObject, "endMinutes");
    const auto presetID = requiredString(nightObject, "presetID");
    if (!enabled || !start || !end || !presetID) return std::nullopt;
    stored.night = {*enabled, *start, *end, *presetID};
    return stored;
}

QByteArray AutomationModel::encode(const Stored& stored)
{
    QJsonArray rules;
    for (const AppRule& rule : stored.rules)
        rules.append(QJsonObject{{"bundleID", rule.bundleID}, {"name", rule.name}, {"presetID", rule.presetID}});
    const QJsonObject night{{"enabled", stored.night.enabled},
                            {"startMinutes", static_cast<double>(stored.night.startMinutes)},
                            {"endMinutes", static_cast<double>(stored.night.endMinutes)},
                            {"presetID", stored.night.presetID}};
    const QJsonObject object{{"rulesEnabled", stored.rulesEnabled},
                             {"rules", rules},
                             {"night", night},
                             {"hotkeysEnabled", stored.hotkeysEnabled}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void AutomationModel::persist()
{
    const QByteArray json = encode({rulesEnabled_, rules_, night_, hotkeysEnabled_});
    if (!store_.setString(QString::fromLatin1(key), QString::fromUtf8(json)) && model_)
        model_->system().setErrorMessage(
            LocalizedMessage::make("Could not save the settings file {0}.", store_.filePath()));
}

bool AutomationModel::rulesAvailable() const { return front_ && front_->isAvailable(); }

std::optional<QString> AutomationModel::frontApplicationID() const
{
    if (!rulesAvailable()) return std::nullopt;
    const std::optional<DesktopApplication> front = front_->frontApplication();
    if (!front || front->id.isEmpty()) return std::nullopt;
    return front->id;
}

void AutomationModel::setRulesEnabled(bool enabled)
{
    rulesEnabled_ = enabled;
    emit rulesEnabledChanged();
    persist();
    evaluateFrontmost();
}

void AutomationModel::setNight(const NightSchedule& night)
{
    night_ = night;
    emit nightChanged();
    persist();
    evaluateNight();
}

void AutomationModel::setHotkeysEnabled(bool enabled)
{
    hotkeysEnabled_ = enabled;
    emit hotkeysEnabledChanged();
    persist();
    if (enabled)
        hotKeys_.registerKeys();
    else
        hotKeys_.unregisterKeys();
}

void AutomationModel::setActiveRule(const std::optional<QString>& bundleID)
{
    if (activeRuleBundleID_ == bundleID) return;
    activeRuleBundleID_ = bundleID;
    emit activeRuleChanged();
}

void AutomationModel::setNightActive(bool active)
{
    if (nightActive_ == active) return;
    nightActive_ = active;
    emit nightActiveChanged();
}

void AutomationModel::attach(BoostModel* model)
{
    model_ = model;
    QPointer<AutomationModel> self(this);
    hotKeys_.handler = [self](Action action) {
        if (self) self->perform(action);
    };
    if (hotkeysEnabled_) hotKeys_.registerKeys();
    if (front_) {
        connect(front_.get(), &FrontApplicationSource::frontApplicationChanged, this,
                &AutomationModel::evaluateFrontmost, Qt::UniqueConnection);
    }
    nightTimer_ = clock_->schedule(
        nightInterval,
        [self] {
            if (self) self->evaluateNight();
        },
        true);
    refreshRunningApps();
    evaluateNight();
}

void AutomationModel::evaluateFrontmost()
{
    if (!model_) return;
    const std::optional<QString> front = frontApplicationID();
    if (!rulesEnabled_ || !front || *front == QLatin1String(FrontApplicationSource::ownApplicationID)) {
        if (!rulesEnabled_) restoreFromRule();
        return;
    }
    const auto rule =
        std::find_if(rules_.begin(), rules_.end(), [&front](const AppRule& r) { return r.bundleID == *front; });
    const std::optional<SoundPreset> preset =
        rule != rules_.end() ? model_->presets().find(rule->presetID) : std::nullopt;
    if (!preset) {
        if (activeRuleBundleID_) restoreFromRule();
        return;
    }
    if (!activeRuleBundleID_) settingsBeforeRule_ = model_->settings();
    if (activeRuleBundleID_ == *front && preset->matches(model_->settings())) return;
    setActiveRule(*front);
    model_->apply(*preset);
}

void AutomationModel::restoreFromRule()
{
    if (!model_ || !activeRuleBundleID_) return;
    setActiveRule(std::nullopt);
    if (settingsBeforeRule_) model_->restore(*settingsBeforeRule_);
    settingsBeforeRule_.reset();
}

void AutomationModel::evaluateNight()
{
    if (!model_) return;
    const QTime time = clock_->currentDateTime().toLocalTime().time();
    const int64_t minutes = time.isValid() ? time.hour() * 60 + time.minute() : 0;
    if (!night_.enabled || !night_.isOpen(minutes)) {
        if (nightActive_) {
            setNightActive(false);
            if (settingsBeforeNight_) model_->restore(*settingsBeforeNight_);
            settingsBeforeNight_.reset();
        }
        return;
    }
    if (nightActive_) return;
    const std::optional<SoundPreset> preset = model_->presets().find(night_.presetID);
    if (!preset) return;
    settingsBeforeNight_ = model_->settings();
    setNightActive(true);
    model_->apply(*preset);
}

void AutomationModel::refreshRunningApps()
{
    std::vector<RunningApp> apps;
    if (rulesAvailable()) {
        for (const DesktopApplication& app : front_->runningApplications()) {
            if (app.id.isEmpty() || app.id == QLatin1String(FrontApplicationSource::ownApplicationID)) continue;
            apps.push_back({app.id, app.name.isEmpty() ? app.id : app.name, app.icon});
        }
    }
    sortByName(apps);
    runningApps_ = std::move(apps);
    emit runningAppsChanged();
}

void AutomationModel::setRule(const QString& bundleID, const QString& name, const QString& presetID)
{
    const auto existing =
        std::find_if(rules_.begin(), rules_.end(), [&bundleID](const AppRule& r) { return r.bundleID == bundleID; });
    if (existing != rules_.end()) {
        existing->presetID = presetID;
        existing->name = name;
    } else {
        rules_.push_back({bundleID, name, presetID});
    }
    sortByName(rules_);
    emit rulesChanged();
    persist();
    evaluateFrontmost();
}

void AutomationModel::removeRule(const QString& bundleID)
{
    std::erase_if(rules_, [&bundleID](const AppRule& r) { return r.bundleID == bundleID; });
    emit rulesChanged();
    if (activeRuleBundleID_ == bundleID) restoreFromRule();
    persist();
}

void AutomationModel::perform(Action action)
{
    if (!model_) return;
    BoostModel& model = *model_;
    switch (action) {
    case Action::toggle: model.system().setActive(!model.system().isActive()); break;
    case Action::compare:
        model.setProcessed(!model.processed());
        model.configureSystem();
        break;
    case Action::boostUp: model.adjustBoost(1); break;
    case Action::boostDown: model.adjustBoost(-1); break;
    case Action::nextPreset: model.cyclePreset(1); break;
    case Action::previousPreset: model.cyclePreset(-1); break;
    }
}

}  // namespace quorel
