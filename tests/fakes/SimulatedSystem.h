#pragma once

#include "CapturePrimer.h"
#include "EngineChain.h"
#include "FakeAudioDevices.h"
#include "ManualClock.h"
#include "SimulatedAudioBackend.h"
#include "SystemModel.h"
#include "TestSupport.h"

#include <memory>
#include <vector>

namespace quorel::test {

// What a SystemModel runs on in the tests of the models and of the windows: a temporary settings
// store, the simulated sound system and fake devices with their outputs (`devices`, one "Speakers" unless the test
// changes them; each reading counted in deviceReads, failing while backend->serverRunning is
// false), a manual clock and a primer whose player is missing (kicks are counted, nothing plays).
class SimulatedSystem {
public:
    SimulatedSystem();

    // The model's options on these parts, with the real processing graph unless `chain` is
    // given; no volume following, no sleep events.
    SystemModel::Options options(EngineChain::Factory chain = {});

    // Lets the engine's worker finish and delivers what it handed back.
    void settle();
    // Moves model time on in steps of at most about 0.1 s, settling after each.
    void advance(double seconds);

    TemporaryHome home;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<SimulatedAudioBackend> backend = std::make_shared<SimulatedAudioBackend>();
    // Fake unless the test hands the engine (and so the volume it follows) the real devices.
    std::shared_ptr<AudioDevices> audioDevices = std::make_shared<FakeAudioDevices>();
    std::shared_ptr<CapturePrimer> primer;
    SystemBoostEngine* engine = nullptr;
    std::vector<AudioDevices::OutputDevice> devices{{10, "speakers", "Speakers", 2, true}};
    int deviceReads = 0;
};

}  // namespace quorel::test
