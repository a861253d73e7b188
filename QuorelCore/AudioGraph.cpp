#include "AudioGraph.h"

#include "AudioComponentRegistry.h"
#include "AudioFailure.h"
#include "DiagnosticOutput.h"
#include "DynamicsProcessorUnit.h"
#include "LocalizedMessage.h"
#include "MultibandCompressorUnit.h"
#include "PlatformFailure.h"
#include "PlatformUnits.h"
#include "QREffects.h"
#include "ShortestDecimal.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace quorel {

namespace {

constexpr float defaultLookahead = 0.005f;

AudioFailure failure(const char* key, const QStringList& arguments = {})
{
    return AudioFailure::localized(LocalizedMessage(QString::fromUtf8(key), arguments));
}

std::unique_ptr<UnitNode<EqualizerUnit>> equalizerNode(uint32_t bands)
{
    return std::make_unique<UnitNode<EqualizerUnit>>(std::make_unique<EqualizerUnit>(bands));
}

bool environmentIs(const char* name, const char* value)
{
    const char* v = std::getenv(name);
    return v && std::strcmp(v, value) == 0;
}

// The whole text as a number ("6", "-1.5", "+2", "1e1"), in the C locale; nothing otherwise.
std::optional<float> environmentFloat(const char* name)
{
    const char* v = std::getenv(name);
    if (!v || !*v) return std::nullopt;
    const char* begin = v + (*v == '+' && v[1] != '-' ? 1 : 0);
    const char* end = v + std::strlen(v);
    float value = 0;
    const auto result = std::from_chars(begin, end, value);
    if (result.ec != std::errc() || result.ptr != end) return std::nullopt;
    return value;
}

}  // namespace

AudioGraph::AudioGraph(const AudioFormat& sourceFormat, Mode mode, bool analyse)
    : engine_(std::make_unique<AudioEngine>()), highPass_(equalizerNode(1)), equalizer_(equalizerNode(31)),
      headphoneEQ_(equalizerNode(12))
{
    const double rate = sourceFormat.sampleRate;
    if (sourceFormat.channelCount < 1 || sourceFormat.channelCount > 2 || !(rate >= 8000) || !(rate <= 192000))
        throw failure("Unsupported format: use mono or stereo audio between 8 and 192 kHz.");
    format_ = AudioFormat::standard(rate, 2);

    createUnits(analyse);
    const AudioFormat outputSide = mode.kind == Mode::Kind::realtime ? mode.output : format_;
    AudioNode& source = enableRendering(sourceFormat, mode);
    connectChain(source, sourceFormat, outputSide);
    configureEqualizers(rate);
    configureCompressor(rate);
    configureEffects();

    apply(DSPSettings());
    setProcessed(true);
}

void AudioGraph::createUnits(bool analyse)
{
    multiband_ = environmentIs("QUOREL_MULTIBAND", "1");
    registerPlatformUnits();
    if (multiband_)
        multibandCompressor_ = effect<MultibandCompressorUnit>(
            {effectComponentType, MultibandCompressorUnit::subtype, platformManufacturer, 0, 0});
    else
        dynamics_ = effect<DynamicsProcessorUnit>(
            {effectComponentType, DynamicsProcessorUnit::subtype, platformManufacturer, 0, 0});

    limiter_ = effect<QRLimiterUnit>(QRRegisterLimiterUnit());
    bass_ = effect<QRBassUnit>(QRRegisterBassUnit());
    leveler_ = effect<QRLevelerUnit>(QRRegisterLevelerUnit());
    drive_ = effect<QRDriveUnit>(QRRegisterDriveUnit());
    dry_ = effect<QRUtilityUnit>(QRRegisterUtilityUnit());
    output_ = effect<QRUtilityUnit>(QRRegisterUtilityUnit());

    const auto& centres = DSPSettings::frequencies;
    for (QRUtilityUnit* unit : {&dryUnit(), &outputUnit()})
        unit->configureSpectrum(analyse ? centres.data() : nullptr, analyse ? uint32_t(centres.size()) : 0);

    wet_ = effect<QRUtilityUnit>(QRRegisterUtilityUnit());
    preamp_ = effect<QRUtilityUnit>(QRRegisterUtilityUnit());
    // The meter reads the rms of the output stage only.
    for (QRUtilityUnit* unit : {&dryUnit(), &wetUnit(), &preampUnit()}) unit->setRmsWanted(false);
}

AudioNode& AudioGraph::enableRendering(const AudioFormat& sourceFormat, Mode& mode)
{
    AudioEngine& engine = *engine_;
    if (mode.kind == Mode::Kind::realtime) {
        // The pull graph does not convert rates: the device side runs at the source's rate.
        if (mode.output.channelCount != 2 || !mode.output.isStandard() || !sourceFormat.isStandard()
            || mode.output.sampleRate != sourceFormat.sampleRate)
            throw failure("Unexpected real-time format.");
        if (const Status s =
                engine.enableManualRenderingMode(ManualRenderingMode::realtime, mode.output, maximumFrames))
            throw platformFailure(s);
        if (!engine.inputNode().setManualRenderingInputPCMFormat(sourceFormat, std::move(mode.inputBlock)))
            throw failure("The audio engine rejected the real-time input.");
        usesPlayer_ = false;
        return engine.inputNode();
    }
    if (const Status s = engine.enableManualRenderingMode(ManualRenderingMode::offline, format_, maximumFrames))
        throw platformFailure(s);
    usesPlayer_ = true;
    return player_;
}

void AudioGraph::connectChain(AudioNode& source, const AudioFormat& sourceFormat, const AudioFormat& outputSide)
{
    AudioEngine& engine = *engine_;
    if (usesPlayer_) engine.attach(player_);
    for (AudioNode* node : {static_cast<AudioNode*>(&input_), static_cast<AudioNode*>(bass_.get()),
                            static_cast<AudioNode*>(highPass_.get()), static_cast<AudioNode*>(leveler_.get()),
                            static_cast<AudioNode*>(preamp_.get()), static_cast<AudioNode*>(&compressorNode()),
                            static_cast<AudioNode*>(equalizer_.get()), static_cast<AudioNode*>(headphoneEQ_.get()),
                            static_cast<AudioNode*>(drive_.get()), static_cast<AudioNode*>(limiter_.get()),
                            static_cast<AudioNode*>(dry_.get()), static_cast<AudioNode*>(wet_.get()),
                            static_cast<AudioNode*>(&sum_), static_cast<AudioNode*>(output_.get())})
        engine.attach(*node);

    engine.connect(source, input_, sourceFormat);
    engine.connect(input_, {{dry_.get(), 0}, {bass_.get(), 0}}, 0, format_);
    engine.connect(*bass_, *highPass_, format_);
    engine.connect(*highPass_, *leveler_, format_);
    engine.connect(*leveler_, *preamp_, format_);
    engine.connect(*preamp_, compressorNode(), format_);
    engine.connect(compressorNode(), *equalizer_, format_);
    engine.connect(*equalizer_, *headphoneEQ_, format_);
    engine.connect(*headphoneEQ_, *drive_, format_);
    engine.connect(*drive_, *limiter_, format_);
    engine.connect(*limiter_, *wet_, format_);
    engine.connect(*dry_, sum_, 0, 0, format_);
    engine.connect(*wet_, sum_, 0, 1, format_);
    engine.connect(sum_, *output_, outputSide);
    engine.connect(*output_, engine.mainMixerNode(), outputSide);
    engine.connect(engine.mainMixerNode(), engine.outputNode(), outputSide);

    engine.mainMixerNode().setOutputVolume(1.0f);
}

void AudioGraph::configureEqualizers(double rate)
{
    highPassUnit().setType(0, EqualizerUnit::Type::highPass);
    for (uint32_t i = 0; i < 12; ++i) {
        headphoneEQUnit().setType(i, EqualizerUnit::Type::parametric);
        headphoneEQUnit().setBandwidth(i, 1.0f);
        headphoneEQUnit().setGain(i, 0);
        headphoneEQUnit().setBypass(i, true);
    }
    headphoneEQUnit().setGlobalGain(0);
    for (uint32_t i = 0; i < 31; ++i) {
        const float fi = DSPSettings::frequencies[i];
        equalizerUnit().setType(i, EqualizerUnit::Type::parametric);
        equalizerUnit().setFrequency(i, std::min(float(0.45 * rate), fi));
        equalizerUnit().setBandwidth(i, DSPSettings::bandwidthOctaves);
        equalizerUnit().setBypass(i, fi >= 0.5 * rate);
    }
}

void AudioGraph::configureCompressor(double rate)
{
    AudioUnit* c = compressorUnit();
    if (multiband_) {
        using M = MultibandCompressor;
        set(c, M::crossover1, 120);
        set(c, M::crossover2, 700);
        set(c, M::crossover3, std::min(float(0.4 * rate), 3000.0f));
        set(c, M::preGain, 0);
        setTime(c, M::attackTime, 0.01f);
        setTime(c, M::releaseTime, 0.18f);
        for (uint32_t b = 0; b < M::bandCount; ++b) set(c, M::bandGain1 + b, 0);
    } else {
        using D = DynamicsProcessor;
        set(c, D::expansionRatio, 1.0f);
        const QRParameterBounds range = bounds(c, D::expansionThreshold);
        if (range.status == 0) set(c, D::expansionThreshold, range.minimum);
        setTime(c, D::attackTime, 0.01f);
        setTime(c, D::releaseTime, 0.18f);
        set(c, D::overallGain, 0);
    }
}

void AudioGraph::configureEffects()
{
    const float ceiling = DSPSettings::linearGain(DSPSettings().limiterCeilingDB);
    limiter_->unit().configureCeiling(ceiling, defaultLookahead, DSPSettings().limiterReleaseMS / 1000);
    drive_->unit().configureAmount(0, ceiling);
    bass_->unit().configureAmount(0);
    leveler_->unit().configureStrength(0, DSPSettings::levelerTargetLUFS);
    outputUnit().setGain(1.0f);
    outputUnit().configureDelay(0, 1.0f);
}

AudioGraph::~AudioGraph() = default;

template <typename Unit>
std::unique_ptr<UnitNode<Unit>> AudioGraph::effect(const AudioComponentDescription& description)
{
    std::unique_ptr<AudioUnit> instance = AudioComponentRegistry::shared().instantiate(description);
    if (!dynamic_cast<Unit*>(instance.get()))
        throw failure("A required audio unit is unavailable ({0}).", {QString::number(description.componentSubType)});
    return std::make_unique<UnitNode<Unit>>(std::unique_ptr<Unit>(static_cast<Unit*>(instance.release())));
}

EffectNode& AudioGraph::compressorNode() const
{
    if (multiband_) return *multibandCompressor_;
    return *dynamics_;
}

QRParameterBounds AudioGraph::bounds(AudioUnit* unit, uint32_t parameter)
{
    auto& cache = parameterBounds_[unit];
    if (const auto found = cache.find(parameter); found != cache.end()) return found->second;
    ++boundsReads_;
    const QRParameterBounds read = QRReadParameterBounds(unit, parameter);
    if (read.status == 0) cache[parameter] = read;
    return read;
}

void AudioGraph::set(AudioUnit* unit, uint32_t parameter, float value)
{
    const QRParameterBounds range = bounds(unit, parameter);
    if (range.status != 0 || !std::isfinite(value) || value < range.minimum || value > range.maximum)
        throw failure("Invalid audio parameter: {0}, value {1}, range {2}...{3}, unit {4}, status {5}.",
                      {QString::number(parameter), shortestDecimal(value), shortestDecimal(range.minimum),
                       shortestDecimal(range.maximum), QString::number(range.unit), QString::number(range.status)});
    if (const Status s = unit->setParameter(parameter, value))
        throw failure("Could not configure the effect ({0}).", {QString::number(s)});
}

void AudioGraph::setTime(AudioUnit* unit, uint32_t parameter, float seconds)
{
    const QRParameterBounds range = bounds(unit, parameter);
    if (range.status != 0 || (range.unit != 4 && range.unit != 24))
        throw failure("Unexpected time unit in audio effect ({0}).", {QString::number(parameter)});
    float value = range.unit == 4 ? seconds : seconds * 1000;
    value = std::isnan(value) ? range.minimum : std::clamp(value, range.minimum, range.maximum);
    set(unit, parameter, value);
}

void AudioGraph::apply(const DSPSettings& settings)
{
    const DSPSettings s = settings.sanitized();

    {
        // Each equalizer's bands reach the render thread together, as one design.
        const AudioUnit::ParameterUpdate highPass(highPassUnit()), bands(equalizerUnit()), headphone(headphoneEQUnit());
        highPassUnit().setFrequency(0, std::max(s.highPassHz, 20.0f));
        highPassUnit().setBypass(0, s.highPassHz == 0);
        for (uint32_t i = 0; i < 31 && i < s.bands.size(); ++i) equalizerUnit().setGain(i, s.bands[i]);
        applyHeadphoneProfile(s.headphoneProfile);
    }

    preampUnit().setGain(DSPSettings::linearGain(s.boostDB));
    const float ceiling = DSPSettings::linearGain(s.limiterCeilingDB);
    limiter_->unit().configureCeiling(ceiling, defaultLookahead, s.limiterReleaseMS / 1000);
    drive_->unit().configureAmount(s.driveAmount, ceiling);
    bass_->unit().configureAmount(s.bassHarmonics);
    leveler_->unit().configureStrength(s.levelerStrength, DSPSettings::levelerTargetLUFS);

    auto [threshold, headroom, makeupDB] = DSPSettings::compressorSettings(s.loudness);
    if (const auto makeup = environmentFloat("QUOREL_MAKEUP"); makeup && std::isfinite(*makeup)) makeupDB = *makeup;
    AudioUnit* c = compressorUnit();
    const AudioUnit::ParameterUpdate together(*c);  // the curve changes as a whole
    if (multiband_) {
        using M = MultibandCompressor;
        for (uint32_t b = 0; b < M::bandCount; ++b) {
            set(c, M::threshold1 + b, threshold);
            set(c, M::headroom1 + b, headroom);
        }
        set(c, M::postGain, makeupDB);
    } else {
        using D = DynamicsProcessor;
        set(c, D::threshold, threshold);
        set(c, D::headroom, headroom);
        set(c, D::overallGain, makeupDB);
    }
    settings_ = s;  // only once every write went through
    setProcessed(processed_);
}

void AudioGraph::applyHeadphoneProfile(const std::optional<HeadphoneProfile>& profile)
{
    const std::vector<HeadphoneFilter> none;
    const std::vector<HeadphoneFilter>& filters = profile ? profile->filters : none;
    const float limit = float(0.45 * format_.sampleRate);
    for (uint32_t i = 0; i < 12; ++i) {
        if (i < filters.size()) {
            const HeadphoneFilter& f = filters[i];
            EqualizerUnit::Type type = EqualizerUnit::Type::parametric;
            if (f.kind == HeadphoneFilter::Kind::lowShelf) type = EqualizerUnit::Type::lowShelf;
            if (f.kind == HeadphoneFilter::Kind::highShelf) type = EqualizerUnit::Type::highShelf;
            const double q = std::max(double(f.q), 0.05);
            const double octaves = std::clamp(2 * std::asinh(1 / (2 * q)) / std::log(2.0), 0.05, 5.0);
            headphoneEQUnit().setType(i, type);
            headphoneEQUnit().setFrequency(i, std::min(limit, f.frequency));
            headphoneEQUnit().setBandwidth(i, float(octaves));
            headphoneEQUnit().setGain(i, f.gainDB);
            headphoneEQUnit().setBypass(i, f.frequency >= limit);
        } else {
            headphoneEQUnit().setBypass(i, true);
            headphoneEQUnit().setGain(i, 0);
        }
    }
    headphoneEQUnit().setGlobalGain(profile ? profile->preampDB : 0.0f);
}

void AudioGraph::prepare()
{
    if (const UnitError e = engine_->prepare()) throw platformFailure(e);
    const EffectNode* order[] = {bass_.get(),        highPass_.get(),   leveler_.get(), equalizer_.get(),
                                 headphoneEQ_.get(), &compressorNode(), drive_.get(),   limiter_.get()};
    double total = 0;
    for (const EffectNode* node : order) total += node->latency();
    reportedLatency_ = total;
    if (environmentIs("QUOREL_LATENCY_DEBUG", "1")) {
        const char* names[] = {"bass", "highPass", "leveler", "eq", "headphoneEQ", "compressor", "drive", "limiter"};
        QString line = QStringLiteral("latency ms ·");
        for (size_t i = 0; i < 8; ++i)
            line += QStringLiteral(" %1 %2").arg(QLatin1String(names[i]), shortestDecimal(order[i]->latency() * 1000));
        diagnosticOutput::printLine(line);
    }
    if (!std::isfinite(total) || total < 0 || total > 1.0)
        throw failure("Unexpected effect latency. Playback stopped.");
    const double frames = std::round(total * format_.sampleRate);
    dryUnit().configureDelay(uint32_t(frames), 0);
}

void AudioGraph::setProcessed(bool processed)
{
    processed_ = processed;
    dryUnit().setGain(processed ? 0.0f : 1.0f);
    wetUnit().setGain(processed ? DSPSettings::linearGain(settings_.comparisonTrimDB) : 0.0f);
}

void AudioGraph::setAudible(bool audible) { outputUnit().setGain(audible ? 1.0f : 0.0f); }

void AudioGraph::setSpectrumWanted(bool wanted)
{
    dryUnit().setSpectrumWanted(wanted);
    outputUnit().setSpectrumWanted(wanted);
}

bool AudioGraph::outputGainHasSettled() const { return outputUnit().gainHasSettled(); }

MeterReading AudioGraph::meter()
{
    const QRMeterValues dry = dryUnit().readMeter();
    const QRMeterValues output = outputUnit().readMeter();
    const QRMeterValues preamp = preampUnit().readMeter();
    const QRMeterValues wet = wetUnit().readMeter();
    const float limiterGain = limiter_->unit().readGain();
    const QRLevelerReading leveler = leveler_->unit().reading();
    const float activity = drive_->unit().readActivity();
    MeterReading m{};
    m.inputPeakDB = DSPSettings::decibels(dry.inputPeak);
    m.outputPeakDB = DSPSettings::decibels(output.outputPeak);
    m.outputRMSDB = DSPSettings::decibels(output.rms);
    m.limiterReductionDB = std::min(DSPSettings::decibels(limiterGain), 0.0f);
    m.guardedSamples = output.guarded;
    m.invalidSamples = dry.invalid + preamp.invalid + wet.invalid + output.invalid;
    m.levelerLoudnessLUFS = leveler.loudness;
    m.levelerGainDB = leveler.gainDB;
    m.levelerMeasuring = leveler.measuring;
    m.driveActivity = activity;
    return m;
}

SpectrumReading AudioGraph::spectrum()
{
    SpectrumReading r;
    r.input.assign(31, 0.0f);
    r.output.assign(31, 0.0f);
    const uint32_t n = dryUnit().readSpectrum(r.input.data(), 31);
    outputUnit().readSpectrum(r.output.data(), 31);
    r.available = n != 0;
    return r;
}

AudioGraph::SpectrumStatusPair AudioGraph::spectrumStatus()
{
    return {dryUnit().spectrumStatus(), outputUnit().spectrumStatus()};
}

void AudioGraph::restart() noexcept
{
    const std::initializer_list<EffectNode*> nodes{
        highPass_.get(), equalizer_.get(), headphoneEQ_.get(), dynamics_.get(), multibandCompressor_.get(),
        limiter_.get(),  bass_.get(),      drive_.get(),       dry_.get(),      wet_.get(),
        output_.get(),   preamp_.get()};
    for (EffectNode* node : nodes)
        if (node) node->audioUnit()->reset();
}

void AudioGraph::stop()
{
    if (usesPlayer_) player_.stop();
    engine_->stop();
    engine_->reset();
    outputUnit().setGain(1.0f);
}

}  // namespace quorel
