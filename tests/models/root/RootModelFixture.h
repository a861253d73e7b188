#pragma once

#include "AutomationModel.h"
#include "BoostModel.h"
#include "BuiltInPresets.h"
#include "FakeAudioDevices.h"
#include "FakeFrontApplications.h"
#include "FakeShortcuts.h"
#include "ManualClock.h"
#include "PresetLibrary.h"
#include "ScriptedRandom.h"
#include "SimulatedAudioBackend.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace quorel::test {

// A root model on a manual clock, a temporary store and fake desktop services.
class RootModelTest : public ::testing::Test {
protected:
    TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(QDateTime(QDate(2026, 3, 2), QTime(12, 0)));
    FakeFrontApplications* front = nullptr;
    FakeShortcuts* shortcuts = nullptr;
    std::unique_ptr<BoostModel> model;
    int configureCount = 0;
    DSPSettings lastConfigured;
    bool lastProcessed = true;

    void SetUp() override { clock->setDateTime(QDateTime(QDate(2026, 3, 2), QTime(12, 0))); }

    BoostModel& make(std::shared_ptr<RandomSource> random = nullptr)
    {
        model.reset();
        BoostModel::Options options;
        options.clock = clock;
        options.store = store;
        options.system.preview = true;
        options.system.engineFactory = [] {
            return std::make_unique<SystemBoostEngine>(std::make_shared<SimulatedAudioBackend>(),
                                                       std::make_shared<FakeAudioDevices>());
        };
        options.system.followVolume = false;
        options.system.sleepEvents = false;
        options.system.outputDevices = [] { return std::vector<AudioDevices::OutputDevice>(); };
        auto frontSource = std::make_unique<FakeFrontApplications>();
        auto shortcutBackend = std::make_unique<FakeShortcuts>();
        front = frontSource.get();
        shortcuts = shortcutBackend.get();
        options.frontApplications = std::move(frontSource);
        options.shortcuts = std::move(shortcutBackend);
        options.random = std::move(random);
        options.desktopServices = false;
        model = std::make_unique<BoostModel>(std::move(options));
        configureCount = 0;
        QObject::connect(model.get(), &BoostModel::systemConfigured, [this] {
            ++configureCount;
            lastConfigured = model->settings();
            lastProcessed = model->processed();
        });
        return *model;
    }

    std::optional<bool> storedActive() const { return store.boolean(QString::fromLatin1(SystemModel::activeKey)); }

    static SoundPreset builtIn(const char* id) { return *BuiltInPresets::preset(QString::fromLatin1(id)); }

    static HeadphoneProfile testProfile()
    {
        HeadphoneProfile profile;
        profile.id = QStringLiteral("autoeq.test");
        profile.name = QStringLiteral("Test");
        profile.filters.push_back({HeadphoneFilter::Kind::peak, 1000, -3, 1});
        return profile;
    }

    // Settings that no preset matches.
    static void unmatched(DSPSettings& settings)
    {
        settings.loudness = 0.37f;
        settings.bands[3] = 1.5f;
    }
};

}  // namespace quorel::test
