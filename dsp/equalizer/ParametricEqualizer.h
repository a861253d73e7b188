#pragma once

#include "BiquadCoefficients.h"
#include "PublishedBlock.h"

#include <cstdint>
#include <memory>

namespace quorel {

// The signal processing of our parametric equalizer: a series of bands (peaking, Butterworth
// high-pass, shelves) and a global gain. The owner's thread keeps the band parameters, designs
// a band's filter when it changes and publishes the whole design (every band's coefficients and
// the linear global gain) as one block; the render thread takes the newest design at the start
// of a call and only packs it.
class ParametricEqualizer {
public:
    using Type = BiquadCoefficients::Type;

    static constexpr float minimumFrequency = 10;
    static constexpr float minimumBandwidth = 0.05f, maximumBandwidth = 5;
    static constexpr float minimumGain = -96, maximumGain = 24;
    static constexpr uint32_t maximumBands = 64;

    // At most maximumBands bands.
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
    // Owner's thread: changes made between beginUpdate() and the matching endUpdate() reach the
    // render thread together, as one design (updates nest).
    void beginUpdate();
    void endUpdate();

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

    // Owner's thread, while not rendering: designs every band for the rate.
    void prepare(double sampleRate);
    void reset();

    // Render thread: in place over 1 or 2 channels of `frames` samples.
    void process(float* const* channels, uint32_t channelCount, uint32_t frames);

    // The forms of the filter kernel: `portable` runs on any processor; `wide` works two
    // sections at once in 4-lane double vectors with fused multiply-adds (AVX with FMA), `wider`
    // four sections at once in 8-lane vectors (AVX-512); these exist only where kernelAvailable
    // says so. `wide` and `wider` give the same output to the bit, and all give the plain
    // cascade's to float rounding. The best available form is used unless a test picks one
    // (owner's thread, while not rendering).
    enum class Kernel { portable, wide, wider };
    static bool kernelAvailable(Kernel kernel);
    void setKernel(Kernel kernel);
    // Whether a design that arrives while the sound runs is reached over 20 ms (the
    // default: a change is never a click) or at once, from the next frame (the checks of the
    // kernels against the plain sections use that).
    void setChangesRamped(bool ramped) { changesRamped_ = ramped; }

private:
    // Owner's thread: one band's parameters.
    struct Band {
        Type type = Type::parametric;
        float frequency = 1000;
        float bandwidth = 0.5f;
        float gain = 0;
        bool bypass = false;
    };
    // What the render thread applies: each band's filter (identity when bypassed or neutral) and
    // the global gain as a factor (scaled: the gain is not 0 dB).
    struct Design {
        BiquadCoefficients filters[maximumBands];
        float gain = 1;
        bool scaled = false;
    };
    // Two doubles processed as one: the left and right channel of a frame.
    using Pair = double __attribute__((vector_size(16)));
    // Render thread: one band's filter and, while the band is not in the packed series, the
    // memories of both channels.
    struct Stage {
        BiquadCoefficients c;
        Pair s1{0, 0}, s2{0, 0};
        bool active = false;
    };
    // Render thread: the active filters in band order, packed two to a section pair: element
    // [h] of each field belongs to filter 2 j + h (coefficients repeated in both channel lanes,
    // transposed direct form II memories of both channels). The series is filled up with
    // identities to a multiple of four filters.
    struct alignas(32) SectionPair {
        Pair b0[2], b1[2], b2[2], a1[2], a2[2];
        Pair s1[2], s2[2];
    };
    void repack(const Design& design);
    void processStages(float* left, float* right, uint32_t frames);
    // Render thread: the next step of a running change: the filters and the global gain a step
    // further from those in use when the change came to the new design, packed.
    void stepTowardDesign();
    // Render thread: filters, then the global gain, moving from `fromGain` to the applied one over
    // the frames (a change of it is a ramp, not a step).
    void processPiece(float* const* channels, uint32_t channelCount, uint32_t offset, uint32_t frames, float fromGain);

    // Owner's thread: designs `band` anew (or the global gain) and publishes the whole design
    // (held back while an update is open).
    void publishBand(uint32_t band);
    void publishGlobalGain();
    void publish();

    uint32_t count_;
    Band bands_[maximumBands];
    float globalGain_ = 0;
    double sampleRate_ = 48000;
    Design pending_;  // owner's thread: the design as the parameters stand
    PublishedBlock<Design> design_;
    std::unique_ptr<Stage[]> stages_;
    std::unique_ptr<uint32_t[]> active_;  // indices of the active stages, in band order
    uint32_t activeCount_ = 0;
    static uint32_t pairCapacity(uint32_t count) { return (count + 3) / 4 * 2; }
    std::unique_ptr<SectionPair[]> packed_;  // pairCapacity(count) section pairs
    // Render thread: the frame travelling between filter k - 1 and filter k (portable kernel).
    std::unique_ptr<Pair[]> pipe_;
    // Render thread: the wide kernel's frames in double precision, left and right interleaved,
    // up to wideBlock at a time.
    static constexpr uint32_t wideBlock = 512;
    std::unique_ptr<double[]> frames2_;
    Kernel kernel_;
    // Render thread: a design that arrives while the sound runs is reached in `changeSteps`
    // steps of `changeStep` frames (20 ms at 48 kHz), each step's filters and gain part of
    // the way from those in use to the new ones, so that a change of the curve is never a click.
    // After prepare() or reset() nothing sounds yet, and the design applies at once.
    static constexpr uint32_t changeStep = 32;
    static constexpr uint32_t changeSteps = 30;
    Design changeFrom_;
    Design applied_;
    uint32_t changeStepsDone_ = changeSteps;
    bool sounding_ = false;
    bool changesRamped_ = true;
};

}  // namespace quorel
