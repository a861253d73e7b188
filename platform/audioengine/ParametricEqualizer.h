#pragma once

#include "BiquadCoefficients.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace quorel {

// The signal processing of our parametric equalizer: a series of bands (peaking, Butterworth
// high-pass, shelves) and a global gain. Band parameters are written by the owner's thread
// into atomics; the render thread redesigns a band's filter only when it changed.
class ParametricEqualizer {
public:
    using Type = BiquadCoefficients::Type;

    static constexpr float minimumFrequency = 10;
    static constexpr float minimumBandwidth = 0.05f, maximumBandwidth = 5;
    static constexpr float minimumGain = -96, maximumGain = 24;

    explicit ParametricEqualizer(uint32_t bandCount);

    uint32_t bandCount() const { return count_; }

    // Owner's thread. Values are clamped into their ranges; values that are not finite are
    // ignored.
    void setType(uint32_t band, Type type);
    void setFrequency(uint32_t band, float hz);
    void setBandwidth(uint32_t band, float octaves);
    void setGain(uint32_t band, float dB);
    void setBypass(uint32_t band, bool bypass);
    void setGlobalGain(float dB);

    Type type(uint32_t band) const;
    float frequency(uint32_t band) const;
    float bandwidth(uint32_t band) const;
    float gain(uint32_t band) const;
    bool bypass(uint32_t band) const;
    float globalGain() const;

    // The filter a band applies at a sample rate (identity when bypassed).
    BiquadCoefficients design(uint32_t band, double sampleRate) const;
    // Response of the whole equalizer (bands in series and global gain) in dB.
    double magnitudeDB(double sampleRate, double hz) const;

    // Owner's thread, while not rendering.
    void prepare(double sampleRate);
    void reset();

    // Render thread: in place over 1 or 2 channels of `frames` samples.
    void process(float* const* channels, uint32_t channelCount, uint32_t frames);

private:
    struct Band {
        std::atomic<int> type{0};
        std::atomic<float> frequency{1000};
        std::atomic<float> bandwidth{0.5f};
        std::atomic<float> gain{0};
        std::atomic<bool> bypass{false};
        std::atomic<bool> changed{true};
    };
    // Two doubles processed as one: the left and right channel of a frame.
    using Pair = double __attribute__((vector_size(16)));
    // Render thread: one band's filter (transposed direct form II, double precision), its
    // coefficients repeated in both lanes and the memories of both channels.
    struct Stage {
        Pair b0{1, 1}, b1{0, 0}, b2{0, 0}, a1{0, 0}, a2{0, 0};
        Pair s1{0, 0}, s2{0, 0};
        bool active = false;
    };
    void processStages(float* left, float* right, uint32_t frames);

    void touch(uint32_t band);

    uint32_t count_;
    std::unique_ptr<Band[]> bands_;
    std::unique_ptr<Stage[]> stages_;
    std::unique_ptr<uint32_t[]> active_;  // indices of the active stages, in band order
    uint32_t activeCount_ = 0;
    // Render thread: the frame travelling between stage k - 1 and stage k.
    std::unique_ptr<Pair[]> pipe_;
    std::atomic<float> globalGain_{0};
    std::atomic<bool> changed_{true};
    double sampleRate_ = 48000;
};

}  // namespace quorel
