#include "QREffects.h"
#include "QRLimiterUnit.h"
#include "RenderHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <utility>

namespace quorel {
namespace {

// The limiter written the plain way, one frame at a time: a deque for the sliding minimum, a
// scanned box, a delay line that wraps at W - 2. The unit's block-wise rendering must give the
// same samples, bit for bit.
class PlainLimiter {
public:
    PlainLimiter(uint32_t window, float ceiling, float coefficient, uint32_t channels)
        : window_(window), ceiling_(ceiling), coefficient_(coefficient), channels_(channels),
          delay_(channels, std::vector<float>(window, 0.0f)), box_(window, 1.0f), boxSum_(window)
    {
    }

    float minimum = 1;

    void process(std::vector<std::vector<float>>& samples)
    {
        for (size_t n = 0; n < samples[0].size(); ++n, ++index_) {
            float peak = 0;
            for (uint32_t c = 0; c < channels_; ++c) {
                float& x = samples[c][n];
                if (!std::isfinite(x)) x = 0;
                peak = std::max(peak, std::fabs(x));
            }
            const float target = peak > ceiling_ ? ceiling_ / peak : 1.0f;
            while (!queue_.empty() && target <= queue_.back().first) queue_.pop_back();
            queue_.emplace_back(target, index_);
            while (queue_.front().second + window_ <= index_) queue_.pop_front();
            const float released = envelope_ + (1.0f - envelope_) * coefficient_;
            envelope_ = std::min(queue_.front().first, released);
            boxSum_ += double(envelope_) - double(box_[boxIndex_]);
            box_[boxIndex_] = envelope_;
            boxIndex_ = (boxIndex_ + 1) % window_;
            const float average = std::clamp(float(boxSum_ / window_), 0.0f, 1.0f);
            for (uint32_t c = 0; c < channels_; ++c) {
                float out = delay_[c][delayIndex_] * average;
                delay_[c][delayIndex_] = samples[c][n];
                if (std::fabs(out) > ceiling_) out = std::copysign(ceiling_, out);
                samples[c][n] = out;
            }
            minimum = std::min(minimum, average);
            delayIndex_ = delayIndex_ == window_ - 2 ? 0 : delayIndex_ + 1;
        }
    }

private:
    uint32_t window_;
    float ceiling_;
    float coefficient_;
    uint32_t channels_;
    std::vector<std::vector<float>> delay_;
    std::deque<std::pair<float, uint64_t>> queue_;
    std::vector<float> box_;
    double boxSum_;
    uint32_t boxIndex_ = 0;
    uint32_t delayIndex_ = 0;
    float envelope_ = 1;
    uint64_t index_ = 0;
};

struct ReferenceCase {
    double sampleRate;
    float ceiling;
    float lookahead;
    float release;
    uint32_t block;
};

class LimiterReference : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(LimiterReference, BlockRenderingEqualsThePlainAlgorithm)
{
    const ReferenceCase c = GetParam();
    const size_t frames = 20000;
    std::vector<float> left = test::whiteNoise(1.2, frames, 31);
    std::vector<float> right = test::sine(220, 0.8, c.sampleRate, frames);
    for (size_t i = 5000; i < 6000; ++i) left[i] *= 0.05f;  // a quiet stretch for the release
    left[7000] = 4.0f;

    QRLimiterUnit unit;
    unit.configureCeiling(c.ceiling, c.lookahead, c.release);
    ASSERT_TRUE(test::prepareUnit(unit, c.sampleRate, 2));
    const test::Channels out = test::renderThrough(unit, {left, right}, c.block);

    const float appliedRelease = std::clamp(c.release, 0.005f, 1.0f);
    PlainLimiter plain(unit.state().window, std::clamp(c.ceiling, 0.1f, 1.0f),
                       float(1.0 - std::exp(-1.0 / (c.sampleRate * double(appliedRelease)))), 2);
    std::vector<std::vector<float>> expected = {left, right};
    plain.process(expected);
    for (size_t i = 0; i < frames; ++i) {
        ASSERT_EQ(out[0][i], expected[0][i]) << i;
        ASSERT_EQ(out[1][i], expected[1][i]) << i;
    }
    EXPECT_EQ(unit.readGain(), plain.minimum);
}

// Long quiet stretches between loud ones: the envelope comes to rest (at 1 before the first
// reduction, later where its release step no longer rounds), the unit skips the recursion
// there, and must still give the plain algorithm's samples when the next peak comes.
TEST_P(LimiterReference, RestingStretchesEqualThePlainAlgorithm)
{
    const ReferenceCase c = GetParam();
    const size_t quiet = size_t(12 * std::clamp(c.release, 0.005f, 1.0f) * c.sampleRate) + 5000;
    std::vector<float> left = test::sine(330, 0.2, c.sampleRate, 2 * quiet + 6000);
    std::vector<float> right = test::sine(110, 0.1, c.sampleRate, left.size());
    for (size_t i = quiet; i < quiet + 3000; ++i) left[i] *= 9.0f;
    left[2 * quiet + 3000] = -5.0f;

    QRLimiterUnit unit;
    unit.configureCeiling(c.ceiling, c.lookahead, c.release);
    ASSERT_TRUE(test::prepareUnit(unit, c.sampleRate, 2));
    const test::Channels out = test::renderThrough(unit, {left, right}, c.block);

    const float appliedRelease = std::clamp(c.release, 0.005f, 1.0f);
    PlainLimiter plain(unit.state().window, std::clamp(c.ceiling, 0.1f, 1.0f),
                       float(1.0 - std::exp(-1.0 / (c.sampleRate * double(appliedRelease)))), 2);
    std::vector<std::vector<float>> expected = {left, right};
    plain.process(expected);
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_EQ(out[0][i], expected[0][i]) << i;
        ASSERT_EQ(out[1][i], expected[1][i]) << i;
    }
    EXPECT_EQ(unit.readGain(), plain.minimum);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, LimiterReference,
    ::testing::Values(ReferenceCase{48000, 0.5f, 0.005f, 0.08f, 512}, ReferenceCase{48000, 0.9f, 0.005f, 0.08f, 1},
                      ReferenceCase{44100, 0.3f, 0.005f, 0.005f, 441}, ReferenceCase{44100, 0.999f, 0.05f, 1.0f, 4096},
                      ReferenceCase{96000, 0.7f, 0.0005f, 0.3f, 97}, ReferenceCase{8000, 0.5f, 0.0f, 0.08f, 3}));

}  // namespace
}  // namespace quorel
