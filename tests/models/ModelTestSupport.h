#pragma once

#include "CapturePrimer.h"
#include "EngineChain.h"
#include "ManualClock.h"
#include "SimulatedAudioBackend.h"
#include "SystemModel.h"
#include "TestSupport.h"

#include <functional>
#include <memory>

namespace quorel::test {

// Processes events until `done` or ten seconds pass; true when `done`.
bool spinUntil(const std::function<bool()>& done);

// A SystemModel on the simulated sound system with the real processing graph, a manual clock
// and a primer whose player is missing (kicks are counted, nothing plays).
class ModelHarness {
public:
    // `chain` none: the real processing graph.
    explicit ModelHarness(std::function<void(SystemModel::Options&)> tweak = {}, EngineChain::Factory chain = {});

    // Lets the engine's worker finish and delivers what it handed back.
    void settle();
    // Moves model time on in 0.1 s steps, settling after each.
    void advance(double seconds);
    // One device cycle of 512 frames at `value`.
    void cycle(float value = 0.1f);

    QString status() const { return model->status().text(); }
    std::optional<bool> storedActive() const;

    TemporaryHome home;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<SimulatedAudioBackend> backend = std::make_shared<SimulatedAudioBackend>();
    std::shared_ptr<CapturePrimer> primer;
    SystemBoostEngine* engine = nullptr;
    int deviceReads = 0;
    std::unique_ptr<SystemModel> model;
};

}  // namespace quorel::test
