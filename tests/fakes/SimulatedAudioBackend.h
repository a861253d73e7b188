#pragma once

#include "AudioBackend.h"

#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace quorel::test {

// An in-process sound system for the engine's tests: devices that fail, vanish, refuse or run
// at odd rates, a log of what the engine asked for, and a device whose cycles the test runs.
class SimulatedAudioBackend : public AudioBackend, public QRAudioDevice {
public:
    struct Device {
        QString uid;
        std::optional<QString> name;
        int channels = 2;
    };

    // Configuration (set before the engine asks).
    std::map<ObjectID, Device> devices{{10, {"speakers", QString("Speakers"), 2}}};
    std::optional<ObjectID> defaultDevice = 10;
    // False: no sound server runs; reading the default output fails as the real one does then.
    std::atomic<bool> serverRunning{true};
    Clock clockValue{48000, 32, 2048};
    Status tapStatus = 0;
    std::set<QString> takenNames;  // createTap refuses these with -EEXIST, as any name in use
    ObjectID tapID = 100;
    int tapChannelCount = 2;
    Status aggregateStatus = 0;
    std::optional<uint32_t> bufferFramesValue;   // none: what was asked for
    std::optional<uint32_t> runningFramesValue;  // the cycle size once started; none: as before
    std::optional<bool> realtimeValue;
    int inputChannelCount = 2, outputChannelCount = 2;
    std::optional<uint32_t> latency;
    Status ioCreateStatus = 0, ioStartStatus = 0;
    std::optional<bool> sourceRunning = false;  // setSourceRunning tells the change
    bool tellsSourceChanges = true;             // false: listenForSource gives no listener
    uint64_t overloadCount = 0;
    QString serverDefault = "speakers";
    int refuseDefaultChanges = 0;     // the next n default changes fail
    bool holdCapture = false;         // createTap waits until release()
    bool holdDefaultChanges = false;  // setServerDefaultSink waits until release()
    QString takenBackTo;              // the next default set to our sink becomes this one at once

    // What happened, in order ("createTap local.quorel...", "destroyTap", "setDefault X", ...).
    QStringList log() const;
    bool logContains(const QString& prefix) const;
    void release();
    // Whether a capture is waiting in createTap.
    bool waitingInCapture() const;
    // Whether a default change is waiting in setServerDefaultSink.
    bool waitingInDefaultChange() const;

    // Runs one device cycle of `frames` stereo frames of `value`; returns the output.
    std::vector<float> runCycle(uint32_t frames, float value);
    void fire(Event event);
    // Sets sourceRunning and, when that changes it, tells the source listeners (as the real
    // backend does from the server's events).
    void setSourceRunning(std::optional<bool> running);
    int sourceListenerCount() const;
    // Tells the engine's fault listener of a fault, as the backend's watch would on the main thread.
    void fault(Fault fault);
    // Every fault handler the engine gave, in order (kept after its listener is gone).
    std::vector<std::function<void(Fault)>> faultHandlersGiven;
    int faultListenerCount() const;
    int listenerCount() const;
    uint32_t requestedFrames() const { return requested_; }
    QString tapUID() const { return tapUID_; }
    size_t liveTaps() const
    {
        std::lock_guard lock(mutex_);
        return liveTaps_.size();
    }

    // AudioBackend
    ObjectID defaultOutputDevice() override;
    QString deviceUID(ObjectID device) override;
    std::optional<QString> deviceName(ObjectID device) override;
    std::optional<ObjectID> device(const QString& uid) override;
    int outputChannels(ObjectID device) override;
    Clock clock() override { return clockValue; }
    Status createTap(const QString& uid, uint32_t bufferFrames, ObjectID& tap) override;
    int tapChannels(ObjectID) override { return tapChannelCount; }
    Status createAggregate(ObjectID tap, const QString& outputUID, ObjectID& aggregate) override;
    void destroyAggregate(ObjectID aggregate) override;
    void destroyTap(ObjectID tap) override;
    QRAudioDevice* ioDevice(ObjectID) override { return this; }
    uint32_t bufferFrames(ObjectID) override
    {
        if (started_ && runningFramesValue) return *runningFramesValue;
        return bufferFramesValue.value_or(requested_);
    }
    std::optional<bool> isRealtime(ObjectID) override { return realtimeValue; }
    std::unique_ptr<Listener> listenForFault(ObjectID aggregate, std::function<void(Fault)> handler) override;
    int channelCount(ObjectID, bool input) override { return input ? inputChannelCount : outputChannelCount; }
    std::optional<uint32_t> latencyFrames(ObjectID) override { return latency; }
    uint64_t overloads(ObjectID) override { return overloadCount; }
    std::optional<bool> isSourceRunning(ObjectID) override { return sourceRunning; }
    QString serverDefaultSink() override;
    bool setServerDefaultSink(const QString& uid) override;
    std::unique_ptr<Listener> listen(Event event, std::function<void()> handler) override;
    std::unique_ptr<Listener> listenForSource(ObjectID tap, std::function<void()> handler) override;

    // QRAudioDevice
    quorel::Status createIOProc(IOProc proc, void* context, uint64_t& procID) override;
    quorel::Status startIOProc(uint64_t procID) override;
    void stopIOProc(uint64_t procID) override;
    void destroyIOProc(uint64_t procID) override;

private:
    class SimulatedListener;
    class FaultListener;
    void note(const QString& entry);

    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool waiting_ = false;
    bool waitingDefault_ = false;
    QStringList log_;
    uint32_t requested_ = 0;
    QString tapUID_;
    std::deque<QString> liveTaps_;  // made and not yet destroyed, oldest first
    IOProc proc_ = nullptr;
    void* procContext_ = nullptr;
    std::map<int, std::pair<Event, std::function<void()>>> listeners_;
    std::map<int, std::function<void()>> sourceListeners_;
    std::map<int, std::function<void(Fault)>> faultListeners_;
    bool started_ = false;
    int nextListener_ = 1;
};

}  // namespace quorel::test
