#include "AudioGraph.h"
#include "BuiltInPresets.h"
#include "GraphTestSupport.h"
#include "PCMBuffer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quorel {
namespace {

// A real-time graph fed with a steady stereo tone, rendered 512 frames at a time.
struct ToneGraph {
    std::vector<float> left = std::vector<float>(4096), right = std::vector<float>(4096);
    uint64_t phase = 0;
    AudioBufferList list;
    std::unique_ptr<AudioGraph> graph;
    std::unique_ptr<PCMBuffer> out = PCMBuffer::make(AudioFormat::standard(48000, 2), 512);

    explicit ToneGraph(float amplitude, bool analyse = false)
    {
        const AudioFormat stereo = AudioFormat::standard(48000, 2);
        graph = std::make_unique<AudioGraph>(
            stereo,
            AudioGraph::Mode::realtime(stereo,
                                       [this, amplitude](uint32_t frames) {
                                           for (uint32_t i = 0; i < frames; ++i, ++phase)
                                               left[i] = right[i] = amplitude * float(std::sin(0.03 * double(phase)));
                                           list.numberBuffers = 2;
                                           list.buffers[0] = {1, frames * 4, left.data()};
                                           list.buffers[1] = {1, frames * 4, right.data()};
                                           return static_cast<const AudioBufferList*>(&list);
                                       }),
            analyse);
    }
    void start()
    {
        graph->prepare();
        ASSERT_FALSE(graph->engine().start());
    }
    float renderPeak(int calls = 1)
    {
        float peak = 0;
        for (int c = 0; c < calls; ++c) {
            out->setFrameLength(512);
            Status error = 0;
            EXPECT_EQ(graph->engine().renderRealtime(512, out->mutableAudioBufferList(), &error),
                      ManualRenderingStatus::success);
            for (uint32_t i = 0; i < 512; ++i) peak = std::max(peak, std::fabs(out->channel(0)[i]));
        }
        return peak;
    }
};

TEST(GraphRendering, ComparisonTrimReachesOnlyTheProcessedPath)
{
    ToneGraph t(0.5f);
    DSPSettings s;
    s.comparisonTrimDB = -6;
    t.graph->apply(s);
    t.start();
    EXPECT_NEAR(t.renderPeak(8), 0.5 * std::pow(10.0, -6.0 / 20), 0.01);
    t.graph->setProcessed(false);
    t.renderPeak(4);
    EXPECT_NEAR(t.renderPeak(4), 0.5, 0.005);
    s.comparisonTrimDB = -3;
    t.graph->apply(s);  // unprocessed: the wet path stays silent
    EXPECT_NEAR(t.renderPeak(4), 0.5, 0.005);
    t.graph->setProcessed(true);
    t.renderPeak(4);
    EXPECT_NEAR(t.renderPeak(4), 0.5 * std::pow(10.0, -3.0 / 20), 0.01);
    t.graph->stop();
}

// With nobody reading the spectrum (the Equalizer page closed) the analysers are not fed; once
// someone reads it again, the first render call brings both spectra of the tone.
TEST(GraphRendering, SpectrumWantedAgainFillsWithinOneRenderCall)
{
    ToneGraph t(0.5f, true);
    t.graph->apply(DSPSettings());
    t.graph->setSpectrumWanted(false);
    t.start();
    t.renderPeak(40);
    const SpectrumReading unread = t.graph->spectrum();
    EXPECT_EQ(unread.input, std::vector<float>(31, 0.0f));
    EXPECT_EQ(unread.output, std::vector<float>(31, 0.0f));

    t.graph->setSpectrumWanted(true);
    t.renderPeak(1);
    const SpectrumReading read = t.graph->spectrum();
    // The tone (0.03 radians a frame, 229 Hz) lies at the edge of the 200 and 250 Hz bands,
    // which share its energy.
    auto tone = [](const std::vector<float>& bands) { return std::hypot(bands[10], bands[11]); };
    EXPECT_NEAR(tone(read.input), 0.5f, 0.02f);
    EXPECT_NEAR(tone(read.output), 0.5f, 0.02f);
    EXPECT_LT(read.input[16], 0.01f);
    t.graph->stop();
}

// Equalizer bands applied while the graph renders are heard from the next render call on, as
// the whole curve the equalizer's owner computed.
TEST(GraphRendering, EqualizerChangesWhileRenderingReachTheOutput)
{
    ToneGraph t(0.05f);
    t.graph->apply(DSPSettings());
    t.start();
    t.renderPeak(16);
    const float flat = t.renderPeak(16);
    EXPECT_NEAR(flat, 0.05f, 0.001f);

    DSPSettings s;
    for (size_t i = 0; i < s.bands.size(); ++i) s.bands[i] = i % 2 ? 4.0f : -3.0f;
    t.graph->apply(s);
    t.renderPeak(16);  // the filters settle
    const double heard = 20 * std::log10(t.renderPeak(16) / flat);
    const double hz = 0.03 * 48000 / (2 * 3.14159265358979);
    EXPECT_NEAR(heard, t.graph->equalizerUnit().magnitudeDB(hz), 0.1);
    EXPECT_GT(std::fabs(heard), 0.5);
    t.graph->stop();
}

// Going through the built-in presets one after another while a steady tone plays, as the
// "next preset" command does: every change (the equalizer's curve, the bass cut switched on or
// off, the compressor's curve, the boost) reaches the sound without a click. No sample steps
// further from the one before it than four times the tone's own largest step, before or after.
TEST(GraphRendering, SwitchingPresetsWhileAToneplaysMakesNoClick)
{
    ToneGraph t(0.25f);
    const std::vector<SoundPreset>& presets = BuiltInPresets::all();
    DSPSettings s;
    presets.front().apply(s);
    t.graph->apply(s);
    t.start();
    float last = 0;
    const auto largestStep = [&](int calls) {
        float step = 0;
        for (int c = 0; c < calls; ++c) {
            t.renderPeak(1);
            for (uint32_t i = 0; i < 512; ++i) {
                step = std::max(step, std::fabs(t.out->channel(0)[i] - last));
                last = t.out->channel(0)[i];
            }
        }
        return step;
    };
    largestStep(200);  // the leveler and the filters settle
    for (size_t i = 1; i < presets.size(); ++i) {
        const float before = largestStep(20);
        presets[i].apply(s);
        t.graph->apply(s);
        const float during = largestStep(10);
        largestStep(200);
        const float after = largestStep(20);
        EXPECT_LE(during, 4 * std::max(before, after))
            << presets[i - 1].id.toStdString() << " to " << presets[i].id.toStdString();
    }
    t.graph->stop();
}

TEST(GraphRendering, AudibleFadeSettlesAndStopMakesTheOutputAudibleAgain)
{
    ToneGraph t(0.3f);
    t.start();
    t.renderPeak(2);
    t.graph->setAudible(false);
    EXPECT_FALSE(t.graph->outputGainHasSettled());
    t.renderPeak(1);
    EXPECT_FALSE(t.graph->outputGainHasSettled());  // 960 frames of ramp, 512 rendered
    t.renderPeak(2);
    EXPECT_TRUE(t.graph->outputGainHasSettled());
    EXPECT_EQ(t.renderPeak(2), 0.0f);
    t.graph->stop();
    ASSERT_FALSE(t.graph->engine().start());
    EXPECT_GT(t.renderPeak(2), 0.25f);
    t.graph->stop();
}

TEST(GraphRendering, LimiterReductionIsReportedOncePerInterval)
{
    ToneGraph t(0.9f);
    DSPSettings s;
    s.boostDB = 12;
    t.graph->apply(s);
    t.start();
    t.renderPeak(20);
    const MeterReading first = t.graph->meter();
    EXPECT_LT(first.limiterReductionDB, -3.0f);
    EXPECT_LE(first.outputPeakDB, -0.99f);
    EXPECT_GT(first.inputPeakDB, -1.0f);
    EXPECT_EQ(t.graph->meter().limiterReductionDB, 0.0f);
    t.graph->stop();
}

}  // namespace
}  // namespace quorel
