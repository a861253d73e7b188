#include "BassHarmonics.h"
#include "DriveCurve.h"
#include "FirKernel.h"
#include "KWeighting.h"
#include "QREffects.h"
#include "RenderHarness.h"
#include "SampleSanitizing.h"
#include "UtilityStages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

// Every kernel comes in a portable form and, on processors that have the instructions, an
// 8-lane form; the library picks one when it loads. Both must compute the same thing, or a
// machine without the wide instructions would hear something else.

namespace quorel {
namespace {

const KernelForm forms[] = {KernelForm::portable, KernelForm::wide};

TEST(KernelForm, FirAccumulateMatchesThePlainSumInEveryForm)
{
    const std::vector<float> source = test::whiteNoise(1.0, 400, 31);
    const std::vector<float> coefficients = test::whiteNoise(0.2, 33, 32);
    const uint32_t history = 32;
    for (KernelForm form : forms) {
        if (!kernelFormAvailable(form)) continue;
        for (uint32_t frames : {1u, 7u, 8u, 63u, 64u, 65u, 200u, 368u}) {
            std::vector<float> out(frames, 0.5f);
            firAccumulate(form, out.data(), source.data() + history, coefficients.data(), 33, frames);
            for (uint32_t k = 0; k < frames; ++k) {
                double expected = 0.5;
                for (uint32_t j = 0; j < 33; ++j) expected += double(coefficients[j]) * source[history + k - j];
                ASSERT_NEAR(out[k], expected, 1e-5) << int(form) << " " << frames << " " << k;
            }
        }
    }
}

TEST(KernelForm, DriveCurveMatchesTheScalarCurveInEveryForm)
{
    const std::vector<float> input = test::whiteNoise(2.5, 1001, 33);
    for (KernelForm form : forms) {
        if (!kernelFormAvailable(form)) continue;
        for (float amount : {0.2f, 1.0f}) {
            const DriveCurve curve = DriveCurve::make(amount, 0.9f);
            std::vector<float> shaped = input;
            curve.shape(form, shaped.data(), uint32_t(shaped.size()));
            for (size_t i = 0; i < input.size(); ++i)
                ASSERT_NEAR(shaped[i], curve.shapeSample(input[i]), 1e-6) << int(form) << " " << i;
        }
    }
}

TEST(KernelForm, BassHarmonicsFormsAgree)
{
    const std::vector<float> left = test::whiteNoise(0.8, 3000, 34);
    const std::vector<float> right = test::sine(45, 0.9, 48000, 3000);
    std::vector<std::vector<float>> results;
    for (KernelForm form : forms) {
        if (!kernelFormAvailable(form)) continue;
        BassHarmonics harmonics;
        harmonics.prepare(48000);
        std::vector<float> l = left, r = right;
        float* data[2] = {l.data(), r.data()};
        harmonics.process(form, data, 2, 3000, 1);
        l.insert(l.end(), r.begin(), r.end());
        results.push_back(l);
    }
    for (size_t i = 1; i < results.size(); ++i)
        for (size_t k = 0; k < results[0].size(); ++k) ASSERT_NEAR(results[i][k], results[0][k], 1e-6) << k;
}

std::vector<uint32_t> bitsOf(const std::vector<float>& samples)
{
    std::vector<uint32_t> bits(samples.size());
    std::memcpy(bits.data(), samples.data(), samples.size() * sizeof(float));
    return bits;
}

// Cleaning and peak measuring give the same samples and peaks in every form, for every length
// from 0 to 40 frames and a long one, with invalid samples among them.
TEST(KernelForm, SanitizingAndPeaksAgreeBitForBit)
{
    std::vector<float> input = test::whiteNoise(1.5, 1100, 14);
    input[6] = NAN;
    input[30] = INFINITY;
    input[700] = -INFINITY;
    for (uint32_t count = 0; count <= 1037; count = count < 40 ? count + 1 : count + 997) {
        std::vector<std::vector<float>> cleaned;
        std::vector<float> peaks;
        for (KernelForm form : forms) {
            if (!kernelFormAvailable(form)) continue;
            std::vector<float> x = input;
            peaks.push_back(sanitizeAndMeasure(form, x.data(), count));
            peaks.push_back(peakMagnitude(form, x.data(), count));
            cleaned.push_back(x);
        }
        for (size_t f = 1; f < cleaned.size(); ++f) {
            SCOPED_TRACE(testing::Message() << count << " frames");
            EXPECT_EQ(bitsOf(cleaned[f]), bitsOf(cleaned[0]));
            EXPECT_EQ(peaks[2 * f], peaks[0]);
            EXPECT_EQ(peaks[2 * f + 1], peaks[1]);
        }
        EXPECT_EQ(peaks[0], peaks[1]);
    }
}

// A utility unit's two passes give the same samples and measures, bit for bit, in every form:
// every length from 0 to 40 frames and a long one, invalid samples among them, every case of
// ramp, ceiling and squares.
TEST(KernelForm, UtilityStagesAgreeBitForBit)
{
    std::vector<float> input = test::whiteNoise(1.5, 1100, 12);
    input[5] = NAN;
    input[17] = -INFINITY;
    input[600] = INFINITY;
    const std::vector<float> gains = test::whiteNoise(1.0, 1100, 13);
    for (uint32_t count = 0; count <= 1037; count = count < 40 ? count + 1 : count + 997) {
        for (const bool squares : {false, true}) {
            std::vector<std::vector<float>> samples, copies;
            std::vector<InputMeasure> in;
            std::vector<std::vector<OutputMeasure>> out;
            for (KernelForm form : forms) {
                if (!kernelFormAvailable(form)) continue;
                std::vector<float> x = input, copy(input.size(), 0.0f);
                in.push_back(cleanAndCopy(form, x.data(), count, copy.data(), squares));
                out.emplace_back();
                for (const bool ramp : {false, true})
                    for (const float ceiling : {0.0f, 0.8f}) {
                        std::vector<float> y = copy;
                        out.back().push_back(scaleAndMeasure(form, y.data(), count, ramp ? gains.data() : nullptr, 0.9f,
                                                             ceiling, squares));
                        x.insert(x.end(), y.begin(), y.end());
                    }
                samples.push_back(x);
                copies.push_back(copy);
            }
            for (size_t f = 1; f < samples.size(); ++f) {
                SCOPED_TRACE(testing::Message() << count << " frames, squares " << squares);
                EXPECT_EQ(bitsOf(samples[f]), bitsOf(samples[0]));
                EXPECT_EQ(bitsOf(copies[f]), bitsOf(copies[0]));
                EXPECT_EQ(in[f].peak, in[0].peak);
                EXPECT_EQ(in[f].invalid, in[0].invalid);
                EXPECT_EQ(in[f].squares, in[0].squares);
                for (size_t k = 0; k < out[0].size(); ++k) {
                    EXPECT_EQ(out[f][k].peak, out[0][k].peak) << k;
                    EXPECT_EQ(out[f][k].guarded, out[0][k].guarded) << k;
                    EXPECT_EQ(out[f][k].squares, out[0][k].squares) << k;
                }
            }
        }
    }
}

// The K-weighting's squares in every form, in calls of 1 to 700 frames (long and short paths,
// the memories carried from call to call), against the plain transposed sections frame by
// frame: deep bass, where the high-pass's poles lie closest to 1, and noise, at 44.1 and 96 kHz.
TEST(KernelForm, KWeightedSquaresMatchThePlainSectionsInEveryForm)
{
    for (const double rate : {44100.0, 96000.0}) {
        const size_t length = size_t(rate);
        std::vector<float> left = test::sine(30, 0.5, rate, length), right = test::whiteNoise(0.3, length, 8);
        const std::vector<float> hum = test::sine(3000, 0.01, rate, length);
        for (size_t i = 0; i < length; ++i) left[i] += hum[i];
        double shelfCoefficients[5], highPassCoefficients[5];
        QRKWeightingCoefficients(rate, shelfCoefficients, highPassCoefficients);
        std::array<Biquad, 2> shelf, highPass;
        for (size_t c = 0; c < 2; ++c) {
            shelf[c].setCoefficients(shelfCoefficients);
            highPass[c].setCoefficients(highPassCoefficients);
        }
        std::array<double, 2> expected{};
        std::array<Biquad, 2> plainShelf = shelf, plainHighPass = highPass;
        for (size_t i = 0; i < length; ++i) {
            const float l = plainHighPass[0].process(plainShelf[0].process(left[i]));
            const float r = plainHighPass[1].process(plainShelf[1].process(right[i]));
            expected[0] += double(l) * l;
            expected[1] += double(r) * r;
        }
        for (KernelForm form : forms) {
            if (!kernelFormAvailable(form)) continue;
            SCOPED_TRACE(testing::Message() << rate << " Hz, form " << int(form));
            std::array<Biquad, 2> s = shelf, h = highPass;
            std::array<double, 2> sums{};
            uint32_t block = 1;
            for (size_t start = 0; start < length; start += block, block = block * 7 % 701)
                kWeightedSquares(form, s, h, left.data() + start, right.data() + start,
                                 uint32_t(std::min<size_t>(block, length - start)), sums);
            for (size_t c = 0; c < 2; ++c) {
                EXPECT_NEAR(sums[c] / expected[c], 1.0, 5e-5) << c;  // 0.0002 dB
                EXPECT_NEAR(h[c].z1, plainHighPass[c].z1, 1e-3f) << c;
                EXPECT_NEAR(s[c].z2, plainShelf[c].z2, 1e-3f) << c;
            }
        }
    }
}

}  // namespace
}  // namespace quorel
