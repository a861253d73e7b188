#pragma once

#include "AutomationModel.h"
#include "BoostModel.h"
#include "FrontApplicationSource.h"
#include "L10n.h"
#include "ShortcutBackend.h"
#include "CapturePrimer.h"
#include "EngineChain.h"
#include "ManualClock.h"
#include "ScriptedRandom.h"
#include "SimulatedAudioBackend.h"
#include "SystemModel.h"
#include "TestSupport.h"

#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>


namespace quorel::test {

// The readings the fake chain reports; set by the test, read by the engine.
struct ChainReadings {
    std::mutex mutex;
    MeterReading reading{-120, -120, -120, 0, 0, 0};
    void set(const MeterReading& next)
    {
        std::lock_guard lock(mutex);
        reading = next;
    }
};

// A processing chain that renders silence and reports the readings the test gives it.
class FakeChain final : public EngineChain {
public:
    explicit FakeChain(std::shared_ptr<ChainReadings> readings) : readings_(std::move(readings)) {}
    void apply(const DSPSettings&) override {}
    void setPathGains(float, float) override {}
    void prepare() override {}
    void start() override {}
    void stop() override {}
    Status render(uint32_t frames, AudioBufferList& output) override
    {
        for (uint32_t i = 0; i < output.numberBuffers; ++i)
            if (float* samples = output.buffers[i].samples())
                std::fill(samples, samples + frames, 0.0f);
        return 0;
    }
    MeterReading meter() override
    {
        std::lock_guard lock(readings_->mutex);
        return readings_->reading;
    }
    SpectrumReading spectrum() override { return {}; }
    double reportedLatency() const override { return 0; }

private:
    std::shared_ptr<ChainReadings> readings_;
};

// The root model on a manual clock, a temporary home and the simulated sound system.
class PanelsTest : public ::testing::Test {
protected:
    PanelsTest();
    ~PanelsTest() override;

    // Builds the root model; `tweak` adjusts the options first.
    BoostModel& make(std::function<void(BoostModel::Options&)> tweak = {});
    void settle();
    void advance(double seconds);
    // Processing on, one cycle of captured sound at `inputPeak` (linear) and one refresh with
    // `reading` from the chain.
    void goLive(float inputPeak, const MeterReading& reading);
    // The 30 ms quiet period of the settings road.
    void flush() { advance(0.05); }
    void setLanguage(AppLanguage language);

    TemporaryHome home;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<SimulatedAudioBackend> backend = std::make_shared<SimulatedAudioBackend>();
    std::shared_ptr<ChainReadings> readings = std::make_shared<ChainReadings>();
    std::shared_ptr<CapturePrimer> primer;
    std::vector<HAL::OutputDevice> devices{{10, "speakers", "Speakers", 2, true}};
    SystemBoostEngine* engine = nullptr;
    std::unique_ptr<BoostModel> model;
    int configureCount = 0;
};

// A shown (offscreen) top-level that holds a page on the window background, as the main
// window's page column does; save() writes its picture into snapshots/ of the build folder.
class Backdrop : public QWidget {
public:
    explicit Backdrop(QWidget* page, int width = 860);
    // Lays the page out at the width and writes NAME.png; returns the path.
    QString save(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int width_;
};

}  // namespace quorel::test
