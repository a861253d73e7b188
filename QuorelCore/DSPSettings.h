#pragma once

#include "HeadphoneProfile.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace quorel {

// Every user-adjustable value of the processing chain. Never clamps itself on assignment:
// whoever takes values from outside passes the record through sanitized().
struct DSPSettings {
    static constexpr int bandCount = 31;
    static constexpr float bandwidthOctaves = 1.0f / 3.0f;
    static const std::array<float, 31> frequencies;
    static const std::array<const char*, 31> frequencyLabels;
    static constexpr std::array<int, 10> octaveBandIndices{2, 5, 8, 11, 14, 17, 20, 23, 26, 29};
    static constexpr std::array<float, 5> highPassOptions{0, 80, 100, 120, 150};
    static constexpr float boostMin = 0, boostMax = 12;
    static constexpr float limiterCeilingMin = -3, limiterCeilingMax = -0.1f;
    static constexpr float limiterReleaseMin = 10, limiterReleaseMax = 300;
    static constexpr float levelerGainMin = -12, levelerGainMax = 18;
    static constexpr float levelerTargetLUFS = -14;
    static constexpr float outputMarginDB = 0;

    float boostDB = 0;
    float loudness = 0;
    float highPassHz = 0;
    std::vector<float> bands = std::vector<float>(bandCount, 0.0f);
    float comparisonTrimDB = 0;
    float limiterCeilingDB = -1;
    float limiterReleaseMS = 80;
    float driveAmount = 0;
    float bassHarmonics = 0;
    float levelerStrength = 0;
    std::optional<HeadphoneProfile> headphoneProfile;

    DSPSettings sanitized() const;

    QJsonObject toJson() const;
    // Lenient decode (absent keys take defaults, 10-band layout mapped). Throws
    // std::runtime_error when a present key has the wrong type or a number does not fit a Float.
    static DSPSettings fromJson(const QJsonObject& object);
    // The same from JSON text; also throws when the text is not JSON or not an object.
    static DSPSettings fromJsonText(const QByteArray& text);

    static float decibels(float linear);  // 20·log10(x), never below -120
    static float linearGain(float dB);    // 10^(dB/20)
    static int bandIndex(float nearestHz);

    struct CompressorSettings {
        float threshold;
        float headroom;
        float makeupDB;
    };
    static CompressorSettings compressorSettings(float loudness);

    bool operator==(const DSPSettings&) const = default;
};

}  // namespace quorel
