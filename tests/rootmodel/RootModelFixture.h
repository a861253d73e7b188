#pragma once

#include "AutomationModel.h"
#include "BoostModel.h"
#include "BuiltInPresets.h"
#include "FrontApplicationSource.h"
#include "ManualClock.h"
#include "PresetLibrary.h"
#include "ShortcutBackend.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace quorel::test {

// A front-application source the test drives: it says which application is in front.
class FakeFrontApplications final : public FrontApplicationSource {
public:
    bool available = true;
    std::optional<DesktopApplication> front;
    std::vector<DesktopApplication> running;

    bool isAvailable() const override { return available; }
    std::optional<DesktopApplication> frontApplication() const override { return front; }
    std::vector<DesktopApplication> runningApplications() const override { return running; }

    // Brings `id` to the front ("" for none) and says so, as the desktop would.
    void activate(const QString& id)
    {
        if (id.isEmpty()) front.reset();
        else front = DesktopApplication{id, id, QString()};
        emit frontApplicationChanged();
    }
};

// A shortcut backend that records registrations and lets the test press a shortcut.
class FakeShortcuts final : public ShortcutBackend {
public:
    int registrations = 0;
    int unregistrations = 0;
    std::vector<GlobalShortcut> registered;

    bool isAvailable() const override { return true; }
    void registerShortcuts(const std::vector<GlobalShortcut>& shortcuts) override
    {
        ++registrations;
        registered = shortcuts;
    }
    void unregisterShortcuts() override
    {
        ++unregistrations;
        registered.clear();
    }
    // A press reaches the program only while its key is registered.
    void press(uint32_t id)
    {
        for (const GlobalShortcut& shortcut : registered)
            if (shortcut.id == id) emit activated(id);
    }
    void pressRaw(uint32_t id) { emit activated(id); }
};

// Coin tosses given by the test, in order.
class ScriptedRandom final : public RandomSource {
public:
    explicit ScriptedRandom(std::vector<bool> tosses) : tosses_(tosses.begin(), tosses.end()) {}
    bool coinToss() override
    {
        if (tosses_.empty()) return false;
        const bool toss = tosses_.front();
        tosses_.pop_front();
        return toss;
    }

private:
    std::deque<bool> tosses_;
};

// A root model on a manual clock, a temporary store and fake desktop services.
class RootModelTest : public ::testing::Test {
protected:
    TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
    std::shared_ptr<ManualClock> clock =
        std::make_shared<ManualClock>(QDateTime(QDate(2026, 3, 2), QTime(12, 0), Qt::LocalTime));
    FakeFrontApplications* front = nullptr;
    FakeShortcuts* shortcuts = nullptr;
    std::unique_ptr<BoostModel> model;
    int configureCount = 0;
    DSPSettings lastConfigured;
    bool lastProcessed = true;

    void SetUp() override { clock->setDateTime(QDateTime(QDate(2026, 3, 2), QTime(12, 0), Qt::LocalTime)); }

    BoostModel& make(std::shared_ptr<RandomSource> random = nullptr)
    {
        model.reset();
        BoostModel::Options options;
        options.clock = clock;
        options.store = store;
        options.system.preview = true;
        options.system.followVolume = false;
        options.system.sleepEvents = false;
        options.system.outputDevices = [] { return std::vector<HAL::OutputDevice>(); };
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
