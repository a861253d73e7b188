#pragma once

#include "HeadphoneFilter.h"

#include <QJsonObject>
#include <QString>

#include <vector>

namespace quorel {

// A headphone correction: a pre-gain and a short list of filters for one headphone model.
struct HeadphoneProfile {
    static constexpr int maximumFilters = 12;
    static constexpr float gainMin = -20, gainMax = 20;     // one filter's gainDB
    static constexpr float preampMin = -24, preampMax = 0;  // preampDB

    QString id;  // "autoeq." for the catalog, "import." + UUID for imported files
    QString name;
    QString brand;
    QString form = QStringLiteral("over-ear");
    QString source = QStringLiteral("import");
    float preampDB = 0;
    std::vector<HeadphoneFilter> filters;

    bool isBuiltIn() const;  // id begins with "autoeq." (case-sensitive)
    QString symbol() const;  // icon name: "headphones" for "over-ear", else an earbuds icon
    HeadphoneProfile sanitized() const;

    QJsonObject toJson() const;
    // Throws std::runtime_error on a missing required key, a wrong type or a bad filter.
    static HeadphoneProfile fromJson(const QJsonObject& object);

    bool operator==(const HeadphoneProfile&) const = default;
};

}  // namespace quorel
