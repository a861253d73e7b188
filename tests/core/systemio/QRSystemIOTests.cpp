#include "QRSystemIO.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using namespace quorel;

namespace {

// A device that runs the procedure when the test says so.
struct FakeDevice : QRAudioDevice {
    IOProc proc = nullptr;
    void* context = nullptr;
    Status createStatus = 0, startStatus = 0;
    uint64_t idToGive = 7;
    int creates = 0, starts = 0, stops = 0, destroys = 0;

    Status createIOProc(IOProc p, void* c, uint64_t& id) override
    {
        ++creates;
        if (createStatus != 0) return createStatus;
        proc = p;
        context = c;
        id = idToGive;
        return 0;
    }
    Status startIOProc(uint64_t) override
    {
        ++starts;
        return startStatus;
    }
    void stopIOProc(uint64_t) override { ++stops; }
    void destroyIOProc(uint64_t) override
    {
        ++destroys;
        proc = nullptr;
    }
    void run(const AudioBufferList* in, AudioBufferList* out, bool resumed = false) { proc(context, in, out, resumed); }
};

// The engine side: pulls the whole cycle through the input block and writes
// left = input channel 0, right = last input channel (x gain).
struct Engine {
    QRSystemIO* io = nullptr;
    float gain = 1;
    Status result = 0;
    std::vector<uint32_t> pulls{};  // slices to pull, empty = one pull of the whole cycle

    static Status render(void* context, uint32_t frames, AudioBufferList& out)
    {
        auto* self = static_cast<Engine*>(context);
        if (self->result != 0) return self->result;
        std::vector<uint32_t> slices = self->pulls.empty() ? std::vector<uint32_t>{frames} : self->pulls;
        uint32_t done = 0;
        for (uint32_t slice : slices) {
            const AudioBufferList* in = self->io->input(slice);
            if (!in) return -1;
            const uint32_t last = in->numberBuffers - 1;
            for (uint32_t i = 0; i < slice; ++i) {
                out.buffers[0].samples()[done + i] = self->gain * in->buffers[0].samples()[i];
                out.buffers[1].samples()[done + i] = self->gain * in->buffers[last].samples()[i];
            }
            done += slice;
        }
        return 0;
    }
};

struct Rig {
    FakeDevice device;  // outlives the object running on it
    Engine engine;
    std::unique_ptr<QRSystemIO> io;

    Rig(uint32_t channels, uint32_t outputChannels, uint32_t maximumFrames = 4096)
        : io(QRSystemIO::create(channels, outputChannels, maximumFrames))
    {
        engine.io = io.get();
        io->setRenderBlock({&Engine::render, &engine});
        Status error = 0;
        EXPECT_TRUE(io->start(device, error));
    }
};

// An interleaved buffer of `channels` with frame i of channel j = value(i, j).
struct Interleaved {
    std::vector<float> samples;
    AudioBuffer buffer(uint32_t channels)
    {
        return AudioBuffer{channels, uint32_t(samples.size() * sizeof(float)), samples.data()};
    }
};

Interleaved make(uint32_t frames, uint32_t channels, float base)
{
    Interleaved b;
    for (uint32_t i = 0; i < frames; ++i)
        for (uint32_t j = 0; j < channels; ++j) b.samples.push_back(base + float(j) * 0.25f + float(i) * 1e-4f);
    return b;
}

AudioBufferList listOf(std::initializer_list<AudioBuffer> buffers)
{
    AudioBufferList list;
    for (const AudioBuffer& b : buffers) list.buffers[list.numberBuffers++] = b;
    return list;
}

}  // namespace

TEST(QRSystemIO, RefusesBadChannelCountsAndFrameLimits)
{
    EXPECT_FALSE(QRSystemIO::create(0, 2, 512));
    EXPECT_FALSE(QRSystemIO::create(3, 2, 512));
    EXPECT_FALSE(QRSystemIO::create(2, 2, 0));
    EXPECT_FALSE(QRSystemIO::create(2, 2, 65537));
    EXPECT_TRUE(QRSystemIO::create(1, 0, 65536));
}

TEST(QRSystemIO, MonoCaptureIsRenderedAsStereoOnBothChannels)
{
    // The graph renders two channels even for a mono capture; the render list must hold both.
    Rig rig(1, 2);
    auto in = make(512, 1, 0.1f);
    auto out = make(512, 2, 9);
    auto inList = listOf({in.buffer(1)});
    auto outList = listOf({out.buffer(2)});
    rig.device.run(&inList, &outList);
    const auto s = rig.io->stats();
    EXPECT_EQ(s.renderErrors, 0u);
    EXPECT_EQ(s.renderedFrames, 512u);
    for (uint32_t i = 0; i < 512; ++i) {
        EXPECT_EQ(out.samples[2 * i], in.samples[i]);
        EXPECT_EQ(out.samples[2 * i + 1], in.samples[i]);
    }
}

TEST(QRSystemIO, OneChannelOfAStereoCaptureIsCopiedToTheOther)
{
    Rig rig(2, 2);
    auto in = make(256, 1, 0.3f);
    auto out = make(256, 2, 9);
    auto inList = listOf({in.buffer(1)});
    auto outList = listOf({out.buffer(2)});
    rig.device.run(&inList, &outList);
    EXPECT_EQ(out.samples[1], in.samples[0]);
    EXPECT_EQ(out.samples[511], in.samples[255]);
    EXPECT_EQ(rig.io->stats().inputMismatches, 0u);
}

TEST(QRSystemIO, AMonoDeviceGetsTheMeanOfBothRenderedChannels)
{
    Rig rig(2, 1);
    auto in = make(128, 2, 0.2f);  // channel 1 = channel 0 + 0.25
    auto out = make(128, 1, 9);
    auto inList = listOf({in.buffer(2)});
    auto outList = listOf({out.buffer(1)});
    rig.device.run(&inList, &outList);
    EXPECT_FLOAT_EQ(out.samples[0], (in.samples[0] + in.samples[1]) * 0.5f);
    EXPECT_FLOAT_EQ(out.samples[127], (in.samples[254] + in.samples[255]) * 0.5f);
}

TEST(QRSystemIO, ChannelsBeyondTheSecondAreZero)
{
    Rig rig(2, 4);
    auto in = make(64, 2, 0.2f);
    auto out = make(64, 4, 9);
    auto inList = listOf({in.buffer(2)});
    auto outList = listOf({out.buffer(4)});
    rig.device.run(&inList, &outList);
    for (uint32_t i = 0; i < 64; ++i) {
        EXPECT_EQ(out.samples[4 * i], in.samples[2 * i]);
        EXPECT_EQ(out.samples[4 * i + 1], in.samples[2 * i + 1]);
        EXPECT_EQ(out.samples[4 * i + 2], 0.0f);
        EXPECT_EQ(out.samples[4 * i + 3], 0.0f);
    }
}

TEST(QRSystemIO, ALongerSecondOutputBufferGetsItsTailZeroed)
{
    Rig rig(2, 2);
    auto in = make(512, 2, 0.2f);
    auto first = make(512, 1, 9), second = make(600, 1, 9);
    auto inList = listOf({in.buffer(2)});
    auto outList = listOf({first.buffer(1), second.buffer(1)});
    rig.device.run(&inList, &outList);
    EXPECT_EQ(second.samples[511], in.samples[1023]);
    for (uint32_t i = 512; i < 600; ++i) EXPECT_EQ(second.samples[i], 0.0f);
    EXPECT_EQ(rig.io->stats().outputMismatches, 1u);
    EXPECT_EQ(rig.io->stats().renderedFrames, 512u);
}

TEST(QRSystemIO, AnOversizedCycleIsSilenceAndCounted)
{
    Rig rig(2, 2, 4096);
    auto in = make(8192, 2, 0.2f);
    auto out = make(8192, 2, 9);
    auto inList = listOf({in.buffer(2)});
    auto outList = listOf({out.buffer(2)});
    rig.device.run(&inList, &outList);
    const auto s = rig.io->stats();
    EXPECT_EQ(s.oversizedBuffers, 1u);
    EXPECT_EQ(s.renderedFrames, 0u);
    EXPECT_EQ(s.callbacks, 1u);
    for (float v : out.samples) EXPECT_EQ(v, 0.0f);
}

TEST(QRSystemIO, ARenderErrorIsSilenceAndCounted)
{
    Rig rig(2, 2);
    rig.engine.result = -10876;
    auto in = make(256, 2, 0.2f);
    auto out = make(256, 2, 9);
    auto inList = listOf({in.buffer(2)});
    auto outList = listOf({out.buffer(2)});
    rig.device.run(&inList, &outList);
    EXPECT_EQ(rig.io->stats().renderErrors, 1u);
    EXPECT_EQ(rig.io->stats().renderedFrames, 0u);
    for (float v : out.samples) EXPECT_EQ(v, 0.0f);
}

TEST(QRSystemIO, ANullInputBufferIsSkippedAndTheNextFillsChannelZero)
{
    Rig rig(1, 2);
    auto in = make(128, 1, 0.4f);
    auto out = make(128, 2, 9);
    AudioBuffer empty{1, 512, nullptr};
    auto inList = listOf({empty, in.buffer(1)});
    auto outList = listOf({out.buffer(2)});
    rig.device.run(&inList, &outList);
    EXPECT_EQ(out.samples[0], in.samples[0]);
    EXPECT_EQ(rig.io->stats().inputMismatches, 0u);
}

TEST(QRSystemIO, MissingOrShortInputRendersWithZerosAndCounts)
{
    Rig rig(2, 2);
    auto out = make(256, 2, 9);
    auto outList = listOf({out.buffer(2)});
    rig.device.run(nullptr, &outList);
    EXPECT_EQ(rig.io->stats().inputMismatches, 1u);
    EXPECT_EQ(rig.io->stats().renderedFrames, 256u);
    for (float v : out.samples) EXPECT_EQ(v, 0.0f);

    auto shortInput = make(100, 2, 0.5f);
    auto inList = listOf({shortInput.buffer(2)});
    rig.device.run(&inList, &outList);
    EXPECT_EQ(rig.io->stats().inputMismatches, 2u);
    EXPECT_EQ(out.samples[0], shortInput.samples[0]);
    EXPECT_EQ(out.samples[2 * 100], 0.0f);
}

TEST(QRSystemIO, InvalidSamplesAreSanitizedAndPeaksTracked)
{
    Rig rig(2, 2);
    auto in = make(4, 2, 0.1f);
    in.samples[0] = std::numeric_limits<float>::quiet_NaN();
    in.samples[3] = -std::numeric_limits<float>::infinity();
    in.samples[5] = -0.75f;
    rig.engine.gain = 2;
    auto out = make(4, 2, 9);
    auto inList = listOf({in.buffer(2)});
    auto outList = listOf({out.buffer(2)});
    rig.device.run(&inList, &outList);
    EXPECT_EQ(out.samples[0], 0.0f);
    EXPECT_EQ(out.samples[3], 0.0f);
    const auto s = rig.io->stats();
    EXPECT_FLOAT_EQ(s.inputPeak, 0.75f);
    EXPECT_FLOAT_EQ(s.outputPeak, 1.5f);
}

TEST(QRSystemIO, TheInputBlockHandsOutConsecutiveSlicesThenNothing)
{
    Rig rig(2, 2);
    rig.engine.pulls = {256, 256};
    auto in = make(512, 2, 0.2f);
    auto out = make(512, 2, 9);
    auto inList = listOf({in.buffer(2)});
    auto outList = listOf({out.buffer(2)});
    rig.device.run(&inList, &outList);
    EXPECT_EQ(out.samples[2 * 256], in.samples[2 * 256]);
    EXPECT_EQ(out.samples[2 * 511 + 1], in.samples[2 * 511 + 1]);
    EXPECT_EQ(rig.io->input(1), nullptr);
    EXPECT_EQ(rig.io->input(0), nullptr);
}

TEST(QRSystemIO, StartingTwiceStartsNothingNew)
{
    Rig rig(2, 2);
    Status error = 0;
    EXPECT_TRUE(rig.io->start(rig.device, error));
    EXPECT_EQ(rig.device.creates, 1);
    EXPECT_EQ(rig.device.starts, 1);
    rig.io->stop();
    rig.io->stop();
    EXPECT_EQ(rig.device.stops, 1);
    EXPECT_EQ(rig.device.destroys, 1);
}

TEST(QRSystemIO, StartFailuresReportTheStatusAndCleanUp)
{
    FakeDevice device;
    auto io = QRSystemIO::create(2, 2, 512);
    Status error = 0;
    EXPECT_FALSE(io->start(device, error));
    EXPECT_EQ(error, -10867);
    EXPECT_EQ(device.creates, 0);

    Engine engine;
    engine.io = io.get();
    io->setRenderBlock({&Engine::render, &engine});
    device.createStatus = -5;
    EXPECT_FALSE(io->start(device, error));
    EXPECT_EQ(error, -5);
    device.createStatus = 0;
    device.idToGive = 0;
    EXPECT_FALSE(io->start(device, error));
    EXPECT_EQ(error, Status(0x77686174));
    device.idToGive = 3;
    device.startStatus = -7;
    EXPECT_FALSE(io->start(device, error));
    EXPECT_EQ(error, -7);
    EXPECT_EQ(device.destroys, 1);
    EXPECT_FALSE(io->isRunning());
}

TEST(QRSystemIO, ARunningCallbackKeepsTheRenderBlockItStartedWith)
{
    Rig rig(2, 2);
    Engine other;
    other.io = rig.io.get();
    other.gain = 0;
    rig.io->setRenderBlock({&Engine::render, &other});
    auto in = make(32, 2, 0.2f);
    auto out = make(32, 2, 9);
    auto inList = listOf({in.buffer(2)});
    auto outList = listOf({out.buffer(2)});
    rig.device.run(&inList, &outList);
    EXPECT_EQ(out.samples[0], in.samples[0]);
}

// A cycle the device marks as resumed (its cycles had stopped while nothing played) brings the
// engine's signal memory to rest before it renders; other cycles leave it alone.
TEST(QRSystemIO, AResumedCycleRestartsTheEngineBeforeItRenders)
{
    struct Restarting : Engine {
        int restarts = 0;
        int restartsSeenByRender = -1;
        static void restart(void* context) { ++static_cast<Restarting*>(context)->restarts; }
        static Status render(void* context, uint32_t frames, AudioBufferList& out)
        {
            auto* self = static_cast<Restarting*>(context);
            self->restartsSeenByRender = self->restarts;
            return Engine::render(context, frames, out);
        }
    };
    FakeDevice device;
    auto io = QRSystemIO::create(2, 2, 512);
    Restarting engine;
    engine.io = io.get();
    io->setRenderBlock({&Restarting::render, &engine, &Restarting::restart});
    Status error = 0;
    ASSERT_TRUE(io->start(device, error));
    auto in = make(32, 2, 0.2f);
    auto out = make(32, 2, 9);
    auto inList = listOf({in.buffer(2)});
    auto outList = listOf({out.buffer(2)});
    device.run(&inList, &outList);
    EXPECT_EQ(engine.restarts, 0);
    device.run(&inList, &outList, true);
    EXPECT_EQ(engine.restarts, 1);
    EXPECT_EQ(engine.restartsSeenByRender, 1);
    EXPECT_EQ(out.samples[0], in.samples[0]);
    device.run(&inList, &outList);
    EXPECT_EQ(engine.restarts, 1);
    io->stop();
}

// The in-graph filter's port buffers are two planar channels of the cycle's length: the engine
// renders into them directly, and what it writes, the peak and the counters are as through a copy.
TEST(QRSystemIO, PlanarStereoOutputsGetTheRenderAndItsPeak)
{
    Rig rig(2, 2);
    rig.engine.gain = -2;
    auto left = make(256, 1, 0.1f), right = make(256, 1, 0.3f);
    auto outLeft = make(256, 1, 9), outRight = make(256, 1, 9);
    auto inList = listOf({left.buffer(1), right.buffer(1)});
    auto outList = listOf({outLeft.buffer(1), outRight.buffer(1)});
    rig.device.run(&inList, &outList);
    float peak = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        EXPECT_EQ(outLeft.samples[i], -2 * left.samples[i]);
        EXPECT_EQ(outRight.samples[i], -2 * right.samples[i]);
        peak = std::max({peak, std::fabs(outLeft.samples[i]), std::fabs(outRight.samples[i])});
    }
    const auto s = rig.io->stats();
    EXPECT_EQ(s.outputPeak, peak);
    EXPECT_EQ(s.outputMismatches, 0u);
    EXPECT_EQ(s.renderedFrames, 256u);
    // A shorter input leaves silence after it, whatever the storage held before.
    auto shortLeft = make(200, 1, 0.1f), shortRight = make(200, 1, 0.3f);
    auto shortList = listOf({shortLeft.buffer(1), shortRight.buffer(1)});
    rig.device.run(&shortList, &outList);
    EXPECT_EQ(outLeft.samples[199], -2 * shortLeft.samples[199]);
    for (uint32_t i = 200; i < 256; ++i) EXPECT_EQ(outLeft.samples[i], 0.0f) << i;
}

// A main thread that waits for sound sleeps on the cycle signal: armed, it is told by the next
// cycle and by that cycle only; unarmed, cycles tell nothing.
TEST(QRSystemIO, AnArmedCycleSignalIsToldOnceByTheNextCycle)
{
    Rig rig(2, 2, 512);
    CycleSignal& signal = rig.io->cycleSignal();
    ASSERT_GE(signal.fd(), 0);
    const auto readable = [&] {
        pollfd entry{signal.fd(), POLLIN, 0};
        return poll(&entry, 1, 0) == 1;
    };
    auto in = make(32, 2, 0.2f);
    auto out = make(32, 2, 0);
    auto inList = listOf({in.buffer(2)});
    auto outList = listOf({out.buffer(2)});

    rig.device.run(&inList, &outList);
    EXPECT_FALSE(readable());
    signal.arm();
    EXPECT_TRUE(signal.isArmed());
    EXPECT_FALSE(readable());
    rig.device.run(&inList, &outList);
    EXPECT_TRUE(readable());
    EXPECT_FALSE(signal.isArmed());
    EXPECT_TRUE(signal.take());
    rig.device.run(&inList, &outList);
    EXPECT_FALSE(readable());
    EXPECT_FALSE(signal.take());

    // Disarmed before a cycle: nothing told.
    signal.arm();
    signal.disarm();
    rig.device.run(&inList, &outList);
    EXPECT_FALSE(readable());
}
