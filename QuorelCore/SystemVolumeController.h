#pragma once

#include "AudioDevices.h"
#include "LocalizedMessage.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace quorel {

// Shows and changes the sound server's own volume and mute of one output device: the device the
// user chose for processed audio, or the default output when none is chosen or the chosen one is
// gone, through the devices it is handed (the application and quorel-tool hand it the pulse
// devices). Independent of processing. Main thread only; nothing here throws: failures land in
// `failureMessage`, cleared by the next success.
class SystemVolumeController : public QObject {
    Q_OBJECT

public:
    explicit SystemVolumeController(std::shared_ptr<AudioDevices> devices, QObject* parent = nullptr);
    ~SystemVolumeController() override;

    QString deviceName() const { return deviceName_; }
    float volume() const { return volume_; }  // 0...1 on the desktop sliders' scale
    bool isMuted() const { return isMuted_; }
    bool supportsVolume() const { return supportsVolume_; }
    bool supportsMute() const { return supportsMute_; }
    const std::optional<LocalizedMessage>& failureMessage() const { return failureMessage_; }
    std::optional<QString> failure() const;

    AudioDevices::ObjectID device() const { return device_; }  // AudioDevices::noDevice when none
    const std::optional<QString>& preferredUID() const { return preferredUID_; }

    // Re-selects the device and reads everything again. Runs by itself when the default output
    // changes and when devices come or go, so a chosen device that is unplugged hands over to
    // the default output (where processed audio now plays) and is followed again when it returns.
    void reload();
    // Follows the device with this UID (none: the default output), then reloads.
    void follow(const std::optional<QString>& deviceUID);
    // Sets the volume (clamped to 0...1, not finite = 0); above 0 it also unmutes.
    void set(float volume);
    void setMuted(bool muted);

signals:
    // After any of the published fields (name, volume, mute, supports flags, failure) changed.
    void changed();

private:
    void read();
    void fail(const std::exception& error);

    QString deviceName_;
    float volume_ = 0;
    bool isMuted_ = false;
    bool supportsVolume_ = false;
    bool supportsMute_ = false;
    std::optional<LocalizedMessage> failureMessage_;

    std::shared_ptr<AudioDevices> devices_;
    AudioDevices::ObjectID device_ = AudioDevices::noDevice;
    std::optional<QString> preferredUID_;
    std::vector<std::unique_ptr<AudioDevices::Listener>> deviceListeners_;
    std::unique_ptr<AudioDevices::Listener> defaultListener_;
    std::unique_ptr<AudioDevices::Listener> deviceListListener_;
};

}  // namespace quorel
