#include "AllocationCounter.h"
#include "AudioGraph.h"
#include "EveryEffectOn.h"
#include "PCMBuffer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quorel {
namespace {

// The device callback renders the whole graph on the real-time thread: once the engine runs,
// rendering must never touch the allocator.
TEST(RealtimeRender, WholeGraphAllocatesNothing)
{
    const AudioFormat stereo = AudioFormat::standard(48000, 2);
    std::vector<float> left(512), right(512);
    uint64_t phase = 0;
    AudioBufferList list;
    auto block = [&](uint32_t frames) -> const AudioBufferList* {
        for (uint32_t i = 0; i < frames; ++i, ++phase) {
            left[i] = 0.3f * std::sin(0.05f * float(phase % 100000));
            right[i] = 0.2f * std::sin(0.011f * float(phase % 100000));
        }
        list.numberBuffers = 2;
        list.buffers[0] = {1, frames * 4, left.data()};
        list.buffers[1] = {1, frames * 4, right.data()};
        return &list;
    };
    AudioGraph graph(stereo, AudioGraph::Mode::realtime(stereo, block), true);
    DSPSettings s = test::everyEffectOn();
    HeadphoneProfile p;
    for (int i = 0; i < 10; ++i) p.filters.push_back({HeadphoneFilter::Kind::peak, 200.0f * float(i + 1), 3, 1});
    s.headphoneProfile = p;
    graph.apply(s);
    graph.prepare();
    ASSERT_FALSE(graph.engine().start());
    auto out = PCMBuffer::make(stereo, 512);
    out->setFrameLength(512);
    AudioBufferList& outList = out->mutableAudioBufferList();
    Status error = 0;
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(graph.engine().renderRealtime(512, outList, &error), ManualRenderingStatus::success);
    uint64_t allocations = 0;
    {
        test::AllocationCounter counter;
        for (int i = 0; i < 400; ++i) graph.engine().renderRealtime(512, outList, &error);
        allocations = counter.allocations() + counter.deallocations();
    }
    EXPECT_EQ(allocations, 0u);
    EXPECT_GT(graph.meter().outputPeakDB, -40.0f);
    graph.stop();
}

}  // namespace
}  // namespace quorel
