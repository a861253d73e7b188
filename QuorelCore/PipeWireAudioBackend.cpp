#include "PipeWireAudioBackend.h"

#include "AudioFailure.h"
#include "HAL.h"
#include "HALListener.h"
#include "L10n.h"
#include "PulseSnapshot.h"
#include "BridgeStream.h"
#include "PipeWireContext.h"
#include "RealtimeBridge.h"

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

constexpr AudioBackend::Status statusNope = AudioBackend::Status(0x6E6F7065);  // 'nope'
constexpr uint32_t selectorDefaultOutput = 0x644F7574;                         // 'dOut'
constexpr uint32_t selectorRate = 0x6E737274;                                  // 'nsrt'

constexpr int statusNotRunning = int(0x73746F70);  // 'stop': no sound server answers

AudioFailure readFailure(uint32_t selector, int error)
{
    return AudioFailure::localized(
        LocalizedMessage("Could not read audio property ({0}, {1}).",
                         {HAL::describe(selector), HAL::describe(uint32_t(error))}));
}

AudioBackend::Status streamStatus(int error)
{
    return error == -EACCES || error == -EPERM ? statusNope : AudioBackend::Status(error);
}

}  // namespace

// ---- One capture: the bridge, the virtual sink and the playback stream.

class PipeWireAudioBackend::Session : public QRAudioDevice {
public:
    Session(std::shared_ptr<pipewire::PipeWireContext> context, uint32_t requestedFrames)
        : context_(std::move(context)), bridge_(2, 2),
          silence_(size_t(pipewire::RealtimeBridge::sliceFrames) * 2, 0.0f), requestedFrames_(requestedFrames)
    {
    }

    ~Session() override
    {
        stopIOProc(0);
        playback_.reset();
        sink_.reset();
    }

    QString uid() const { return QString::fromStdString(options_.nodeName); }

    int createSink(const QString& uid)
    {
        int error = 0;
        options_.nodeName = uid.toStdString();
        options_.description = "Quorel";
        options_.group = "quorel.group." + uid.mid(int(qstrlen("local.quorel.aggregate."))).toStdString();
        options_.rate = context_->clockRate();
        options_.latencyFrames = requestedFrames_;
        bridge_.setSampleRate(options_.rate);
        sink_ = pipewire::BridgeStream::create(*context_, bridge_, pipewire::BridgeStream::Role::VirtualSink, options_,
                                               error);
        return sink_ ? 0 : (error ? error : -EIO);
    }

    int createPlayback(const QString& outputUID)
    {
        int error = 0;
        options_.target = outputUID.toStdString();
        pipewire::BridgeStream::Options options = options_;
        options.nodeName = options_.nodeName + ".playback";
        playback_ = pipewire::BridgeStream::create(*context_, bridge_, pipewire::BridgeStream::Role::Playback, options,
                                                   error);
        return playback_ ? 0 : (error ? error : -EIO);
    }

    void destroyPlayback()
    {
        stopIOProc(0);
        playback_.reset();
    }

    uint32_t sinkNode() const { return sink_ ? sink_->nodeID() : 0; }
    pipewire::RealtimeBridge& bridge() { return bridge_; }
    bool hasPlayback() const { return playback_ != nullptr; }

    // Once running, the size of the first cycle that ran (what the server settled on, which
    // may differ from what was asked for); before that, what was asked for.
    uint32_t bufferFrames()
    {
        waitForFirstCycle();
        const uint32_t observed = bridge_.firstPlaybackFrames();
        return observed > 0 ? observed : requestedFrames_;
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

    // A fault that ends this capture, if one happened.
    std::optional<Fault> fault() const
    {
        if (!context_->isConnected()) return Fault::connectionLost;
        if (!playback_ || !sink_) return std::nullopt;
        if (!context_->nodeNamed(options_.target)) return Fault::outputGone;
        if (playback_->isBroken() || sink_->isBroken()) return Fault::streamFailed;
        return std::nullopt;
    }

    std::optional<uint32_t> latencyFrames() const
    {
        if (!playback_) return std::nullopt;
        const int64_t delay = playback_->delayFrames();
        if (delay <= 0) return std::nullopt;
        return uint32_t(delay);
    }

    // QRAudioDevice
    Status createIOProc(IOProc proc, void* context, uint64_t& procID) override
    {
        if (!sink_ || !playback_) return -ENODEV;
        proc_ = proc;
        procContext_ = context;
        procID = 1;
        return 0;
    }

    Status startIOProc(uint64_t) override
    {
        if (!proc_) return -EINVAL;
        bridge_.reset();
        bridge_.setProcessor(&Session::process, this);
        int result = sink_->setActive(true);
        if (result >= 0) result = playback_->setActive(true);
        if (result < 0) {
            // One stream may already be cycling: the caller frees the callback after this failure.
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
    // Waits a moment for the first cycle after a start.
    void waitForFirstCycle()
    {
        if (!running_) return;
        for (int i = 0; i < 100 && bridge_.firstPlaybackFrames() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    // Both streams paused and no real-time callback left that could still reach the IO proc.
    void halt()
    {
        running_ = false;
        if (sink_) sink_->setActive(false);
        if (playback_) playback_->setActive(false);
        bridge_.setProcessor(nullptr, nullptr);
        context_->flushRealtime();
    }

    // Real-time thread: one interleaved buffer in, one out.
    static void process(void* context, const float* input, uint32_t inputChannels, float* output,
                        uint32_t outputChannels, uint32_t frames)
    {
        auto* self = static_cast<Session*>(context);
        const IOProc proc = self->proc_;
        if (!proc) {
            std::fill_n(output, size_t(frames) * outputChannels, 0.0f);
            return;
        }
        AudioBufferList in;
        in.numberBuffers = 1;
        in.buffers[0] = AudioBuffer{inputChannels, frames * inputChannels * uint32_t(sizeof(float)),
                                    const_cast<float*>(input ? input : self->silence_.data())};
        AudioBufferList out;
        out.numberBuffers = 1;
        out.buffers[0] = AudioBuffer{outputChannels, frames * outputChannels * uint32_t(sizeof(float)), output};
        proc(self->procContext_, &in, &out);
    }

    // Shared with the backend: the connection outlives the streams made on it, even when the
    // backend replaces a connection that stopped answering.
    std::shared_ptr<pipewire::PipeWireContext> context_;
    pipewire::RealtimeBridge bridge_;
    std::vector<float> silence_;
    uint32_t requestedFrames_;
    pipewire::BridgeStream::Options options_;
    std::unique_ptr<pipewire::BridgeStream> sink_;
    std::unique_ptr<pipewire::BridgeStream> playback_;
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

// ---- Fault watch: checks the session's streams and connection from the main thread.

class PipeWireAudioBackend::FaultWatch : public AudioBackend::Listener {
public:
    FaultWatch(PipeWireAudioBackend& backend, ObjectID aggregate, std::function<void(Fault)> handler)
        : backend_(backend), aggregate_(aggregate), handler_(std::move(handler))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] { check(); });
        timer_.start(100);
    }

private:
    void check()
    {
        Session* s = backend_.session(aggregate_);
        const std::optional<Fault> fault = s ? s->fault() : std::optional<Fault>(Fault::streamFailed);
        if (!fault) return;
        timer_.stop();
        // Told from the event loop: the handler may release this watch.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [handler = handler_, fault = *fault] { handler(fault); },
            Qt::QueuedConnection);
    }

    PipeWireAudioBackend& backend_;
    ObjectID aggregate_;
    std::function<void(Fault)> handler_;
    QTimer timer_;
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
    if (!context) throw readFailure(selectorDefaultOutput, statusNotRunning);
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
    if (!pw) throw readFailure(selectorRate, statusNotRunning);
    return Clock{double(pw->clockRate()), pw->minimumQuantum(), pw->maximumQuantum()};
}

AudioBackend::Status PipeWireAudioBackend::createTap(const QString& uid, uint32_t bufferFrames, ObjectID& tap)
{
    int error = 0;
    std::shared_ptr<pipewire::PipeWireContext> pw = connectedContext(error);
    if (!pw) return streamStatus(error);
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
    return s ? int(s->bridge().inputChannels()) : 0;
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
    return int(input ? s->bridge().inputChannels() : s->bridge().outputChannels());
}

std::optional<uint32_t> PipeWireAudioBackend::latencyFrames(ObjectID aggregate)
{
    Session* s = session(aggregate);
    return s ? s->latencyFrames() : std::nullopt;
}

uint64_t PipeWireAudioBackend::overloads(ObjectID aggregate)
{
    Session* s = session(aggregate);
    return s ? s->bridge().overloads() : 0;
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
    const std::string configured = pw->configuredDefaultSink();
    return QString::fromStdString(configured.empty() ? pw->defaultSink() : configured);
}

bool PipeWireAudioBackend::setServerDefaultSink(const QString& uid)
{
    const std::shared_ptr<pipewire::PipeWireContext> pw = context();
    if (!pw->setConfiguredDefaultSink(uid.toStdString())) return false;
    // Wait until the session manager has followed, so the change is in effect on return.
    for (int i = 0; i < 100; ++i) {
        if (pw->defaultSink() == uid.toStdString()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pw->defaultSink() == uid.toStdString();
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
    if (!handler || !session(aggregate)) return nullptr;
    return std::make_unique<FaultWatch>(*this, aggregate, std::move(handler));
}

std::unique_ptr<AudioBackend::Listener> PipeWireAudioBackend::listen(Event event, std::function<void()> handler)
{
    const uint32_t selector =
        event == Event::defaultOutput ? HAL::selector::defaultOutputDevice : HAL::selector::devices;
    auto listener = HALListener::create(HAL::systemObject, HAL::address(selector, HAL::scope::global, 0),
                                        std::move(handler));
    if (!listener) return nullptr;
    return std::make_unique<EventListener>(std::move(listener));
}

}  // namespace quorel
