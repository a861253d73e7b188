#pragma once

#include "AudioEngine.h"
#include "DSPSettings.h"
#include "EffectNode.h"
#include "EqualizerUnit.h"
#include "MeterReading.h"
#include "MixerNode.h"
#include "PlayerNode.h"
#include "QRBassUnit.h"
#include "QRDriveUnit.h"
#include "QRLevelerUnit.h"
#include "QRLimiterUnit.h"
#include "QRParameterBounds.h"
#include "QRSpectrumStatus.h"
#include "QRUtilityUnit.h"
#include "SpectrumReading.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

namespace quorel {

// The processing chain inside a manually rendered engine. The source passes the `input` mixer
// and splits: the processed path runs bass harmonics, bass cut, leveler, Boost gain, Loudness
// compressor, 31-band equalizer, headphone correction, Drive, limiter and the A/B gain `wet`;
// the unprocessed path is the utility unit `dry`, delayed by the processed path's latency.
// Both meet in `sum`, then the output stage (audible gain, full-scale guard, meter, spectrum)
// feeds the engine's main mixer and output.
//
// Owner's order: construct, apply(), setProcessed(), prepare(), engine().start(), then pull
// audio (engine().renderOffline() after scheduling on player(), or engine().renderRealtime()
// from the real-time thread, at most maximumFrames per call, into two buffers whose byte sizes
// cover the frames), any number of apply()/setProcessed()/meter()/spectrum(), then stop().
// Every operation except rendering runs on the owner's thread.
class AudioGraph {
public:
    // How the graph is fed.
    struct Mode {
        enum class Kind { realtime, offline };
        Kind kind = Kind::offline;
        // realtime: the format rendered into (device side): deinterleaved 32-bit float stereo
        // at the source's rate.
        AudioFormat output{};
        // realtime: hands out `frames` source frames (one buffer per source channel, byte sizes
        // set), or null; called on the rendering thread, so it must not block or allocate.
        InputNode::InputBlock inputBlock;

        static Mode offline() { return {}; }
        static Mode realtime(const AudioFormat& output, InputNode::InputBlock inputBlock)
        {
            return {Kind::realtime, output, std::move(inputBlock)};
        }
    };

    static constexpr uint32_t maximumFrames = 4096;

    // Builds and wires the whole chain with the default settings; throws AudioFailure.
    AudioGraph(const AudioFormat& sourceFormat, Mode mode, bool analyse);
    ~AudioGraph();
    AudioGraph(const AudioGraph&) = delete;
    AudioGraph& operator=(const AudioGraph&) = delete;

    AudioEngine& engine() { return *engine_; }
    PlayerNode& player() { return player_; }
    const AudioFormat& format() const { return format_; }
    bool usesPlayer() const { return usesPlayer_; }
    double reportedLatency() const { return reportedLatency_; }
    bool processed() const { return processed_; }
    bool multiband() const { return multiband_; }
    const DSPSettings& settings() const { return settings_; }

    // Sanitizes and applies every value; throws AudioFailure (a compressor write).
    void apply(const DSPSettings& settings);
    // Prepares the engine, sums the effect latency, delays the unprocessed path to match.
    void prepare();
    void setProcessed(bool processed);
    void setAudible(bool audible);
    // Whether anyone reads spectrum() (initially true): without readers the two analysers
    // transform nothing; asked again, they have current bands after one render call.
    void setSpectrumWanted(bool wanted);
    // Render thread, between two renders: the sound stopped for a while and starts again. Every
    // unit's signal memory (filters, delay lines, the limiter's look-ahead, the analysers' rings)
    // comes to rest, so nothing of the earlier sound is heard; the leveler keeps its measure and
    // gain, as it did through silence. Allocates nothing, takes no lock.
    void restart() noexcept;
    bool outputGainHasSettled() const;
    MeterReading meter();
    SpectrumReading spectrum();
    struct SpectrumStatusPair {
        QRSpectrumStatus input;
        QRSpectrumStatus output;
    };
    SpectrumStatusPair spectrumStatus();
    void stop();

    // The hosted units, for the offline renderer and for checks.
    QRUtilityUnit& dryUnit() const { return *dryUnit_; }
    QRUtilityUnit& wetUnit() const { return *wetUnit_; }
    QRUtilityUnit& outputUnit() const { return *outputUnit_; }
    QRUtilityUnit& preampUnit() const { return *preampUnit_; }
    AudioUnit* compressorUnit() const { return compressor_->audioUnit(); }
    EqualizerUnit& highPassUnit() const { return highPassUnit_; }
    EqualizerUnit& equalizerUnit() const { return equalizerUnit_; }
    EqualizerUnit& headphoneEQUnit() const { return headphoneEQUnit_; }
    // How many parameter ranges were read from units (the bounds cache's misses).
    uint64_t boundsReads() const { return boundsReads_; }

private:
    static std::unique_ptr<EffectNode> platformEffect(FourCharCode subtype);
    // Instantiates the registered unit and keeps it by its class (throws when it is another).
    template <typename Unit>
    static std::unique_ptr<EffectNode> ownEffect(const AudioComponentDescription& description, Unit*& unit);
    void set(AudioUnit* unit, uint32_t parameter, float value);
    void setTime(AudioUnit* unit, uint32_t parameter, float seconds);
    QRParameterBounds bounds(AudioUnit* unit, uint32_t parameter);
    void applyHeadphoneProfile(const std::optional<HeadphoneProfile>& profile);

    std::unique_ptr<AudioEngine> engine_;
    PlayerNode player_;
    AudioFormat format_{};
    bool usesPlayer_ = true;
    double reportedLatency_ = 0;
    bool processed_ = true;
    MixerNode input_;
    MixerNode sum_;
    std::unique_ptr<EffectNode> highPass_;
    std::unique_ptr<EffectNode> equalizer_;
    std::unique_ptr<EffectNode> headphoneEQ_;
    EqualizerUnit& highPassUnit_;
    EqualizerUnit& equalizerUnit_;
    EqualizerUnit& headphoneEQUnit_;
    std::unique_ptr<EffectNode> compressor_;
    bool multiband_ = false;
    std::unique_ptr<EffectNode> limiter_;
    std::unique_ptr<EffectNode> bass_;
    std::unique_ptr<EffectNode> leveler_;
    std::unique_ptr<EffectNode> drive_;
    std::unique_ptr<EffectNode> dry_;
    std::unique_ptr<EffectNode> wet_;
    std::unique_ptr<EffectNode> output_;
    std::unique_ptr<EffectNode> preamp_;
    QRLimiterUnit* limiterUnit_ = nullptr;
    QRBassUnit* bassUnit_ = nullptr;
    QRLevelerUnit* levelerUnit_ = nullptr;
    QRDriveUnit* driveUnit_ = nullptr;
    QRUtilityUnit* dryUnit_ = nullptr;
    QRUtilityUnit* wetUnit_ = nullptr;
    QRUtilityUnit* outputUnit_ = nullptr;
    QRUtilityUnit* preampUnit_ = nullptr;
    DSPSettings settings_;
    std::map<const AudioUnit*, std::map<uint32_t, QRParameterBounds>> parameterBounds_;
    uint64_t boundsReads_ = 0;
};

}  // namespace quorel
