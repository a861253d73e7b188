#include "AllocationCounter.h"
#include "AudioGraph.h"
#include "EveryEffectOn.h"
#include "PCMBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace quorel {
namespace {

// When the server's graph stops (nothing plays) and starts again, the chain restarts: the
// first sound after the pause carries nothing of the one before it (no look-ahead tail, no
// filter ringing), the leveler keeps its gain, and the restart allocates nothing.
TEST(RealtimeRestart, NothingOfTheEarlierSoundIsHeardAfterARestart)
{
    const AudioFormat stereo = AudioFormat::standard(48000, 2);
    std::vector<float> left(512), right(512);
    bool loud = true;
    uint64_t phase = 0;
    AudioBufferList list;
    auto block = [&](uint32_t frames) -> const AudioBufferList* {
        for (uint32_t i = 0; i < frames; ++i, ++phase) {
            left[i] = loud ? 0.5f * std::sin(0.05f * float(phase % 100000)) : 0.0f;
            right[i] = loud ? 0.4f * std::sin(0.011f * float(phase % 100000)) : 0.0f;
        }
        list.numberBuffers = 2;
        list.buffers[0] = {1, frames * 4, left.data()};
        list.buffers[1] = {1, frames * 4, right.data()};
        return &list;
    };
    auto run = [&](bool restart) {
        AudioGraph graph(stereo, AudioGraph::Mode::realtime(stereo, block), true);
        DSPSettings s = test::everyEffectOn();
        graph.apply(s);
        graph.prepare();
        EXPECT_FALSE(graph.engine().start());
        auto out = PCMBuffer::make(stereo, 512);
        out->setFrameLength(512);
        AudioBufferList& outList = out->mutableAudioBufferList();
        Status error = 0;
        loud = true;
        for (int i = 0; i < 400; ++i) graph.engine().renderRealtime(512, outList, &error);
        const float gainBefore = graph.meter().levelerGainDB;
        loud = false;
        uint64_t allocations = 0;
        if (restart) {
            test::AllocationCounter counter;
            graph.restart();
            allocations = counter.allocations() + counter.deallocations();
        }
        EXPECT_EQ(allocations, 0u);
        graph.engine().renderRealtime(512, outList, &error);
        float peak = 0;
        for (uint32_t c = 0; c < 2; ++c)
            for (uint32_t i = 0; i < 512; ++i) peak = std::max(peak, std::fabs(out->channel(c)[i]));
        EXPECT_NEAR(graph.meter().levelerGainDB, gainBefore, 0.01f);  // kept, not back at 0 dB
        graph.stop();
        return peak;
    };
    EXPECT_GT(run(false), 0.01f);  // without a restart the look-ahead still holds the tone
    EXPECT_EQ(run(true), 0.0f);
}

}  // namespace
}  // namespace quorel
