#include "HeadphoneCatalog.h"

#include <QCollator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <exception>

namespace quorel::HeadphoneCatalog {

std::vector<HeadphoneProfile> load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) return {};
    std::vector<HeadphoneProfile> result;
    try {
        for (const QJsonValue& entry : document.array()) {
            if (!entry.isObject()) return {};
            result.push_back(HeadphoneProfile::fromJson(entry.toObject()).sanitized());
        }
    } catch (const std::exception&) {
        return {};
    }
    return result;
}

QStringList brandsOf(const std::vector<HeadphoneProfile>& profiles)
{
    QStringList result;
    for (const HeadphoneProfile& profile : profiles)
        if (!result.contains(profile.brand)) result.append(profile.brand);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(result.begin(), result.end(),
                     [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return result;
}

const std::vector<HeadphoneProfile>& all()
{
    static const std::vector<HeadphoneProfile> catalog = load(QString::fromLatin1(resourcePath));
    return catalog;
}

const QStringList& brands()
{
    static const QStringList sorted = brandsOf(all());
    return sorted;
}

std::vector<HeadphoneProfile> profiles(const QString& brand)
{
    std::vector<HeadphoneProfile> result;
    for (const HeadphoneProfile& profile : all())
        if (profile.brand == brand) result.push_back(profile);
    return result;
}

std::optional<HeadphoneProfile> profile(const QString& id)
{
    for (const HeadphoneProfile& profile : all())
        if (profile.id == id) return profile;
    return std::nullopt;
}

}  // namespace quorel::HeadphoneCatalog
