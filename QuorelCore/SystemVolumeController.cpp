#include "SystemVolumeController.h"

#include "L10n.h"

#include <algorithm>
#include <cmath>

namespace quorel {

SystemVolumeController::SystemVolumeController(QObject* parent)
    : QObject(parent), deviceName_(L10n::text(QStringLiteral("Audio output"), L10n::language()))
{
    defaultListener_ = HALListener::create(
        HAL::systemObject, HAL::address(HAL::selector::defaultOutputDevice, HAL::scope::global, 0),
        [this] { reload(); });
    deviceListListener_ = HALListener::create(
        HAL::systemObject, HAL::address(HAL::selector::devices, HAL::scope::global, 0), [this] { reload(); });
    reload();
}

SystemVolumeController::~SystemVolumeController() = default;

std::optional<QString> SystemVolumeController::failure() const
{
    if (!failureMessage_) return std::nullopt;
    return failureMessage_->text();
}

void SystemVolumeController::fail(const std::exception& error)
{
    failureMessage_ = LocalizedMessage::fromError(error);
}

void SystemVolumeController::reload()
{
    deviceListeners_.clear();
    HAL::ObjectID chosen = HAL::noDevice;
    if (preferredUID_) chosen = HAL::device(*preferredUID_).value_or(HAL::noDevice);
    if (chosen == HAL::noDevice) {
        try {
            chosen = HAL::defaultOutputDevice();
        } catch (const std::exception& error) {
            device_ = HAL::noDevice;  // the one followed so far may be gone: never write to it
            supportsVolume_ = false;
            supportsMute_ = false;
            fail(error);
            emit changed();
            return;
        }
    }
    device_ = chosen;
    deviceName_ = HAL::name(device_);
    supportsVolume_ = HAL::isSettable(device_, volumeAddress_);
    supportsMute_ = HAL::isSettable(device_, muteAddress_);
    failureMessage_.reset();
    for (const HAL::PropertyAddress& address : {volumeAddress_, muteAddress_}) {
        if (!HAL::has(device_, address)) continue;
        if (auto listener = HALListener::create(device_, address, [this] { read(); }))
            deviceListeners_.push_back(std::move(listener));
    }
    read();
    emit changed();
}

void SystemVolumeController::read()
{
    if (device_ == HAL::noDevice) return;
    const float oldVolume = volume_;
    const bool oldMuted = isMuted_;
    if (supportsVolume_) {
        try {
            const float value = HAL::get<float>(device_, volumeAddress_);
            volume_ = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
        } catch (const std::exception&) {
        }
    }
    if (HAL::has(device_, muteAddress_)) {
        try {
            isMuted_ = HAL::get<uint32_t>(device_, muteAddress_) != 0;
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
    if (!supportsVolume_ || device_ == HAL::noDevice) return;
    const float value = std::isfinite(volume) ? std::clamp(volume, 0.0f, 1.0f) : 0.0f;
    try {
        HAL::set(device_, volumeAddress_, value);
    } catch (const std::exception& error) {
        fail(error);
        emit changed();
        return;
    }
    volume_ = value;
    failureMessage_.reset();
    if (value > 0 && isMuted_ && supportsMute_) setMuted(false);   // reports its own failure
    emit changed();
}

void SystemVolumeController::setMuted(bool muted)
{
    if (!supportsMute_ || device_ == HAL::noDevice) return;
    try {
        HAL::set(device_, muteAddress_, uint32_t(muted ? 1 : 0));
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
