#include "PipeWireAudioBackend.h"

#include "AudioFailure.h"
#include "HAL.h"
#include "HALListener.h"
#include "L10n.h"
#include "PulseSnapshot.h"
#include "VolumeMirror.h"
#include "ChainFilter.h"
#include "GraphPath.h"
#include "OutputGrace.h"
#include "PipeWireContext.h"
#include "SessionManagerHandOver.h"
#include "QueuedCall.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace quorel {

namespace {

AudioFailure readFailure(uint32_t selector, int error)
{
    return AudioFailure::localized(LocalizedMessage("Could not read audio property ({0}, {1}).",
                                                    {HAL::describe(selector), HAL::describe(uint32_t(error))}));
}

AudioBackend::Status streamStatus(int error)
{
    return error == -EACCES || error == -EPERM ? status::illegalOperation : AudioBackend::Status(error);
}

}  // namespace

// ---- One capture: the virtual sink, the filter that runs the chain, and the links to the
// output device, all inside the server's graph.

class PipeWireAudioBackend::Session : public QRAudioDevice {
public:
    // How long the output device may be away while a session manager runs before the capture
    // ends.
    static constexpr std::chrono::milliseconds outputGrace{3000};

    Session(std::shared_ptr<pipewire::PipeWireContext> context, uint32_t requestedFrames)
        : context_(std::move(context)), requestedFrames_(requestedFrames)
    {
    }

    ~Session() override { close(); }

    // Stops and removes everything this capture made on the server. The object may outlive
    // it a moment in a call from another thread, which then finds nothing to do.
    void close()
    {
        std::unique_ptr<VolumeMirror> volume;
        std::lock_guard lock(mutex_);
        stopLocked();
        volume = std::move(volume_);
        playing_ = false;
        handOver_.reset();  // its links, then the path they join
        path_.reset();
    }

    QString uid() const
    {
        std::lock_guard lock(mutex_);
        return path_ ? QString::fromStdString(path_->sinkName()) : QString();
    }
    const std::shared_ptr<pipewire::PipeWireContext>& context() const { return context_; }

    // Before the session is shared.
    int createSink(const QString& uid)
    {
        std::lock_guard lock(mutex_);
        int error = 0;
        pipewire::GraphPath::Options options;
        options.sinkName = uid.toStdString();
        options.description = "Quorel";
        options.rate = context_->clockRate();
        options.latencyFrames = requestedFrames_;
        path_ = pipewire::GraphPath::create(*context_, options, error);
        if (!path_) return error ? error : -EIO;
        handOver_ = std::make_unique<pipewire::SessionManagerHandOver>(*context_, *path_, outputGrace);
        handOver_->sinkMade();
        return 0;
    }

    // The engine's worker, as are the IO proc's calls below. The volume's mirror, which may wait
    // a moment for the server, is made and let go outside the lock, so a watch on the main
    // thread never waits for it.
    int createPlayback(const QString& outputUID)
    {
        QString sinkName;
        {
            std::lock_guard lock(mutex_);
            if (!path_) return -ENODEV;
            const int result = path_->connectOutput(outputUID.toStdString());
            playing_ = result == 0;
            if (!playing_) return result;
            sinkName = QString::fromStdString(path_->sinkName());
        }
        auto volume = std::make_unique<VolumeMirror>(sinkName, outputUID);
        std::lock_guard lock(mutex_);
        volume_.swap(volume);
        return 0;
    }

    void destroyPlayback()
    {
        std::unique_ptr<VolumeMirror> volume;
        std::lock_guard lock(mutex_);
        stopLocked();
        volume = std::move(volume_);
        if (path_) path_->disconnectOutput();
        playing_ = false;
    }

    bool hasPlayback() const
    {
        std::lock_guard lock(mutex_);
        return playing_;
    }
    uint32_t inputChannels() const { return pipewire::ChainFilter::channels; }
    uint32_t outputChannels() const
    {
        std::lock_guard lock(mutex_);
        return path_ ? path_->outputChannels() : 0;
    }
    uint64_t overloads() const
    {
        std::lock_guard lock(mutex_);
        return path_ ? path_->filter().missedCycles() : 0;
    }

    // Once running, the size of the first cycle that ran (what the server settled on, which
    // may differ from what was asked for). The graph runs only while something plays: until
    // then, the size the server forces, else what was asked for.
    uint32_t bufferFrames()
    {
        const pipewire::ChainFilter* filter = runningFilter();
        if (!filter) return requestedFrames_;
        waitForFirstCycle(*filter);
        const uint32_t observed = filter->firstCycleFrames();
        if (observed > 0) return observed;
        const uint32_t forced = context_->forcedQuantum();
        return forced > 0 ? forced : requestedFrames_;
    }

    // The real-time module raises the thread just after starting it: look again for a moment.
    std::optional<bool> isRealtime()
    {
        const pipewire::ChainFilter* filter = runningFilter();
        if (filter) waitForFirstCycle(*filter);
        std::optional<bool> realtime = context_->realtimeThread();
        for (int i = 0; i < 10 && filter && realtime != true; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            realtime = context_->realtimeThread();
        }
        return realtime;
    }

    // Main thread, after the server told of a change: links the server dropped are made again;
    // a fault that ends this capture, if one happened.
    std::optional<Fault> watch()
    {
        std::lock_guard lock(mutex_);
        if (!context_->isConnected()) return Fault::connectionLost;
        if (!playing_ || !path_) return std::nullopt;
        if (path_->filter().isBroken() || path_->isSinkGone()) return Fault::streamFailed;
        // The output device is gone once it stays away (see OutputGrace).
        if (outputGrace_.isOver(context_->nodeNamed(path_->target()).has_value(), context_->hasSessionManager(),
                                context_->sessionManagerCount(), pipewire::OutputGrace::Clock::now()))
            return Fault::outputGone;
        if (!handOver_->check()) return Fault::streamFailed;
        return std::nullopt;
    }

    // A session manager started since our sink was made, and has not taken over a new one yet.
    bool awaitsManager() const
    {
        std::lock_guard lock(mutex_);
        return awaitsManagerLocked();
    }

    // How long until a check is due though the server tells of nothing: the rest of the output
    // device's grace while it is away, and a moment while a restarted session manager has not
    // taken our sink over (see SessionManagerHandOver).
    std::optional<std::chrono::milliseconds> nextCheckIn() const
    {
        using namespace std::chrono;
        std::lock_guard lock(mutex_);
        std::optional<milliseconds> next = outputGrace_.remaining(pipewire::OutputGrace::Clock::now());
        constexpr milliseconds handOverCheck = pipewire::SessionManagerHandOver::checkPause;
        if (playing_ && awaitsManagerLocked()) next = std::min(next.value_or(handOverCheck), handOverCheck);
        return next;
    }

    // The rate the filter's latest cycle ran at; 0 before the first.
    uint32_t graphRate() const
    {
        std::lock_guard lock(mutex_);
        return path_ ? path_->filter().graphRate() : 0;
    }

    std::optional<uint32_t> latencyFrames() const
    {
        std::lock_guard lock(mutex_);
        const uint32_t frames = path_ ? path_->filter().downstreamLatencyFrames() : 0;
        if (frames == 0) return std::nullopt;
        return frames;
    }

    // QRAudioDevice
    Status createIOProc(IOProc proc, void* context, uint64_t& procID) override
    {
        std::lock_guard lock(mutex_);
        assert(!running_ && "an IO proc is made while none runs");
        if (!path_ || !playing_) return -ENODEV;
        ioProc_ = std::make_unique<IOProcRecord>(IOProcRecord{proc, context});
        procID = 1;
        return 0;
    }

    Status startIOProc(uint64_t) override
    {
        std::lock_guard lock(mutex_);
        if (!ioProc_ || !ioProc_->proc) return -EINVAL;
        if (!path_) return -ENODEV;
        if (running_) return 0;
        pipewire::ChainFilter& filter = path_->filter();
        filter.reset();
        filter.setProcessor(&Session::process, ioProc_.get(), path_->outputChannels());
        const int result = filter.setActive(true);
        if (result < 0) {
            halt();
            return result;
        }
        running_ = true;
        return 0;
    }

    void stopIOProc(uint64_t) override
    {
        std::lock_guard lock(mutex_);
        stopLocked();
    }

    void destroyIOProc(uint64_t) override
    {
        std::lock_guard lock(mutex_);
        // No cycle may still call it: stopIOProc came first.
        assert(!running_ && "an IO proc is destroyed while it runs");
        ioProc_.reset();
    }

private:
    // What the filter's cycles call, made off the real-time thread and never changed while
    // published: the procedure and its context as one value.
    struct IOProcRecord {
        IOProc proc;
        void* context;
    };

    bool awaitsManagerLocked() const { return handOver_ && handOver_->awaitsManager(); }

    void stopLocked()
    {
        if (running_) halt();
    }

    // The filter while the IO proc runs, else null. The filter lives as long as the session.
    const pipewire::ChainFilter* runningFilter() const
    {
        std::lock_guard lock(mutex_);
        return running_ && path_ ? &path_->filter() : nullptr;
    }

    // Waits a moment for the first cycle after a start: it comes at once while something plays;
    // while nothing does, the graph stays stopped.
    static void waitForFirstCycle(const pipewire::ChainFilter& filter)
    {
        for (int i = 0; i < 30 && filter.firstCycleFrames() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    // The filter paused and no real-time callback left that could still reach the IO proc
    // (setProcessor returns once none runs the one it replaces).
    void halt()
    {
        running_ = false;
        if (!path_) return;
        path_->filter().setActive(false);
        path_->filter().setProcessor(nullptr, nullptr, path_->outputChannels());
    }

    // Real-time thread: one slice of planar channels in, one out.
    static void process(void* context, const float* const* input, uint32_t inputChannels, float* const* output,
                        uint32_t outputChannels, uint32_t frames, bool resumed)
    {
        const auto* record = static_cast<const IOProcRecord*>(context);
        AudioBufferList in;
        in.numberBuffers = inputChannels;
        for (uint32_t c = 0; c < inputChannels; ++c)
            in.buffers[c] = AudioBuffer{1, frames * uint32_t(sizeof(float)), const_cast<float*>(input[c])};
        AudioBufferList out;
        out.numberBuffers = outputChannels;
        for (uint32_t c = 0; c < outputChannels; ++c)
            out.buffers[c] = AudioBuffer{1, frames * uint32_t(sizeof(float)), output[c]};
        record->proc(record->context, &in, &out, resumed);
    }

    // Shared with the backend: the connection outlives the objects made on it, even when the
    // backend replaces a connection that stopped answering.
    const std::shared_ptr<pipewire::PipeWireContext> context_;
    const uint32_t requestedFrames_;
    // Guards everything below: the engine's worker makes, starts and ends the capture while
    // the main thread watches it.
    mutable std::mutex mutex_;
    std::unique_ptr<pipewire::GraphPath> path_;
    std::unique_ptr<pipewire::SessionManagerHandOver> handOver_;
    bool playing_ = false;
    // While the path plays: our sink's volume and mute are the output device's (one volume).
    std::unique_ptr<VolumeMirror> volume_;
    pipewire::OutputGrace outputGrace_{outputGrace};  // whether the output device is gone
    std::unique_ptr<IOProcRecord> ioProc_;            // never changed while the filter may call it
    bool running_ = false;
};

// ---- Listener handle

class PipeWireAudioBackend::EventListener : public AudioBackend::Listener {
public:
    explicit EventListener(std::unique_ptr<HALListener> listener) : listener_(std::move(listener)) {}

private:
    std::unique_ptr<HALListener> listener_;
};

// ---- Fault watch: checks the session's streams and connection from the main thread whenever
// the server tells of a change (its registry, the "default" metadata, the connection, our own
// objects' states), once the output device's grace is over, and every 100 ms only while a
// restarted session manager takes our sink over. Nothing else is polled: with nothing
// playing and nothing changing, it costs nothing.

class PipeWireAudioBackend::FaultWatch : public AudioBackend::Listener {
public:
    FaultWatch(PipeWireAudioBackend& backend, ObjectID aggregate, std::shared_ptr<pipewire::PipeWireContext> context,
               std::function<void(Fault)> handler)
        : backend_(backend), aggregate_(aggregate), context_(std::move(context)), handler_(std::move(handler))
    {
        assert(QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread()
               && "the fault watch checks on the main thread");
        later_.setSingleShot(true);
        QObject::connect(&later_, &QTimer::timeout, [this] { check(); });
        // Loop thread: at most one check waits on the main thread, however many changes come.
        changes_ = context_->addChangeHandler([this] { post(); });
        post();
    }

    ~FaultWatch() override { context_->removeChangeHandler(changes_); }

private:
    // Any thread. Queued on `receiver_`, so a check still waiting when the watch goes is dropped.
    void post()
    {
        if (pending_.exchange(true)) return;
        queuedCall(&receiver_, [this] {
            pending_ = false;
            check();
        });
    }

    void check()
    {
        if (done_) return;
        const std::shared_ptr<Session> s = backend_.session(aggregate_);
        const std::optional<Fault> fault = s ? s->watch() : std::optional<Fault>(Fault::streamFailed);
        if (!fault) {
            // Looked at again when the output device's grace is over, or soon while a restarted
            // session manager takes our sink over.
            if (const std::optional<std::chrono::milliseconds> next = s->nextCheckIn())
                later_.start(int(next->count()) + 1);
            return;
        }
        done_ = true;
        later_.stop();
        // Told from the event loop: the handler may release this watch.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [handler = handler_, fault = *fault] { handler(fault); },
            Qt::QueuedConnection);
    }

    PipeWireAudioBackend& backend_;
    ObjectID aggregate_;
    std::shared_ptr<pipewire::PipeWireContext> context_;
    std::function<void(Fault)> handler_;
    QTimer later_;  // a check due without news from the server
    QObject receiver_;
    std::atomic<bool> pending_{false};
    uint64_t changes_ = 0;
    bool done_ = false;
};

// ---- Change watch: tells the main thread, at most one call waiting there however many changes
// come, after the server told of a change (a cycle at a new rate is one, see ChainFilter); with a
// `state`, only when what it reads of the context differs from what it read last.

class PipeWireAudioBackend::ChangeWatch : public AudioBackend::Listener {
public:
    using State = std::function<std::string(const pipewire::PipeWireContext&)>;

    ChangeWatch(std::shared_ptr<pipewire::PipeWireContext> context, std::function<void()> handler, State state = {})
        : context_(std::move(context)), handler_(std::move(handler)), state_(std::move(state)),
          seen_(state_ ? state_(*context_) : std::string())
    {
        assert(QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread()
               && "the change watch tells the main thread");
        // Loop thread: the handlers run with the loop's (recursive) lock held.
        changes_ = context_->addChangeHandler([this] {
            if (state_) {
                std::string now = state_(*context_);
                if (now == seen_) return;
                seen_ = std::move(now);
            }
            if (pending_.exchange(true)) return;
            queuedCall(&receiver_, [this] {
                pending_ = false;
                handler_();
            });
        });
    }

    ~ChangeWatch() override { context_->removeChangeHandler(changes_); }

private:
    std::shared_ptr<pipewire::PipeWireContext> context_;
    std::function<void()> handler_;
    State state_;
    std::string seen_;  // on the loop's thread once watching
    QObject receiver_;  // a call still waiting when the watch goes is dropped
    std::atomic<bool> pending_{false};
    uint64_t changes_ = 0;
};

// ---- Backend

PipeWireAudioBackend::PipeWireAudioBackend() = default;

PipeWireAudioBackend::~PipeWireAudioBackend() { sessions_.clear(); }

std::shared_ptr<pipewire::PipeWireContext> PipeWireAudioBackend::connectedContext(int& error)
{
    std::lock_guard lock(mutex_);
    error = 0;
    if (context_ && sessions_.empty() && !context_->sync(1000)) context_.reset();
    if (!context_) {
        context_ = pipewire::PipeWireContext::connect(error);
        if (!context_) return nullptr;
    }
    return context_;
}

std::shared_ptr<pipewire::PipeWireContext> PipeWireAudioBackend::context()
{
    int error = 0;
    std::shared_ptr<pipewire::PipeWireContext> context = connectedContext(error);
    if (!context) throw readFailure(HAL::selector::defaultOutputDevice, status::notRunning);
    return context;
}

std::shared_ptr<PipeWireAudioBackend::Session> PipeWireAudioBackend::session(ObjectID id)
{
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(id);
    if (it == sessions_.end()) it = sessions_.find(id - 1);
    return it == sessions_.end() ? nullptr : it->second;
}

AudioBackend::ObjectID PipeWireAudioBackend::defaultOutputDevice() { return HAL::defaultOutputDevice(); }

QString PipeWireAudioBackend::deviceUID(ObjectID device)
{
    return HAL::string(device, HAL::selector::deviceUID, HAL::scope::global);
}

std::optional<QString> PipeWireAudioBackend::deviceName(ObjectID device)
{
    try {
        return HAL::string(device, HAL::selector::name, HAL::scope::global);
    } catch (const AudioFailure&) {
        return std::nullopt;
    }
}

std::optional<AudioBackend::ObjectID> PipeWireAudioBackend::device(const QString& uid) { return HAL::device(uid); }

int PipeWireAudioBackend::outputChannels(ObjectID device) { return HAL::channelCount(device, HAL::scope::output); }

AudioBackend::Clock PipeWireAudioBackend::clock()
{
    int error = 0;
    const std::shared_ptr<pipewire::PipeWireContext> pw = connectedContext(error);
    if (!pw) throw readFailure(HAL::selector::nominalSampleRate, status::notRunning);
    // A rate the server forces is the one every graph runs at.
    const uint32_t forced = pw->forcedRate();
    return Clock{double(forced > 0 ? forced : pw->clockRate()), pw->minimumQuantum(), pw->maximumQuantum()};
}

AudioBackend::Status PipeWireAudioBackend::createTap(const QString& uid, uint32_t bufferFrames, ObjectID& tap)
{
    int error = 0;
    std::shared_ptr<pipewire::PipeWireContext> pw = connectedContext(error);
    if (!pw) return streamStatus(error);
    // Two sinks under one name would be one to the session manager. Synced first: a sink of
    // ours destroyed just before is gone from the snapshot by then.
    pw->sync();
    if (pw->nodeNamed(uid.toStdString())) return -EEXIST;
    auto session = std::make_shared<Session>(std::move(pw), bufferFrames);
    const int result = session->createSink(uid);
    if (result != 0) return streamStatus(result);
    std::lock_guard lock(mutex_);
    tap = nextID_;
    nextID_ += 2;
    sessions_[tap] = std::move(session);
    return 0;
}

int PipeWireAudioBackend::tapChannels(ObjectID tap)
{
    const std::shared_ptr<Session> s = session(tap);
    return s ? int(s->inputChannels()) : 0;
}

AudioBackend::Status PipeWireAudioBackend::createAggregate(ObjectID tap, const QString& outputUID, ObjectID& aggregate)
{
    const std::shared_ptr<Session> s = session(tap);
    if (!s) return -ENOENT;
    const int result = s->createPlayback(outputUID);
    if (result != 0) return streamStatus(result);
    aggregate = tap + 1;
    return 0;
}

void PipeWireAudioBackend::destroyAggregate(ObjectID aggregate)
{
    if (const std::shared_ptr<Session> s = session(aggregate)) s->destroyPlayback();
}

void PipeWireAudioBackend::destroyTap(ObjectID tap)
{
    std::shared_ptr<Session> gone;
    {
        std::lock_guard lock(mutex_);
        auto it = sessions_.find(tap);
        if (it == sessions_.end()) return;
        gone = std::move(it->second);
        sessions_.erase(it);
    }
    // Gone from the server on return, though a call from another thread may still hold it.
    gone->close();
}

QRAudioDevice* PipeWireAudioBackend::ioDevice(ObjectID aggregate)
{
    // Used by the worker that ends the capture (destroyAggregate, destroyTap), never after.
    const std::shared_ptr<Session> s = session(aggregate);
    return s && s->hasPlayback() ? s.get() : nullptr;
}

uint32_t PipeWireAudioBackend::bufferFrames(ObjectID aggregate)
{
    const std::shared_ptr<Session> s = session(aggregate);
    return s ? s->bufferFrames() : 0;
}

int PipeWireAudioBackend::channelCount(ObjectID aggregate, bool input)
{
    const std::shared_ptr<Session> s = session(aggregate);
    if (!s) return 0;
    return int(input ? s->inputChannels() : s->outputChannels());
}

std::optional<uint32_t> PipeWireAudioBackend::latencyFrames(ObjectID aggregate)
{
    const std::shared_ptr<Session> s = session(aggregate);
    return s ? s->latencyFrames() : std::nullopt;
}

uint64_t PipeWireAudioBackend::overloads(ObjectID aggregate)
{
    const std::shared_ptr<Session> s = session(aggregate);
    return s ? s->overloads() : 0;
}

std::optional<bool> PipeWireAudioBackend::isSourceRunning(ObjectID tap)
{
    const std::shared_ptr<Session> s = session(tap);
    if (!s) return std::nullopt;
    // Our virtual sink is a sink of the sound server like any other: is a stream playing into it?
    const std::optional<HAL::ObjectID> sink = HAL::device(s->uid());
    if (!sink) return std::nullopt;
    try {
        return HAL::get<uint32_t>(*sink, HAL::address(HAL::selector::runningSomewhere, HAL::scope::global, 0)) != 0;
    } catch (const AudioFailure&) {
        return std::nullopt;
    }
}

QString PipeWireAudioBackend::serverDefaultSink()
{
    const std::shared_ptr<pipewire::PipeWireContext> pw = context();
    // Read afresh: the snapshot follows change events, which a session manager that was stopped
    // for a while can stop sending.
    pw->refreshDefaults();
    const std::string configured = pw->configuredDefaultSink();
    return QString::fromStdString(configured.empty() ? pw->defaultSink() : configured);
}

bool PipeWireAudioBackend::setServerDefaultSink(const QString& uid)
{
    const std::shared_ptr<pipewire::PipeWireContext> pw = context();
    const std::string name = uid.toStdString();
    if (!pw->setConfiguredDefaultSink(name)) return false;
    // Wait until the session manager has followed, so the change is in effect on return. Change
    // events normally tell; every tenth of a second the default is also read afresh, as they may
    // not come (see refreshDefaults).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (int i = 1;; ++i) {
        if (pw->defaultSink() == name) return true;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (i % 10 == 0) pw->refreshDefaults(250);
    }
    pw->refreshDefaults();
    return pw->defaultSink() == name;
}

std::optional<bool> PipeWireAudioBackend::isRealtime(ObjectID aggregate)
{
    const std::shared_ptr<Session> s = session(aggregate);
    if (!s) return std::nullopt;
    const std::optional<bool> realtime = s->isRealtime();
    // Said once per process: processing runs on, but may drop out on a busy system.
    static std::atomic<bool> told{false};
    if (realtime == false && !told.exchange(true)) {
        const QString text =
            L10n::render("The audio thread runs without real-time priority; the sound may drop out while the "
                         "system is busy.",
                         {}, L10n::language());
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    }
    return realtime;
}

std::unique_ptr<AudioBackend::Listener> PipeWireAudioBackend::listenForFault(ObjectID aggregate,
                                                                             std::function<void(Fault)> handler)
{
    const std::shared_ptr<Session> s = session(aggregate);
    if (!handler || !s) return nullptr;
    return std::make_unique<FaultWatch>(*this, aggregate, s->context(), std::move(handler));
}

std::optional<double> PipeWireAudioBackend::graphRate(ObjectID aggregate)
{
    const std::shared_ptr<Session> s = session(aggregate);
    const uint32_t rate = s ? s->graphRate() : 0;
    if (rate == 0) return std::nullopt;
    return double(rate);
}

std::unique_ptr<AudioBackend::Listener> PipeWireAudioBackend::listenForRate(ObjectID aggregate,
                                                                            std::function<void()> handler)
{
    const std::shared_ptr<Session> s = session(aggregate);
    if (!handler || !s) return nullptr;
    return std::make_unique<ChangeWatch>(s->context(), std::move(handler));
}

std::unique_ptr<AudioBackend::Listener> PipeWireAudioBackend::listenForSource(ObjectID tap,
                                                                              std::function<void()> handler)
{
    const std::shared_ptr<Session> s = session(tap);
    if (!s) return nullptr;
    // The same snapshot isSourceRunning reads: what it tells is in place when the handler runs.
    const std::optional<HAL::ObjectID> sink = HAL::device(s->uid());
    if (!sink) return nullptr;
    auto listener = HALListener::create(*sink, HAL::address(HAL::selector::runningSomewhere, HAL::scope::global, 0),
                                        std::move(handler));
    if (!listener) return nullptr;
    return std::make_unique<EventListener>(std::move(listener));
}

bool PipeWireAudioBackend::isChangingSessionManager()
{
    std::lock_guard lock(mutex_);
    if (context_ && context_->isConnected() && !context_->hasSessionManager()) return true;
    return std::any_of(sessions_.begin(), sessions_.end(), [](const auto& s) { return s.second->awaitsManager(); });
}

std::unique_ptr<AudioBackend::Listener> PipeWireAudioBackend::listen(Event event, std::function<void()> handler)
{
    if (event == Event::serverDefault) {
        // Watched on the connection a run uses; none is made for it (the main thread must not
        // wait for a server).
        std::shared_ptr<pipewire::PipeWireContext> pw;
        {
            std::lock_guard lock(mutex_);
            pw = context_;
        }
        if (!pw || !pw->isConnected() || !handler) return nullptr;
        // The "default" metadata naming another sink, configured or in effect.
        return std::make_unique<ChangeWatch>(
            std::move(pw),
            [this, handler = std::move(handler)] {
                if (!isChangingSessionManager()) handler();
            },
            [](const pipewire::PipeWireContext& context) {
                return context.configuredDefaultSink() + '\n' + context.defaultSink();
            });
    }
    const uint32_t selector =
        event == Event::defaultOutput ? HAL::selector::defaultOutputDevice : HAL::selector::devices;
    // A session manager that stops takes the devices it made along and brings them back when it
    // starts again: nothing to follow until the new one has taken our sink over (the fault watch
    // gives the output device a moment to come back).
    auto listener = HALListener::create(HAL::systemObject, HAL::address(selector, HAL::scope::global, 0),
                                        [this, handler = std::move(handler)] {
                                            if (!isChangingSessionManager()) handler();
                                        });
    if (!listener) return nullptr;
    return std::make_unique<EventListener>(std::move(listener));
}

}  // namespace quorel
