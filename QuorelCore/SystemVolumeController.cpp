#include "SystemVolumeController.h"

#include "L10n.h"

#include <algorithm>
#include <cmath>

namespace quorel {

SystemVolumeController::SystemVolumeController(std::shared_ptr<AudioDevices> devices, QObject* parent)
    : QObject(parent), deviceName_(L10n::text(QStringLiteral("Audio output"), L10n::language())),
      devices_(std::move(devices))
{
    defaultListener_ = devices_->listen(AudioDevices::Event::defaultOutput, [this] { reload(); });
    deviceListListener_ = devices_->listen(AudioDevices::Event::deviceList, [this] { reload(); });
    reload();
}

SystemVolumeController::~SystemVolumeController() = default;

std::optional<QString> SystemVolumeController::failure() const
{
    if (!failureMessage_) return std::nullopt;
    return failureMessage_->text();
}

void SystemVolumeController::fail(const std::exception& error) { failureMessage_ = LocalizedMessage::fromError(error); }

void SystemVolumeController::reload()
{
    using Control = AudioDevices::Control;
    deviceListeners_.clear();
    AudioDevices::ObjectID chosen = AudioDevices::noDevice;
    if (preferredUID_) chosen = devices_->device(*preferredUID_).value_or(AudioDevices::noDevice);
    if (chosen == AudioDevices::noDevice) {
        try {
            chosen = devices_->defaultOutputDevice();
        } catch (const std::exception& error) {
            device_ = AudioDevices::noDevice;  // the one followed so far may be gone: never write to it
            supportsVolume_ = false;
            supportsMute_ = false;
            fail(error);
            emit changed();
            return;
        }
    }
    device_ = chosen;
    deviceName_ = devices_->name(device_);
    supportsVolume_ = devices_->isSettable(device_, Control::volume);
    supportsMute_ = devices_->isSettable(device_, Control::mute);
    failureMessage_.reset();
    for (const Control control : {Control::volume, Control::mute}) {
        if (!devices_->has(device_, control)) continue;
        if (auto listener = devices_->listen(device_, control, [this] { read(); }))
            deviceListeners_.push_back(std::move(listener));
    }
    read();
    emit changed();
}

void SystemVolumeController::read()
{
    if (device_ == AudioDevices::noDevice) return;
    const float oldVolume = volume_;
    const bool oldMuted = isMuted_;
    if (supportsVolume_) {
        try {
            const float value = devices_->volume(device_);
            volume_ = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
        } catch (const std::exception&) {
        }
    }
    if (devices_->has(device_, AudioDevices::Control::mute)) {
        try {
            isMuted_ = devices_->isMuted(device_);
        } catch (const std::exception&) {
        }
    }
    if (volume_ != oldVolume || isMuted_ != oldMuted) emit changed();
}

void SystemVolumeController::follow(const std::optional<QString>& deviceUID)
{
    preferredUID_ = deviceUID;
    reload();
}

void SystemVolumeController::set(float volume)
{
    if (!supportsVolume_ || device_ == AudioDevices::noDevice) return;
    const float value = std::isfinite(volume) ? std::clamp(volume, 0.0f, 1.0f) : 0.0f;
    try {
        devices_->setVolume(device_, value);
    } catch (const std::exception& error) {
        fail(error);
        emit changed();
        return;
    }
    volume_ = value;
    failureMessage_.reset();
    if (value > 0 && isMuted_ && supportsMute_) setMuted(false);  // reports its own failure
    emit changed();
}

void SystemVolumeController::setMuted(bool muted)
{
    if (!supportsMute_ || device_ == AudioDevices::noDevice) return;
    try {
        devices_->setMuted(device_, muted);
    } catch (const std::exception& error) {
        fail(error);
        emit changed();
        return;
    }
    isMuted_ = muted;
    failureMessage_.reset();
    emit changed();
}

}  // namespace quorel
