#include "SimulatedAudioBackend.h"

#include <utility>
#include <algorithm>
#include <cerrno>

#include "AudioFailure.h"

namespace quorel::test {

class SimulatedAudioBackend::SimulatedListener : public AudioBackend::Listener {
public:
    SimulatedListener(SimulatedAudioBackend& backend, int id) : backend_(backend), id_(id) {}
    ~SimulatedListener() override
    {
        std::lock_guard lock(backend_.mutex_);
        backend_.listeners_.erase(id_);
        backend_.sourceListeners_.erase(id_);
    }

private:
    SimulatedAudioBackend& backend_;
    int id_;
};

void SimulatedAudioBackend::note(const QString& entry)
{
    std::lock_guard lock(mutex_);
    log_.append(entry);
}

QStringList SimulatedAudioBackend::log() const
{
    std::lock_guard lock(mutex_);
    return log_;
}

bool SimulatedAudioBackend::logContains(const QString& prefix) const
{
    for (const QString& entry : log())
        if (entry.startsWith(prefix)) return true;
    return false;
}

void SimulatedAudioBackend::release()
{
    std::lock_guard lock(mutex_);
    holdCapture = false;
    holdDefaultChanges = false;
    released_.notify_all();
}

bool SimulatedAudioBackend::waitingInCapture() const
{
    std::lock_guard lock(mutex_);
    return waiting_;
}

bool SimulatedAudioBackend::waitingInDefaultChange() const
{
    std::lock_guard lock(mutex_);
    return waitingDefault_;
}

AudioBackend::ObjectID SimulatedAudioBackend::defaultOutputDevice()
{
    if (!serverRunning) throw AudioFailure::localized(LocalizedMessage("The sound server is not running."));
    if (!defaultDevice) throw AudioFailure::localized(LocalizedMessage("No default audio output."));
    return *defaultDevice;
}

QString SimulatedAudioBackend::deviceUID(ObjectID device)
{
    const auto it = devices.find(device);
    if (it == devices.end())
        throw AudioFailure::localized(LocalizedMessage("Could not read audio text ({0}, {1}).", {"'uid '", "'!obj'"}));
    return it->second.uid;
}

std::optional<QString> SimulatedAudioBackend::deviceName(ObjectID device)
{
    const auto it = devices.find(device);
    return it == devices.end() ? std::nullopt : it->second.name;
}

std::optional<AudioBackend::ObjectID> SimulatedAudioBackend::device(const QString& uid)
{
    for (const auto& [id, d] : devices)
        if (d.uid == uid) return id;
    return std::nullopt;
}

int SimulatedAudioBackend::outputChannels(ObjectID device)
{
    const auto it = devices.find(device);
    return it == devices.end() ? 0 : it->second.channels;
}

AudioBackend::Status SimulatedAudioBackend::createTap(const QString& uid, uint32_t bufferFrames, ObjectID& tap)
{
    {
        std::unique_lock lock(mutex_);
        waiting_ = holdCapture;
        released_.wait(lock, [this] { return !holdCapture; });
        waiting_ = false;
        requested_ = bufferFrames;
        tapUID_ = uid;
    }
    note("createTap " + uid);
    std::lock_guard lock(mutex_);
    if (takenNames.count(uid) > 0 || std::find(liveTaps_.begin(), liveTaps_.end(), uid) != liveTaps_.end())
        return -EEXIST;
    if (tapStatus == 0) {
        tap = tapID;
        liveTaps_.push_back(uid);
    }
    return tapStatus;
}

AudioBackend::Status SimulatedAudioBackend::createAggregate(ObjectID, const QString& outputUID, ObjectID& aggregate)
{
    note("createAggregate " + outputUID);
    if (aggregateStatus == 0) aggregate = 200;
    return aggregateStatus;
}

void SimulatedAudioBackend::destroyAggregate(ObjectID) { note("destroyAggregate"); }
void SimulatedAudioBackend::destroyTap(ObjectID)
{
    note("destroyTap");
    std::lock_guard lock(mutex_);
    if (!liveTaps_.empty()) liveTaps_.pop_front();  // the runs end in the order they began
}

QString SimulatedAudioBackend::serverDefaultSink()
{
    std::lock_guard lock(mutex_);
    return serverDefault;
}

bool SimulatedAudioBackend::setServerDefaultSink(const QString& uid)
{
    std::unique_lock lock(mutex_);
    waitingDefault_ = holdDefaultChanges;
    released_.wait(lock, [this] { return !holdDefaultChanges; });
    waitingDefault_ = false;
    log_.append("setDefault " + uid);
    if (refuseDefaultChanges > 0) {
        --refuseDefaultChanges;
        return false;
    }
    serverDefault = uid;
    if (!takenBackTo.isEmpty() && uid.startsWith("local.quorel.aggregate."))
        serverDefault = std::exchange(takenBackTo, {});
    return true;
}

std::unique_ptr<AudioBackend::Listener> SimulatedAudioBackend::listen(Event event, std::function<void()> handler)
{
    std::lock_guard lock(mutex_);
    const int id = nextListener_++;
    listeners_[id] = {event, std::move(handler)};
    return std::make_unique<SimulatedListener>(*this, id);
}

class SimulatedAudioBackend::FaultListener : public AudioBackend::Listener {
public:
    FaultListener(SimulatedAudioBackend& backend, int id) : backend_(backend), id_(id) {}
    ~FaultListener() override
    {
        std::lock_guard lock(backend_.mutex_);
        backend_.faultListeners_.erase(id_);
    }

private:
    SimulatedAudioBackend& backend_;
    int id_;
};

std::unique_ptr<AudioBackend::Listener> SimulatedAudioBackend::listenForFault(ObjectID,
                                                                              std::function<void(Fault)> handler)
{
    std::lock_guard lock(mutex_);
    const int id = nextListener_++;
    faultHandlersGiven.push_back(handler);
    faultListeners_[id] = std::move(handler);
    return std::make_unique<FaultListener>(*this, id);
}

void SimulatedAudioBackend::fault(Fault fault)
{
    std::vector<std::function<void(Fault)>> handlers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, handler] : faultListeners_) handlers.push_back(handler);
    }
    for (const auto& handler : handlers) handler(fault);
}

int SimulatedAudioBackend::faultListenerCount() const
{
    std::lock_guard lock(mutex_);
    return int(faultListeners_.size());
}

void SimulatedAudioBackend::fire(Event event)
{
    std::vector<std::function<void()>> handlers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, entry] : listeners_)
            if (entry.first == event) handlers.push_back(entry.second);
    }
    for (const auto& h : handlers) h();
}

std::unique_ptr<AudioBackend::Listener> SimulatedAudioBackend::listenForSource(ObjectID, std::function<void()> handler)
{
    if (!tellsSourceChanges) return nullptr;
    std::lock_guard lock(mutex_);
    const int id = nextListener_++;
    sourceListeners_[id] = std::move(handler);
    return std::make_unique<SimulatedListener>(*this, id);
}

void SimulatedAudioBackend::setSourceRunning(std::optional<bool> running)
{
    if (running == sourceRunning) return;
    sourceRunning = running;
    std::vector<std::function<void()>> handlers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, handler] : sourceListeners_) handlers.push_back(handler);
    }
    for (const auto& h : handlers) h();
}

int SimulatedAudioBackend::sourceListenerCount() const
{
    std::lock_guard lock(mutex_);
    return int(sourceListeners_.size());
}

int SimulatedAudioBackend::listenerCount() const
{
    std::lock_guard lock(mutex_);
    return int(listeners_.size());
}

quorel::Status SimulatedAudioBackend::createIOProc(IOProc proc, void* context, uint64_t& procID)
{
    note("createIOProc");
    if (ioCreateStatus != 0) return ioCreateStatus;
    proc_ = proc;
    procContext_ = context;
    procID = 1;
    return 0;
}

quorel::Status SimulatedAudioBackend::startIOProc(uint64_t)
{
    note("startIO");
    started_ = ioStartStatus == 0;
    return ioStartStatus;
}

void SimulatedAudioBackend::stopIOProc(uint64_t)
{
    note("stopIO");
    started_ = false;
}

void SimulatedAudioBackend::destroyIOProc(uint64_t)
{
    note("destroyIOProc");
    proc_ = nullptr;
}

std::vector<float> SimulatedAudioBackend::runCycle(uint32_t frames, float value)
{
    std::vector<float> in(size_t(frames) * 2, value), out(size_t(frames) * 2, 9.0f);
    AudioBufferList inList;
    inList.numberBuffers = 1;
    inList.buffers[0] = AudioBuffer{2, uint32_t(in.size() * sizeof(float)), in.data()};
    AudioBufferList outList;
    outList.numberBuffers = 1;
    outList.buffers[0] = AudioBuffer{2, uint32_t(out.size() * sizeof(float)), out.data()};
    if (proc_) proc_(procContext_, &inList, &outList, false);
    return out;
}

}  // namespace quorel::test
