#include "OfflineRenderer.h"

#include "AudioFailure.h"
#include "AudioGraph.h"
#include "DiagnosticOutput.h"
#include "LocalizedMessage.h"
#include "PCMBuffer.h"
#include "PlatformFailure.h"
#include "QREffects.h"
#include "ShortestDecimal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace quorel {

namespace {

constexpr uint32_t slice = 1024;

AudioFailure failure(const char* key, const QStringList& arguments = {})
{
    return AudioFailure::localized(LocalizedMessage(QString::fromUtf8(key), arguments));
}

AudioFailure invalidSignal() { return failure("Invalid test signal."); }

// The longest signal, in frames, that a render takes or gives.
constexpr uint64_t maximumFrames = (uint64_t(1) << 32) - 1;

AudioFailure tailRefused(double seconds)
{
    return failure("A tail of {0} seconds cannot be rendered.", {shortestDecimal(seconds)});
}

// Stops the graph whenever the render leaves early.
struct StopOnExit {
    AudioGraph& graph;
    bool armed = true;
    ~StopOnExit()
    {
        if (armed) graph.stop();
    }
};

void setComparison(AudioGraph& graph, bool processed, float trimDB)
{
    graph.setProcessed(processed);
    graph.dryUnit().setGain(processed ? 0.0f : 1.0f);
    graph.wetUnit().setGain(processed ? DSPSettings::linearGain(trimDB) : 0.0f);
}

void startEngine(AudioGraph& graph)
{
    if (const UnitError e = graph.engine().start()) throw platformFailure(e);
}

void printSpectrumStatus(AudioGraph& graph)
{
    const auto status = graph.spectrumStatus();
    // The label of the transform count is put together here rather than spelled out.
    const QString runs = QStringLiteral("ff") + QStringLiteral("ts=");
    const auto fields = [&](const QRSpectrumStatus& s) {
        return QStringLiteral("bands=%1 ready=%2 %3%4 fed=%5 power=%6")
            .arg(s.bandCount)
            .arg(s.ready ? QStringLiteral("true") : QStringLiteral("false"))
            .arg(runs)
            .arg(s.fftRuns)
            .arg(s.samplesFed)
            .arg(shortestDecimal(s.lastPower));
    };
    diagnosticOutput::printLine(QStringLiteral("analyser input: ") + fields(status.input)
                                + QStringLiteral(" · output: ") + fields(status.output));
}

// What the graph measured over the whole render.
void takeMeter(RenderResult& result, AudioGraph& graph)
{
    const MeterReading meter = graph.meter();
    result.reportedLatency = graph.reportedLatency();
    result.guardedSamples = meter.guardedSamples;
    result.invalidSamples = meter.invalidSamples;
    result.meter = meter;
}

// The spectra of the dry input and the output, as the render left them.
SpectrumReading readSpectrum(AudioGraph& graph)
{
    SpectrumReading spectrum;
    spectrum.input.assign(31, 0.0f);
    spectrum.output.assign(31, 0.0f);
    const uint32_t n = graph.dryUnit().readSpectrum(spectrum.input.data(), 31);
    graph.outputUnit().readSpectrum(spectrum.output.data(), 31);
    spectrum.available = n != 0;
    const char* debug = std::getenv("QUOREL_SPECTRUM_DEBUG");
    if (debug && std::strcmp(debug, "1") == 0) printSpectrumStatus(graph);
    return spectrum;
}

// The processed or original sound, switched over once at `switchAt` when given.
struct Comparison {
    bool processed;
    std::optional<int64_t> switchAt;
    bool switched = false;

    void set(AudioGraph& graph) const { setComparison(graph, processed, graph.settings().comparisonTrimDB); }
    void switchIfDue(AudioGraph& graph, uint64_t position)
    {
        if (!switchAt || switched || int64_t(position) < *switchAt) return;
        processed = !processed;
        set(graph);
        switched = true;
    }
};

// Keeps at least one slice scheduled until the input ends. The player takes the first piece
// over without a copy, so a whole signal given at once is held once.
struct InputFeed {
    AudioGraph& graph;
    const OfflineRenderer::InputSource& source;
    uint32_t channelCount;
    uint64_t length = 0;
    bool ended = false;
    std::vector<std::vector<float>> next{};

    void feed()
    {
        while (!ended && graph.player().framesLeft() < slice) {
            for (std::vector<float>& channel : next) channel.clear();
            source(next);
            if (next.empty() || next[0].empty()) {
                ended = true;
                break;
            }
            if (next.size() != channelCount) throw invalidSignal();
            length += next[0].size();
            if (length > maximumFrames) throw invalidSignal();
            if (!graph.player().scheduleChannels(std::move(next))) throw invalidSignal();
        }
    }
};

// Renders `frames` frames at `position` into `buffer`; throws when the engine gives none.
void renderSlice(AudioGraph& graph, PCMBuffer& buffer, uint32_t frames, uint64_t position)
{
    Status error = 0;
    const ManualRenderingStatus status = graph.engine().renderOffline(frames, buffer, error);
    if (status == ManualRenderingStatus::error && error != 0) throw platformFailure(error);
    if (status != ManualRenderingStatus::success || buffer.frameLength() == 0)
        throw failure("Offline rendering failed: {0}, position {1}.",
                      {QString::number(int(status)), QString::number(position)});
}

// Renders the input, then `extra` frames of latency and tail, a slice at a time into `sink`.
void renderSlices(AudioGraph& graph, InputFeed& input, const OfflineRenderer::OutputSink& sink, Comparison& comparison,
                  double extra, double tailSeconds)
{
    auto buffer = PCMBuffer::make(graph.engine().manualRenderingFormat(), slice);
    if (!buffer) throw failure("Could not allocate the validation buffer.");

    uint64_t position = 0;
    for (;;) {
        input.feed();
        if (input.ended && !(double(input.length) + extra <= double(maximumFrames))) throw tailRefused(tailSeconds);
        const uint64_t total = input.length + uint64_t(extra);
        if (input.ended && position >= total) break;
        comparison.switchIfDue(graph, position);
        const uint32_t n = input.ended ? uint32_t(std::min<uint64_t>(slice, total - position)) : slice;
        renderSlice(graph, *buffer, n, position);
        const uint32_t rendered = buffer->frameLength();
        sink(buffer->channel(0), buffer->channel(1), rendered);
        position += rendered;
    }
}

}  // namespace

RenderResult OfflineRenderer::render(const std::vector<std::vector<float>>& channels, double sampleRate,
                                     const DSPSettings& settings, bool processed, std::optional<int64_t> switchAtFrame,
                                     bool analyse, double tailSeconds)
{
    return render(std::vector<std::vector<float>>(channels), sampleRate, settings, processed, switchAtFrame, analyse,
                  tailSeconds);
}

RenderResult OfflineRenderer::render(std::vector<std::vector<float>>&& channels, double sampleRate,
                                     const DSPSettings& settings, bool processed, std::optional<int64_t> switchAtFrame,
                                     bool analyse, double tailSeconds)
{
    if (channels.empty() || channels.size() > 2 || channels[0].empty() || channels[0].size() > maximumFrames)
        throw invalidSignal();
    const uint32_t channelCount = uint32_t(channels.size());
    // The whole output is held once: room for the input, the tail and the chain's latency.
    const double tail = std::ceil(sampleRate * std::max(tailSeconds, 0.0));
    RenderResult held;
    held.channels.assign(2, {});
    if (tail <= double(maximumFrames)) {
        const uint64_t room = uint64_t(channels[0].size()) + uint64_t(tail) + slice;
        try {
            for (auto& c : held.channels) c.reserve(room);
        } catch (const std::bad_alloc&) {
            throw failure("Not enough memory to render {0} frames.", {QString::number(room)});
        }
    }
    bool given = false;
    auto source = [&](std::vector<std::vector<float>>& next) {
        if (!given) next = std::move(channels);
        given = true;
    };
    auto sink = [&](const float* left, const float* right, uint32_t frames) {
        held.channels[0].insert(held.channels[0].end(), left, left + frames);
        held.channels[1].insert(held.channels[1].end(), right, right + frames);
    };
    RenderResult result =
        renderStream(source, sink, sampleRate, channelCount, settings, processed, switchAtFrame, analyse, tailSeconds);
    result.channels = std::move(held.channels);
    return result;
}

RenderResult OfflineRenderer::renderStream(const InputSource& source, const OutputSink& sink, double sampleRate,
                                           uint32_t channelCount, const DSPSettings& settings, bool processed,
                                           std::optional<int64_t> switchAtFrame, bool analyse, double tailSeconds)
{
    if (channelCount < 1 || channelCount > 2) throw invalidSignal();
    if (std::isnan(tailSeconds)) throw tailRefused(tailSeconds);
    const AudioFormat sourceFormat = AudioFormat::standard(sampleRate, channelCount);
    if (!PCMBuffer::make(sourceFormat, 1)) throw invalidSignal();

    AudioGraph graph(sourceFormat, AudioGraph::Mode::offline(), analyse);
    StopOnExit stopper{graph};
    graph.apply(settings);
    Comparison comparison{processed, switchAtFrame};
    comparison.set(graph);
    graph.prepare();

    // After the input, the chain's latency and the tail are rendered too; the whole output must
    // stay a length a render can give.
    const double extra = std::ceil(sampleRate * (std::max(tailSeconds, 0.0) + graph.reportedLatency()));
    if (!(extra <= double(maximumFrames))) throw tailRefused(tailSeconds);

    InputFeed input{graph, source, channelCount};
    input.feed();
    if (input.length == 0) throw invalidSignal();
    startEngine(graph);
    graph.player().play();
    renderSlices(graph, input, sink, comparison, extra, tailSeconds);

    RenderResult result;
    takeMeter(result, graph);
    if (analyse) result.spectrum = readSpectrum(graph);
    return result;
}

RenderResult OfflineRenderer::renderThroughInputNode(const std::vector<std::vector<float>>& channels, double sampleRate,
                                                     const DSPSettings& settings, uint32_t chunk)
{
    return renderThroughInputNode(std::vector<std::vector<float>>(channels), sampleRate, settings, chunk);
}

RenderResult OfflineRenderer::renderThroughInputNode(std::vector<std::vector<float>>&& channels, double sampleRate,
                                                     const DSPSettings& settings, uint32_t chunk)
{
    if (channels.size() != 2 || channels[0].empty() || channels[0].size() != channels[1].size()
        || channels[0].size() > maximumFrames)
        throw invalidSignal();
    const uint32_t length = uint32_t(channels[0].size());
    const AudioFormat stereo = AudioFormat::standard(sampleRate, 2);
    if (!PCMBuffer::make(stereo, 1)) throw invalidSignal();
    // The input block hands out slices of the channels themselves (the input node only reads
    // them), so the render holds the input once, beside the output.
    const std::vector<std::vector<float>> signal = std::move(channels);

    struct Cursor {
        uint32_t offset = 0;
        AudioBufferList list;
    } cursor;
    const std::vector<std::vector<float>>* source = &signal;
    auto inputBlock = [&cursor, source, length](uint32_t frames) -> const AudioBufferList* {
        const uint32_t remaining = length - cursor.offset;
        if (remaining < 1) return nullptr;
        const uint32_t n = std::min(frames, remaining);
        cursor.list.numberBuffers = 2;
        for (uint32_t c = 0; c < 2; ++c)
            cursor.list.buffers[c] = {1, n * uint32_t(sizeof(float)),
                                      const_cast<float*>((*source)[c].data()) + cursor.offset};
        cursor.offset += n;
        return &cursor.list;
    };

    AudioGraph graph(stereo, AudioGraph::Mode::realtime(stereo, inputBlock), false);
    StopOnExit stopper{graph};
    graph.apply(settings);
    graph.prepare();
    startEngine(graph);

    auto buffer = chunk ? PCMBuffer::make(stereo, chunk) : nullptr;
    if (!buffer) throw failure("Could not allocate the validation buffer.");

    RenderResult result;
    result.channels.assign(2, {});
    for (auto& c : result.channels) c.reserve(length);
    uint32_t position = 0;
    while (position < length) {
        const uint32_t n = std::min(chunk, length - position);
        buffer->setFrameLength(n);
        Status error = 0;
        const ManualRenderingStatus status = graph.engine().renderRealtime(n, buffer->mutableAudioBufferList(), &error);
        if (status != ManualRenderingStatus::success)
            throw failure("Real-time rendering failed: {0}, error {1}, position {2}.",
                          {QString::number(int(status)), QString::number(error), QString::number(position)});
        for (uint32_t c = 0; c < 2; ++c)
            result.channels[c].insert(result.channels[c].end(), buffer->channel(c), buffer->channel(c) + n);
        position += n;
    }

    takeMeter(result, graph);
    return result;
}

}  // namespace quorel
