#include "SimulatedSystem.h"

#include "GraphChain.h"

#include <QCoreApplication>

#include <algorithm>
#include <stdexcept>

namespace quorel::test {

SimulatedSystem::SimulatedSystem()
{
    CapturePrimer::Options primerOptions;
    primerOptions.player = home.path() + "/no-such-player";
    primerOptions.directory = home.path();
    primer = std::make_shared<CapturePrimer>(primerOptions);
}

SystemModel::Options SimulatedSystem::options(EngineChain::Factory chain)
{
    SystemModel::Options options;
    options.clock = clock;
    options.store = UserDefaults::standard();
    if (!chain) chain = GraphChain::factory();
    options.engineFactory = [this, chain] {
        auto made = std::make_unique<SystemBoostEngine>(backend, audioDevices, chain);
        engine = made.get();
        return made;
    };
    options.primer = primer;
    options.outputDevices = [this] {
        ++deviceReads;
        if (!backend->serverRunning) throw std::runtime_error("The sound server is not running.");
        return devices;
    };
    options.followVolume = false;
    options.sleepEvents = false;
    return options;
}

void SimulatedSystem::settle()
{
    for (int i = 0; i < 3; ++i) {
        if (engine) engine->waitUntilIdle();
        QCoreApplication::processEvents();
    }
}

void SimulatedSystem::advance(double seconds)
{
    const int steps = std::max(1, int(seconds * 10 + 0.5));
    for (int i = 0; i < steps; ++i) {
        clock->advance(seconds / steps);
        settle();
    }
}

}  // namespace quorel::test
