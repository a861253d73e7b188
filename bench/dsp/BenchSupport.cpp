#include "BenchSupport.h"

#include <algorithm>
#include <random>
#include <stdexcept>

namespace quorel::bench {

StereoChain::StereoChain(std::vector<AudioUnit*> units, uint32_t blockFrames, float amplitude)
    : units_(std::move(units)), blockFrames_(blockFrames)
{
    std::mt19937 generator(7);
    std::uniform_real_distribution<float> noise(-amplitude, amplitude);
    for (auto& channel : source_) {
        channel.resize(size_t(sampleRate));
        for (float& sample : channel) sample = noise(generator);
    }
    for (auto& channel : buffers_) channel.assign(blockFrames, 0.0f);
    const AudioFormat format = AudioFormat::standard(sampleRate, 2);
    for (AudioUnit* unit : units_) {
        if (unit->inputBus().setFormat(format) || unit->outputBus().setFormat(format)
            || unit->setMaximumFramesToRender(blockFrames) || unit->allocateRenderResources())
            throw std::runtime_error("unit could not be prepared");
    }
}

void StereoChain::renderBlock()
{
    if (position_ + blockFrames_ > source_[0].size()) position_ = 0;
    bool first = true;
    for (AudioUnit* unit : units_) {
        AudioBufferList list;
        list.numberBuffers = 2;
        for (int channel = 0; channel < 2; ++channel) list.buffers[channel].data = buffers_[channel].data();
        // The first unit pulls the source; the others process the buffers in place.
        auto pull = [this, first](RenderActionFlags&, const AudioTimeStamp&, uint32_t frames, int64_t,
                                  AudioBufferList& data) -> Status {
            if (first) {
                for (int channel = 0; channel < 2; ++channel)
                    std::copy_n(source_[channel].data() + position_, frames, data.buffers[channel].samples());
            }
            return status::ok;
        };
        RenderActionFlags flags = 0;
        unit->render(flags, AudioTimeStamp{}, blockFrames_, 0, list, pull);
        first = false;
    }
    position_ += blockFrames_;
}

void StereoChain::run(benchmark::State& state)
{
    for (auto _ : state) {
        renderBlock();
        benchmark::DoNotOptimize(buffers_[0].data());
        benchmark::ClobberMemory();
    }
    reportTimePerFrame(state, blockFrames_);
}

void reportTimePerFrame(benchmark::State& state, uint32_t blockFrames)
{
    // Frames per second, inverted: seconds per frame, shown with an SI prefix (e.g. "12.3ns").
    state.counters["time/frame"] = benchmark::Counter(double(state.iterations()) * blockFrames,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void blockSizes(benchmark::internal::Benchmark* benchmark) { benchmark->Arg(128)->Arg(512)->Arg(4096); }

}  // namespace quorel::bench
