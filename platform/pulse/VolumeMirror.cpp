#include "VolumeMirror.h"

#include "PulseClient.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace quorel {

namespace {
constexpr auto sinkWait = std::chrono::seconds(3);
constexpr auto sinkPoll = std::chrono::milliseconds(20);

VolumeMirror::Level levelOf(const PulseSink& sink)
{
    return {pa_cvolume_valid(&sink.volume) ? pa_cvolume_max(&sink.volume) : PA_VOLUME_NORM, sink.muted};
}

// Gives `to` the volume and mute `level`; its channels keep their balance to the loudest.
void write(const PulseSink& to, const VolumeMirror::Level& level)
{
    PulseClient& client = PulseClient::shared();
    if (pa_cvolume_valid(&to.volume) && pa_cvolume_max(&to.volume) != level.volume) {
        pa_cvolume volume = to.volume;
        pa_cvolume_scale(&volume, level.volume);
        client.setSinkVolume(to.index, volume);
    }
    if (to.muted != level.muted) client.setSinkMute(to.name, level.muted);
}
}  // namespace

struct VolumeMirror::Shared {
    std::mutex mutex;
    QString sinkName;
    QString deviceName;
    Memory memory;
    bool closed = false;

    // Looks at both sides and copies one way when one changed. Mutex held.
    void sync()
    {
        if (closed) return;
        PulseSnapshot snapshot;
        if (PulseClient::shared().read(snapshot)) return;
        const PulseSink* sink = snapshot.sink(sinkName);
        const PulseSink* device = snapshot.sink(deviceName);
        if (!sink || !device || sink->index == device->index) return;
        const Level sinkLevel = levelOf(*sink);
        const Level deviceLevel = levelOf(*device);
        const Copy copy = decide(memory, sink->index, sinkLevel, device->index, deviceLevel);
        if (copy == Copy::none) return;
        if (copy == Copy::toSink)
            write(*sink, deviceLevel);
        else
            write(*device, sinkLevel);
        // What each side holds now; the side copied from keeps what was copied, so a change
        // made on it meanwhile is still news to the next look.
        PulseSnapshot after;
        if (PulseClient::shared().read(after)) after = snapshot;
        const PulseSink* sinkNow = after.sink(sink->index);
        const PulseSink* deviceNow = after.sink(device->index);
        memory.sinkIndex = sink->index;
        memory.deviceIndex = device->index;
        memory.sink = copy == Copy::toDevice || !sinkNow ? sinkLevel : levelOf(*sinkNow);
        memory.device = copy == Copy::toSink || !deviceNow ? deviceLevel : levelOf(*deviceNow);
    }
};

VolumeMirror::Copy VolumeMirror::decide(const Memory& memory, uint32_t sinkIndex, const Level& sink,
                                        uint32_t deviceIndex, const Level& device)
{
    const bool sameSides =
        memory.sink && memory.device && memory.sinkIndex == sinkIndex && memory.deviceIndex == deviceIndex;
    if (!sameSides) return Copy::toSink;
    if (sink != *memory.sink) return Copy::toDevice;
    if (device != *memory.device) return Copy::toSink;
    return Copy::none;
}

VolumeMirror::VolumeMirror(const QString& sinkName, const QString& deviceName) : shared_(std::make_shared<Shared>())
{
    shared_->sinkName = sinkName;
    shared_->deviceName = deviceName;
    std::weak_ptr<Shared> weak = shared_;
    observer_ = PulseClient::shared().addObserver([weak](const std::vector<PulseChange>& changes) {
        const std::shared_ptr<Shared> shared = weak.lock();
        if (!shared) return;
        for (const PulseChange& change : changes) {
            if (change.kind == PulseChange::Kind::running) continue;
            std::lock_guard lock(shared->mutex);
            shared->sync();
            return;
        }
    });
    // The server tells of a new sink of ours as of no change: wait for it here (not for a server
    // that does not answer).
    const auto deadline = std::chrono::steady_clock::now() + sinkWait;
    for (;;) {
        PulseSnapshot snapshot;
        if (PulseClient::shared().read(snapshot) != 0 || snapshot.sink(sinkName)) break;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(sinkPoll);
    }
    std::lock_guard lock(shared_->mutex);
    shared_->sync();
}

VolumeMirror::~VolumeMirror()
{
    PulseClient::shared().removeObserver(observer_);
    // A copy running on the main thread ends first; none starts afterwards.
    std::lock_guard lock(shared_->mutex);
    shared_->closed = true;
}

void VolumeMirror::setDevice(const QString& deviceName)
{
    std::lock_guard lock(shared_->mutex);
    if (shared_->deviceName == deviceName) return;
    shared_->deviceName = deviceName;
    shared_->memory = {};
    shared_->sync();
}

}  // namespace quorel
