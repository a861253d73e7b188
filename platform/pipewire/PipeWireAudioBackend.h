#pragma once

#include "AudioBackend.h"

#include <QString>

#include <map>
#include <memory>
#include <mutex>

namespace quorel {

namespace pipewire {
class PipeWireContext;
}

// The AudioBackend on a PipeWire server, all inside the server's graph: the tap is our virtual
// sink (a null sink our client owns), the aggregate the links from the filter that runs
// QRSystemIO to the chosen output device, so one server cycle carries an application's sound
// through the chain to the device. The default sink is set through the server's "default"
// metadata; devices, the real default output and change events come from HAL.
//
// Faults (listenForFault) are watched on the main thread, never by polling: a check runs when the
// server tells of a change (the loop's thread queues one at a time, however many it sees), once
// an absent output device's 3 s grace is over, and every 100 ms only while a restarted session
// manager takes our sink over. It asks whether the connection is up, the filter unbroken and the
// output device still there; it also makes the path's links again, links the players no session
// manager links any longer (GraphPath::keepApplicationsPlaying) and makes our sink anew for a
// restarted session manager once that has chosen a default (GraphPath::renewSink), reading the
// default afresh while it waits, as a change of it may go untold; device changes are not
// followed meanwhile. A fault reaches the handler on the main thread, once.
// The graph's rate (graphRate) is the filter's latest cycle's; a cycle at a new rate tells the
// server's change handlers, and listenForRate's handler runs on the main thread after any change.
class PipeWireAudioBackend : public AudioBackend {
public:
    PipeWireAudioBackend();
    ~PipeWireAudioBackend() override;

    ObjectID defaultOutputDevice() override;
    QString deviceUID(ObjectID device) override;
    std::optional<QString> deviceName(ObjectID device) override;
    std::optional<ObjectID> device(const QString& uid) override;
    int outputChannels(ObjectID device) override;
    Clock clock() override;
    Status createTap(const QString& uid, uint32_t bufferFrames, ObjectID& tap) override;
    int tapChannels(ObjectID tap) override;
    Status createAggregate(ObjectID tap, const QString& outputUID, ObjectID& aggregate) override;
    void destroyAggregate(ObjectID aggregate) override;
    void destroyTap(ObjectID tap) override;
    QRAudioDevice* ioDevice(ObjectID aggregate) override;
    uint32_t bufferFrames(ObjectID aggregate) override;
    int channelCount(ObjectID aggregate, bool input) override;
    std::optional<uint32_t> latencyFrames(ObjectID aggregate) override;
    uint64_t overloads(ObjectID aggregate) override;
    std::optional<bool> isSourceRunning(ObjectID tap) override;
    QString serverDefaultSink() override;
    bool setServerDefaultSink(const QString& uid) override;
    std::unique_ptr<Listener> listen(Event event, std::function<void()> handler) override;
    std::unique_ptr<Listener> listenForSource(ObjectID tap, std::function<void()> handler) override;
    std::optional<bool> isRealtime(ObjectID aggregate) override;
    std::optional<double> graphRate(ObjectID aggregate) override;
    std::unique_ptr<Listener> listenForRate(ObjectID aggregate, std::function<void()> handler) override;
    std::unique_ptr<Listener> listenForFault(ObjectID aggregate, std::function<void(Fault)> handler) override;

private:
    class Session;
    class EventListener;
    class FaultWatch;
    class ChangeWatch;

    // The connection, made (again) when needed; throws "Could not read audio property" when no
    // server answers. Callers hold the pointer while they use it: the backend may replace a
    // connection that stopped answering at any time.
    std::shared_ptr<pipewire::PipeWireContext> context();
    std::shared_ptr<pipewire::PipeWireContext> connectedContext(int& error);
    // The capture of a tap or aggregate id, held while the caller uses it: the engine's worker
    // ends it (destroyTap) while the main thread may be watching it.
    std::shared_ptr<Session> session(ObjectID id);
    // No session manager runs, or one of our sinks waits for a new one to take it over.
    bool isChangingSessionManager();

    std::mutex mutex_;
    std::shared_ptr<pipewire::PipeWireContext> context_;
    std::map<ObjectID, std::shared_ptr<Session>> sessions_;  // by tap id; aggregate id = tap id + 1
    ObjectID nextID_ = 2;
};

}  // namespace quorel
