#include "HeadphoneProfile.h"

#include "JsonFloat.h"

#include <QJsonArray>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace quorel {

namespace {

constexpr qsizetype maximumNameLength = 80;  // user-perceived characters

// The first `count` user-perceived characters (grapheme clusters) of `text`.
QString leadingCharacters(const QString& text, qsizetype count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (qsizetype n = 0; n < count; ++n) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0) return text;
        end = next;
    }
    return text.left(end);
}

QString optionalString(const QJsonObject& object, const QString& key, const QString& fallback)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) return fallback;
    if (!value.isString()) throw std::runtime_error(QStringLiteral("\"%1\" is not a string").arg(key).toStdString());
    return value.toString();
}

QString requiredString(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        throw std::runtime_error(QStringLiteral("\"%1\" is missing or not a string").arg(key).toStdString());
    return value.toString();
}

}  // namespace

bool HeadphoneProfile::isBuiltIn() const { return id.startsWith(QStringLiteral("autoeq."), Qt::CaseSensitive); }

QString HeadphoneProfile::symbol() const
{
    return form == QStringLiteral("over-ear") ? QStringLiteral("headphones") : QStringLiteral("earbuds");
}

HeadphoneProfile HeadphoneProfile::sanitized() const
{
    HeadphoneProfile copy = *this;
    copy.preampDB = std::isfinite(preampDB) ? std::min(std::max(preampDB, preampMin), preampMax) : 0.0f;
    if (copy.filters.size() > size_t(maximumFilters)) copy.filters.resize(size_t(maximumFilters));
    for (HeadphoneFilter& filter : copy.filters) filter = filter.sanitized();
    copy.name = leadingCharacters(name.trimmed(), maximumNameLength);
    if (copy.name.isEmpty()) copy.name = QStringLiteral("Headphones");
    return copy;
}

QJsonObject HeadphoneProfile::toJson() const
{
    QJsonArray filterArray;
    for (const HeadphoneFilter& filter : filters) filterArray.append(filter.toJson());
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("brand"), brand},
                       {QStringLiteral("form"), form},
                       {QStringLiteral("source"), source},
                       {QStringLiteral("preampDB"), jsonFloat::encode(preampDB)},
                       {QStringLiteral("filters"), filterArray}};
}

HeadphoneProfile HeadphoneProfile::fromJson(const QJsonObject& object)
{
    HeadphoneProfile profile;
    profile.id = requiredString(object, QStringLiteral("id"));
    profile.name = requiredString(object, QStringLiteral("name"));
    const QStringList words = profile.name.split(u' ', Qt::SkipEmptyParts);
    profile.brand = optionalString(object, QStringLiteral("brand"), words.isEmpty() ? QString() : words.first());
    profile.form = optionalString(object, QStringLiteral("form"), profile.form);
    profile.source = optionalString(object, QStringLiteral("source"), profile.source);
    profile.preampDB = jsonFloat::decodeOptional(object, QStringLiteral("preampDB")).value_or(0.0f);
    const QJsonValue filterValue = object.value(QStringLiteral("filters"));
    if (!filterValue.isUndefined() && !filterValue.isNull()) {
        if (!filterValue.isArray()) throw std::runtime_error("\"filters\" is not an array");
        for (const QJsonValue& item : filterValue.toArray()) {
            if (!item.isObject()) throw std::runtime_error("a filter is not an object");
            profile.filters.push_back(HeadphoneFilter::fromJson(item.toObject()));
        }
    }
    return profile;
}

}  // namespace quorel
