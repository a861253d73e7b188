#pragma once

#include "AudioEngine.h"
#include "DSPSettings.h"
#include "DynamicsProcessorUnit.h"
#include "EqualizerUnit.h"
#include "MeterReading.h"
#include "MixerNode.h"
#include "MultibandCompressorUnit.h"
#include "PlayerNode.h"
#include "QRBassUnit.h"
#include "QRDriveUnit.h"
#include "QRLevelerUnit.h"
#include "QRLimiterUnit.h"
#include "QRParameterBounds.h"
#include "QRSpectrumStatus.h"
#include "QRUtilityUnit.h"
#include "SpectrumReading.h"
#include "UnitNode.h"

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
// Every operation except rendering runs on the owner's thread. Each unit is held by its class
// (UnitNode) and configured through it; values reach the render thread as each unit's published
// parameter block.
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
    // Whether anyone reads spectrum() (initially true): without readers the two analysers are
    // not fed and transform nothing; asked again, they have current bands after one render call.
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
    QRUtilityUnit& dryUnit() const { return dry_->unit(); }
    QRUtilityUnit& wetUnit() const { return wet_->unit(); }
    QRUtilityUnit& outputUnit() const { return output_->unit(); }
    QRUtilityUnit& preampUnit() const { return preamp_->unit(); }
    // The dynamics processor, or the multiband compressor when QUOREL_MULTIBAND=1.
    AudioUnit* compressorUnit() const { return compressorNode().audioUnit(); }
    EqualizerUnit& highPassUnit() const { return highPass_->unit(); }
    EqualizerUnit& equalizerUnit() const { return equalizer_->unit(); }
    EqualizerUnit& headphoneEQUnit() const { return headphoneEQ_->unit(); }
    // How many parameter ranges were read from units (the bounds cache's misses).
    uint64_t boundsReads() const { return boundsReads_; }

private:
    // Instantiates the unit registered for the description and keeps it by its class (throws
    // when none is registered or it is of another class).
    template <typename Unit>
    static std::unique_ptr<UnitNode<Unit>> effect(const AudioComponentDescription& description);
    EffectNode& compressorNode() const;
    void set(AudioUnit* unit, uint32_t parameter, float value);
    void setTime(AudioUnit* unit, uint32_t parameter, float seconds);
    QRParameterBounds bounds(AudioUnit* unit, uint32_t parameter);
    void applyHeadphoneProfile(const std::optional<HeadphoneProfile>& profile);
    // The constructor's steps, in order: the units; the engine's rendering mode, which gives the
    // node the chain reads from; the chain's nodes attached and connected; the equalizers, the
    // compressor and the other effects at their rest.
    void createUnits(bool analyse);
    AudioNode& enableRendering(const AudioFormat& sourceFormat, Mode& mode);
    void connectChain(AudioNode& source, const AudioFormat& sourceFormat, const AudioFormat& outputSide);
    void configureEqualizers(double rate);
    void configureCompressor(double rate);
    void configureEffects();

    std::unique_ptr<AudioEngine> engine_;
    PlayerNode player_;
    AudioFormat format_{};
    bool usesPlayer_ = true;
    double reportedLatency_ = 0;
    bool processed_ = true;
    MixerNode input_;
    MixerNode sum_;
    std::unique_ptr<UnitNode<EqualizerUnit>> highPass_;
    std::unique_ptr<UnitNode<EqualizerUnit>> equalizer_;
    std::unique_ptr<UnitNode<EqualizerUnit>> headphoneEQ_;
    // One of the two compressors.
    std::unique_ptr<UnitNode<DynamicsProcessorUnit>> dynamics_;
    std::unique_ptr<UnitNode<MultibandCompressorUnit>> multibandCompressor_;
    bool multiband_ = false;
    std::unique_ptr<UnitNode<QRLimiterUnit>> limiter_;
    std::unique_ptr<UnitNode<QRBassUnit>> bass_;
    std::unique_ptr<UnitNode<QRLevelerUnit>> leveler_;
    std::unique_ptr<UnitNode<QRDriveUnit>> drive_;
    std::unique_ptr<UnitNode<QRUtilityUnit>> dry_;
    std::unique_ptr<UnitNode<QRUtilityUnit>> wet_;
    std::unique_ptr<UnitNode<QRUtilityUnit>> output_;
    std::unique_ptr<UnitNode<QRUtilityUnit>> preamp_;
    DSPSettings settings_;
    std::map<const AudioUnit*, std::map<uint32_t, QRParameterBounds>> parameterBounds_;
    uint64_t boundsReads_ = 0;
};

}  // namespace quorel
