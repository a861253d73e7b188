#pragma once

#include <QString>

#include <pulse/volume.h>

#include <cstdint>

namespace quorel {

// One sink of the sound server as the client last saw it.
struct PulseSink {
    uint32_t index = 0;
    QString name;         // the persistent name (PipeWire's node.name)
    QString description;  // the name people read
    int channels = 0;
    uint32_t sampleRate = 0;
    pa_cvolume volume{};
    bool muted = false;
};

// One stream that plays into a sink.
struct PulseSinkInput {
    uint32_t index = 0;
    uint32_t sink = 0;
    bool corked = false;  // paused: not running
};

}  // namespace quorel
