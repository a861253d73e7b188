#pragma once

#include "BoostModel.h"
#include "FakeChain.h"
#include "FakeFrontApplications.h"
#include "FakeShortcuts.h"
#include "SimulatedSystem.h"
#include "UserDefaults.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace quorel::test {

// The root model as the pages get it: its engine on the simulated sound system with a chain
// whose readings the test sets, a manual clock at noon on 2 March 2026, a temporary store, fake
// desktop services (front application, shortcuts) and the interface language of the test
// (English unless it says otherwise).
class PanelsTest : public ::testing::Test, public SimulatedSystem {
protected:
    PanelsTest();
    ~PanelsTest() override;

    // Builds the root model afresh, with nothing of an earlier one stored; `tweak` adjusts the
    // options first.
    BoostModel& make(std::function<void(BoostModel::Options&)> tweak = {});
    // Switches processing on at `rate` and waits until the engine runs.
    void activate(double rate = 48000);
    void deactivate();
    // Processing on, one cycle of captured sound at `inputPeak` (linear) and one refresh with
    // `reading` from the chain.
    void goLive(float inputPeak, const MeterReading& reading);
    // The 30 ms quiet period of the settings road.
    void flush() { advance(0.05); }
    void setLanguage(AppLanguage language);

    UserDefaults store = UserDefaults::standard();
    std::shared_ptr<ChainReadings> readings = std::make_shared<ChainReadings>();
    FakeFrontApplications* front = nullptr;
    FakeShortcuts* shortcuts = nullptr;
    bool frontAvailable = true;
    std::unique_ptr<BoostModel> model;
    // Settings handed to the engine controller since make().
    int configureCount = 0;
};

}  // namespace quorel::test
