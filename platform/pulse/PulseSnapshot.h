#pragma once

#include "PulseSink.h"

#include <QString>

#include <vector>

namespace quorel {

// What changed between two snapshots, as the listeners see it.
struct PulseChange {
    enum class Kind { deviceList, defaultOutput, volume, mute, running };
    Kind kind;
    uint32_t sink = 0;  // for volume, mute and running: the sink that changed

    bool operator==(const PulseChange&) const = default;
};

// The sound server's sinks, its default sink and the streams playing into each sink.
//
// Our own virtual sinks ("local.quorel.aggregate..." and the older "local.corvanta.aggregate...")
// are made the server's default while processing runs, but they are never the default output:
// that is the real sink they replaced. The snapshot remembers the last real sink the server named
// as its default, and `defaultOutput()` answers with it. The server's dummy sink is no real sink:
// never the default output, never a device that appears or vanishes.
struct PulseSnapshot {
    std::vector<PulseSink> sinks;  // in the server's order
    std::vector<PulseSinkInput> inputs;
    QString serverDefault;   // the sink the server names as its default right now
    QString rememberedReal;  // the last real (not our own) sink the server named as its default
    // The real sink that processing replaced, as the process that started processing stored it
    // (a process that never saw the server's real default learns it from there).
    QString storedPrevious;

    static bool isOwnSink(const QString& name);
    // The stand-in a server without any sink offers ("auto_null", "Dummy Output": WirePlumber's
    // fallback sink, PulseAudio's module-always-sink). It plays nowhere and goes as soon as any
    // other sink is there, ours too: no output device.
    static bool isDummySink(const QString& name);
    // A sink that is an output device: neither one of ours nor the server's dummy.
    static bool isDevice(const QString& name) { return !isOwnSink(name) && !isDummySink(name); }

    // Records the server's default; a real sink also becomes the remembered real default.
    void setServerDefault(const QString& name);

    const PulseSink* sink(uint32_t index) const;
    const PulseSink* sink(const QString& name) const;

    // The real default output: the server's default when it is a real sink that exists, else the
    // remembered real default when it exists, else the stored previous default when it is a
    // real sink that exists, else the first real sink; null without one.
    const PulseSink* defaultOutput() const;

    // Whether another stream that is not paused plays into the sink.
    bool isRunning(uint32_t sink) const;

    // The changes listeners are told about, from `before` to `after`: sinks appearing or
    // vanishing (our own and the dummy excluded), the default output, the volume and mute of each sink, and
    // whether streams play into each (isRunning). Sink state changes are not device-list changes.
    static std::vector<PulseChange> changes(const PulseSnapshot& before, const PulseSnapshot& after);
};

}  // namespace quorel
