#include "ModelTestSupport.h"

#include "GraphChain.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace quorel::test {

bool spinUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

ModelHarness::ModelHarness(std::function<void(SystemModel::Options&)> tweak, EngineChain::Factory chain)
{
    CapturePrimer::Options primerOptions;
    primerOptions.player = home.path() + "/no-such-player";
    primerOptions.directory = home.path();
    primer = std::make_shared<CapturePrimer>(primerOptions);

    SystemModel::Options options;
    options.clock = clock;
    options.store = UserDefaults::standard();
    if (!chain) chain = GraphChain::factory();
    options.engineFactory = [this, chain] {
        auto made = std::make_unique<SystemBoostEngine>(backend, chain);
        engine = made.get();
        return made;
    };
    options.primer = primer;
    options.outputDevices = [this] {
        ++deviceReads;
        return std::vector<HAL::OutputDevice>{{10, "speakers", "Speakers", 2, true}};
    };
    options.followVolume = false;
    options.sleepEvents = false;
    options.canOpenSoundSettings = false;
    if (tweak) tweak(options);
    model = std::make_unique<SystemModel>(std::move(options));
}

void ModelHarness::settle()
{
    for (int i = 0; i < 3; ++i) {
        engine->waitUntilIdle();
        QCoreApplication::processEvents();
    }
}

void ModelHarness::advance(double seconds)
{
    const int steps = int(seconds * 10 + 0.5);
    for (int i = 0; i < steps; ++i) {
        clock->advance(0.1);
        settle();
    }
}

void ModelHarness::cycle(float value) { backend->runCycle(512, value); }

std::optional<bool> ModelHarness::storedActive() const
{
    return UserDefaults::standard().boolean(SystemModel::activeKey);
}

}  // namespace quorel::test
