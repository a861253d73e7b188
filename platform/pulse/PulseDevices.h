#pragma once

#include "AudioDevices.h"

namespace quorel {

// The AudioDevices on the sound server's sinks through HAL and HALListener; the previous default
// lives in the settings store under HAL::previousDefaultKey, where HAL reads it back.
class PulseDevices : public AudioDevices {
public:
    bool isOwnSink(const QString& uid) override;
    std::optional<QString> previousDefault() override;
    void setPreviousDefault(const QString& uid) override;

    ObjectID defaultOutputDevice() override;
    std::optional<ObjectID> device(const QString& uid) override;
    QString name(ObjectID device) override;
    std::vector<OutputDevice> outputDevices() override;

    bool has(ObjectID device, Control control) override;
    bool isSettable(ObjectID device, Control control) override;
    float volume(ObjectID device) override;
    bool isMuted(ObjectID device) override;
    void setVolume(ObjectID device, float volume) override;
    void setMuted(ObjectID device, bool muted) override;

    std::unique_ptr<Listener> listen(Event event, std::function<void()> handler) override;
    std::unique_ptr<Listener> listen(ObjectID device, Control control, std::function<void()> handler) override;
};

}  // namespace quorel
