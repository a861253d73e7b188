#include "GraphChain.h"

#include "AudioGraph.h"
#include "PlatformFailure.h"
#include "QREffects.h"

namespace quorel {

GraphChain::GraphChain(uint32_t channels, double sampleRate, InputBlock input)
    : graph_(std::make_unique<AudioGraph>(
        AudioFormat::standard(sampleRate, channels),
        AudioGraph::Mode::realtime(AudioFormat::standard(sampleRate, 2), std::move(input)), true))
{
}

GraphChain::~GraphChain() = default;

EngineChain::Factory GraphChain::factory()
{
    return [](uint32_t channels, double sampleRate, InputBlock input) {
        return std::make_unique<GraphChain>(channels, sampleRate, std::move(input));
    };
}

void GraphChain::apply(const DSPSettings& settings) { graph_->apply(settings); }

void GraphChain::setPathGains(float dry, float wet)
{
    graph_->dryUnit().setGain(dry);
    graph_->wetUnit().setGain(wet);
}

void GraphChain::prepare() { graph_->prepare(); }

void GraphChain::start()
{
    if (const UnitError error = graph_->engine().start()) throw platformFailure(error);
}

void GraphChain::stop() { graph_->stop(); }

Status GraphChain::render(uint32_t frames, AudioBufferList& output)
{
    Status error = status::ok;
    const ManualRenderingStatus result = graph_->engine().renderRealtime(frames, output, &error);
    if (result == ManualRenderingStatus::success) return status::ok;
    return error != status::ok ? error : Status(result);
}

void GraphChain::restart() noexcept { graph_->restart(); }

MeterReading GraphChain::meter() { return graph_->meter(); }

SpectrumReading GraphChain::spectrum() { return graph_->spectrum(); }

void GraphChain::setSpectrumWanted(bool wanted) { graph_->setSpectrumWanted(wanted); }

double GraphChain::reportedLatency() const { return graph_->reportedLatency(); }

}  // namespace quorel
