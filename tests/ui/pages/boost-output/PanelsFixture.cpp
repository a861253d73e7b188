#include "PanelsFixture.h"

#include "L10n.h"
#include "LocalizationModel.h"
#include "Studio.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QVBoxLayout>
#include <QWidget>

namespace quorel::test {

PanelsTest::PanelsTest()
{
    CapturePrimer::Options primerOptions;
    primerOptions.player = home.path() + "/no-such-player";
    primerOptions.directory = home.path();
    primer = std::make_shared<CapturePrimer>(primerOptions);
    LocalizationModel::shared().setLanguage(AppLanguage::english);
}

PanelsTest::~PanelsTest()
{
    model.reset();
    LocalizationModel::shared().setLanguage(AppLanguage::english);
}

BoostModel& PanelsTest::make(std::function<void(BoostModel::Options&)> tweak)
{
    model.reset();
    BoostModel::Options options;
    options.clock = clock;
    options.store = UserDefaults::standard();
    options.desktopServices = false;
    SystemModel::Options& system = options.system;
    system.engineFactory = [this] {
        auto made = std::make_unique<SystemBoostEngine>(
            backend, [this](uint32_t, double, EngineChain::InputBlock) { return std::make_unique<FakeChain>(readings); });
        engine = made.get();
        return made;
    };
    system.primer = primer;
    system.outputDevices = [this] { return devices; };
    system.followVolume = false;
    system.sleepEvents = false;
    system.canOpenSoundSettings = false;
    if (tweak) tweak(options);
    model = std::make_unique<BoostModel>(std::move(options));
    configureCount = 0;
    QObject::connect(model.get(), &BoostModel::systemConfigured, [this] { ++configureCount; });
    return *model;
}

void PanelsTest::settle()
{
    for (int i = 0; i < 3; ++i) {
        if (engine) engine->waitUntilIdle();
        QCoreApplication::processEvents();
    }
}

void PanelsTest::advance(double seconds)
{
    const int steps = std::max(1, int(seconds * 10 + 0.5));
    for (int i = 0; i < steps; ++i) {
        clock->advance(seconds / steps);
        settle();
    }
}

void PanelsTest::goLive(float inputPeak, const MeterReading& reading)
{
    if (!model->system().isActive()) {
        model->system().setActive(true);
        settle();
    }
    readings->set(reading);
    backend->runCycle(512, inputPeak);
    advance(0.2);
}

void PanelsTest::setLanguage(AppLanguage language)
{
    LocalizationModel::shared().setLanguage(language);
    QCoreApplication::processEvents();
}

Backdrop::Backdrop(QWidget* page, int width) : width_(width)
{
    setAttribute(Qt::WA_DontShowOnScreen);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 24, 28, 24);
    layout->addWidget(page);
    resize(width_, 200);
    show();
    QCoreApplication::processEvents();
}

void Backdrop::paintEvent(QPaintEvent*) { QPainter(this).fillRect(rect(), Studio::background()); }

QString Backdrop::save(const QString& name)
{
    QCoreApplication::processEvents();
    const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width_) : sizeHint().height();
    resize(width_, std::max(height, minimumSizeHint().height()));
    QCoreApplication::processEvents();
    const QString folder = qEnvironmentVariable("QUOREL_BINARY_DIR", QDir::currentPath()) + "/snapshots";
    QDir().mkpath(folder);
    const QString path = folder + "/" + name + ".png";
    grab().save(path);
    return path;
}

}  // namespace quorel::test
