#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace quorel {

// One correction filter of a headphone profile.
struct HeadphoneFilter {
    enum class Kind { peak, lowShelf, highShelf };

    Kind kind = Kind::peak;
    float frequency = 1000;
    float gainDB = 0;
    float q = 1;

    static QString rawValue(Kind kind);  // "peak", "lowShelf", "highShelf"
    static std::optional<Kind> kindFromRawValue(const QString& raw);

    // 2·asinh(1/(2·max(q, 0.05)))/ln 2, in double precision.
    float bandwidthOctaves() const;
    HeadphoneFilter sanitized() const;

    QJsonObject toJson() const;
    // Throws std::runtime_error when a key is missing, of the wrong type, or the kind is unknown.
    static HeadphoneFilter fromJson(const QJsonObject& object);

    bool operator==(const HeadphoneFilter&) const = default;
};

}  // namespace quorel
