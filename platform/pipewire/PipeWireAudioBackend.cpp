#include "PipeWireAudioBackend.h"

#include "AudioFailure.h"
#include "HAL.h"
#include "HALListener.h"
#include "L10n.h"
#include "PulseSnapshot.h"
#include "VolumeMirror.h"
#include "ChainFilter.h"
#include "GraphPath.h"
#include "PipeWireContext.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
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
    return AudioFailure::localized(
        LocalizedMessage("Could not read audio property ({0}, {1}).",
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
    // How long the output device may be away before the capture ends.
    static constexpr std::chrono::milliseconds outputGrace{3000};
    static constexpr std::chrono::milliseconds handOverCheck{100};
    // How long the hand-over waits for the new default to be told before it reads it afresh,
    // and again between such readings (each binds the metadata once more).
    static constexpr std::chrono::milliseconds freshDefaultsPause{300};

    Session(std::shared_ptr<pipewire::PipeWireContext> context, uint32_t requestedFrames)
        : context_(std::move(context)), requestedFrames_(requestedFrames)
    {
    }

    ~Session() override
    {
        stopIOProc(0);
        volume_.reset();
        path_.reset();
    }

    QString uid() const { return path_ ? QString::fromStdString(path_->sinkName()) : QString(); }
    const std::shared_ptr<pipewire::PipeWireContext>& context() const { return context_; }

    int createSink(const QString& uid)
    {
        int error = 0;
        pipewire::GraphPath::Options options;
        options.sinkName = uid.toStdString();
        options.description = "Quorel";
        options.rate = context_->clockRate();
        options.latencyFrames = requestedFrames_;
        path_ = pipewire::GraphPath::create(*context_, options, error);
        sinkManager_ = context_->sessionManagerCount();
        return path_ ? 0 : (error ? error : -EIO);
    }

    int createPlayback(const QString& outputUID)
    {
        if (!path_) return -ENODEV;
        const int result = path_->connectOutput(outputUID.toStdString());
        playing_ = result == 0;
        if (playing_) volume_ = std::make_unique<VolumeMirror>(uid(), outputUID);
        return result;
    }

    void destroyPlayback()
    {
        stopIOProc(0);
        volume_.reset();
        if (path_) path_->disconnectOutput();
        playing_ = false;
    }

    bool hasPlayback() const { return playing_; }
    uint32_t inputChannels() const { return pipewire::ChainFilter::channels; }
    uint32_t outputChannels() const { return path_ ? path_->outputChannels() : 0; }
    uint64_t overloads() const { return path_ ? path_->filter().missedCycles() : 0; }

    // Once running, the size of the first cycle that ran (what the server settled on, which
    // may differ from what was asked for). The graph runs only while something plays: until
    // then, the size the server forces, else what was asked for.
    uint32_t bufferFrames()
    {
        if (!running_) return requestedFrames_;
        waitForFirstCycle();
        const uint32_t observed = path_ ? path_->filter().firstCycleFrames() : 0;
        if (observed > 0) return observed;
        const uint32_t forced = context_->forcedQuantum();
        return forced > 0 ? forced : requestedFrames_;
    }

    // The real-time module raises the thread just after starting it: look again for a moment.
    std::optional<bool> isRealtime()
    {
        waitForFirstCycle();
        std::optional<bool> realtime = context_->realtimeThread();
        for (int i = 0; i < 10 && running_ && realtime != true; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            realtime = context_->realtimeThread();
        }
        return realtime;
    }

    // Main thread, after the server told of a change: links the server dropped are made again;
    // a fault that ends this capture, if one happened.
    std::optional<Fault> watch()
    {
        using Clock = std::chrono::steady_clock;
        if (!context_->isConnected()) return Fault::connectionLost;
        if (!playing_ || !path_) return std::nullopt;
        if (path_->filter().isBroken() || path_->isSinkGone()) return Fault::streamFailed;
        // The output device is gone once it stays away: a restarting session manager takes
        // the devices it made away for a moment and brings them back under the same names.
        if (!context_->nodeNamed(path_->target())) {
            if (!missingSince_) missingSince_ = Clock::now();
            if (Clock::now() - *missingSince_ >= outputGrace) return Fault::outputGone;
        } else {
            missingSince_.reset();
        }
        // A new session manager cannot take over our sink, which has carried sound, and links
        // nothing while it waits for it; the sink is held until the output device has been
        // configured for two checks in a row (the new one can then give a stream it looks at a
        // target), for the output's grace at most, dropped, and made anew under the same name
        // once the new one has chosen a default (GraphPath::renewSink), which it takes over and
        // links the applications to.
        const bool present = context_->hasSessionManager();
        const uint64_t count = context_->sessionManagerCount();
        const bool outputReady = [&] {
            const auto node = context_->nodeNamed(path_->target());
            return node && !pipewire::GraphPath::playbackPorts(context_->ports(node->id)).empty();
        }();
        const bool newManager = present && count != sinkManager_;
        // Whether our sink is the default, as long as the session manager that took it over
        // runs: what the next one should find again.
        if (present && !newManager && path_->hasSink()) {
            const std::string current = context_->defaultSink();
            if (!current.empty()) ownsDefault_ = current == path_->sinkName();
        }
        if (!newManager) heldSince_.reset();
        else if (!heldSince_) heldSince_ = Clock::now();
        readyChecks_ = newManager && outputReady ? readyChecks_ + 1 : 0;
        if (path_->hasSink() && (readyChecks_ >= 2 || (heldSince_ && Clock::now() - *heldSince_ >= outputGrace))) {
            path_->dropSink();
            freshDefaultsAt_ = Clock::now() + freshDefaultsPause;
        }
        // The change of default that follows the drop may never be told: the server tells the
        // listeners of the "default" metadata no change while another client's bind of it
        // waits for the session manager's answer (its own parts bind it as it starts), nor ever
        // again once a client went before that answer came. So it is read afresh now and then.
        if (!path_->hasSink() && !path_->isManagerSettled() && Clock::now() >= freshDefaultsAt_) {
            context_->refreshDefaults(int(handOverCheck.count()));
            freshDefaultsAt_ = Clock::now() + freshDefaultsPause;
        }
        if (!path_->hasSink() && path_->isManagerSettled()) {
            if (path_->renewSink() != 0) return Fault::streamFailed;
            sinkManager_ = count;
            reclaimDefault_ = ownsDefault_;
        }
        path_->relink();
        path_->keepApplicationsPlaying(present, count);
        // The new session manager keeps the default it settled on unless the choice it finds
        // stored names our sink: WirePlumber 0.5 stores a choice about a second after it was
        // made, so one restarted soon after processing started would leave the device the
        // default for good, and applications would play past Quorel. Once it has taken our new
        // sink over (its monitor is linked again), ours is made the default again, as it was.
        if (reclaimDefault_ && path_->isSinkLinked()) {
            reclaimDefault_ = false;
            if (context_->defaultSink() != path_->sinkName()) context_->setConfiguredDefaultSink(path_->sinkName());
        }
        return std::nullopt;
    }

    // Main thread: a session manager started since our sink was made, and has not taken over
    // a new one yet (see watch).
    bool awaitsManager() const
    {
        return path_ && (!path_->hasSink() || sinkManager_ != context_->sessionManagerCount());
    }

    // How long until a check is due though the server tells of nothing: the rest of the output
    // device's grace while it is away, and a tenth of a second while a restarted session manager
    // has not taken our sink over (the hand-over counts checks in a row).
    std::optional<std::chrono::milliseconds> nextCheckIn() const
    {
        using namespace std::chrono;
        std::optional<milliseconds> next;
        if (missingSince_)
            next = std::max(outputGrace - duration_cast<milliseconds>(steady_clock::now() - *missingSince_),
                            milliseconds(0));
        if (playing_ && awaitsManager()) next = std::min(next.value_or(handOverCheck), handOverCheck);
        return next;
    }

    std::optional<uint32_t> latencyFrames() const
    {
        const uint32_t frames = path_ ? path_->filter().downstreamLatencyFrames() : 0;
        if (frames == 0) return std::nullopt;
        return frames;
    }

    // QRAudioDevice
    Status createIOProc(IOProc proc, void* context, uint64_t& procID) override
    {
        if (!path_ || !playing_) return -ENODEV;
        proc_ = proc;
        procContext_ = context;
        procID = 1;
        return 0;
    }

    Status startIOProc(uint64_t) override
    {
        if (!proc_) return -EINVAL;
        pipewire::ChainFilter& filter = path_->filter();
        filter.reset();
        filter.setProcessor(&Session::process, this, path_->outputChannels());
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
        if (running_) halt();
    }

    void destroyIOProc(uint64_t) override
    {
        proc_ = nullptr;
        procContext_ = nullptr;
    }

private:
    // Waits a moment for the first cycle after a start: it comes at once while something plays;
    // while nothing does, the graph stays stopped.
    void waitForFirstCycle()
    {
        if (!running_ || !path_) return;
        for (int i = 0; i < 30 && path_->filter().firstCycleFrames() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    // The filter paused and no real-time callback left that could still reach the IO proc.
    void halt()
    {
        running_ = false;
        if (!path_) return;
        path_->filter().setActive(false);
        path_->filter().setProcessor(nullptr, nullptr, path_->outputChannels());
        context_->flushRealtime();
    }

    // Real-time thread: one slice of planar channels in, one out.
    static void process(void* context, const float* const* input, uint32_t inputChannels, float* const* output,
                        uint32_t outputChannels, uint32_t frames, bool resumed)
    {
        auto* self = static_cast<Session*>(context);
        const IOProc proc = self->proc_;
        if (!proc) {
            for (uint32_t c = 0; c < outputChannels; ++c) std::fill_n(output[c], frames, 0.0f);
            return;
        }
        AudioBufferList in;
        in.numberBuffers = inputChannels;
        for (uint32_t c = 0; c < inputChannels; ++c)
            in.buffers[c] = AudioBuffer{1, frames * uint32_t(sizeof(float)), const_cast<float*>(input[c])};
        AudioBufferList out;
        out.numberBuffers = outputChannels;
        for (uint32_t c = 0; c < outputChannels; ++c)
            out.buffers[c] = AudioBuffer{1, frames * uint32_t(sizeof(float)), output[c]};
        proc(self->procContext_, &in, &out, resumed);
    }

    // Shared with the backend: the connection outlives the objects made on it, even when the
    // backend replaces a connection that stopped answering.
    std::shared_ptr<pipewire::PipeWireContext> context_;
    uint32_t requestedFrames_;
    std::unique_ptr<pipewire::GraphPath> path_;
    bool playing_ = false;
    // While the path plays: our sink's volume and mute are the output device's (one volume).
    std::unique_ptr<VolumeMirror> volume_;
    uint64_t sinkManager_ = 0;  // the session manager that took our sink over (its count)
    int readyChecks_ = 0;       // checks in a row that a new one runs and the output is configured
    bool ownsDefault_ = false;     // our sink was the default while its session manager ran
    bool reclaimDefault_ = false;  // the renewed sink becomes the default again once linked
    std::optional<std::chrono::steady_clock::time_point> heldSince_;  // our sink, for a new one
    std::chrono::steady_clock::time_point freshDefaultsAt_;  // next reading of the defaults afresh
    std::optional<std::chrono::steady_clock::time_point> missingSince_;  // the output device's
    // Set and cleared on the caller's thread, read in the real-time callback.
    std::atomic<IOProc> proc_{nullptr};
    std::atomic<void*> procContext_{nullptr};
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
        QMetaObject::invokeMethod(
            &receiver_,
            [this] {
                pending_ = false;
                check();
            },
            Qt::QueuedConnection);
    }

    void check()
    {
        if (done_) return;
        Session* s = backend_.session(aggregate_);
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

// ---- Backend

PipeWireAudioBackend::PipeWireAudioBackend() = default;

PipeWireAudioBackend::~PipeWireAudioBackend()
{
    sessions_.clear();
}

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

PipeWireAudioBackend::Session* PipeWireAudioBackend::session(ObjectID id)
{
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(id);
    if (it == sessions_.end()) it = sessions_.find(id - 1);
    return it == sessions_.end() ? nullptr : it->second.get();
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
    return Clock{double(pw->clockRate()), pw->minimumQuantum(), pw->maximumQuantum()};
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
    auto session = std::make_unique<Session>(std::move(pw), bufferFrames);
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
    Session* s = session(tap);
    return s ? int(s->inputChannels()) : 0;
}

AudioBackend::Status PipeWireAudioBackend::createAggregate(ObjectID tap, const QString& outputUID, ObjectID& aggregate)
{
    Session* s = session(tap);
    if (!s) return -ENOENT;
    const int result = s->createPlayback(outputUID);
    if (result != 0) return streamStatus(result);
    aggregate = tap + 1;
    return 0;
}

void PipeWireAudioBackend::destroyAggregate(ObjectID aggregate)
{
    if (Session* s = session(aggregate)) s->destroyPlayback();
}

void PipeWireAudioBackend::destroyTap(ObjectID tap)
{
    std::unique_ptr<Session> gone;
    {
        std::lock_guard lock(mutex_);
        auto it = sessions_.find(tap);
        if (it == sessions_.end()) return;
        gone = std::move(it->second);
        sessions_.erase(it);
    }
}

QRAudioDevice* PipeWireAudioBackend::ioDevice(ObjectID aggregate)
{
    Session* s = session(aggregate);
    return s && s->hasPlayback() ? s : nullptr;
}

uint32_t PipeWireAudioBackend::bufferFrames(ObjectID aggregate)
{
    Session* s = session(aggregate);
    return s ? s->bufferFrames() : 0;
}

int PipeWireAudioBackend::channelCount(ObjectID aggregate, bool input)
{
    Session* s = session(aggregate);
    if (!s) return 0;
    return int(input ? s->inputChannels() : s->outputChannels());
}

std::optional<uint32_t> PipeWireAudioBackend::latencyFrames(ObjectID aggregate)
{
    Session* s = session(aggregate);
    return s ? s->latencyFrames() : std::nullopt;
}

uint64_t PipeWireAudioBackend::overloads(ObjectID aggregate)
{
    Session* s = session(aggregate);
    return s ? s->overloads() : 0;
}

std::optional<bool> PipeWireAudioBackend::isSourceRunning(ObjectID tap)
{
    Session* s = session(tap);
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
    Session* s = session(aggregate);
    if (!s) return std::nullopt;
    const std::optional<bool> realtime = s->isRealtime();
    // Said once per process: processing runs on, but may drop out on a busy system.
    static std::atomic<bool> told{false};
    if (realtime == false && !told.exchange(true)) {
        const QString text = L10n::render(
            "The audio thread runs without real-time priority; the sound may drop out while the "
            "system is busy.",
            {}, L10n::language());
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    }
    return realtime;
}

std::unique_ptr<AudioBackend::Listener> PipeWireAudioBackend::listenForFault(ObjectID aggregate,
                                                                              std::function<void(Fault)> handler)
{
    Session* s = session(aggregate);
    if (!handler || !s) return nullptr;
    return std::make_unique<FaultWatch>(*this, aggregate, s->context(), std::move(handler));
}

std::unique_ptr<AudioBackend::Listener> PipeWireAudioBackend::listenForSource(ObjectID tap,
                                                                                std::function<void()> handler)
{
    Session* s = session(tap);
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
