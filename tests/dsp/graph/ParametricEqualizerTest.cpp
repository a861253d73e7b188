#include "BiquadFilter.h"
#include "ParametricEqualizer.h"
#include "SignalHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <numbers>
#include <thread>

namespace quorel {
namespace {

// The response curve the equalizer page draws for one band, written out on its own:
// unnormalised peaking coefficients, |N|^2 / |D|^2.
double drawnCurveDB(double f0, double gainDB, double sampleRate, double f)
{
    const double k = 0.11552453353622351;  // ln 2 / 2 times the Float nearest 1/3
    const double w0 = 2 * std::numbers::pi * f0 / sampleRate, s = std::sin(w0);
    const double a = std::pow(10.0, gainDB / 40), alpha = s * std::sinh(k * w0 / s);
    const double b0 = 1 + alpha * a, b1 = -2 * std::cos(w0), b2 = 1 - alpha * a;
    const double a0 = 1 + alpha / a, a1 = b1, a2 = 1 - alpha / a;
    const double w = 2 * std::numbers::pi * f / sampleRate;
    const double nr = b0 + b1 * std::cos(w) + b2 * std::cos(2 * w);
    const double ni = b1 * std::sin(w) + b2 * std::sin(2 * w);
    const double dr = a0 + a1 * std::cos(w) + a2 * std::cos(2 * w);
    const double di = a1 * std::sin(w) + a2 * std::sin(2 * w);
    return 10 * std::log10(std::max((nr * nr + ni * ni) / std::max(dr * dr + di * di, 1e-12), 1e-12));
}

double heardGainDB(ParametricEqualizer& eq, double sampleRate, double hz)
{
    const size_t n = size_t(sampleRate / 2);
    std::vector<float> left = test::sine(hz, sampleRate, n, 0.1), right = left;
    const std::vector<float> in = left;
    eq.prepare(sampleRate);
    test::inBlocks(left, right, 512, [&](float* const* ch, uint32_t frames) { eq.process(ch, 2, frames); });
    EXPECT_EQ(left, right);
    return test::dB(test::rms(left, n / 2) / test::rms(in, n / 2));
}

TEST(ParametricEqualizer, PeakingBandSoundsAsTheResponseCurveIsDrawn)
{
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        ParametricEqualizer eq(1);
        eq.setFrequency(0, 1000);
        eq.setBandwidth(0, 1.0f / 3.0f);
        eq.setGain(0, 12);
        for (double f : {250.0, 800.0, 1000.0, 1100.0, 4000.0}) {
            const double drawn = drawnCurveDB(1000, 12, fs, f);
            EXPECT_NEAR(eq.magnitudeDB(fs, f), drawn, 1e-9) << fs << " " << f;
            EXPECT_NEAR(heardGainDB(eq, fs, f), drawn, 0.02) << fs << " " << f;
        }
    }
}

// Whatever the kernel, block size, channel count and number of active bands (odd or even), the
// equalizer's output is that of its bands run one after another, to float rounding.
TEST(ParametricEqualizer, RendersExactlyAsAPlainCascadeForAnyBlockSize)
{
    using Kernel = ParametricEqualizer::Kernel;
    for (Kernel kernel : {Kernel::portable, Kernel::wide, Kernel::wider}) {
        if (!ParametricEqualizer::kernelAvailable(kernel)) continue;
        for (uint32_t block : {1u, 2u, 7u, 30u, 512u, 1000u}) {
            for (uint32_t channels : {1u, 2u}) {
                for (bool oddCount : {false, true}) {
                    ParametricEqualizer eq(31);
                    eq.setKernel(kernel);
                    BiquadFilter plain[31];
                    uint32_t active = 0;
                    for (uint32_t i = 0; i < 31; ++i) {
                        eq.setFrequency(i, 25.0f * std::pow(1.26f, float(i)));
                        eq.setBandwidth(i, 1.0f / 3.0f);
                        eq.setGain(i, i % 3 == 0 ? 0.0f : float(i % 7) - 3.0f);
                        eq.setBypass(i, i == 5 || (!oddCount && i == 8));
                        plain[i].setCoefficients(eq.design(i, 48000));
                        if (!plain[i].coefficients().isIdentity()) ++active;
                    }
                    ASSERT_EQ(active % 2, oddCount ? 1u : 0u);
                    eq.prepare(48000);
                    std::vector<float> left = test::sine(97, 48000, 3000, 0.4),
                                       right = test::sine(5001, 48000, 3000, 0.3);
                    for (size_t n = 0; n < left.size(); n += 5) left[n] += 0.2f;
                    std::vector<float> refLeft = left, refRight = right;
                    test::inBlocks(left, right, block,
                                   [&](float* const* ch, uint32_t n) { eq.process(ch, channels, n); });
                    for (uint32_t i = 0; i < 31; ++i) {
                        if (plain[i].coefficients().isIdentity()) continue;
                        plain[i].process(refLeft.data(), uint32_t(refLeft.size()), 0);
                        plain[i].process(refRight.data(), uint32_t(refRight.size()), 1);
                    }
                    for (size_t n = 0; n < left.size(); ++n) {
                        ASSERT_NEAR(left[n], refLeft[n], 1e-6f)
                            << int(kernel) << "/" << block << "/" << channels << " at " << n;
                        if (channels == 2) {
                            ASSERT_NEAR(right[n], refRight[n], 1e-6f) << int(kernel) << "/" << block << " at " << n;
                        }
                    }
                }
            }
        }
    }
}

// The 4-lane and 8-lane kernels do the same arithmetic per filter: their outputs agree to the
// bit, whatever the block size and number of active bands (a series that fills its last vector
// or leaves identities in it).
TEST(ParametricEqualizer, VectorKernelsAgreeToTheBit)
{
    using Kernel = ParametricEqualizer::Kernel;
    if (!ParametricEqualizer::kernelAvailable(Kernel::wider)) GTEST_SKIP() << "no 8-lane kernel here";
    for (uint32_t bands : {1u, 3u, 10u, 12u, 31u}) {
        for (uint32_t block : {1u, 5u, 64u, 512u, 1000u}) {
            std::vector<float> out[2];
            for (Kernel kernel : {Kernel::wide, Kernel::wider}) {
                ParametricEqualizer eq(bands);
                eq.setKernel(kernel);
                for (uint32_t i = 0; i < bands; ++i) {
                    eq.setFrequency(i, 30.0f * std::pow(1.3f, float(i)));
                    eq.setGain(i, float(i % 5) - 2.0f);
                }
                eq.prepare(44100);
                std::vector<float> left = test::sine(61, 44100, 2500, 0.5), right = test::sine(3001, 44100, 2500, 0.2);
                test::inBlocks(left, right, block, [&](float* const* ch, uint32_t n) { eq.process(ch, 2, n); });
                left.insert(left.end(), right.begin(), right.end());
                out[kernel == Kernel::wider] = left;
            }
            EXPECT_EQ(out[0], out[1]) << bands << " bands, blocks of " << block;
        }
    }
}

// A band switched off and on again while rendering takes the others' memories along unharmed:
// both kernels stay on the plain cascade of whatever bands are active.
TEST(ParametricEqualizer, BandsSwitchedWhileRenderingKeepTheOthersMemories)
{
    using Kernel = ParametricEqualizer::Kernel;
    for (Kernel kernel : {Kernel::portable, Kernel::wide, Kernel::wider}) {
        if (!ParametricEqualizer::kernelAvailable(kernel)) continue;
        ParametricEqualizer eq(5);
        eq.setKernel(kernel);
        eq.setChangesRamped(false);
        BiquadFilter plain[5];
        for (uint32_t i = 0; i < 5; ++i) {
            eq.setFrequency(i, 60.0f * float(i + 1));
            eq.setGain(i, 4);
            plain[i].setCoefficients(eq.design(i, 44100));
        }
        eq.prepare(44100);
        std::vector<float> left = test::sine(150, 44100, 4096, 0.4), right = test::sine(70, 44100, 4096, 0.3);
        std::vector<float> refLeft = left, refRight = right;
        uint32_t calls = 0;
        test::inBlocks(left, right, 256, [&](float* const* ch, uint32_t n) {
            // Band 2 leaves after the fourth block; its filter is then skipped in the reference.
            if (calls++ == 4) eq.setBypass(2, true);
            eq.process(ch, 2, n);
        });
        float* ref[2] = {refLeft.data(), refRight.data()};
        for (uint32_t start = 0; start < 4096; start += 256) {
            for (uint32_t i = 0; i < 5; ++i) {
                if (i == 2 && start >= 4 * 256) continue;
                for (uint32_t c = 0; c < 2; ++c) plain[i].process(ref[c] + start, 256, c);
            }
        }
        for (size_t n = 0; n < left.size(); ++n) {
            ASSERT_NEAR(left[n], refLeft[n], 1e-6f) << int(kernel) << " at " << n;
            ASSERT_NEAR(right[n], refRight[n], 1e-6f) << int(kernel) << " at " << n;
        }
    }
}

// A single active band (the bass cut's high-pass) runs in a form of its own; it stays on the
// plain section too, also when it becomes the only one while rendering and takes its memories
// over from the series.
TEST(ParametricEqualizer, ABandAloneRendersAsThePlainSection)
{
    using Kernel = ParametricEqualizer::Kernel;
    for (Kernel kernel : {Kernel::portable, Kernel::wide, Kernel::wider}) {
        if (!ParametricEqualizer::kernelAvailable(kernel)) continue;
        for (uint32_t block : {1u, 3u, 256u, 1000u}) {
            for (uint32_t channels : {1u, 2u}) {
                ParametricEqualizer eq(2);
                eq.setKernel(kernel);
                eq.setChangesRamped(false);
                eq.setType(0, ParametricEqualizer::Type::highPass);
                eq.setFrequency(0, 80);
                eq.setFrequency(1, 3000);
                eq.setGain(1, 5);
                BiquadFilter plain[2];
                for (uint32_t i = 0; i < 2; ++i) plain[i].setCoefficients(eq.design(i, 48000));
                eq.prepare(48000);
                std::vector<float> left = test::sine(50, 48000, 6000, 0.4), right = test::sine(2500, 48000, 6000, 0.3);
                for (size_t n = 0; n < left.size(); n += 7) left[n] += 0.3f;
                std::vector<float> refLeft = left, refRight = right;
                // Band 1 leaves at frame 2000 (at the first block boundary from there).
                const uint32_t leaves = (2000 + block - 1) / block * block;
                uint32_t at = 0;
                test::inBlocks(left, right, block, [&](float* const* ch, uint32_t n) {
                    if (at == leaves) eq.setBypass(1, true);
                    eq.process(ch, channels, n);
                    at += n;
                });
                float* ref[2] = {refLeft.data(), refRight.data()};
                for (uint32_t c = 0; c < 2; ++c) {
                    plain[0].process(ref[c], uint32_t(refLeft.size()), c);
                    plain[1].process(ref[c], leaves, c);
                }
                for (size_t n = 0; n < left.size(); ++n) {
                    ASSERT_NEAR(left[n], refLeft[n], 1e-6f) << int(kernel) << "/" << block << " at " << n;
                    if (channels == 2) {
                        ASSERT_NEAR(right[n], refRight[n], 1e-6f) << int(kernel) << "/" << block << " at " << n;
                    }
                }
            }
        }
    }
}

TEST(ParametricEqualizer, BandsInSeriesAddTheirCurves)
{
    ParametricEqualizer eq(31);
    const float freqs[3] = {63, 1000, 16000};
    const float gains[3] = {6, -4, 3};
    for (uint32_t i = 0; i < 3; ++i) {
        eq.setFrequency(i, freqs[i]);
        eq.setBandwidth(i, 1.0f / 3.0f);
        eq.setGain(i, gains[i]);
    }
    for (double f : {63.0, 700.0, 12000.0}) {
        double drawn = 0;
        for (int i = 0; i < 3; ++i) drawn += drawnCurveDB(freqs[i], gains[i], 48000, f);
        EXPECT_NEAR(eq.magnitudeDB(48000, f), drawn, 1e-9);
    }
}

TEST(ParametricEqualizer, NeutralOrBypassedBandsLeaveSamplesUntouched)
{
    ParametricEqualizer eq(12);
    for (uint32_t i = 0; i < 12; ++i) {
        eq.setFrequency(i, 100.0f * float(i + 1));
        eq.setGain(i, i % 2 ? 0.0f : 9.0f);
        eq.setBypass(i, i % 2 == 0);
    }
    std::vector<float> left = test::sine(440, 48000, 4096, 0.5), right = test::sine(97, 48000, 4096, 0.3);
    const auto l0 = left, r0 = right;
    eq.prepare(48000);
    test::inBlocks(left, right, 256, [&](float* const* ch, uint32_t n) { eq.process(ch, 2, n); });
    EXPECT_EQ(left, l0);
    EXPECT_EQ(right, r0);
}

TEST(ParametricEqualizer, GlobalGainAndBypassToggleWhileRendering)
{
    ParametricEqualizer eq(1);
    eq.setFrequency(0, 1000);
    eq.setGain(0, 6);
    eq.setBandwidth(0, 1);
    eq.setGlobalGain(-6);
    EXPECT_NEAR(heardGainDB(eq, 48000, 1000), 0, 0.02);
    eq.setBypass(0, true);
    EXPECT_NEAR(heardGainDB(eq, 48000, 1000), -6, 0.02);
}

TEST(ParametricEqualizer, ValuesAreClampedAndNonFiniteIgnored)
{
    ParametricEqualizer eq(1);
    eq.setBandwidth(0, 100);
    EXPECT_EQ(eq.bandwidth(0), 5.0f);
    eq.setBandwidth(0, 0.001f);
    EXPECT_EQ(eq.bandwidth(0), 0.05f);
    eq.setGain(0, 3);
    eq.setGain(0, std::nanf(""));
    EXPECT_EQ(eq.gain(0), 3.0f);
    eq.setFrequency(0, -5);
    EXPECT_EQ(eq.frequency(0), 10.0f);
    eq.setGain(7, 3);  // no such band: nothing happens
}

TEST(ParametricEqualizer, BandAtNyquistStaysSilentNotUnstable)
{
    ParametricEqualizer eq(1);
    eq.setFrequency(0, 4000);
    eq.setGain(0, 12);
    std::vector<float> left = test::sine(1000, 8000, 4000, 0.5), right = left;
    const auto in = left;
    eq.prepare(8000);
    test::inBlocks(left, right, 512, [&](float* const* ch, uint32_t n) { eq.process(ch, 2, n); });
    EXPECT_EQ(left, in);
}

TEST(ParametricEqualizer, HighPassTypeIsButterworthWhateverTheGain)
{
    ParametricEqualizer eq(1);
    eq.setType(0, ParametricEqualizer::Type::highPass);
    eq.setFrequency(0, 100);
    eq.setGain(0, 0);
    EXPECT_NEAR(heardGainDB(eq, 44100, 100), -3.01, 0.05);
    EXPECT_NEAR(heardGainDB(eq, 44100, 2000), 0, 0.02);
}

// Changes made within one update are heard together: until it ends, the render thread keeps
// the design it had.
TEST(ParametricEqualizer, ChangesOfOneUpdateAreHeardTogether)
{
    ParametricEqualizer eq(2);
    eq.setFrequency(0, 1000);
    eq.setFrequency(1, 3000);
    eq.prepare(48000);
    std::vector<float> left = test::sine(1000, 48000, 4096, 0.2), right = left;
    const std::vector<float> in = left;
    const auto render = [&] {
        left = right = in;
        test::inBlocks(left, right, 512, [&](float* const* ch, uint32_t n) { eq.process(ch, 2, n); });
    };

    eq.beginUpdate();
    eq.setGain(0, 6);
    eq.beginUpdate();  // updates nest
    eq.setGain(1, -6);
    eq.endUpdate();
    render();
    EXPECT_EQ(left, in);  // nothing published yet
    eq.endUpdate();
    render();
    EXPECT_NE(left, in);

    // Both bands arrived in the same call: the output is that of the finished design from the
    // first sample on.
    ParametricEqualizer reference(2);
    reference.setFrequency(0, 1000);
    reference.setFrequency(1, 3000);
    reference.setGain(0, 6);
    reference.setGain(1, -6);
    reference.prepare(48000);
    std::vector<float> refLeft = in, refRight = in;
    test::inBlocks(refLeft, refRight, 512, [&](float* const* ch, uint32_t n) { reference.process(ch, 2, n); });
    eq.reset();
    render();
    EXPECT_EQ(left, refLeft);
}

// Changes written on the owner's thread while another thread renders reach the output whole:
// after all 31 gains were written, the next render calls sound as the full new curve. Runs
// under ThreadSanitizer too.
TEST(ParametricEqualizer, ChangesWrittenWhileAnotherThreadRendersReachTheOutput)
{
    constexpr double fs = 48000;
    ParametricEqualizer eq(31);
    for (uint32_t i = 0; i < 31; ++i) {
        eq.setFrequency(i, 20.0f * std::pow(2.0f, float(i) / 3));
        eq.setBandwidth(i, 1.0f / 3.0f);
    }
    eq.prepare(fs);
    // 1 kHz sits between bands; the level heard there is the curve's sum at 1 kHz.
    const std::vector<float> source = test::sine(1000, fs, 48000, 0.1);
    std::atomic<int> written{0};
    std::atomic<bool> done{false};
    double before = 0, after = 0;

    std::thread render([&] {
        std::vector<float> left(512), right(512);
        std::vector<float> tail;
        size_t at = 0;
        int seen = 0;
        uint32_t callsSinceSeen = 0;
        while (!done.load()) {
            const int now = written.load();
            for (size_t i = 0; i < 512; ++i) left[i] = right[i] = source[(at + i) % source.size()];
            at += 512;
            float* channels[2] = {left.data(), right.data()};
            eq.process(channels, 2, 512);
            callsSinceSeen = now == seen ? callsSinceSeen + 1 : 0;
            seen = now;
            // Before the change and after it, once the filters settled (40 calls, 0.43 s), measure
            // one second.
            if (seen >= 0 && callsSinceSeen >= 40) tail.insert(tail.end(), left.begin(), left.end());
            if (tail.size() >= 48000) {
                (seen == 0 ? before : after) = test::rms(tail);
                tail.clear();
                if (seen == 0) {
                    written.store(-1);  // ask for the change
                    seen = -1;
                    callsSinceSeen = 0;
                } else {
                    done = true;
                }
            }
        }
    });
    while (written.load() != -1) std::this_thread::yield();
    for (uint32_t i = 0; i < 31; ++i) eq.setGain(i, 6);
    written.store(1);
    render.join();

    EXPECT_NEAR(test::dB(after / before), eq.magnitudeDB(fs, 1000), 0.05);
    EXPECT_GT(eq.magnitudeDB(fs, 1000), 9);
}

}  // namespace
}  // namespace quorel
