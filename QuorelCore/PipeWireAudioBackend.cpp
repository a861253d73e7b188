#include "PipeWireAudioBackend.h"

#include "AudioFailure.h"
#include "BridgeStream.h"
#include "PipeWireContext.h"
#include "RealtimeBridge.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

namespace quorel {

namespace {

constexpr AudioBackend::Status statusNope = AudioBackend::Status(0x6E6F7065);  // 'nope'
constexpr uint32_t selectorDefaultOutput = 0x644F7574;                         // 'dOut'
constexpr uint32_t selectorUID = 0x75696420;                                   // 'uid '
constexpr uint32_t selectorRate = 0x6E737274;                                  // 'nsrt'
constexpr const char* previousDefaultKey = "Quorel.System.PreviousDefaultSink.v1";

constexpr int statusNotRunning = int(0x73746F70);  // 'stop': no sound server answers

AudioFailure readFailure(uint32_t selector, int error)
{
    return AudioFailure::localized(
        LocalizedMessage("Could not read audio property ({0}, {1}).",
                         {AudioBackend::describeStatus(selector), AudioBackend::describeStatus(uint32_t(error))}));
}

bool isRealSink(const pipewire::PipeWireContext::Node& node)
{
    return node.mediaClass == "Audio/Sink" && !node.name.empty()
        && !AudioBackend::isOwnSink(QString::fromStdString(node.name));
}

AudioBackend::Status streamStatus(int error)
{
    return error == -EACCES || error == -EPERM ? statusNope : AudioBackend::Status(error);
}

}  // namespace

// ---- One capture: the bridge, the virtual sink and the playback stream.

class PipeWireAudioBackend::Session : public QRAudioDevice {
public:
    Session(pipewire::PipeWireContext& context, uint32_t requestedFrames)
        : context_(context), bridge_(2, 2), silence_(size_t(pipewire::RealtimeBridge::sliceFrames) * 2, 0.0f),
          requestedFrames_(requestedFrames)
    {
    }

    ~Session() override
    {
        stopIOProc(0);
        playback_.reset();
        sink_.reset();
    }

    int createSink(const QString& uid)
    {
        int error = 0;
        options_.nodeName = uid.toStdString();
        options_.description = "Quorel";
        options_.group = "quorel.group." + uid.mid(int(qstrlen("local.quorel.aggregate."))).toStdString();
        options_.rate = context_.clockRate();
        options_.latencyFrames = requestedFrames_;
        sink_ = pipewire::BridgeStream::create(context_, bridge_, pipewire::BridgeStream::Role::VirtualSink, options_,
                                               error);
        return sink_ ? 0 : (error ? error : -EIO);
    }

    int createPlayback(const QString& outputUID)
    {
        int error = 0;
        pipewire::BridgeStream::Options options = options_;
        options.nodeName = options_.nodeName + ".playback";
        options.target = outputUID.toStdString();
        playback_ = pipewire::BridgeStream::create(context_, bridge_, pipewire::BridgeStream::Role::Playback, options,
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

    uint32_t bufferFrames()
    {
        // Once running, the cycle the server settled on; wait a moment for the first one.
        if (running_)
            for (int i = 0; i < 50 && bridge_.playbackCycles() == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const uint32_t observed = bridge_.lastPlaybackFrames();
        return observed > 0 ? observed : requestedFrames_;
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
            stopIOProc(0);
            return result;
        }
        running_ = true;
        return 0;
    }

    void stopIOProc(uint64_t) override
    {
        if (!running_) return;
        running_ = false;
        if (sink_) sink_->setActive(false);
        if (playback_) playback_->setActive(false);
        bridge_.setProcessor(nullptr, nullptr);
        context_.flushRealtime();
    }

    void destroyIOProc(uint64_t) override
    {
        proc_ = nullptr;
        procContext_ = nullptr;
    }

private:
    // Real-time thread: one interleaved buffer in, one out.
    static void process(void* context, const float* input, uint32_t inputChannels, float* output,
                        uint32_t outputChannels, uint32_t frames)
    {
        auto* self = static_cast<Session*>(context);
        AudioBufferList in;
        in.numberBuffers = 1;
        in.buffers[0] = AudioBuffer{inputChannels, frames * inputChannels * uint32_t(sizeof(float)),
                                    const_cast<float*>(input ? input : self->silence_.data())};
        AudioBufferList out;
        out.numberBuffers = 1;
        out.buffers[0] = AudioBuffer{outputChannels, frames * outputChannels * uint32_t(sizeof(float)), output};
        self->proc_(self->procContext_, &in, &out);
    }

    pipewire::PipeWireContext& context_;
    pipewire::RealtimeBridge bridge_;
    std::vector<float> silence_;
    uint32_t requestedFrames_;
    pipewire::BridgeStream::Options options_;
    std::unique_ptr<pipewire::BridgeStream> sink_;
    std::unique_ptr<pipewire::BridgeStream> playback_;
    IOProc proc_ = nullptr;
    void* procContext_ = nullptr;
    bool running_ = false;
};

// ---- Listener handle

class PipeWireAudioBackend::EventListener : public AudioBackend::Listener {
public:
    EventListener(PipeWireAudioBackend& backend, uint64_t id) : backend_(backend), id_(id) {}
    ~EventListener() override
    {
        std::lock_guard lock(backend_.mutex_);
        backend_.watches_.erase(id_);
    }

private:
    PipeWireAudioBackend& backend_;
    uint64_t id_;
};

// ---- Backend

PipeWireAudioBackend::PipeWireAudioBackend() : alive_(std::make_shared<int>(0)) {}

PipeWireAudioBackend::~PipeWireAudioBackend()
{
    sessions_.clear();
    if (context_) context_->setChangeHandler(nullptr);
}

pipewire::PipeWireContext* PipeWireAudioBackend::connectedContext(int& error)
{
    std::lock_guard lock(mutex_);
    error = 0;
    if (context_ && sessions_.empty() && !context_->sync(1000)) {
        context_->setChangeHandler(nullptr);
        context_.reset();
    }
    if (!context_) {
        context_ = pipewire::PipeWireContext::connect(error);
        if (!context_) return nullptr;
        std::weak_ptr<int> alive = alive_;
        context_->setChangeHandler([this, alive] {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [this, alive] {
                    if (alive.lock()) checkChanges();
                },
                Qt::QueuedConnection);
        });
    }
    return context_.get();
}

pipewire::PipeWireContext& PipeWireAudioBackend::context()
{
    int error = 0;
    pipewire::PipeWireContext* context = connectedContext(error);
    if (!context) throw readFailure(selectorDefaultOutput, statusNotRunning);
    return *context;
}

PipeWireAudioBackend::Session* PipeWireAudioBackend::session(ObjectID id)
{
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(id);
    if (it == sessions_.end()) it = sessions_.find(id - 1);
    return it == sessions_.end() ? nullptr : it->second.get();
}

QString PipeWireAudioBackend::realDefaultName()
{
    pipewire::PipeWireContext& pw = context();
    const auto nodes = pw.nodes();
    auto exists = [&](const QString& name) {
        for (const auto& [id, node] : nodes)
            if (isRealSink(node) && QString::fromStdString(node.name) == name) return true;
        return false;
    };
    const QString current = QString::fromStdString(pw.defaultSink());
    if (exists(current)) return current;
    const std::optional<QString> stored = UserDefaults::standard().string(previousDefaultKey);
    if (stored && exists(*stored)) return *stored;
    for (const auto& [id, node] : nodes)
        if (isRealSink(node)) return QString::fromStdString(node.name);
    return {};
}

AudioBackend::ObjectID PipeWireAudioBackend::defaultOutputDevice()
{
    const QString name = realDefaultName();
    const std::optional<pipewire::PipeWireContext::Node> node =
        name.isEmpty() ? std::nullopt : context().nodeNamed(name.toStdString());
    if (!node) throw AudioFailure::localized(LocalizedMessage("No default audio output."));
    return node->id;
}

QString PipeWireAudioBackend::deviceUID(ObjectID device)
{
    const auto node = context().node(device);
    if (!node || node->name.empty())
        throw AudioFailure::localized(LocalizedMessage(
            "Could not read audio text ({0}, {1}).",
            {describeStatus(selectorUID), describeStatus(uint32_t(0x216F626A))}));  // '!obj'
    return QString::fromStdString(node->name);
}

std::optional<QString> PipeWireAudioBackend::deviceName(ObjectID device)
{
    const auto node = context().node(device);
    if (!node || node->description.empty()) return std::nullopt;
    return QString::fromStdString(node->description);
}

std::optional<AudioBackend::ObjectID> PipeWireAudioBackend::device(const QString& uid)
{
    const auto node = context().nodeNamed(uid.toStdString());
    if (!node) return std::nullopt;
    return node->id;
}

int PipeWireAudioBackend::outputChannels(ObjectID device)
{
    const auto node = context().node(device);
    if (!node || node->mediaClass != "Audio/Sink") return 0;
    return node->channels > 0 ? int(node->channels) : 2;
}

AudioBackend::Clock PipeWireAudioBackend::clock()
{
    int error = 0;
    pipewire::PipeWireContext* pw = connectedContext(error);
    if (!pw) throw readFailure(selectorRate, statusNotRunning);
    return Clock{double(pw->clockRate()), pw->minimumQuantum(), pw->maximumQuantum()};
}

AudioBackend::Status PipeWireAudioBackend::createTap(const QString& uid, uint32_t bufferFrames, ObjectID& tap)
{
    int error = 0;
    pipewire::PipeWireContext* pw = connectedContext(error);
    if (!pw) return streamStatus(error);
    auto session = std::make_unique<Session>(*pw, bufferFrames);
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
    if (!s || !context_) return std::nullopt;
    const uint32_t node = s->sinkNode();
    if (node == 0 || node == UINT32_MAX) return std::nullopt;
    return context_->linksInto(node) > 0;
}

QString PipeWireAudioBackend::serverDefaultSink()
{
    pipewire::PipeWireContext& pw = context();
    const std::string configured = pw.configuredDefaultSink();
    return QString::fromStdString(configured.empty() ? pw.defaultSink() : configured);
}

bool PipeWireAudioBackend::setServerDefaultSink(const QString& uid)
{
    pipewire::PipeWireContext& pw = context();
    if (!pw.setConfiguredDefaultSink(uid.toStdString())) return false;
    // Wait until the session manager has followed, so the change is in effect on return.
    for (int i = 0; i < 100; ++i) {
        if (pw.defaultSink() == uid.toStdString()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pw.defaultSink() == uid.toStdString();
}

std::unique_ptr<AudioBackend::Listener> PipeWireAudioBackend::listen(Event event, std::function<void()> handler)
{
    int error = 0;
    if (!connectedContext(error)) return nullptr;
    std::lock_guard lock(mutex_);
    if (watches_.empty()) {
        // The state the first change is compared with.
        lastDefault_.clear();
        lastSinks_.clear();
        for (const auto& [id, node] : context_->nodes())
            if (isRealSink(node)) lastSinks_.insert(QString::fromStdString(node.name));
        const QString current = QString::fromStdString(context_->defaultSink());
        if (!isOwnSink(current)) lastDefault_ = current;
    }
    const uint64_t id = nextWatch_++;
    watches_[id] = Watch{event, std::move(handler)};
    return std::make_unique<EventListener>(*this, id);
}

void PipeWireAudioBackend::checkChanges()
{
    std::vector<std::function<void()>> toCall;
    {
        std::lock_guard lock(mutex_);
        if (!context_ || watches_.empty()) return;
        std::set<QString> sinks;
        for (const auto& [id, node] : context_->nodes())
            if (isRealSink(node)) sinks.insert(QString::fromStdString(node.name));
        const QString current = QString::fromStdString(context_->defaultSink());
        // Our own sink as the default is no change; a real one that differs is.
        const bool defaultChanged = !current.isEmpty() && !isOwnSink(current) && current != lastDefault_;
        if (!current.isEmpty() && !isOwnSink(current)) lastDefault_ = current;
        const bool listChanged = sinks != lastSinks_;
        lastSinks_ = sinks;
        for (const auto& [id, watch] : watches_)
            if ((watch.event == Event::defaultOutput && defaultChanged)
                || (watch.event == Event::deviceList && listChanged))
                toCall.push_back(watch.handler);
    }
    for (const auto& handler : toCall) handler();
}

}  // namespace quorel
