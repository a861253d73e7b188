#include "AudioGraph.h"
#include "GraphTestSupport.h"
#include "OfflineRenderer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace quorel {
namespace {

using test::thrownText;

std::vector<float> tone(double hz, double rate, size_t frames, double amplitude)
{
    std::vector<float> out(frames);
    for (size_t i = 0; i < frames; ++i)
        out[i] = float(amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / rate));
    return out;
}

DSPSettings everythingEngaged()
{
    DSPSettings s;
    s.boostDB = 6;
    s.loudness = 0.5f;
    for (size_t i = 0; i < s.bands.size(); ++i) s.bands[i] = (i % 2 ? 2.0f : -1.5f);
    s.highPassHz = 80;
    s.bassHarmonics = 0.5f;
    s.driveAmount = 0.5f;
    s.levelerStrength = 1;
    HeadphoneProfile p;
    p.preampDB = -3;
    for (int i = 0; i < 10; ++i)
        p.filters.push_back({HeadphoneFilter::Kind::peak, 100.0f * float(i + 1) * 1.7f, 2, 1.2f});
    s.headphoneProfile = p;
    return s;
}

TEST(OfflineRenderer, SilenceGivesSignalPlusLatencyFramesOfSilence)
{
    const RenderResult r =
        OfflineRenderer::render({std::vector<float>(48000, 0.0f)}, 48000, DSPSettings(), true, std::nullopt, false, 0);
    ASSERT_EQ(r.channels.size(), 2u);
    const size_t expected = 48000 + size_t(std::ceil(48000 * r.reportedLatency));
    EXPECT_EQ(r.channels[0].size(), expected);
    EXPECT_EQ(r.channels[1].size(), expected);
    EXPECT_EQ(r.peak(), 0.0f);
    EXPECT_EQ(r.rms(), 0.0);
    EXPECT_GT(r.reportedLatency, 0.0);
    EXPECT_FALSE(r.spectrum.has_value());
}

// The unprocessed path is the input delayed by exactly the processed path's latency, and the
// processed path (neutral settings, a quiet tone) lines up with it, at every common rate.
TEST(OfflineRenderer, LatencyInFramesLinesBothPathsUp)
{
    for (double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
        std::vector<float> impulse(8192, 0.0f);
        impulse[100] = 0.5f;
        const RenderResult dry = OfflineRenderer::render({impulse}, rate, DSPSettings(), false, std::nullopt, false, 0);
        const auto frames = size_t(std::llround(dry.reportedLatency * rate));
        EXPECT_NEAR(dry.reportedLatency * rate, double(frames), 1e-6) << rate;
        if (rate == 48000) {
            EXPECT_EQ(frames, 271u);  // limiter 239 + Drive 32
        }
        for (size_t i = 0; i < dry.channels[0].size(); ++i)
            ASSERT_EQ(dry.channels[0][i], i == 100 + frames ? 0.5f : 0.0f) << rate << " at " << i;
        const std::vector<float> sine = tone(1000, rate, 16384, 0.1);
        const RenderResult wet = OfflineRenderer::render({sine}, rate, DSPSettings(), true, std::nullopt, false, 0);
        double error = 0;
        for (size_t i = 4096; i < sine.size(); ++i)
            error = std::max(error, std::fabs(double(wet.channels[1][i + frames]) - sine[i]));
        EXPECT_LT(error, 2e-3) << rate << " Hz: processed path out of line with the latency";
    }
}

// At 8 kHz every band from 4 kHz up sits at or above the Nyquist frequency: bypassed, so a
// full boost of every band neither blows up nor colours what is left.
TEST(OfflineRenderer, BandsAboveNyquistAtLowRatesStayOut)
{
    DSPSettings s;
    for (float& b : s.bands) b = 12;
    s.limiterCeilingDB = -0.1f;
    const std::vector<float> sine = tone(1000, 8000, 8000, 0.01);
    for (double rate : {8000.0, 11025.0, 16000.0}) {
        const RenderResult r = OfflineRenderer::render({sine}, rate, s, true, std::nullopt, false, 0);
        for (const auto& c : r.channels)
            for (float v : c) ASSERT_TRUE(std::isfinite(v)) << rate;
        EXPECT_GT(r.peak(), 0.01f) << rate;
        EXPECT_LT(r.peak(), 0.98f) << rate;
    }
    const AudioGraph g(AudioFormat::standard(8000, 1), AudioGraph::Mode::offline(), false);
    const ParametricEqualizer& eq = g.equalizerUnit().equalizer();
    for (uint32_t i = 0; i < 31; ++i) EXPECT_EQ(eq.bypass(i), DSPSettings::frequencies[i] >= 4000) << i;
    EXPECT_EQ(eq.frequency(22), 3150.0f);  // below 0.45 x 8000 = 3600: kept
    EXPECT_EQ(eq.frequency(23), 3600.0f);  // 4000 Hz, moved down (and bypassed)
}

TEST(OfflineRenderer, MultibandCompressorKeepsLevelAtLoudnessZeroAndCompressesAtOne)
{
    test::ScopedEnvironment multiband("QUOREL_MULTIBAND", "1");
    test::ScopedEnvironment makeup("QUOREL_MAKEUP", "0");
    const std::vector<float> sine = tone(1000, 48000, 48000, 0.5);
    const double inRms = 0.5 / std::sqrt(2.0);
    DSPSettings s;
    const RenderResult neutral = OfflineRenderer::render({sine}, 48000, s, true, std::nullopt, false, 0);
    EXPECT_NEAR(20 * std::log10(neutral.rms() / inRms), 0, 0.05);
    s.loudness = 1;
    const RenderResult loud = OfflineRenderer::render({sine}, 48000, s, true, std::nullopt, false, 0);
    EXPECT_LT(20 * std::log10(loud.rms() / inRms), -6);
    EXPECT_EQ(loud.invalidSamples, 0u);
}

TEST(OfflineRenderer, MonoSignalComesOutOnBothChannels)
{
    const std::vector<float> sine = tone(440, 48000, 4800, 0.25);
    const RenderResult r = OfflineRenderer::render({sine}, 48000, DSPSettings(), false, std::nullopt, false, 0);
    ASSERT_EQ(r.channels.size(), 2u);
    EXPECT_EQ(r.channels[0], r.channels[1]);
    EXPECT_NEAR(r.peak(), 0.25, 1e-3);
}

TEST(OfflineRenderer, SwitchLandsOnTheNextSliceBoundaryAndRamps)
{
    DSPSettings s;
    s.boostDB = 6;  // processed = about twice the unprocessed
    const std::vector<float> sine = tone(200, 48000, 48000, 0.1);
    const RenderResult r = OfflineRenderer::render({sine, sine}, 48000, s, false, 24000, false, 0);
    const size_t latency = size_t(std::llround(r.reportedLatency * 48000));
    const auto& out = r.channels[0];
    // Untouched unprocessed path up to frame 24576.
    for (size_t i = latency; i < 24576; ++i) ASSERT_EQ(out[i], sine[i - latency]) << i;
    // After the 960-frame ramp the processed path alone.
    const double boost = std::pow(10.0, 6.0 / 20);
    for (size_t i = 24576 + 960 + 64; i < 40000; ++i) ASSERT_NEAR(out[i], boost * sine[i - latency], 5e-3) << i;
    // Halfway through the ramp: halfway between the two gains.
    const size_t mid = 24576 + 480;
    double ratioSum = 0;
    int counted = 0;
    for (size_t i = mid - 20; i < mid + 20; ++i) {
        const float in = sine[i - latency];
        if (std::fabs(in) < 0.05f) continue;
        ratioSum += out[i] / in;
        ++counted;
    }
    ASSERT_GT(counted, 0);
    EXPECT_NEAR(ratioSum / counted, (1 + boost) / 2, 0.05);
    // The first frame at the boundary already moved by one ramp step, not more.
    EXPECT_NEAR(out[24576] / sine[24576 - latency], 1 + (boost - 1) / 960, 0.01);
}

TEST(OfflineRenderer, InvalidSignalsAreRefused)
{
    test::TemporaryHome home;
    const std::vector<float> a(100, 0.0f), b(99, 0.0f);
    const DSPSettings s;
    EXPECT_EQ(thrownText([&] { OfflineRenderer::render({}, 48000, s, true, {}, false, 0); }), "Invalid test signal.");
    EXPECT_EQ(thrownText([&] {
                  OfflineRenderer::render({a, a, a}, 48000, s, true, {}, false, 0);
              }),
              "Invalid test signal.");
    EXPECT_EQ(thrownText([&] {
                  OfflineRenderer::render({a, b}, 48000, s, true, {}, false, 0);
              }),
              "Invalid test signal.");
    EXPECT_EQ(thrownText([&] { OfflineRenderer::render({{}}, 48000, s, true, {}, false, 0); }), "Invalid test signal.");
    EXPECT_EQ(thrownText([&] { OfflineRenderer::renderThroughInputNode({a}, 48000, s, 256); }), "Invalid test signal.");
    EXPECT_EQ(thrownText([&] {
                  OfflineRenderer::renderThroughInputNode({a, b}, 48000, s, 256);
              }),
              "Invalid test signal.");
    EXPECT_EQ(thrownText([&] { OfflineRenderer::render({a}, 7999, s, true, {}, false, 0); }),
              "Unsupported format: use mono or stereo audio between 8 and 192 kHz.");
}

TEST(OfflineRenderer, RealtimeChunksCoverTheSignalExactly)
{
    const std::vector<float> left = tone(300, 48000, 1000, 0.2), right = tone(500, 48000, 1000, 0.2);
    const RenderResult r = OfflineRenderer::renderThroughInputNode({left, right}, 48000, DSPSettings(), 256);
    EXPECT_EQ(r.channels[0].size(), 1000u);
    EXPECT_EQ(r.channels[1].size(), 1000u);
    EXPECT_GT(r.peak(), 0.1f);
}

TEST(OfflineRenderer, OfflineAndRealtimePathsRenderIdenticalAudio)
{
    // Whole 1024-frame slices: the leveler steps once per render call, so the two paths meet
    // on every call boundary only when their calls are the same length.
    const std::vector<float> left = tone(220, 48000, 20480, 0.3), right = tone(3000, 48000, 20480, 0.2);
    DSPSettings all = everythingEngaged();
    const RenderResult offline = OfflineRenderer::render({left, right}, 48000, all, true, std::nullopt, false, 0);
    const RenderResult realtime = OfflineRenderer::renderThroughInputNode({left, right}, 48000, all, 1024);
    for (int c = 0; c < 2; ++c)
        for (size_t i = 0; i < left.size(); ++i)
            ASSERT_EQ(offline.channels[c][i], realtime.channels[c][i]) << c << " at " << i;
    // Without the leveler any chunk size gives the same audio.
    all.levelerStrength = 0;
    const RenderResult offline2 = OfflineRenderer::render({left, right}, 48000, all, true, std::nullopt, false, 0);
    const RenderResult chunked = OfflineRenderer::renderThroughInputNode({left, right}, 48000, all, 256);
    for (int c = 0; c < 2; ++c)
        for (size_t i = 0; i < left.size(); ++i)
            ASSERT_EQ(offline2.channels[c][i], chunked.channels[c][i]) << c << " at " << i;
}

// The line goes to standard output (a program may send it to standard error instead).
TEST(OfflineRenderer, SpectrumDebugLineOnlyForExactlyOne)
{
    const std::vector<float> sine = tone(1000, 48000, 24000, 0.1);
    {
        test::ScopedEnvironment debug("QUOREL_SPECTRUM_DEBUG", "yes");
        testing::internal::CaptureStdout();
        const RenderResult r = OfflineRenderer::render({sine}, 48000, DSPSettings(), true, std::nullopt, true, 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        ASSERT_TRUE(r.spectrum.has_value());
        EXPECT_TRUE(r.spectrum->available);
        EXPECT_EQ(r.spectrum->input.size(), 31u);
    }
    test::ScopedEnvironment debug("QUOREL_SPECTRUM_DEBUG", "1");
    testing::internal::CaptureStdout();
    OfflineRenderer::render({sine}, 48000, DSPSettings(), true, std::nullopt, true, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("analyser input: bands=31 ready=true ", 0), 0u) << out;
    EXPECT_NE(out.find(" · output: bands=31 ready=true "), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
}

TEST(OfflineRenderer, ATailThatCannotBeRenderedIsRefusedBeforeAnythingIsHeld)
{
    const auto render = [](double tail) {
        return thrownText([&] {
            OfflineRenderer::render({std::vector<float>(480, 0.1f)}, 48000, DSPSettings(), true, std::nullopt, false,
                                    tail);
        });
    };
    const auto refused = [](const QString& text) {
        return text.startsWith(QStringLiteral("A tail of "))
               && text.endsWith(QStringLiteral(" seconds cannot be rendered."));
    };
    // NaN; 123456 s at 48 kHz, beyond 2^32 frames; 1e20 and 1e300, beyond any frame count.
    for (const double tail : {std::nan(""), 123456.0, 1e20, 1e300, HUGE_VAL})
        EXPECT_TRUE(refused(render(tail))) << tail << ": " << render(tail).toStdString();
    // A negative tail counts as none, and a short one renders.
    EXPECT_TRUE(render(-1).isEmpty());
    EXPECT_TRUE(render(0.5).isEmpty());
}

TEST(OfflineRenderer, ChannelsHandedOverRenderAsCopiedOnes)
{
    const std::vector<std::vector<float>> input{tone(440, 48000, 5000, 0.2), tone(660, 48000, 5000, 0.2)};
    const DSPSettings settings = everythingEngaged();
    const RenderResult copied = OfflineRenderer::render(input, 48000, settings, true, std::nullopt, false, 0.01);
    const RenderResult moved = OfflineRenderer::render(std::vector<std::vector<float>>(input), 48000, settings, true,
                                                       std::nullopt, false, 0.01);
    EXPECT_EQ(copied.channels, moved.channels);
    const RenderResult chunked = OfflineRenderer::renderThroughInputNode(input, 48000, settings, 1024);
    const RenderResult chunkedMoved =
        OfflineRenderer::renderThroughInputNode(std::vector<std::vector<float>>(input), 48000, settings, 1024);
    EXPECT_EQ(chunked.channels, chunkedMoved.channels);
    EXPECT_EQ(chunked.channels[0].size(), 5000u);
}

// Fed in pieces of any size (shorter than a slice, or not a multiple of it), the render is the
// render of the whole signal, with a switch and a tail; the input's errors stop it.
TEST(OfflineRenderer, APieceByPieceRenderEqualsTheWholeOne)
{
    const std::vector<std::vector<float>> input{tone(440, 48000, 9000, 0.3), tone(97, 48000, 9000, 0.4)};
    const DSPSettings settings = everythingEngaged();
    const RenderResult whole = OfflineRenderer::render(input, 48000, settings, true, 4000, false, 0.02);
    for (const size_t piece : {size_t(700), size_t(1024), size_t(4097)}) {
        size_t at = 0;
        const auto source = [&](std::vector<std::vector<float>>& next) {
            const size_t n = std::min(piece, input[0].size() - at);
            next.resize(input.size());
            for (size_t c = 0; c < input.size(); ++c)
                next[c].assign(input[c].begin() + std::ptrdiff_t(at), input[c].begin() + std::ptrdiff_t(at + n));
            at += n;
        };
        std::vector<std::vector<float>> out(2);
        const auto sink = [&](const float* left, const float* right, uint32_t frames) {
            out[0].insert(out[0].end(), left, left + frames);
            out[1].insert(out[1].end(), right, right + frames);
        };
        const RenderResult r = OfflineRenderer::renderStream(source, sink, 48000, 2, settings, true, 4000, false, 0.02);
        EXPECT_TRUE(r.channels.empty());
        EXPECT_EQ(out, whole.channels) << piece;
        EXPECT_EQ(r.meter.guardedSamples, whole.meter.guardedSamples);
    }
    const auto failing = [](std::vector<std::vector<float>>& next) {
        static int calls = 0;
        if (++calls > 2) throw std::runtime_error("Could not read the rest.");
        next.assign(1, std::vector<float>(3000, 0.1f));
    };
    const QString text = thrownText([&] {
        OfflineRenderer::renderStream(
            failing, [](const float*, const float*, uint32_t) {}, 48000, 1, DSPSettings(), true, std::nullopt, false,
            0);
    });
    EXPECT_EQ(text, QStringLiteral("Could not read the rest."));
    // A piece with the wrong channel count is an invalid signal.
    const QString wrong = thrownText([&] {
        OfflineRenderer::renderStream([](std::vector<std::vector<float>>& next) { next.assign(2, {0.1f}); },
                                      [](const float*, const float*, uint32_t) {}, 48000, 1, DSPSettings(), true,
                                      std::nullopt, false, 0);
    });
    EXPECT_EQ(wrong, QStringLiteral("Invalid test signal."));
}

}  // namespace
}  // namespace quorel
