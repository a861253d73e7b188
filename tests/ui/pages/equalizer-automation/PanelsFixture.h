#pragma once

#include "AutomationModel.h"
#include "BoostModel.h"
#include "BuiltInPresets.h"
#include "CapturePrimer.h"
#include "EngineChain.h"
#include "FakeFrontApplications.h"
#include "FakeShortcuts.h"
#include "ManualClock.h"
#include "PresetLibrary.h"
#include "UserDefaults.h"
#include "SimulatedAudioBackend.h"
#include "SystemBoostEngine.h"
#include "TestSupport.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

namespace quorel::test {

// What the fake chain reports as its spectrum; the test writes it.
struct SpectrumFeed {
    std::mutex mutex;
    SpectrumReading reading{true, std::vector<float>(31, 0.0f), std::vector<float>(31, 0.0f)};
    void set(SpectrumReading value)
    {
        std::lock_guard lock(mutex);
        reading = std::move(value);
    }
    SpectrumReading get()
    {
        std::lock_guard lock(mutex);
        return reading;
    }
    // What the engine last told the chain: whether anyone reads the spectrum.
    bool wanted = false;
    void setWanted(bool value)
    {
        std::lock_guard lock(mutex);
        wanted = value;
    }
    bool isWanted()
    {
        std::lock_guard lock(mutex);
        return wanted;
    }
};

// A chain that passes the audio through and reports the feed's spectrum.
class ReadingChain : public EngineChain {
public:
    ReadingChain(std::shared_ptr<SpectrumFeed> feed, InputBlock input) : feed_(std::move(feed)), input_(std::move(input)) {}
    void apply(const DSPSettings&) override {}
    void setPathGains(float, float) override {}
    void prepare() override {}
    void start() override {}
    void stop() override {}
    Status render(uint32_t frames, AudioBufferList& out) override;
    MeterReading meter() override { return MeterReading{-20, -18, 0, 0, 0, 0}; }
    SpectrumReading spectrum() override { return feed_->get(); }
    void setSpectrumWanted(bool wanted) override { feed_->setWanted(wanted); }
    double reportedLatency() const override { return 0; }

private:
    std::shared_ptr<SpectrumFeed> feed_;
    InputBlock input_;
};

// The root model with its engine on the simulated sound system, a manual clock, a temporary
// store, fake desktop services and the interface language of the test.
class PanelsTest : public ::testing::Test {
protected:
    PanelsTest();
    ~PanelsTest() override;

    BoostModel& make();
    // Switches processing on at `rate` and waits until the engine runs.
    void activate(double rate = 48000);
    void deactivate();
    void settle();
    void setLanguage(AppLanguage language);
    // Shows `widget` at `width` in a window of the studio background and lays it out.
    void show(QWidget* widget, int width);
    // The widget's picture, saved as snapshots/<name>-<language>.png in the build tree.
    QImage snapshot(QWidget* widget, const QString& name);

    TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
    std::shared_ptr<ManualClock> clock =
        std::make_shared<ManualClock>(QDateTime(QDate(2026, 3, 2), QTime(12, 0), Qt::LocalTime));
    std::shared_ptr<SimulatedAudioBackend> backend = std::make_shared<SimulatedAudioBackend>();
    std::shared_ptr<SpectrumFeed> feed = std::make_shared<SpectrumFeed>();
    std::shared_ptr<CapturePrimer> primer;
    SystemBoostEngine* engine = nullptr;
    FakeFrontApplications* front = nullptr;
    FakeShortcuts* shortcuts = nullptr;
    bool frontAvailable = true;
    std::unique_ptr<BoostModel> model;
    std::unique_ptr<QWidget> window;
};

}  // namespace quorel::test
