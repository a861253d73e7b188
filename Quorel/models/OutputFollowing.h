#pragma once

#include "AudioDevices.h"
#include "UserDefaults.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorel {

class SystemVolumeController;

// The output the user chose (none: the system default), remembered in the store, and the
// output devices the sound server offers: read at once, again every tenth refresh (2 s), and,
// read from the engine's devices, whenever their list changes. A volume controller, once asked
// for, follows the chosen output.
class OutputFollowing {
public:
    using DeviceSource = std::function<std::vector<AudioDevices::OutputDevice>()>;

    static constexpr const char* outputDeviceKey = "Corvanta.OutputDeviceUID";
    static constexpr int readPeriod = 10;  // refreshes between two reads of the device list

    // `devices` none: the list of `server` (the engine's devices), which is then required. Reads
    // the chosen output from `store`.
    OutputFollowing(UserDefaults store, DeviceSource devices, std::shared_ptr<AudioDevices> server = nullptr);
    ~OutputFollowing();

    const std::optional<QString>& deviceUID() const { return deviceUID_; }
    const std::vector<AudioDevices::OutputDevice>& devices() const { return devices_; }
    // The volume controller; null until followVolume().
    SystemVolumeController* volume() const { return volume_.get(); }
    // Makes a volume controller on `server` that follows the chosen output from now on.
    void followVolume();

    // Chooses the output and remembers it; false when the store could not take it.
    bool choose(const std::optional<QString>& uid);
    // Reads the device list (empty when the sound server does not answer); true when it
    // answered with at least one.
    bool readDevices();
    // Whether the sound server answered the last read (with no device, maybe: the only one was
    // unplugged).
    bool answered() const { return answered_; }
    // One refresh: true on every tenth, when the device list is due to be read.
    bool readDue() { return ++refreshes_ % readPeriod == 0; }
    // With the devices from `server`: calls `changed` whenever their list changes.
    void listen(std::function<void()> changed);

private:
    UserDefaults store_;
    DeviceSource source_;
    std::shared_ptr<AudioDevices> server_;
    std::optional<QString> deviceUID_;
    std::vector<AudioDevices::OutputDevice> devices_;
    std::unique_ptr<SystemVolumeController> volume_;
    std::unique_ptr<AudioDevices::Listener> listener_;  // the devices appear when the server answers
    int refreshes_ = 0;
    bool answered_ = false;
};

}  // namespace quorel
