#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorel {

// What the core and the models ask of the sound server's devices besides the capture
// (AudioBackend): which sinks are our own virtual sinks, the real default our sink replaced as the
// server's default (kept across runs), the output devices a user can choose, and the volume and
// mute of an output device. The pulse devices are the
// real ones; tests use fake ones.
//
// isOwnSink and the previous default may be called from any thread (the engine's worker asks
// them); the rest belongs to the main thread, where listener handlers run. Reads and writes that
// can fail throw AudioFailure.
class AudioDevices {
public:
    using ObjectID = uint32_t;
    static constexpr ObjectID noDevice = 0xFFFFFFFFu;

    virtual ~AudioDevices() = default;

    // Whether the sink with this UID is one of our own virtual sinks (this run's, another
    // process's or a crashed run's).
    virtual bool isOwnSink(const QString& uid) = 0;

    // The real sink our sink replaced as the server's default, as the last start stored it (none
    // when none was stored), and storing it. A start after a crash gives it back, and while
    // another process processes, the devices read the real default output from it.
    virtual std::optional<QString> previousDefault() = 0;
    virtual void setPreviousDefault(const QString& uid) = 0;

    // The real default output (never one of our own sinks). Throws a read error, or "No default
    // audio output." when there is none.
    virtual ObjectID defaultOutputDevice() = 0;
    // The device with this UID, our own sinks included; none when there is no such device.
    virtual std::optional<ObjectID> device(const QString& uid) = 0;
    // The device's name, or "Audio output" in the saved language.
    virtual QString name(ObjectID device) = 0;

    // One output device a user can choose.
    struct OutputDevice {
        ObjectID id = noDevice;
        QString uid;
        QString name;
        int channels = 0;
        bool isDefault = false;
        bool operator==(const OutputDevice&) const = default;
    };
    // The output devices to offer, in the server's order; our own virtual sinks, the server's
    // dummy sink and devices without channels or UID are left out. Throws when the sound server
    // cannot be reached: an empty list means that it answered and has no output device.
    virtual std::vector<OutputDevice> outputDevices() = 0;

    // A device's volume (0...1 on the desktop sliders' scale) and mute: whether it has them,
    // whether they can be set, reading them (throws) and setting them (throws).
    enum class Control { volume, mute };
    virtual bool has(ObjectID device, Control control) = 0;
    virtual bool isSettable(ObjectID device, Control control) = 0;
    virtual float volume(ObjectID device) = 0;
    virtual bool isMuted(ObjectID device) = 0;
    virtual void setVolume(ObjectID device, float volume) = 0;
    virtual void setMuted(ObjectID device, bool muted) = 0;

    // Change events: the real default output changed (our own sinks never count), or a device
    // appeared or vanished (ours excluded); or a device's volume or mute changed. The listener
    // lives as long as the returned object; null when the event takes no listener.
    enum class Event { defaultOutput, deviceList };
    class Listener {
    public:
        virtual ~Listener() = default;
    };
    virtual std::unique_ptr<Listener> listen(Event event, std::function<void()> handler) = 0;
    virtual std::unique_ptr<Listener> listen(ObjectID device, Control control, std::function<void()> handler) = 0;
};

}  // namespace quorel
