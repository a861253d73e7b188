#include "PulseClient.h"

#include "QueuedCall.h"

#include <QCoreApplication>
#include <QThread>

#include <pulse/error.h>
#include <pulse/proplist.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <utility>

namespace quorel {

namespace {
constexpr auto replyTimeout = std::chrono::seconds(5);
constexpr auto settleTimeout = std::chrono::seconds(2);
constexpr pa_usec_t retryInterval = PA_USEC_PER_SEC;

// How long the calling thread waits for a connection. The main thread of an application with
// windows draws them and waits only briefly; a command line's main thread waits longer (a loaded
// machine answers late) and still soon says why it gives up; any other thread waits longest.
std::chrono::milliseconds connectionWait()
{
    const QCoreApplication* application = QCoreApplication::instance();
    if (!application || QThread::currentThread() != application->thread()) return std::chrono::seconds(5);
    if (application->inherits("QGuiApplication")) return std::chrono::milliseconds(500);
    return std::chrono::seconds(2);
}

// Holds the main-loop lock for a scope.
class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

QString text(const char* value) { return value ? QString::fromUtf8(value) : QString(); }

template <typename T, typename Key>
void upsert(std::vector<T>& items, const T& item, Key key)
{
    auto it = std::find_if(items.begin(), items.end(), [&](const T& i) { return key(i) == key(item); });
    if (it == items.end())
        items.push_back(item);
    else
        *it = item;
}
}  // namespace

// One request to the server; its callbacks complete it. A waiting caller keeps its own reference.
struct PulseClient::Request {
    PulseClient* client;
    bool initial = false;
    bool done = false;
    int error = 0;
};

PulseClient& PulseClient::shared()
{
    static PulseClient client;
    return client;
}

PulseClient::PulseClient()
{
    loop_ = pa_threaded_mainloop_new();
    if (loop_) {
        pa_threaded_mainloop_set_name(loop_, "quorel-pulse");
        if (pa_threaded_mainloop_start(loop_) < 0) {
            pa_threaded_mainloop_free(loop_);
            loop_ = nullptr;
        }
    }
    if (!loop_) state_ = State::closed;
    stopWithApplication();
}

void PulseClient::stopWithApplication()
{
    // The loop thread posts to the application object: stop it before that object goes away.
    if (QCoreApplication::instance() && !stopsWithApplication_.exchange(true))
        qAddPostRoutine(&PulseClient::shutdownShared);
}

PulseClient::~PulseClient() { shutdown(); }

void PulseClient::shutdownShared() { shared().shutdown(); }

void PulseClient::shutdown()
{
    if (!loop_) return;
    {
        LoopLock lock(loop_);
        {
            std::lock_guard guard(mutex_);
            state_ = State::closed;
            for (auto& request : requests_) request->done = true, request->error = PA_ERR_CONNECTIONTERMINATED;
            changed_.notify_all();
        }
        requests_.clear();
        dropContextLocked();
    }
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
}

int PulseClient::ensureReady()
{
    std::unique_lock lock(mutex_);
    if (state_ == State::ready) return 0;
    if (state_ == State::closed) return PA_ERR_BADSTATE;
    if (state_ != State::connecting) {
        lock.unlock();
        {
            LoopLock loopLock(loop_);
            connectLocked();
        }
        lock.lock();
    }
    // Each connection attempt is waited for once: a server that is slow to answer (its session
    // manager stopped, say) costs the first caller the wait, not every read.
    if (state_ == State::connecting && waitedAttempt_ != attempt_) {
        const uint64_t attempt = attempt_;
        if (!changed_.wait_for(lock, connectionWait(),
                               [&] { return state_ != State::connecting || attempt_ != attempt; }))
            waitedAttempt_ = attempt;
    }
    if (state_ == State::ready) return 0;
    // This caller saw no devices: once the server answers, the first snapshot is news to it.
    missed_ = true;
    if (state_ == State::connecting) return PA_ERR_TIMEOUT;
    return error_ ? error_ : PA_ERR_CONNECTIONREFUSED;
}

void PulseClient::dropContextLocked()
{
    if (retry_) {
        pa_threaded_mainloop_get_api(loop_)->time_free(retry_);
        retry_ = nullptr;
    }
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
}

void PulseClient::connectLocked()
{
    {
        std::lock_guard guard(mutex_);
        if (state_ == State::connecting || state_ == State::ready || state_ == State::closed) return;
        state_ = State::connecting;
        ++attempt_;
    }
    dropContextLocked();
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Quorel");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "quorel");
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Quorel", properties);
    pa_proplist_free(properties);
    int error = context_ ? 0 : PA_ERR_INTERNAL;
    if (context_) {
        pa_context_set_state_callback(context_, &PulseClient::onState, this);
        pa_context_set_subscribe_callback(context_, &PulseClient::onEvent, this);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            error = pa_context_errno(context_);
    }
    if (error) {
        {
            std::lock_guard guard(mutex_);
            state_ = State::failed;
            error_ = error;
            changed_.notify_all();
        }
        scheduleRetryLocked();
    }
}

void PulseClient::scheduleRetryLocked()
{
    if (retry_) return;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    struct timeval when;
    pa_gettimeofday(&when);
    pa_timeval_add(&when, retryInterval);
    retry_ = api->time_new(api, &when, &PulseClient::onRetry, this);
}

void PulseClient::onRetry(pa_mainloop_api* api, pa_time_event* event, const struct timeval*, void* userdata)
{
    auto* self = static_cast<PulseClient*>(userdata);
    api->time_free(event);
    self->retry_ = nullptr;
    self->connectLocked();
}

PulseClient::Request* PulseClient::newRequestLocked(bool initial)
{
    auto request = std::make_shared<Request>();
    request->client = this;
    request->initial = initial;
    requests_.push_back(request);
    return request.get();
}

void PulseClient::requestLocked(const std::function<pa_operation*(Request*)>& start, bool initial)
{
    Request* request = newRequestLocked(initial);
    if (pa_operation* op = start(request)) {
        pa_operation_unref(op);
    } else {
        const int error = context_ ? pa_context_errno(context_) : 0;
        complete(request, error ? error : PA_ERR_INTERNAL);
    }
}

void PulseClient::complete(Request* request, int error)
{
    auto it = std::find_if(requests_.begin(), requests_.end(), [&](const auto& r) { return r.get() == request; });
    if (it == requests_.end()) return;
    std::shared_ptr<Request> keep = *it;
    requests_.erase(it);
    std::lock_guard guard(mutex_);
    keep->done = true;
    keep->error = error;
    if (keep->initial && --loading_ == 0 && state_ == State::connecting) {
        state_ = State::ready;
        publishLocked();
    }
    changed_.notify_all();
}

void PulseClient::onState(pa_context* context, void* userdata)
{
    auto* self = static_cast<PulseClient*>(userdata);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
        {
            std::lock_guard guard(self->mutex_);
            self->snapshot_.sinks.clear();
            self->snapshot_.inputs.clear();
            self->snapshot_.serverDefault.clear();
        }
        const auto mask = pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SINK_INPUT
                                                 | PA_SUBSCRIPTION_MASK_SERVER);
        self->loading_ = 4;
        self->requestLocked([&](Request* r) { return pa_context_subscribe(context, mask, &PulseClient::onSuccess, r); },
                            true);
        self->requestLocked([&](Request* r) { return pa_context_get_server_info(context, &PulseClient::onServer, r); },
                            true);
        self->requestLocked([&](Request* r) { return pa_context_get_sink_info_list(context, &PulseClient::onSink, r); },
                            true);
        self->requestLocked(
            [&](Request* r) { return pa_context_get_sink_input_info_list(context, &PulseClient::onSinkInput, r); },
            true);
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED: {
        {
            std::lock_guard guard(self->mutex_);
            if (self->state_ == State::closed) return;
            self->state_ = State::failed;
            self->error_ = pa_context_errno(context);
            if (!self->error_) self->error_ = PA_ERR_CONNECTIONTERMINATED;
            self->snapshot_.sinks.clear();
            self->snapshot_.inputs.clear();
            self->snapshot_.serverDefault.clear();
            for (auto& request : self->requests_) request->done = true, request->error = self->error_;
            // A lost connection is no change of the devices (reads fail meanwhile): the snapshot
            // made after reconnecting is compared with the last one published, so a restart
            // of the server's pulse layer reports only what really changed in between.
            self->changed_.notify_all();
        }
        self->requests_.clear();
        self->scheduleRetryLocked();
        break;
    }
    default: break;
    }
}

void PulseClient::onEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t index, void* userdata)
{
    auto* self = static_cast<PulseClient*>(userdata);
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const bool removed = (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK) {
        if (removed) {
            std::lock_guard guard(self->mutex_);
            std::erase_if(self->snapshot_.sinks, [&](const PulseSink& s) { return s.index == index; });
            self->publishLocked();
            self->changed_.notify_all();
        } else {
            self->requestLocked(
                [&](Request* r) { return pa_context_get_sink_info_by_index(context, index, &PulseClient::onSink, r); });
        }
    } else if (facility == PA_SUBSCRIPTION_EVENT_SINK_INPUT) {
        if (removed) {
            std::lock_guard guard(self->mutex_);
            std::erase_if(self->snapshot_.inputs, [&](const PulseSinkInput& i) { return i.index == index; });
            self->publishLocked();
            self->changed_.notify_all();
        } else {
            self->requestLocked([&](Request* r) {
                return pa_context_get_sink_input_info(context, index, &PulseClient::onSinkInput, r);
            });
        }
    } else if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
        self->requestLocked([&](Request* r) { return pa_context_get_server_info(context, &PulseClient::onServer, r); });
    }
}

void PulseClient::onSuccess(pa_context* context, int success, void* userdata)
{
    auto* request = static_cast<Request*>(userdata);
    request->client->complete(request, success ? 0 : pa_context_errno(context));
}

void PulseClient::onServer(pa_context* context, const pa_server_info* info, void* userdata)
{
    auto* request = static_cast<Request*>(userdata);
    PulseClient* self = request->client;
    if (info) {
        std::lock_guard guard(self->mutex_);
        self->snapshot_.setServerDefault(text(info->default_sink_name));
        self->publishLocked();
    }
    self->complete(request, info ? 0 : pa_context_errno(context));
}

void PulseClient::onSink(pa_context* context, const pa_sink_info* info, int eol, void* userdata)
{
    auto* request = static_cast<Request*>(userdata);
    PulseClient* self = request->client;
    if (info) {
        PulseSink sink;
        sink.index = info->index;
        sink.name = text(info->name);
        sink.description = text(info->description);
        sink.channels = info->channel_map.channels;
        sink.sampleRate = info->sample_spec.rate;
        sink.volume = info->volume;
        sink.muted = info->mute != 0;
        std::lock_guard guard(self->mutex_);
        upsert(self->snapshot_.sinks, sink, [](const PulseSink& s) { return s.index; });
        self->publishLocked();
    }
    if (eol < 0)
        self->complete(request, pa_context_errno(context));
    else if (eol > 0)
        self->complete(request, 0);
}

void PulseClient::onSinkInput(pa_context* context, const pa_sink_input_info* info, int eol, void* userdata)
{
    auto* request = static_cast<Request*>(userdata);
    PulseClient* self = request->client;
    if (info) {
        PulseSinkInput input{info->index, info->sink, info->corked != 0};
        std::lock_guard guard(self->mutex_);
        upsert(self->snapshot_.inputs, input, [](const PulseSinkInput& i) { return i.index; });
        self->publishLocked();
    }
    if (eol < 0)
        self->complete(request, pa_context_errno(context));
    else if (eol > 0)
        self->complete(request, 0);
}

void PulseClient::publishLocked()
{
    if (state_ == State::connecting) return;  // the first complete snapshot is published at once
    std::vector<PulseChange> changes = PulseSnapshot::changes(published_, snapshot_);
    published_ = snapshot_;
    // The first connection is how things are, not a change, unless a read before it found no
    // server: then the devices it missed are news.
    const bool first = !std::exchange(wasReady_, true);
    if (changes.empty() || (first && !missed_)) return;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    const uint64_t sequence = ++sequence_;
    queuedCall(app, [this, sequence, changes] { dispatch(sequence, changes); });
}

void PulseClient::dispatch(uint64_t sequence, const std::vector<PulseChange>& changes)
{
    std::vector<uint64_t> ids;
    {
        std::lock_guard guard(observersMutex_);
        for (const auto& entry : observers_) ids.push_back(entry.first);
    }
    for (uint64_t id : ids) {
        std::shared_ptr<Registration> registration;
        {
            std::lock_guard guard(observersMutex_);
            auto it = observers_.find(id);
            if (it == observers_.end()) continue;  // removed by an earlier observer
            registration = it->second;
        }
        // Changes published before the observer was added are not news to it.
        if (sequence > registration->since) registration->observer(changes);
    }
}

uint64_t PulseClient::addObserver(Observer observer)
{
    stopWithApplication();  // the application may have been made after this client
    uint64_t since;
    {
        std::lock_guard guard(mutex_);
        since = sequence_;
    }
    std::lock_guard guard(observersMutex_);
    const uint64_t id = nextObserver_++;
    observers_.emplace(id, std::make_shared<Registration>(Registration{std::move(observer), since}));
    return id;
}

void PulseClient::removeObserver(uint64_t id)
{
    std::lock_guard guard(observersMutex_);
    observers_.erase(id);
}

int PulseClient::read(PulseSnapshot& out)
{
    if (int error = ensureReady()) return error;
    std::lock_guard guard(mutex_);
    if (state_ != State::ready) return error_ ? error_ : PA_ERR_CONNECTIONTERMINATED;
    out = snapshot_;
    return 0;
}

int PulseClient::perform(const std::function<pa_operation*(pa_context*, Request*)>& start)
{
    if (int error = ensureReady()) return error;
    std::shared_ptr<Request> request;
    {
        LoopLock lock(loop_);
        if (!context_ || pa_context_get_state(context_) != PA_CONTEXT_READY) return PA_ERR_CONNECTIONTERMINATED;
        Request* raw = newRequestLocked();
        request = requests_.back();
        pa_operation* op = start(context_, raw);
        if (!op) {
            const int error = pa_context_errno(context_);
            complete(raw, error ? error : PA_ERR_INTERNAL);
            return error ? error : PA_ERR_INTERNAL;
        }
        pa_operation_unref(op);
    }
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, replyTimeout, [&] { return request->done; })) return PA_ERR_TIMEOUT;
    return request->error;
}

int PulseClient::setSinkVolume(uint32_t index, const pa_cvolume& volume)
{
    if (int error = perform([&](pa_context* c, Request* r) {
            return pa_context_set_sink_volume_by_index(c, index, &volume, &PulseClient::onSuccess, r);
        }))
        return error;
    // Read the sink back so that the snapshot shows the new volume when this returns.
    return perform([&](pa_context* c, Request* r) {
        return pa_context_get_sink_info_by_index(c, index, &PulseClient::onSink, r);
    });
}

int PulseClient::setSinkMute(const QString& name, bool muted)
{
    const QByteArray utf8 = name.toUtf8();
    if (int error = perform([&](pa_context* c, Request* r) {
            return pa_context_set_sink_mute_by_name(c, utf8.constData(), muted, &PulseClient::onSuccess, r);
        }))
        return error;
    return perform([&](pa_context* c, Request* r) {
        return pa_context_get_sink_info_by_name(c, utf8.constData(), &PulseClient::onSink, r);
    });
}

int PulseClient::setDefaultSink(const QString& name)
{
    const QByteArray utf8 = name.toUtf8();
    if (int error = perform([&](pa_context* c, Request* r) {
            return pa_context_set_default_sink(c, utf8.constData(), &PulseClient::onSuccess, r);
        }))
        return error;
    // The session manager may take a moment before the server names the new default.
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, settleTimeout, [&] { return state_ != State::ready || snapshot_.serverDefault == name; });
    return 0;
}

}  // namespace quorel
