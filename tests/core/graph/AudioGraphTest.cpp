#include "AudioGraph.h"
#include "GraphTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quorel {
namespace {

using test::thrownText;

const QString unsupported = "Unsupported format: use mono or stereo audio between 8 and 192 kHz.";

AudioGraph offlineGraph(double rate, uint32_t channels = 2, bool analyse = false)
{
    return AudioGraph(AudioFormat::standard(rate, channels), AudioGraph::Mode::offline(), analyse);
}

TEST(AudioGraph, SourceFormatsOutsideMonoStereoAndEightTo192kHzAreRefused)
{
    test::TemporaryHome home;
    // Plain copies: clang 14 cannot capture structured bindings in a lambda.
    for (const auto& format :
         {std::pair{48000.0, 3u}, {48000.0, 0u}, {7999.0, 2u}, {192001.0, 1u}, {std::nan(""), 2u}}) {
        const double rate = format.first;
        const unsigned channels = format.second;
        EXPECT_EQ(thrownText([&] { offlineGraph(rate, channels); }), unsupported)
            << rate << " Hz, " << channels << " channels";
    }
    EXPECT_EQ(thrownText([] { offlineGraph(8000, 1); }), "");
    EXPECT_EQ(thrownText([] { offlineGraph(192000, 2); }), "");
}

TEST(AudioGraph, RealtimeOutputMustBeStereoFloat)
{
    test::TemporaryHome home;
    const auto block = [](uint32_t) -> const AudioBufferList* { return nullptr; };
    EXPECT_EQ(thrownText([&] {
                  AudioGraph g(AudioFormat::standard(48000, 2),
                               AudioGraph::Mode::realtime(AudioFormat::standard(48000, 1), block), false);
              }),
              "Unexpected real-time format.");
    EXPECT_EQ(thrownText([&] {
                  AudioGraph g(AudioFormat::standard(48000, 2),
                               AudioGraph::Mode::realtime(AudioFormat::standard(44100, 2), block), false);
              }),
              "Unexpected real-time format.");
    AudioFormat interleaved = AudioFormat::standard(48000, 2);
    interleaved.interleaved = true;
    EXPECT_EQ(thrownText([&] {
                  AudioGraph g(interleaved, AudioGraph::Mode::realtime(AudioFormat::standard(48000, 2), block), false);
              }),
              "Unexpected real-time format.");
}

TEST(AudioGraph, EqualizerBandsAtOrAboveNyquistAreBypassed)
{
    AudioGraph g32 = offlineGraph(32000);
    const ParametricEqualizer& eq32 = g32.equalizerUnit().equalizer();
    EXPECT_TRUE(eq32.bypass(29));   // 16000 Hz
    EXPECT_TRUE(eq32.bypass(30));   // 20000 Hz
    EXPECT_FALSE(eq32.bypass(28));  // 12500 Hz
    EXPECT_EQ(eq32.frequency(28), 12500.0f);
    AudioGraph g44 = offlineGraph(44100);
    const ParametricEqualizer& eq44 = g44.equalizerUnit().equalizer();
    for (uint32_t i = 0; i < 31; ++i) EXPECT_FALSE(eq44.bypass(i)) << i;
    EXPECT_EQ(eq44.frequency(30), 19845.0f);
    EXPECT_EQ(eq44.bandwidth(0), 1.0f / 3.0f);
}

TEST(AudioGraph, BassCutFollowsHighPassHz)
{
    AudioGraph g = offlineGraph(48000);
    DSPSettings s;
    g.apply(s);
    EXPECT_EQ(g.highPassUnit().equalizer().frequency(0), 20.0f);
    EXPECT_TRUE(g.highPassUnit().equalizer().bypass(0));
    EXPECT_EQ(g.highPassUnit().equalizer().type(0), EqualizerUnit::Type::highPass);
    s.highPassHz = 80;
    g.apply(s);
    EXPECT_EQ(g.highPassUnit().equalizer().frequency(0), 80.0f);
    EXPECT_FALSE(g.highPassUnit().equalizer().bypass(0));
}

TEST(AudioGraph, LoudnessDrivesTheDynamicsProcessor)
{
    test::ScopedEnvironment makeup("QUOREL_MAKEUP", nullptr);
    AudioGraph g = offlineGraph(48000);
    AudioUnit* c = g.compressorUnit();
    EXPECT_FALSE(g.multiband());
    EXPECT_EQ(test::parameterOf(c, 0), 0.0f);
    EXPECT_EQ(test::parameterOf(c, 1), 40.0f);
    EXPECT_EQ(test::parameterOf(c, 6), 0.0f);
    EXPECT_EQ(test::parameterOf(c, 2), 1.0f);
    EXPECT_EQ(test::parameterOf(c, 3), -120.0f);  // expansion threshold at its minimum
    EXPECT_EQ(test::parameterOf(c, 4), 0.01f);
    EXPECT_EQ(test::parameterOf(c, 5), 0.18f);
    DSPSettings s;
    s.loudness = 0.5f;
    g.apply(s);
    EXPECT_FLOAT_EQ(test::parameterOf(c, 0), -15.0f);
    EXPECT_FLOAT_EQ(test::parameterOf(c, 1), 17.0f);
    EXPECT_FLOAT_EQ(test::parameterOf(c, 6), 3.85f);
}

TEST(AudioGraph, MakeupOverrideFromTheEnvironment)
{
    test::TemporaryHome home;
    {
        test::ScopedEnvironment makeup("QUOREL_MAKEUP", "6");
        AudioGraph g = offlineGraph(48000);
        EXPECT_EQ(test::parameterOf(g.compressorUnit(), 6), 6.0f);
        DSPSettings s;
        s.loudness = 1;
        g.apply(s);
        EXPECT_EQ(test::parameterOf(g.compressorUnit(), 6), 6.0f);
    }
    for (const char* ignored : {"word", "inf", "nan", " 6", ""}) {
        test::ScopedEnvironment makeup("QUOREL_MAKEUP", ignored);
        AudioGraph g = offlineGraph(48000);
        DSPSettings s;
        s.loudness = 0.5f;
        g.apply(s);
        EXPECT_FLOAT_EQ(test::parameterOf(g.compressorUnit(), 6), 3.85f) << ignored;
    }
    test::ScopedEnvironment makeup("QUOREL_MAKEUP", "99");
    EXPECT_EQ(thrownText([] { offlineGraph(48000); }),
              "Invalid audio parameter: 6, value 99.0, range -40.0...40.0, unit 13, status 0.");
    test::ScopedEnvironment multiband("QUOREL_MULTIBAND", "1");
    EXPECT_EQ(thrownText([] { offlineGraph(48000); }),
              "Invalid audio parameter: 1, value 99.0, range -40.0...40.0, unit 13, status 0.");
}

TEST(AudioGraph, MultibandOnlyForExactlyOne)
{
    test::ScopedEnvironment makeup("QUOREL_MAKEUP", nullptr);
    for (const char* value : {"true", " 1", "01"}) {
        test::ScopedEnvironment multiband("QUOREL_MULTIBAND", value);
        EXPECT_FALSE(offlineGraph(48000).multiband()) << value;
    }
    test::ScopedEnvironment multiband("QUOREL_MULTIBAND", "1");
    AudioGraph g = offlineGraph(8000);
    EXPECT_TRUE(g.multiband());
    AudioUnit* c = g.compressorUnit();
    EXPECT_EQ(test::parameterOf(c, 2), 120.0f);
    EXPECT_EQ(test::parameterOf(c, 3), 700.0f);
    EXPECT_EQ(test::parameterOf(c, 4), 3000.0f);
    DSPSettings s;
    s.loudness = 0.25f;
    g.apply(s);
    for (uint32_t b = 0; b < 4; ++b) {
        EXPECT_FLOAT_EQ(test::parameterOf(c, 5 + b), -7.5f);
        EXPECT_FLOAT_EQ(test::parameterOf(c, 9 + b), 9.5f);
    }
    EXPECT_FLOAT_EQ(test::parameterOf(c, 1), 1.225f);
}

TEST(AudioGraph, HeadphoneProfileFillsBandsAndBypassesTheRest)
{
    AudioGraph g = offlineGraph(44100);
    HeadphoneProfile p;
    p.preampDB = -6;
    p.filters = {{HeadphoneFilter::Kind::lowShelf, 105, 5, 0.7071f},
                 {HeadphoneFilter::Kind::peak, 20000, 3, 0.01f},
                 {HeadphoneFilter::Kind::highShelf, 19845, -2, 100}};
    DSPSettings s;
    s.headphoneProfile = p;
    g.apply(s);
    const ParametricEqualizer& eq = g.headphoneEQUnit().equalizer();
    EXPECT_EQ(eq.type(0), EqualizerUnit::Type::lowShelf);
    EXPECT_EQ(eq.frequency(0), 105.0f);
    EXPECT_NEAR(eq.bandwidth(0), 1.90, 0.01);
    EXPECT_FALSE(eq.bypass(0));
    EXPECT_EQ(eq.gain(0), 5.0f);
    EXPECT_EQ(eq.frequency(1), 19845.0f);
    EXPECT_TRUE(eq.bypass(1));
    EXPECT_EQ(eq.bandwidth(1), 5.0f);
    EXPECT_EQ(eq.type(2), EqualizerUnit::Type::highShelf);
    EXPECT_TRUE(eq.bypass(2));  // exactly at the limit
    // Q 100 is sanitized to 20 first: 2 asinh(1/40) / ln 2 octaves, above the 0.05 clamp.
    EXPECT_NEAR(eq.bandwidth(2), 2 * std::asinh(1.0 / 40) / std::log(2.0), 1e-6);
    for (uint32_t i = 3; i < 12; ++i) {
        EXPECT_TRUE(eq.bypass(i)) << i;
        EXPECT_EQ(eq.gain(i), 0.0f) << i;
    }
    EXPECT_EQ(eq.globalGain(), -6.0f);
    g.apply(DSPSettings());
    for (uint32_t i = 0; i < 12; ++i) EXPECT_TRUE(eq.bypass(i)) << i;
    EXPECT_EQ(eq.globalGain(), 0.0f);
}

TEST(AudioGraph, RangesAreReadOncePerUnitAndParameter)
{
    test::ScopedEnvironment makeup("QUOREL_MAKEUP", nullptr);
    AudioGraph g = offlineGraph(48000);
    const uint64_t reads = g.boundsReads();
    DSPSettings s;
    s.loudness = 0.7f;
    g.apply(s);
    g.apply(DSPSettings());
    EXPECT_EQ(g.boundsReads(), reads);
}

// The line goes to standard output (a program may send it to standard error instead).
TEST(AudioGraph, LatencyDebugLineOnlyForExactlyOne)
{
    for (const char* value : {"true", "0", "yes"}) {
        test::ScopedEnvironment debug("QUOREL_LATENCY_DEBUG", value);
        AudioGraph g = offlineGraph(48000);
        testing::internal::CaptureStdout();
        g.prepare();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << value;
    }
    test::ScopedEnvironment debug("QUOREL_LATENCY_DEBUG", "1");
    AudioGraph g = offlineGraph(48000);
    testing::internal::CaptureStdout();
    g.prepare();
    const std::string line = testing::internal::GetCapturedStdout();
    EXPECT_EQ(line.rfind("latency ms · bass 0.0 highPass 0.0 leveler ", 0), 0u) << line;
    EXPECT_NE(line.find(" eq 0.0 headphoneEQ 0.0 compressor 0.0 drive "), std::string::npos) << line;
    EXPECT_NE(line.find(" limiter "), std::string::npos);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
}

TEST(AudioGraph, MeterOfAGraphThatRenderedNothing)
{
    AudioGraph g = offlineGraph(48000);
    const MeterReading m = g.meter();
    EXPECT_EQ(m.inputPeakDB, -120.0f);
    EXPECT_EQ(m.outputPeakDB, -120.0f);
    EXPECT_EQ(m.outputRMSDB, -120.0f);
    EXPECT_EQ(m.limiterReductionDB, 0.0f);
    EXPECT_EQ(m.guardedSamples, 0u);
    EXPECT_EQ(m.invalidSamples, 0u);
    const SpectrumReading sp = g.spectrum();
    EXPECT_FALSE(sp.available);
    EXPECT_EQ(sp.input.size(), 31u);
    EXPECT_EQ(sp.output.size(), 31u);
}

}  // namespace
}  // namespace quorel
