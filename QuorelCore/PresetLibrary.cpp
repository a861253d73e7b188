#include "PresetLibrary.h"

#include "AudioFailure.h"
#include "BuiltInPresets.h"
#include "L10n.h"
#include "UserFile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <exception>

namespace quorel {

namespace {

const QString customPrefix = QStringLiteral("custom.");

// Strips spaces and tabs only; line breaks stay part of the name.
QString trimmedSpacesAndTabs(const QString& text)
{
    qsizetype begin = 0, end = text.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return text.mid(begin, end - begin);
}

bool sameName(const QString& a, const QString& b) { return SoundPreset::sameName(a, b); }

std::vector<SoundPreset> decodeList(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        throw std::runtime_error("not a JSON array of presets");
    std::vector<SoundPreset> list;
    for (const QJsonValue& entry : document.array()) {
        if (!entry.isObject()) throw std::runtime_error("not a preset object");
        list.push_back(SoundPreset::fromJson(entry.toObject()));
    }
    return list;
}

}  // namespace

PresetLibrary::PresetLibrary(QObject* parent) : PresetLibrary(UserDefaults::standard(), parent) {}

PresetLibrary::PresetLibrary(UserDefaults store, QObject* parent) : QObject(parent), store_(std::move(store))
{
    if (const std::optional<QString> stored = store_.string(QLatin1String(customKey))) {
        try {
            for (SoundPreset preset : decodeList(stored->toUtf8())) {
                preset.category = PresetCategory::custom;
                preset.bands = preset.applied(DSPSettings()).bands;
                custom_.push_back(std::move(preset));
            }
        } catch (const std::exception&) {
            custom_.clear();  // unreadable: start empty, keeping the stored text aside
            store_.setAsideUnreadable(QLatin1String(customKey));
        }
    }
    selectedID_ = store_.string(QLatin1String(selectionKey));
}

std::vector<SoundPreset> PresetLibrary::combined() const
{
    std::vector<SoundPreset> list = custom_;
    const std::vector<SoundPreset>& builtIn = BuiltInPresets::all();
    list.insert(list.end(), builtIn.begin(), builtIn.end());
    return list;
}

std::vector<SoundPreset> PresetLibrary::presets(PresetCategory category) const
{
    std::vector<SoundPreset> result;
    for (const SoundPreset& preset : combined())
        if (preset.category == category) result.push_back(preset);
    return result;
}

std::optional<SoundPreset> PresetLibrary::find(const QString& id) const
{
    for (const SoundPreset& preset : combined())
        if (preset.id == id) return preset;
    return std::nullopt;
}

std::optional<SoundPreset> PresetLibrary::selected() const
{
    if (!selectedID_) return std::nullopt;
    return find(*selectedID_);
}

void PresetLibrary::setSelectedID(const std::optional<QString>& id)
{
    store_.save(QLatin1String(selectionKey), id);
    if (selectedID_ == id) return;
    selectedID_ = id;
    emit selectedIDChanged();
}

void PresetLibrary::settingsChanged(const DSPSettings& settings)
{
    if (const std::optional<SoundPreset> current = selected(); current && current->matches(settings)) return;
    for (const SoundPreset& preset : combined()) {
        if (preset.matches(settings)) {
            setSelectedID(preset.id);
            return;
        }
    }
    setSelectedID(std::nullopt);
}

void PresetLibrary::select(const QString& id) { setSelectedID(id); }

std::optional<SoundPreset> PresetLibrary::save(const QString& name, const DSPSettings& settings)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > maximumNameLength) return std::nullopt;
    SoundPreset made = SoundPreset::customNamed(trimmed, settings);
    const auto existing =
        std::find_if(custom_.begin(), custom_.end(), [&](const SoundPreset& p) { return sameName(p.name, trimmed); });
    if (existing == custom_.end()) checkRoomForOneMore();
    // The list changes only once the store holds it, so a failed write changes nothing.
    std::vector<SoundPreset> list = custom_;
    if (existing != custom_.end()) {
        made.id = existing->id;
        list[size_t(existing - custom_.begin())] = made;
    } else {
        list.insert(list.begin(), made);
    }
    persist(list);
    custom_ = std::move(list);
    emit customChanged();
    setSelectedID(made.id);
    return made;
}

std::optional<SoundPreset> PresetLibrary::customPreset(const QString& named) const
{
    const QString trimmed = trimmedSpacesAndTabs(named);
    for (const SoundPreset& preset : custom_)
        if (sameName(preset.name, trimmed)) return preset;
    return std::nullopt;
}

void PresetLibrary::deletePreset(const SoundPreset& preset)
{
    // A copy: `preset` may be an entry of the list this replaces.
    const QString id = preset.id;
    if (!id.startsWith(customPrefix)) return;
    std::vector<SoundPreset> list = custom_;
    const auto removed = std::erase_if(list, [&](const SoundPreset& p) { return p.id == id; });
    persist(list);
    custom_ = std::move(list);
    if (removed > 0) emit customChanged();
    if (selectedID_ == id) setSelectedID(std::nullopt);
}

SoundPreset PresetLibrary::importPreset(const QString& path)
{
    const QByteArray bytes = UserFile::readText(path).toUtf8();
    if (bytes.trimmed().isEmpty()) throw AudioFailure::localized(LocalizedMessage("No preset in this file."));

    std::vector<SoundPreset> list;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    try {
        if (error.error != QJsonParseError::NoError) throw std::runtime_error("not JSON");
        if (document.isArray())
            list = decodeList(bytes);
        else if (document.isObject())
            list.push_back(SoundPreset::fromJson(document.object()));
        else
            throw std::runtime_error("not a preset");
    } catch (const std::exception&) {
        throw AudioFailure::localized(LocalizedMessage("This file does not hold a valid preset."));
    }
    if (list.empty()) throw AudioFailure::localized(LocalizedMessage("No preset in this file."));

    const SoundPreset& first = list.front();
    QString base = trimmedSpacesAndTabs(first.name);
    if (base.size() > maximumNameLength)
        throw AudioFailure::localized(LocalizedMessage("This file does not hold a valid preset."));
    checkRoomForOneMore();
    if (base.isEmpty()) base = QFileInfo(path).completeBaseName();
    QString name = base;
    for (int n = 2;; ++n) {
        const bool taken =
            std::any_of(custom_.begin(), custom_.end(), [&](const SoundPreset& p) { return sameName(p.name, name); });
        if (!taken) break;
        name = base + QStringLiteral(" (") + QString::number(n) + QStringLiteral(")");
    }

    const SoundPreset made = SoundPreset::customNamed(name, first.applied(DSPSettings()));
    std::vector<SoundPreset> updated = custom_;
    updated.insert(updated.begin(), made);
    persist(updated);
    custom_ = std::move(updated);
    emit customChanged();
    setSelectedID(made.id);
    return made;
}

QByteArray PresetLibrary::exportData(const SoundPreset& preset) const
{
    SoundPreset copy = preset;
    copy.category = PresetCategory::custom;
    copy.symbol = QString::fromLatin1(SoundPreset::customSymbol);
    if (!preset.id.startsWith(customPrefix))
        copy.summary =
            L10n::render(QStringLiteral("Exported from the built-in {0} preset."), {preset.name}, L10n::language());
    return QJsonDocument(copy.toJson()).toJson(QJsonDocument::Indented);
}

QString PresetLibrary::exportFileName(const SoundPreset& preset)
{
    static constexpr qsizetype maximumLength = 100;
    QString name = preset.localizedName();
    for (QChar& c : name) {
        const bool reserved = QStringView(u"/\\:*?\"<>|").contains(c);
        if (reserved || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
            || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            c = u' ';
    }
    name = name.simplified();
    // No hidden files, no "." or "..", no trailing dots.
    while (name.startsWith(u'.') || name.startsWith(u' ')) name.remove(0, 1);
    while (name.endsWith(u'.') || name.endsWith(u' ')) name.chop(1);
    if (name.size() > maximumLength) {
        name.truncate(maximumLength);
        if (name.back().isHighSurrogate()) name.chop(1);
        name = name.trimmed();
    }
    if (name.isEmpty()) name = QStringLiteral("Preset");
    return name + u'.' + QLatin1String(fileExtension);
}

void PresetLibrary::checkRoomForOneMore() const
{
    if (custom_.size() >= maximumCustom)
        throw AudioFailure::localized(LocalizedMessage::make(
            "You already have {0} presets of your own. Delete one to add another.", QString::number(maximumCustom)));
}

void PresetLibrary::persist(const std::vector<SoundPreset>& presets)
{
    QJsonArray list;
    for (const SoundPreset& preset : presets) list.append(preset.toJson());
    if (!store_.setString(QLatin1String(customKey),
                          QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact))))
        throw AudioFailure::localized(
            LocalizedMessage::make("Could not save the settings file {0}.", store_.filePath()));
}

}  // namespace quorel
