#include "SystemModel.h"

#include "CapturePrimer.h"
#include "SleepMonitor.h"
#include "SoundServerRestart.h"

#include <stdexcept>
#include <utility>

namespace quorel {

namespace {

constexpr double outputSwitchDelay = 0.3;

std::unique_ptr<SystemBoostEngine> madeEngine(const SystemModel::Options& options)
{
    if (!options.engineFactory) throw std::invalid_argument("SystemModel needs an engine factory.");
    return options.engineFactory();
}

}  // namespace

SystemModel::SystemModel(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)),
      store_(options_.store ? *options_.store : UserDefaults::standard()),
      clock_(options_.clock ? options_.clock : Clock::system()), engine_(madeEngine(options_)), status_(store_),
      output_(store_, options_.outputDevices, engine_->devices()),
      life_(*engine_, status_, output_,
            {store_, clock_, options_.primer ? options_.primer : CapturePrimer::shared(), options_.preview,
             options_.noPrime, options_.restartAudioService, [this] { refresh_.endRest(); }}),
      refresh_(*engine_, life_, status_, output_, clock_, options_.preview)
{
    canOpenSoundSettings_ = options_.canOpenSoundSettings.value_or(
        options_.openSoundSettings ? true : SoundSettings::command().has_value());
    connect(&status_, &SystemStatus::activeChanged, this, &SystemModel::activeChanged);
    connect(&status_, &SystemStatus::statusChanged, this, &SystemModel::statusChanged);
    connect(&status_, &SystemStatus::errorChanged, this, &SystemModel::errorChanged);
    connect(&status_, &SystemStatus::infoChanged, this, &SystemModel::infoChanged);
    connect(&status_, &SystemStatus::statsChanged, this, &SystemModel::statsChanged);
    connect(&status_, &SystemStatus::metersChanged, this, &SystemModel::metersChanged);
    connect(&status_, &SystemStatus::flagsChanged, this, &SystemModel::flagsChanged);
    connect(&life_, &EngineLife::outputDevicesRead, this, &SystemModel::outputDevicesChanged);
    connect(&life_, &EngineLife::readyToSleep, this, &SystemModel::readyToSleep);

    if (options_.followVolume) output_.followVolume();
    life_.readOutputDevices();
    output_.listen([this] { life_.readOutputDevices(); });
    if (options_.sleepEvents) {
        sleepMonitor_ = std::make_unique<SleepMonitor>();
        connect(sleepMonitor_.get(), &SleepMonitor::aboutToSleep, this, &SystemModel::willSleep);
        connect(sleepMonitor_.get(), &SleepMonitor::resumed, this, &SystemModel::didWake);
        connect(this, &SystemModel::readyToSleep, sleepMonitor_.get(), &SleepMonitor::allowSleep);
    }
}

SystemModel::~SystemModel() = default;

SystemModel::Options SystemModel::optionsFromArguments(const QStringList& arguments)
{
    return optionsFromArguments(arguments, Options{});
}

SystemModel::Options SystemModel::optionsFromArguments(const QStringList& arguments, Options options)
{
    if (arguments.contains(QStringLiteral("--preview"))) options.preview = true;
    if (arguments.contains(QStringLiteral("--no-prime"))) options.noPrime = true;
    return options;
}

std::optional<QString> SystemModel::error() const
{
    if (!status_.errorMessage()) return std::nullopt;
    return status_.errorMessage()->text();
}

std::optional<SpectrumReading> SystemModel::spectrum() const
{
    if (!status_.isActive() || options_.preview) return std::nullopt;
    return engine_->spectrum();
}

void SystemModel::setSpectrumWanted(bool wanted)
{
    if (engine_) engine_->setSpectrumWanted(wanted);
}

bool SystemModel::isEngineBusy() const { return engine_->isBusy(); }

std::optional<bool> SystemModel::isSourceRunningSomewhere() const
{
    if (!engine_) return std::nullopt;
    return engine_->isSourceRunningSomewhere();
}

void SystemModel::setActive(bool active) { life_.setActive(active); }

void SystemModel::shutdown() { life_.shutdown(); }

void SystemModel::configure(const DSPSettings& settings, bool processed) { life_.configure(settings, processed); }

void SystemModel::setError(const std::optional<QString>& text)
{
    setErrorMessage(text ? std::optional<LocalizedMessage>(LocalizedMessage(*text)) : std::nullopt);
}

void SystemModel::setErrorMessage(const std::optional<LocalizedMessage>& message) { status_.setErrorMessage(message); }

void SystemModel::setOutputDevice(const std::optional<QString>& uid)
{
    const bool written = output_.choose(uid);
    emit outputDeviceChanged();
    status_.reportWriteFailure(written);
    if (status_.isActive()) life_.scheduleRestart(LocalizedMessage("Switching output…"), outputSwitchDelay);
}

void SystemModel::refresh() { refresh_.refresh(); }

void SystemModel::restartAudioService() { life_.restartAudioService(); }

void SystemModel::openPrivacySettings()
{
    if (options_.openSoundSettings)
        options_.openSoundSettings();
    else
        SoundSettings::open();
}

void SystemModel::willSleep() { life_.willSleep(); }

void SystemModel::didWake() { life_.didWake(); }

void SystemModel::outputChanged() { life_.outputChanged(); }

}  // namespace quorel
