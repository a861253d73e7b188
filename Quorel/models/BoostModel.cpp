#include "BoostModel.h"

#include "AudioFailure.h"
#include "AutomationModel.h"
#include "BuiltInPresets.h"
#include "DesktopSession.h"
#include "FrontApplicationSource.h"
#include "HeadphoneLibrary.h"
#include "L10n.h"
#include "PresetLibrary.h"
#include "ShortcutBackend.h"

#include <QJsonDocument>
#include <QStringDecoder>

#include <clocale>
#include <cstdlib>
#include <locale.h>

namespace quorel {

namespace {

SystemModel::Options systemOptions(SystemModel::Options options, const std::shared_ptr<Clock>& clock,
                                   const UserDefaults& store)
{
    if (!options.clock) options.clock = clock;
    if (!options.store) options.store = store;
    return options;
}

// The message of a caught import error, with its own description.
QString errorText(const std::exception& error) { return LocalizedMessage::fromError(error).text(); }

}  // namespace

BoostModel::BoostModel(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)), clock_(options_.clock ? options_.clock : Clock::system()),
      store_(options_.store ? *options_.store : UserDefaults::standard()),
      random_(options_.random ? options_.random : RandomSource::system())
{
    system_ = std::make_unique<SystemModel>(systemOptions(std::move(options_.system), clock_, store_));
    presets_ = std::make_unique<PresetLibrary>(store_);
    headphones_ = std::make_unique<HeadphoneLibrary>(store_);
    UpdateChecker::Options updates;
    updates.clock = clock_;
    updates.store = store_;
    updater_ = std::make_unique<UpdateChecker>(std::move(updates));
    std::unique_ptr<FrontApplicationSource> front = std::move(options_.frontApplications);
    std::unique_ptr<ShortcutBackend> shortcuts = std::move(options_.shortcuts);
    if (options_.desktopServices) {
        if (!front) front = makeFrontApplicationSource();
        if (!shortcuts) shortcuts = makeShortcutBackend();
    }
    automation_ = std::make_unique<AutomationModel>(store_, clock_, std::move(front), std::move(shortcuts));

    // Settings: the current key, else (only when it holds nothing) the older one. Data that
    // cannot be read gives the defaults and is set aside before a change replaces it.
    const QString current = QString::fromLatin1(preferencesKey);
    std::optional<QString> data = store_.string(current);
    bool fromCurrent = data.has_value();
    if (!data) data = store_.string(QString::fromLatin1(legacyKey));
    if (data) {
        try {
            settings_ = DSPSettings::fromJsonText(data->toUtf8()).sanitized();
        } catch (const std::exception&) {
            settings_ = DSPSettings();
            if (fromCurrent) store_.setAsideUnreadable(current);
        }
    }

    tab_ =
        mainTab::fromRawValue(store_.string(QString::fromLatin1(tabKey)).value_or(QString())).value_or(MainTab::boost);

    system_->configure(settings_, processed_);
    presets_->settingsChanged(settings_);
    automation_->attach(this);
}

BoostModel::~BoostModel()
{
    updateTimer_.reset();
    automation_.reset();
}

void BoostModel::setProcessed(bool processed)
{
    processed_ = processed;
    emit processedChanged();
}

void BoostModel::configureSystem()
{
    system_->configure(settings_, processed_);
    emit systemConfigured();
}

void BoostModel::setTab(MainTab tab)
{
    tab_ = tab;
    emit tabChanged();
    write(QString::fromLatin1(tabKey), mainTab::rawValue(tab));
}

void BoostModel::setBlindTestRunning(bool running)
{
    if (blindTestRunning_ == running) return;
    blindTestRunning_ = running;
    emit blindTestRunningChanged();
}

void BoostModel::write(const QString& key, const QString& value)
{
    if (!store_.save(key, value))
        system_->setErrorMessage(LocalizedMessage::make("Could not save the settings file {0}.", store_.filePath()));
}

void BoostModel::change(const std::function<void(DSPSettings&)>& mutation)
{
    mutation(settings_);
    settings_ = settings_.sanitized();
    emit settingsChanged();
    presets_->settingsChanged(settings_);
    storeSettings();
    scheduleUpdate();
}

void BoostModel::storeSettings()
{
    const QByteArray json = QJsonDocument(settings_.toJson()).toJson(QJsonDocument::Compact);
    write(QString::fromLatin1(preferencesKey), QString::fromUtf8(json));
}

void BoostModel::scheduleUpdate()
{
    updateTimer_.reset();
    updateTimer_ = clock_->schedule(updateDelay, [this] {
        // A fired timer is done: release it, so updatePending() tells the truth.
        const std::unique_ptr<ClockTimer> fired = std::move(updateTimer_);
        configureSystem();
    });
}

void BoostModel::restore(const DSPSettings& saved)
{
    change([&saved](DSPSettings& settings) {
        DSPSettings next = saved;
        next.boostDB = settings.boostDB;
        next.comparisonTrimDB = settings.comparisonTrimDB;
        next.levelerStrength = settings.levelerStrength;
        next.headphoneProfile = settings.headphoneProfile;
        settings = next;
    });
}

void BoostModel::reset()
{
    change([](DSPSettings& settings) { settings = DSPSettings(); });
    presets_->select(QString::fromLatin1(BuiltInPresets::neutralID));
}

void BoostModel::apply(const SoundPreset& preset)
{
    change([&preset](DSPSettings& settings) { preset.apply(settings); });
    presets_->select(preset.id);
}

void BoostModel::cyclePreset(int step)
{
    const std::vector<SoundPreset> list = presets_->combined();
    const int n = static_cast<int>(list.size());
    if (n == 0) return;
    int i = -1;
    if (const std::optional<QString>& selected = presets_->selectedID()) {
        for (int k = 0; k < n; ++k) {
            if (list[static_cast<size_t>(k)].id == *selected) {
                i = k;
                break;
            }
        }
    }
    const int j = ((i + step) % n + n) % n;
    apply(list[static_cast<size_t>(j)]);
}

void BoostModel::adjustBoost(float decibels)
{
    change([decibels](DSPSettings& settings) { settings.boostDB += decibels; });
}

void BoostModel::setHeadphoneProfile(const std::optional<HeadphoneProfile>& profile)
{
    change([&profile](DSPSettings& settings) { settings.headphoneProfile = profile; });
}

void BoostModel::importHeadphoneProfile(const QString& path)
{
    try {
        const HeadphoneProfile profile = headphones_->importProfile(path);
        setHeadphoneProfile(profile);
    } catch (const std::exception& error) {
        system_->setError(L10n::render(QStringLiteral("Could not import the headphone profile: {0}"),
                                       {errorText(error)}, appLanguage::saved(store_)));
    }
}

// ---- URL commands ----

std::optional<QString> BoostModel::percentDecoded(const QString& text)
{
    const QByteArray raw = text.toUtf8();
    QByteArray bytes;
    bytes.reserve(raw.size());
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != '%') {
            bytes.append(raw[i]);
            continue;
        }
        if (i + 2 >= raw.size()) return std::nullopt;
        const int high = hex(raw[i + 1]), low = hex(raw[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.append(static_cast<char>(high * 16 + low));
        i += 2;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError()) return std::nullopt;
    return decoded;
}

std::optional<float> BoostModel::parseBoost(const QString& text)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    QByteArray bytes = text.toUtf8();
    bytes.replace(',', '.');
    if (bytes.isEmpty() || bytes.contains('\0')) return std::nullopt;
    const char first = bytes[0];
    if (first == ' ' || first == '\t' || first == '\n' || first == '\v' || first == '\f' || first == '\r')
        return std::nullopt;
    if (!cLocale) return std::nullopt;
    char* end = nullptr;
    const float value = strtof_l(bytes.constData(), &end, cLocale);
    if (end != bytes.constData() + bytes.size()) return std::nullopt;
    return value;
}

void BoostModel::handle(const QUrl& url)
{
    if (url.isLocalFile()) {
        try {
            const SoundPreset preset = presets_->importPreset(url.toLocalFile());
            apply(preset);
        } catch (const std::exception& error) {
            system_->setError(L10n::render(QStringLiteral("Could not import the preset: {0}"), {errorText(error)},
                                           appLanguage::saved(store_)));
        }
        return;
    }
    handle(url.toString(QUrl::FullyEncoded));
}

void BoostModel::handle(const QString& text)
{
    const QUrl url(text);
    if (url.isLocalFile()) {
        handle(url);
        return;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("quorel") && scheme != QLatin1String("corvanta")) return;
    const QString command = url.host().toLower();

    // The path as written (QUrl would repair a bad escape): after "scheme://authority", up to
    // the query or fragment. Its components without the leading "/", joined with "/", decoded.
    QString path;
    if (const qsizetype slashes = text.indexOf(QLatin1String("://")); slashes >= 0) {
        qsizetype start = slashes + 3;
        while (start < text.size() && text[start] != u'/' && text[start] != u'?' && text[start] != u'#') ++start;
        qsizetype end = start;
        while (end < text.size() && text[end] != u'?' && text[end] != u'#') ++end;
        path = text.mid(start, end - start);
    }
    const QStringList components = path.split(u'/', Qt::SkipEmptyParts);
    const QString argument = percentDecoded(components.join(u'/')).value_or(QString());
    handleCommand(command, argument);
}

void BoostModel::handleCommand(const QString& command, const QString& argument)
{
    if (command == QLatin1String("toggle")) {
        system_->setActive(!system_->isActive());
    } else if (command == QLatin1String("on")) {
        system_->setActive(true);
    } else if (command == QLatin1String("off")) {
        system_->setActive(false);
    } else if (command == QLatin1String("compare")) {
        setProcessed(!processed_);
        configureSystem();
    } else if (command == QLatin1String("next")) {
        cyclePreset(1);
    } else if (command == QLatin1String("previous")) {
        cyclePreset(-1);
    } else if (command == QLatin1String("tab")) {
        if (const std::optional<MainTab> tab = mainTab::fromRawValue(argument.toLower())) setTab(*tab);
    } else if (command == QLatin1String("preset")) {
        for (const SoundPreset& preset : presets_->combined()) {
            if (preset.matchesNameOrID(argument)) {
                apply(preset);
                return;
            }
        }
    } else if (command == QLatin1String("boost")) {
        if (argument == QLatin1String("up")) {
            adjustBoost(1);
        } else if (argument == QLatin1String("down")) {
            adjustBoost(-1);
        } else if (const std::optional<float> value = parseBoost(argument)) {
            const float boost = *value;
            change([boost](DSPSettings& settings) { settings.boostDB = boost; });
        }
    }
}

}  // namespace quorel
