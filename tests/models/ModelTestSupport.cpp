#include "ModelTestSupport.h"

namespace quorel::test {

ModelHarness::ModelHarness(std::function<void(SystemModel::Options&)> tweak, EngineChain::Factory chain)
{
    SystemModel::Options options = SimulatedSystem::options(std::move(chain));
    options.canOpenSoundSettings = false;
    if (tweak) tweak(options);
    model = std::make_unique<SystemModel>(std::move(options));
}

void ModelHarness::cycle(float value) { backend->runCycle(512, value); }

std::optional<bool> ModelHarness::storedActive() const
{
    return UserDefaults::standard().boolean(SystemModel::activeKey);
}

}  // namespace quorel::test
