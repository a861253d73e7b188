#include "OutputFollowing.h"

#include "SystemVolumeController.h"

#include <utility>

namespace quorel {

OutputFollowing::OutputFollowing(UserDefaults store, DeviceSource devices)
    : store_(std::move(store)), source_(std::move(devices))
{
    if (auto uid = store_.string(outputDeviceKey); uid && !uid->isEmpty()) deviceUID_ = *uid;
}

OutputFollowing::~OutputFollowing() = default;

void OutputFollowing::followVolume(std::shared_ptr<AudioDevices> devices)
{
    volume_ = std::make_unique<SystemVolumeController>(std::move(devices));
    volume_->follow(deviceUID_);
}

bool OutputFollowing::choose(const std::optional<QString>& uid)
{
    deviceUID_ = uid;
    const bool written = store_.save(outputDeviceKey, uid);
    if (volume_) volume_->follow(uid);
    return written;
}

bool OutputFollowing::readDevices()
{
    try {
        devices_ = source_ ? source_() : HAL::answeredOutputDevices();
        answered_ = true;
    } catch (const std::exception&) {
        devices_.clear();  // no sound server: nothing to offer
        answered_ = false;
    }
    return !devices_.empty();
}

void OutputFollowing::listen(std::function<void()> changed)
{
    if (source_) return;
    listener_ = HALListener::create(HAL::systemObject, HAL::address(HAL::selector::devices, HAL::scope::global, 0),
                                    std::move(changed));
}

}  // namespace quorel
