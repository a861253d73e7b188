#pragma once

#include "AudioDevices.h"

#include <QStringList>

#include <map>
#include <mutex>
#include <set>
#include <vector>

namespace quorel::test {

// In-memory devices for the core's tests: output devices with a volume and mute the test sets,
// a default output, sinks it calls our own, the stored previous default, a log of every write,
// and change events the test tells. Everything but the own-sink test and the previous default
// belongs to the test's thread; listener handlers run at once, on the caller's thread.
class FakeAudioDevices : public AudioDevices {
public:
    struct Device {
        QString uid;
        QString name;
        bool hasVolume = true, hasMute = true;
        bool volumeSettable = true, muteSettable = true;
        float volume = 0.75f;
        bool muted = false;
    };

    // Configuration (set before the core asks).
    std::map<ObjectID, Device> devices{{10, {"speakers", "Speakers"}}};
    std::optional<ObjectID> defaultDevice = 10;  // none: reading it fails with "No default audio output."
    // Sinks whose UID starts with one of these are our own (as the real devices name them, unless
    // the test adds others).
    std::set<QString> ownPrefixes{"local.quorel.aggregate", "local.corvanta.aggregate"};
    bool failWrites = false;  // every volume and mute write throws

    // What was written, in order ("setVolume 10 0.5", "setMuted 10 on", "setPreviousDefault speakers").
    QStringList log() const;
    // Sets a device's volume or mute as another program would, and tells its listeners.
    void changeVolume(ObjectID device, float volume);
    void changeMute(ObjectID device, bool muted);
    void fire(Event event);
    int listenerCount() const;
    int listenerCount(ObjectID device, Control control) const;

    // AudioDevices
    bool isOwnSink(const QString& uid) override;
    std::optional<QString> previousDefault() override;
    void setPreviousDefault(const QString& uid) override;
    ObjectID defaultOutputDevice() override;
    std::optional<ObjectID> device(const QString& uid) override;
    QString name(ObjectID device) override;
    // Every device, two channels each, in the order of their ids.
    std::vector<OutputDevice> outputDevices() override;
    bool has(ObjectID device, Control control) override;
    bool isSettable(ObjectID device, Control control) override;
    float volume(ObjectID device) override;
    bool isMuted(ObjectID device) override;
    void setVolume(ObjectID device, float volume) override;
    void setMuted(ObjectID device, bool muted) override;
    std::unique_ptr<Listener> listen(Event event, std::function<void()> handler) override;
    std::unique_ptr<Listener> listen(ObjectID device, Control control, std::function<void()> handler) override;

private:
    class FakeListener;
    // What a listener watches: an event, or a device's control.
    struct Watch {
        std::optional<Event> event;
        ObjectID device = noDevice;
        Control control = Control::volume;
        std::function<void()> handler;
    };
    Device& existing(ObjectID device, const char* what);
    void tell(const std::function<bool(const Watch&)>& matches);
    void note(const QString& entry);

    mutable std::mutex mutex_;  // the log and the previous default (the engine's worker writes them)
    QStringList log_;
    std::optional<QString> previous_;
    std::map<int, Watch> watches_;
    int nextWatch_ = 1;
};

}  // namespace quorel::test
