#include "FakeAudioDevices.h"

#include "AudioFailure.h"

namespace quorel::test {

class FakeAudioDevices::FakeListener : public AudioDevices::Listener {
public:
    FakeListener(FakeAudioDevices& devices, int id) : devices_(devices), id_(id) {}
    ~FakeListener() override { devices_.watches_.erase(id_); }

private:
    FakeAudioDevices& devices_;
    int id_;
};

QStringList FakeAudioDevices::log() const
{
    std::lock_guard lock(mutex_);
    return log_;
}

void FakeAudioDevices::note(const QString& entry)
{
    std::lock_guard lock(mutex_);
    log_.push_back(entry);
}

FakeAudioDevices::Device& FakeAudioDevices::existing(ObjectID device, const char* what)
{
    auto it = devices.find(device);
    if (it == devices.end())
        throw AudioFailure::message(QStringLiteral("No device %1 to %2.").arg(device).arg(QLatin1String(what)));
    return it->second;
}

void FakeAudioDevices::tell(const std::function<bool(const Watch&)>& matches)
{
    // Copied first: a handler may add or remove listeners.
    std::vector<std::function<void()>> handlers;
    for (const auto& [id, watch] : watches_)
        if (matches(watch)) handlers.push_back(watch.handler);
    for (const auto& handler : handlers) handler();
}

void FakeAudioDevices::changeVolume(ObjectID device, float volume)
{
    existing(device, "change").volume = volume;
    tell([&](const Watch& w) { return !w.event && w.device == device && w.control == Control::volume; });
}

void FakeAudioDevices::changeMute(ObjectID device, bool muted)
{
    existing(device, "change").muted = muted;
    tell([&](const Watch& w) { return !w.event && w.device == device && w.control == Control::mute; });
}

void FakeAudioDevices::fire(Event event)
{
    tell([&](const Watch& w) { return w.event == event; });
}

int FakeAudioDevices::listenerCount() const { return int(watches_.size()); }

int FakeAudioDevices::listenerCount(ObjectID device, Control control) const
{
    int count = 0;
    for (const auto& [id, watch] : watches_)
        count += !watch.event && watch.device == device && watch.control == control;
    return count;
}

bool FakeAudioDevices::isOwnSink(const QString& uid)
{
    for (const QString& prefix : ownPrefixes)
        if (uid.startsWith(prefix)) return true;
    return false;
}

std::optional<QString> FakeAudioDevices::previousDefault()
{
    std::lock_guard lock(mutex_);
    return previous_;
}

void FakeAudioDevices::setPreviousDefault(const QString& uid)
{
    std::lock_guard lock(mutex_);
    previous_ = uid;
    log_.push_back("setPreviousDefault " + uid);
}

AudioDevices::ObjectID FakeAudioDevices::defaultOutputDevice()
{
    if (!defaultDevice || !devices.count(*defaultDevice)) throw AudioFailure::message("No default audio output.");
    return *defaultDevice;
}

std::optional<AudioDevices::ObjectID> FakeAudioDevices::device(const QString& uid)
{
    for (const auto& [id, device] : devices)
        if (device.uid == uid) return id;
    return std::nullopt;
}

QString FakeAudioDevices::name(ObjectID device)
{
    auto it = devices.find(device);
    return it == devices.end() || it->second.name.isEmpty() ? QStringLiteral("Audio output") : it->second.name;
}

std::vector<AudioDevices::OutputDevice> FakeAudioDevices::outputDevices()
{
    std::vector<OutputDevice> listed;
    for (const auto& [id, device] : devices) listed.push_back({id, device.uid, name(id), 2, id == defaultDevice});
    return listed;
}

bool FakeAudioDevices::has(ObjectID device, Control control)
{
    auto it = devices.find(device);
    if (it == devices.end()) return false;
    return control == Control::volume ? it->second.hasVolume : it->second.hasMute;
}

bool FakeAudioDevices::isSettable(ObjectID device, Control control)
{
    if (!has(device, control)) return false;
    const Device& d = devices.at(device);
    return control == Control::volume ? d.volumeSettable : d.muteSettable;
}

float FakeAudioDevices::volume(ObjectID device) { return existing(device, "read").volume; }

bool FakeAudioDevices::isMuted(ObjectID device) { return existing(device, "read").muted; }

void FakeAudioDevices::setVolume(ObjectID device, float volume)
{
    Device& d = existing(device, "write");
    if (failWrites || !d.volumeSettable) throw AudioFailure::message("Could not write the volume.");
    d.volume = volume;
    note(QStringLiteral("setVolume %1 %2").arg(device).arg(double(volume)));
}

void FakeAudioDevices::setMuted(ObjectID device, bool muted)
{
    Device& d = existing(device, "write");
    if (failWrites || !d.muteSettable) throw AudioFailure::message("Could not write the mute.");
    d.muted = muted;
    note(QStringLiteral("setMuted %1 %2").arg(device).arg(muted ? "on" : "off"));
}

std::unique_ptr<AudioDevices::Listener> FakeAudioDevices::listen(Event event, std::function<void()> handler)
{
    const int id = nextWatch_++;
    watches_[id] = Watch{event, noDevice, Control::volume, std::move(handler)};
    return std::make_unique<FakeListener>(*this, id);
}

std::unique_ptr<AudioDevices::Listener> FakeAudioDevices::listen(ObjectID device, Control control,
                                                                 std::function<void()> handler)
{
    if (!has(device, control)) return nullptr;
    const int id = nextWatch_++;
    watches_[id] = Watch{std::nullopt, device, control, std::move(handler)};
    return std::make_unique<FakeListener>(*this, id);
}

}  // namespace quorel::test
