#include "PanelsTest.h"

#include "AutomationModel.h"
#include "LocalizationModel.h"
#include "ManualClock.h"
#include "PresetLibrary.h"

#include <QCoreApplication>
#include <QDateTime>

namespace quorel::test {

PanelsTest::PanelsTest()
{
    clock = std::make_shared<ManualClock>(QDateTime(QDate(2026, 3, 2), QTime(12, 0)));
    LocalizationModel::shared().setLanguage(AppLanguage::english);
}

PanelsTest::~PanelsTest()
{
    if (model && model->system().isActive()) deactivate();
    model.reset();
    LocalizationModel::shared().setLanguage(AppLanguage::english);
}

BoostModel& PanelsTest::make(std::function<void(BoostModel::Options&)> tweak)
{
    model.reset();
    // Each model starts from nothing stored (snapshots make one per language).
    for (const char* key :
         {AutomationModel::key, PresetLibrary::customKey, PresetLibrary::selectionKey, BoostModel::preferencesKey})
        store.remove(QString::fromLatin1(key));
    BoostModel::Options options;
    options.clock = clock;
    options.store = store;
    options.system = SimulatedSystem::options(FakeChain::factory(readings));
    options.system.store = store;
    options.system.canOpenSoundSettings = false;
    auto frontSource = std::make_unique<FakeFrontApplications>();
    frontSource->available = frontAvailable;
    auto shortcutBackend = std::make_unique<FakeShortcuts>();
    front = frontSource.get();
    shortcuts = shortcutBackend.get();
    options.frontApplications = std::move(frontSource);
    options.shortcuts = std::move(shortcutBackend);
    options.desktopServices = false;
    if (tweak) tweak(options);
    model = std::make_unique<BoostModel>(std::move(options));
    configureCount = 0;
    QObject::connect(model.get(), &BoostModel::systemConfigured, [this] { ++configureCount; });
    return *model;
}

void PanelsTest::activate(double rate)
{
    backend->clockValue.sampleRate = rate;
    model->system().setActive(true);
    waitUntil([&] {
        settle();
        return model->system().info() && model->system().isActive();
    });
    ASSERT_TRUE(model->system().info().has_value()) << qPrintable(model->system().status().text());
}

void PanelsTest::deactivate()
{
    model->system().setActive(false);
    waitUntil([&] {
        settle();
        return !model->system().isActive() && !model->system().isEngineBusy();
    });
}

void PanelsTest::goLive(float inputPeak, const MeterReading& reading)
{
    if (!model->system().isActive()) {
        model->system().setActive(true);
        settle();
    }
    readings->setMeter(reading);
    backend->runCycle(512, inputPeak);
    advance(0.2);
}

void PanelsTest::setLanguage(AppLanguage language)
{
    LocalizationModel::shared().setLanguage(language);
    QCoreApplication::processEvents();
}

}  // namespace quorel::test
