#include "PulseDevices.h"

#include "HAL.h"
#include "HALListener.h"
#include "PulseSnapshot.h"
#include "UserDefaults.h"

namespace quorel {

static_assert(AudioDevices::noDevice == HAL::noDevice);

namespace {

HAL::PropertyAddress addressOf(AudioDevices::Control control)
{
    return HAL::address(control == AudioDevices::Control::volume ? HAL::selector::volume : HAL::selector::mute,
                        HAL::scope::output, 0);
}

class PulseListener : public AudioDevices::Listener {
public:
    explicit PulseListener(std::unique_ptr<HALListener> listener) : listener_(std::move(listener)) {}

private:
    std::unique_ptr<HALListener> listener_;
};

std::unique_ptr<AudioDevices::Listener> wrapped(std::unique_ptr<HALListener> listener)
{
    if (!listener) return nullptr;
    return std::make_unique<PulseListener>(std::move(listener));
}

}  // namespace

bool PulseDevices::isOwnSink(const QString& uid) { return PulseSnapshot::isOwnSink(uid); }

std::optional<QString> PulseDevices::previousDefault()
{
    return UserDefaults::standard().string(HAL::previousDefaultKey);
}

void PulseDevices::setPreviousDefault(const QString& uid)
{
    UserDefaults store = UserDefaults::standard();
    store.setString(HAL::previousDefaultKey, uid);
    store.sync();
}

AudioDevices::ObjectID PulseDevices::defaultOutputDevice() { return HAL::defaultOutputDevice(); }

std::optional<AudioDevices::ObjectID> PulseDevices::device(const QString& uid) { return HAL::device(uid); }

QString PulseDevices::name(ObjectID device) { return HAL::name(device); }

std::vector<AudioDevices::OutputDevice> PulseDevices::outputDevices() { return HAL::answeredOutputDevices(); }

bool PulseDevices::has(ObjectID device, Control control) { return HAL::has(device, addressOf(control)); }

bool PulseDevices::isSettable(ObjectID device, Control control) { return HAL::isSettable(device, addressOf(control)); }

float PulseDevices::volume(ObjectID device) { return HAL::get<float>(device, addressOf(Control::volume)); }

bool PulseDevices::isMuted(ObjectID device) { return HAL::get<uint32_t>(device, addressOf(Control::mute)) != 0; }

void PulseDevices::setVolume(ObjectID device, float volume) { HAL::set(device, addressOf(Control::volume), volume); }

void PulseDevices::setMuted(ObjectID device, bool muted)
{
    HAL::set(device, addressOf(Control::mute), uint32_t(muted ? 1 : 0));
}

std::unique_ptr<AudioDevices::Listener> PulseDevices::listen(Event event, std::function<void()> handler)
{
    const uint32_t selector =
        event == Event::defaultOutput ? HAL::selector::defaultOutputDevice : HAL::selector::devices;
    return wrapped(
        HALListener::create(HAL::systemObject, HAL::address(selector, HAL::scope::global, 0), std::move(handler)));
}

std::unique_ptr<AudioDevices::Listener> PulseDevices::listen(ObjectID device, Control control,
                                                             std::function<void()> handler)
{
    return wrapped(HALListener::create(device, addressOf(control), std::move(handler)));
}

}  // namespace quorel
