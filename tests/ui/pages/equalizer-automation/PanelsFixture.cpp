#include "PanelsFixture.h"

#include "L10n.h"
#include "LocalizationModel.h"
#include "Studio.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QVBoxLayout>

namespace quorel::test {

Status ReadingChain::render(uint32_t frames, AudioBufferList& out)
{
    const AudioBufferList* in = input_(frames);
    if (!in) return status::noConnection;
    for (uint32_t c = 0; c < 2; ++c)
        for (uint32_t i = 0; i < frames; ++i)
            out.buffers[c].samples()[i] = in->buffers[std::min(c, in->numberBuffers - 1)].samples()[i];
    return status::ok;
}

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
    window.reset();
    if (model && model->system().isActive()) deactivate();
    model.reset();
    LocalizationModel::shared().setLanguage(AppLanguage::english);
}

BoostModel& PanelsTest::make()
{
    window.reset();
    model.reset();
    // Each model starts from nothing stored (snapshots make one per language).
    for (const char* key : {AutomationModel::key, PresetLibrary::customKey, PresetLibrary::selectionKey, BoostModel::preferencesKey})
        store.remove(QString::fromLatin1(key));
    BoostModel::Options options;
    options.clock = clock;
    options.store = store;
    options.system.clock = clock;
    options.system.store = store;
    options.system.engineFactory = [this] {
        auto made = std::make_unique<SystemBoostEngine>(
            backend, [this](uint32_t, double, EngineChain::InputBlock input) {
                return std::make_unique<ReadingChain>(feed, std::move(input));
            });
        engine = made.get();
        return made;
    };
    options.system.primer = primer;
    options.system.outputDevices = [] { return std::vector<HAL::OutputDevice>{{10, "speakers", "Speakers", 2, true}}; };
    options.system.followVolume = false;
    options.system.sleepEvents = false;
    options.system.canOpenSoundSettings = false;
    auto frontSource = std::make_unique<FakeFrontApplications>();
    frontSource->available = frontAvailable;
    auto shortcutBackend = std::make_unique<FakeShortcuts>();
    front = frontSource.get();
    shortcuts = shortcutBackend.get();
    options.frontApplications = std::move(frontSource);
    options.shortcuts = std::move(shortcutBackend);
    options.desktopServices = false;
    model = std::make_unique<BoostModel>(std::move(options));
    return *model;
}

void PanelsTest::settle()
{
    for (int i = 0; i < 3; ++i) {
        if (engine) engine->waitUntilIdle();
        QCoreApplication::processEvents();
    }
}

void PanelsTest::activate(double rate)
{
    backend->clockValue.sampleRate = rate;
    model->system().setActive(true);
    QElapsedTimer timer;
    timer.start();
    while ((!model->system().info() || !model->system().isActive()) && timer.elapsed() < 20000) {
        settle();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ASSERT_TRUE(model->system().info().has_value()) << qPrintable(model->system().status().text());
}

void PanelsTest::deactivate()
{
    model->system().setActive(false);
    QElapsedTimer timer;
    timer.start();
    while ((model->system().isActive() || model->system().isEngineBusy()) && timer.elapsed() < 20000) {
        settle();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

void PanelsTest::setLanguage(AppLanguage language) { LocalizationModel::shared().setLanguage(language); }

void PanelsTest::show(QWidget* widget, int width)
{
    window = std::make_unique<QWidget>();
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Studio::background());
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(28, 24, 28, 24);
    layout->addWidget(widget);
    layout->addStretch(1);
    window->resize(width + 56, 200);
    window->show();
    QCoreApplication::processEvents();
    // Tall enough for any page: the widget takes its height for the width, the stretch the rest.
    window->resize(width + 56, 1600);
    QCoreApplication::processEvents();
}

QImage PanelsTest::snapshot(QWidget* widget, const QString& name)
{
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();  // layouts that settle in steps
    const QImage image = widget->grab().toImage();
    const QString folder = qEnvironmentVariable("QUOREL_BINARY_DIR", QDir::currentPath()) + "/snapshots";
    QDir().mkpath(folder);
    const QString language = L10n::language() == AppLanguage::portuguese ? QStringLiteral("pt-BR") : QStringLiteral("en");
    EXPECT_TRUE(image.save(folder + "/" + name + "-" + language + ".png", "PNG"));
    return image;
}

}  // namespace quorel::test
