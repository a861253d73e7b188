#include "OutputFollowing.h"

#include "SystemVolumeController.h"

#include <exception>
#include <utility>

namespace quorel {

OutputFollowing::OutputFollowing(UserDefaults store, DeviceSource devices, std::shared_ptr<AudioDevices> server)
    : store_(std::move(store)), source_(std::move(devices)), server_(std::move(server))
{
    if (auto uid = store_.string(outputDeviceKey); uid && !uid->isEmpty()) deviceUID_ = *uid;
}

OutputFollowing::~OutputFollowing() = default;

void OutputFollowing::followVolume()
{
    volume_ = std::make_unique<SystemVolumeController>(server_);
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
        devices_ = source_ ? source_() : server_->outputDevices();
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
    listener_ = server_->listen(AudioDevices::Event::deviceList, std::move(changed));
}

}  // namespace quorel
