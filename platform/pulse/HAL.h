#pragma once

#include "AudioDevices.h"
#include "AudioUnitStatus.h"
#include "PulseSnapshot.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace quorel {

// Every conversation with the sound server's devices goes through here: audio-object properties
// read and written with uniform error messages, status codes and selectors turned into text, and
// the list of output devices a user can choose.
//
// The objects are the sound server's sinks (object id = sink index, UID = sink name, name = its
// description) and the system object. Properties keep their four-character selectors:
//   system object: 'dOut' default output device (UInt32, settable), 'dev#' the device list
//                  (listeners only)
//   device:        'uid ' UID and 'lnam' name (text, global scope), 'slay' stream configuration
//                  (channelCount, output scope), 'vmvc' main volume 0...1 (Float, output scope,
//                  settable), 'mute' (UInt32, output scope, settable), 'nsrt' nominal sample rate
//                  (Double), 'gone' whether another application's stream plays into it (UInt32)
// Our own virtual sinks are the server's default while processing runs, but never the default
// output here: that stays the real sink they replaced (see PulseSnapshot).
//
// Every function may be called from any thread; reads answer from the client's snapshot, writes
// wait for the server. Reads and writes throw AudioFailure; when no sound server can be reached
// the message says so ("The sound server is not running." or, for one that takes the connection
// and does not answer, "The sound server is not answering.") instead of naming a property.
namespace HAL {

using ObjectID = uint32_t;

struct PropertyAddress {
    uint32_t selector = 0;
    uint32_t scope = 0;
    uint32_t element = 0;
    bool operator==(const PropertyAddress&) const = default;
};

// The system object, and "no device". Sink indices start at 0 on PulseAudio, so neither 0 nor 1
// can stand for these; libpulse's own invalid index is "no device".
inline constexpr ObjectID systemObject = 0xFFFFFFFEu;
inline constexpr ObjectID noDevice = 0xFFFFFFFFu;

namespace scope {
inline constexpr uint32_t global = fourCharCode("glob");
inline constexpr uint32_t input = fourCharCode("inpt");
inline constexpr uint32_t output = fourCharCode("outp");
}  // namespace scope

namespace selector {
inline constexpr uint32_t defaultOutputDevice = fourCharCode("dOut");
inline constexpr uint32_t devices = fourCharCode("dev#");
inline constexpr uint32_t deviceUID = fourCharCode("uid ");
inline constexpr uint32_t name = fourCharCode("lnam");
inline constexpr uint32_t streamConfiguration = fourCharCode("slay");
inline constexpr uint32_t volume = fourCharCode("vmvc");
inline constexpr uint32_t mute = fourCharCode("mute");
inline constexpr uint32_t nominalSampleRate = fourCharCode("nsrt");
inline constexpr uint32_t runningSomewhere = fourCharCode("gone");
}  // namespace selector

// Statuses in the messages: the sound server's part of the one table (AudioUnitStatus.h).
namespace status = quorel::status;

// The status of a libpulse error code (PA_ERR_...); 0 stays 0.
int32_t statusFromPulse(int error);

// One output device a user can choose (the devices seam's record).
using OutputDevice = AudioDevices::OutputDevice;

PropertyAddress address(uint32_t selector, uint32_t scope, uint32_t element);

bool has(ObjectID object, const PropertyAddress& address);
bool isSettable(ObjectID object, const PropertyAddress& address);

// Reads a value; T is uint32_t, float or double. Throws "Could not read audio property ({0}, {1})."
template <typename T>
T get(ObjectID object, const PropertyAddress& address);

// Writes a value. Throws "Could not write audio property ({0}, {1})."
void set(ObjectID object, const PropertyAddress& address, uint32_t value);
void set(ObjectID object, const PropertyAddress& address, float value);

// Reads a text property (element 0). Throws "Could not read audio text ({0}, {1})."
QString string(ObjectID object, uint32_t selector, uint32_t scope);

// Total channels of the object's stream configuration in the scope; every problem gives 0.
int channelCount(ObjectID object, uint32_t scope);

// A selector or status as text (statusText).
QString describe(uint32_t value);
QString describe(int32_t value);

// The device's name, or "Audio output" in the saved language.
QString name(ObjectID device);

// The settings key under which the engine remembers the real sink its virtual sink replaced as
// the server's default: a start after a crash gives it back, and while another process
// processes, this one reads the real default output from it.
inline constexpr const char* previousDefaultKey = "Quorel.System.PreviousDefaultSink.v1";

// The default output device. Throws a read error, or "No default audio output.".
ObjectID defaultOutputDevice();

// The device with this UID, our own virtual sinks included; none when there is no such device.
std::optional<ObjectID> device(const QString& uid);

// The output devices to offer, in the server's order; our own virtual sinks, the server's dummy
// sink and devices without channels or UID are left out. Never throws: without a server the list
// is empty.
std::vector<OutputDevice> outputDevices();
std::vector<OutputDevice> outputDevices(const PulseSnapshot& snapshot);
// outputDevices(), but a server that cannot be reached throws (as get() does): an empty list
// means that the server answered and has no output device.
std::vector<OutputDevice> answeredOutputDevices();

// Makes the sink with this UID the server's default. Throws "Could not write audio property
// ('dOut', {1})."
void setDefaultOutputDevice(const QString& uid);

}  // namespace HAL
}  // namespace quorel
