#pragma once

#include <QString>

#include <pulse/def.h>
#include <pulse/volume.h>

#include <cstdint>
#include <memory>
#include <optional>

namespace quorel {

// One volume for our virtual sink and the output device it plays to. While processing runs our
// sink is the server's default, so the desktop's volume keys, its sound menu and
// `pactl set-sink-volume @DEFAULT_SINK@` act on it. Our sink's volume never touches the sound
// (the filter reads its monitor, which is taken before the volume); instead this copies it:
// what is set on our sink (volume and mute) is set on the device, which applies it once, and
// what is set on the device (the Output page, any other mixer) is shown on our sink, so the
// desktop and the Output page read the same. The first look copies the device's onto our sink.
//
// Made and destroyed on any thread; it copies on the main thread, as the sound server tells of
// changes, and never after its destructor returned.
class VolumeMirror {
public:
    // What one sink holds: its loudest channel and its mute.
    struct Level {
        pa_volume_t volume = PA_VOLUME_NORM;
        bool muted = false;
        bool operator==(const Level&) const = default;
    };
    // Both sides as last copied: which sinks they were and what they held.
    struct Memory {
        uint32_t sinkIndex = PA_INVALID_INDEX;
        uint32_t deviceIndex = PA_INVALID_INDEX;
        std::optional<Level> sink;
        std::optional<Level> device;
    };
    enum class Copy { none, toSink, toDevice };
    // Which way to copy now. A side changed when it differs from what it held at the last copy:
    // a change on our sink goes to the device, a change on the device to our sink. Our sink
    // first seen (or made anew, or another device) takes the device's. Our own copies come back
    // as what each side held then, and so are no change.
    static Copy decide(const Memory& memory, uint32_t sinkIndex, const Level& sink, uint32_t deviceIndex,
                       const Level& device);

    // Waits (a few seconds at most) for the sound server to show our sink `sinkName`, then
    // shows the device's volume and mute on it.
    VolumeMirror(const QString& sinkName, const QString& deviceName);
    ~VolumeMirror();
    VolumeMirror(const VolumeMirror&) = delete;
    VolumeMirror& operator=(const VolumeMirror&) = delete;

    // The output moved to another device: its volume and mute are shown on our sink.
    void setDevice(const QString& deviceName);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    uint64_t observer_ = 0;
};

}  // namespace quorel
