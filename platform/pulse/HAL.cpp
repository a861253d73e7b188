#include "HAL.h"

#include "AudioFailure.h"
#include "L10n.h"
#include "LocalizedMessage.h"
#include "PulseClient.h"
#include "PulseVolume.h"
#include "StatusText.h"
#include "UserDefaults.h"

#include <pulse/def.h>

#include <variant>

namespace quorel::HAL {

namespace {

using Value = std::variant<std::monostate, uint32_t, float, double, QString>;

struct Outcome {
    int32_t status = status::ok;
    Value value;
};

[[noreturn]] void fail(const char* key, uint32_t selector, int32_t status)
{
    throw AudioFailure::localized(LocalizedMessage::make(QString::fromUtf8(key), describe(selector), describe(status)));
}

QString audioOutput() { return L10n::text(QStringLiteral("Audio output"), L10n::language()); }

// A failure whose cause is that no sound server can be reached is said plainly: the user can do
// something about that, and a property's status would not tell them what.
[[noreturn]] void failServer(const char* key, uint32_t selector, int pulseError)
{
    if (pulseError == PA_ERR_TIMEOUT)
        throw AudioFailure::localized(LocalizedMessage("The sound server is not answering."));
    const int32_t status = statusFromPulse(pulseError);
    if (status == status::notRunning)
        throw AudioFailure::localized(LocalizedMessage("The sound server is not running."));
    fail(key, selector, status);
}

// The libpulse error code of the read: the connection's, as reads answer from the snapshot.
int readSnapshot(PulseSnapshot& snapshot)
{
    const int status = PulseClient::shared().read(snapshot);
    // While processing runs in another process, this one may never have seen the real default:
    // the sink processing replaced is in the settings store.
    if (status == PA_OK && PulseSnapshot::isOwnSink(snapshot.serverDefault) && !snapshot.sink(snapshot.rememberedReal))
        snapshot.storedPrevious =
            UserDefaults::standard().string(QString::fromLatin1(previousDefaultKey)).value_or(QString());
    return status;
}

// The value of a property in the snapshot; a property that exists but has no single value (the
// device list, the stream configuration) answers with no value.
Outcome lookup(const PulseSnapshot& snapshot, ObjectID object, const PropertyAddress& address)
{
    if (address.element != 0) return {status::unknownProperty, {}};
    const uint32_t s = address.selector;
    if (object == systemObject) {
        if (address.scope != scope::global) return {status::unknownProperty, {}};
        if (s == selector::defaultOutputDevice) {
            const PulseSink* sink = snapshot.defaultOutput();
            return {status::ok, sink ? sink->index : noDevice};
        }
        if (s == selector::devices) return {status::ok, {}};
        return {status::unknownProperty, {}};
    }
    const PulseSink* sink = snapshot.sink(object);
    if (!sink) return {status::badObject, {}};
    if (address.scope == scope::global) {
        if (s == selector::deviceUID) return {status::ok, sink->name};
        if (s == selector::name) return {status::ok, sink->description};
        if (s == selector::nominalSampleRate) return {status::ok, double(sink->sampleRate)};
        if (s == selector::runningSomewhere) return {status::ok, uint32_t(snapshot.isRunning(sink->index))};
    }
    if (address.scope == scope::output) {
        if (s == selector::volume) return {status::ok, pulseVolume::fraction(sink->volume)};
        if (s == selector::mute) return {status::ok, uint32_t(sink->muted)};
        if (s == selector::streamConfiguration) return {status::ok, {}};
    }
    if (address.scope == scope::input && s == selector::streamConfiguration) return {status::ok, {}};
    return {status::unknownProperty, {}};
}

bool settable(ObjectID object, const PropertyAddress& address)
{
    if (object == systemObject) return address.selector == selector::defaultOutputDevice;
    return address.selector == selector::volume || address.selector == selector::mute;
}

// Reads the snapshot and checks that the property exists and can be written.
constexpr const char* writeKey = "Could not write audio property ({0}, {1}).";

PulseSnapshot writable(ObjectID object, const PropertyAddress& address)
{
    PulseSnapshot snapshot;
    if (int error = readSnapshot(snapshot)) failServer(writeKey, address.selector, error);
    const Outcome outcome = lookup(snapshot, object, address);
    if (outcome.status) fail(writeKey, address.selector, outcome.status);
    if (!settable(object, address)) fail(writeKey, address.selector, status::unsupported);
    return snapshot;
}

}  // namespace

int32_t statusFromPulse(int error)
{
    switch (error) {
    case PA_OK: return status::ok;
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_CONNECTIONTERMINATED:
    case PA_ERR_INVALIDSERVER:
    case PA_ERR_KILLED:
    case PA_ERR_BADSTATE: return status::notRunning;
    case PA_ERR_NOENTITY: return status::badObject;
    case PA_ERR_ACCESS:
    case PA_ERR_AUTHKEY: return status::permission;
    case PA_ERR_NOTSUPPORTED:
    case PA_ERR_NOTIMPLEMENTED: return status::unsupported;
    default: return status::unspecified;
    }
}

PropertyAddress address(uint32_t selector, uint32_t scope, uint32_t element) { return {selector, scope, element}; }

bool has(ObjectID object, const PropertyAddress& address)
{
    PulseSnapshot snapshot;
    return readSnapshot(snapshot) == PA_OK && lookup(snapshot, object, address).status == status::ok;
}

bool isSettable(ObjectID object, const PropertyAddress& address)
{
    return has(object, address) && settable(object, address);
}

template <typename T>
T get(ObjectID object, const PropertyAddress& address)
{
    static const char* key = "Could not read audio property ({0}, {1}).";
    PulseSnapshot snapshot;
    if (int error = readSnapshot(snapshot)) failServer(key, address.selector, error);
    const Outcome outcome = lookup(snapshot, object, address);
    if (outcome.status) fail(key, address.selector, outcome.status);
    if (const T* value = std::get_if<T>(&outcome.value)) return *value;
    fail(key, address.selector, status::badPropertySize);
}

template uint32_t get<uint32_t>(ObjectID, const PropertyAddress&);
template float get<float>(ObjectID, const PropertyAddress&);
template double get<double>(ObjectID, const PropertyAddress&);

void set(ObjectID object, const PropertyAddress& address, uint32_t value)
{
    const PulseSnapshot snapshot = writable(object, address);
    int error = 0;
    if (object == systemObject) {
        const PulseSink* target = snapshot.sink(value);
        if (!target) fail(writeKey, address.selector, status::badObject);
        error = PulseClient::shared().setDefaultSink(target->name);
    } else if (address.selector == selector::mute) {
        error = PulseClient::shared().setSinkMute(snapshot.sink(object)->name, value != 0);
    } else {
        fail(writeKey, address.selector, status::badPropertySize);
    }
    if (error) failServer(writeKey, address.selector, error);
}

void set(ObjectID object, const PropertyAddress& address, float value)
{
    const PulseSnapshot snapshot = writable(object, address);
    if (address.selector != selector::volume) fail(writeKey, address.selector, status::badPropertySize);
    const PulseSink* sink = snapshot.sink(object);
    if (!pa_cvolume_valid(&sink->volume)) fail(writeKey, address.selector, status::unsupported);
    if (int error = PulseClient::shared().setSinkVolume(object, pulseVolume::scaled(sink->volume, value)))
        failServer(writeKey, address.selector, error);
}

QString string(ObjectID object, uint32_t selector, uint32_t scope)
{
    static const char* key = "Could not read audio text ({0}, {1}).";
    PulseSnapshot snapshot;
    if (int error = readSnapshot(snapshot)) failServer(key, selector, error);
    const Outcome outcome = lookup(snapshot, object, address(selector, scope, 0));
    if (outcome.status) fail(key, selector, outcome.status);
    const QString* text = std::get_if<QString>(&outcome.value);
    if (!text) fail(key, selector, status::badPropertySize);
    if (text->isEmpty()) fail(key, selector, status::ok);  // the server gave no text
    return *text;
}

int channelCount(ObjectID object, uint32_t scope)
{
    PulseSnapshot snapshot;
    if (readSnapshot(snapshot)) return 0;
    const PulseSink* sink = object == systemObject ? nullptr : snapshot.sink(object);
    return sink && scope == scope::output ? std::max(sink->channels, 0) : 0;
}

QString describe(uint32_t value) { return statusText(value); }

QString describe(int32_t value) { return statusText(value); }

QString name(ObjectID device)
{
    try {
        return string(device, selector::name, scope::global);
    } catch (const AudioFailure&) {
        return audioOutput();
    }
}

ObjectID defaultOutputDevice()
{
    const ObjectID id = get<uint32_t>(systemObject, address(selector::defaultOutputDevice, scope::global, 0));
    if (id == noDevice) throw AudioFailure::localized(LocalizedMessage("No default audio output."));
    return id;
}

std::optional<ObjectID> device(const QString& uid)
{
    PulseSnapshot snapshot;
    if (readSnapshot(snapshot)) return std::nullopt;
    const PulseSink* sink = snapshot.sink(uid);
    if (!sink) return std::nullopt;
    return sink->index;
}

std::vector<OutputDevice> outputDevices()
{
    PulseSnapshot snapshot;
    if (readSnapshot(snapshot)) return {};
    return outputDevices(snapshot);
}

std::vector<OutputDevice> answeredOutputDevices()
{
    PulseSnapshot snapshot;
    if (int error = readSnapshot(snapshot))
        failServer("Could not read audio property ({0}, {1}).", selector::devices, error);
    return outputDevices(snapshot);
}

std::vector<OutputDevice> outputDevices(const PulseSnapshot& snapshot)
{
    std::vector<OutputDevice> devices;
    const PulseSink* fallback = snapshot.defaultOutput();
    for (const PulseSink& sink : snapshot.sinks) {
        if (sink.channels <= 0 || sink.name.isEmpty() || !PulseSnapshot::isDevice(sink.name)) continue;
        devices.push_back({sink.index, sink.name, sink.description.isEmpty() ? audioOutput() : sink.description,
                           sink.channels, fallback && fallback->index == sink.index});
    }
    return devices;
}

void setDefaultOutputDevice(const QString& uid)
{
    const uint32_t selector = selector::defaultOutputDevice;
    if (uid.isEmpty()) fail(writeKey, selector, status::badObject);
    if (int error = PulseClient::shared().setDefaultSink(uid)) failServer(writeKey, selector, error);
}

}  // namespace quorel::HAL
