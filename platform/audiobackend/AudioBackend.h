#pragma once

#include "QRAudioDevice.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace quorel {

// What SystemBoostEngine asks of the sound system: the output devices, the capture (a virtual
// sink every other application plays into, standing in for a process tap), the "aggregate"
// that plays the processed audio to the chosen output device in step with the capture, the
// server's default sink, and change events. The PipeWire backend is the real one; tests use a
// simulated one.
//
// Statuses are 0 for success, else a platform status (shown through statusText). Reads that
// can fail throw AudioFailure. Device and capture functions may be called from any thread;
// listener handlers run on the main thread.
class AudioBackend {
public:
    using ObjectID = uint32_t;
    using Status = int32_t;

    virtual ~AudioBackend() = default;

    // Output devices (sinks): id, UID (the sink's name), name.
    // The real default output (never one of our virtual sinks). Throws a read error, or
    // "No default audio output." when there is none.
    virtual ObjectID defaultOutputDevice() = 0;
    virtual QString deviceUID(ObjectID device) = 0;  // throws "Could not read audio text ..."
    virtual std::optional<QString> deviceName(ObjectID device) = 0;
    virtual std::optional<ObjectID> device(const QString& uid) = 0;
    virtual int outputChannels(ObjectID device) = 0;  // 0 when unknown

    // The server's clock: its sample rate and the cycle sizes it allows.
    struct Clock {
        double sampleRate = 0;
        uint32_t minimumFrames = 0;
        uint32_t maximumFrames = 0;
    };
    virtual Clock clock() = 0;  // throws a read error

    // The capture: a virtual sink named `uid` ("local.quorel.aggregate." + UUID) at the
    // server's rate, asking for cycles of `bufferFrames`.
    virtual Status createTap(const QString& uid, uint32_t bufferFrames, ObjectID& tap) = 0;
    virtual int tapChannels(ObjectID tap) = 0;  // throws a read error
    // The processed path from the tap to the output device `outputUID`, in the same clock and
    // cycle as the tap; also the device QRSystemIO runs on.
    virtual Status createAggregate(ObjectID tap, const QString& outputUID, ObjectID& aggregate) = 0;
    virtual void destroyAggregate(ObjectID aggregate) = 0;
    virtual void destroyTap(ObjectID tap) = 0;
    virtual QRAudioDevice* ioDevice(ObjectID aggregate) = 0;

    // The aggregate's cycle size once it runs (before that, what was asked for), its channel
    // counts (0 when unknown) and its latency to the speaker in frames (none when unknown).
    virtual uint32_t bufferFrames(ObjectID aggregate) = 0;
    virtual int channelCount(ObjectID aggregate, bool input) = 0;
    virtual std::optional<uint32_t> latencyFrames(ObjectID aggregate) = 0;
    // Cycles the aggregate missed: the graph stalled, or its real-time thread ran too late.
    virtual uint64_t overloads(ObjectID aggregate) = 0;
    // Whether another application's stream plays into the tap; none when unknown.
    virtual std::optional<bool> isSourceRunning(ObjectID tap) = 0;

    // The sink the server's default is configured to (empty when unknown), and setting it.
    virtual QString serverDefaultSink() = 0;
    virtual bool setServerDefaultSink(const QString& uid) = 0;

    // Change events: the real default output changed (our own sinks never count), or a device
    // appeared or vanished (ours excluded), or the server's own default (serverDefaultSink, which
    // may name our sink) changed. The listener lives as long as the returned object; null when
    // the event takes none.
    enum class Event { defaultOutput, deviceList, serverDefault };
    class Listener {
    public:
        virtual ~Listener() = default;
    };
    virtual std::unique_ptr<Listener> listen(Event event, std::function<void()> handler) = 0;
    // Tells when isSourceRunning(tap) may have changed (a stream started, paused or stopped
    // playing into the tap); the handler runs on the main thread. Null when the backend does not
    // tell.
    virtual std::unique_ptr<Listener> listenForSource(ObjectID /*tap*/, std::function<void()> /*handler*/)
    {
        return nullptr;
    }

    // Whether the aggregate's real-time thread runs with a real-time scheduling policy, once
    // the first cycle has run; none when unknown.
    virtual std::optional<bool> isRealtime(ObjectID /*aggregate*/) { return std::nullopt; }

    // The sample rate the aggregate's graph runs at (its latest cycle's): the server may run it
    // at another rate than clock() tells (a forced rate, or a player at one of the allowed
    // rates) and switch while it runs. None before the first cycle, or when the backend does not
    // tell. listenForRate calls `handler` on the main thread when it may have changed (null when
    // the backend does not tell); the listener lives as long as the returned object.
    virtual std::optional<double> graphRate(ObjectID /*aggregate*/) { return std::nullopt; }
    virtual std::unique_ptr<Listener> listenForRate(ObjectID /*aggregate*/, std::function<void()> /*handler*/)
    {
        return nullptr;
    }

    // Faults of a running aggregate that end processing: the connection to the sound server
    // was lost, the output device it plays to went away, or the server stopped one of its
    // streams. The handler runs on the main thread, at most once per listener; the listener
    // lives as long as the returned object (null when the backend reports no faults).
    enum class Fault { connectionLost, outputGone, streamFailed };
    virtual std::unique_ptr<Listener> listenForFault(ObjectID /*aggregate*/, std::function<void(Fault)> /*handler*/)
    {
        return nullptr;
    }
};

}  // namespace quorel
