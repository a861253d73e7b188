#include "HeadphoneLibrary.h"

#include "AudioFailure.h"

#include "AutoEqParser.h"
#include "UserFile.h"
#include "UserNames.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <exception>

namespace quorel {

HeadphoneLibrary::HeadphoneLibrary(QObject* parent) : HeadphoneLibrary(UserDefaults::standard(), parent) {}

HeadphoneLibrary::HeadphoneLibrary(UserDefaults store, QObject* parent) : QObject(parent), store_(std::move(store))
{
    const std::optional<QString> stored = store_.string(QLatin1String(customKey));
    if (!stored) return;
    const QJsonDocument document = QJsonDocument::fromJson(stored->toUtf8());
    try {
        if (!document.isArray()) throw std::runtime_error("not a list of profiles");
        for (const QJsonValue& entry : document.array()) {
            if (!entry.isObject()) throw std::runtime_error("not a profile object");
            custom_.push_back(HeadphoneProfile::fromJson(entry.toObject()).sanitized());
        }
    } catch (const std::exception&) {
        custom_.clear();  // unreadable: start empty, keeping the stored text aside
        store_.setAsideUnreadable(QLatin1String(customKey));
    }
}

QString HeadphoneLibrary::profileName(const QString& path)
{
    QString name = QFileInfo(path).completeBaseName();
    for (QLatin1String suffix :
         {QLatin1String(" ParametricEQ"), QLatin1String(" FixedBandEQ"), QLatin1String("ParametricEQ")})
        if (name.endsWith(suffix)) name.chop(suffix.size());
    return name;
}

HeadphoneProfile HeadphoneLibrary::importProfile(const QString& path)
{
    HeadphoneProfile profile = parseAutoEQ(UserFile::readText(path), profileName(path));
    const auto existing = std::find_if(custom_.begin(), custom_.end(), [&](const HeadphoneProfile& p) {
        return userNames::same(p.name, profile.name);
    });
    // The list changes only once the store holds it, so a failed write changes nothing.
    std::vector<HeadphoneProfile> list = custom_;
    if (existing != custom_.end()) {
        profile.id = existing->id;
        list[size_t(existing - custom_.begin())] = profile;
    } else {
        list.insert(list.begin(), profile);
    }
    persist(list);
    custom_ = std::move(list);
    emit customChanged();
    return profile;
}

void HeadphoneLibrary::deleteProfile(const HeadphoneProfile& profile)
{
    if (profile.isBuiltIn()) return;
    std::vector<HeadphoneProfile> list = custom_;
    const auto removed = std::erase_if(list, [&](const HeadphoneProfile& p) { return p.id == profile.id; });
    persist(list);
    custom_ = std::move(list);
    if (removed > 0) emit customChanged();
}

void HeadphoneLibrary::persist(const std::vector<HeadphoneProfile>& profiles)
{
    QJsonArray list;
    for (const HeadphoneProfile& profile : profiles) list.append(profile.toJson());
    if (!store_.setString(QLatin1String(customKey),
                          QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact))))
        throw AudioFailure::localized(
            LocalizedMessage::make("Could not save the settings file {0}.", store_.filePath()));
}

}  // namespace quorel
