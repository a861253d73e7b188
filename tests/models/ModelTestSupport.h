#pragma once

#include "SimulatedSystem.h"

#include <functional>
#include <memory>

namespace quorel::test {

// A SystemModel on the simulated sound system with the real processing graph, a manual clock
// and a primer whose player is missing (kicks are counted, nothing plays).
class ModelHarness : public SimulatedSystem {
public:
    // `chain` none: the real processing graph.
    explicit ModelHarness(std::function<void(SystemModel::Options&)> tweak = {}, EngineChain::Factory chain = {});

    // One device cycle of 512 frames at `value`.
    void cycle(float value = 0.1f);

    QString status() const { return model->status().text(); }
    std::optional<bool> storedActive() const;

    std::unique_ptr<SystemModel> model;
};

}  // namespace quorel::test
