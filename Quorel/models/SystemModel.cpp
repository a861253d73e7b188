#include "SystemModel.h"

#include "SystemBoostEngine.h"

namespace quorel {

SystemModel::SystemModel(QObject* parent) : SystemModel(Options{}, parent) {}

SystemModel::SystemModel(Options options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      store_(options_.store ? *options_.store : UserDefaults::standard()),
      status_(LocalizedMessage::make("Off. Other apps play directly to the output."))
{
    if (!options_.clock)
        options_.clock = Clock::system();
    if (auto uid = store_.string(outputDeviceKey); uid && !uid->isEmpty())
        outputDeviceUID_ = *uid;
}

SystemModel::~SystemModel() = default;

void SystemModel::setActive(bool active)
{
    if (!store_.setBoolean(activeKey, active))
        setErrorMessage(LocalizedMessage::make("Could not save the settings file {0}.", store_.filePath()));
    if (isActive_ != active) {
        isActive_ = active;
        emit activeChanged();
    }
}

void SystemModel::shutdown()
{
    if (isActive_) {
        isActive_ = false;
        emit activeChanged();
    }
}

void SystemModel::configure(const DSPSettings& settings, bool processed)
{
    settings_ = settings;
    processed_ = processed;
}

void SystemModel::setError(const std::optional<QString>& text)
{
    setErrorMessage(text ? std::optional<LocalizedMessage>(LocalizedMessage::make(*text)) : std::nullopt);
}

void SystemModel::setErrorMessage(const std::optional<LocalizedMessage>& message)
{
    errorMessage_ = message;
    emit errorChanged();
}

void SystemModel::setOutputDevice(const std::optional<QString>& uid)
{
    outputDeviceUID_ = uid;
    if (uid)
        store_.setString(outputDeviceKey, *uid);
    else
        store_.remove(outputDeviceKey);
    emit outputDeviceChanged();
}

void SystemModel::refresh() {}

}  // namespace quorel
