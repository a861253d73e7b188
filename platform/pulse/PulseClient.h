#pragma once

#include "PulseSnapshot.h"

#include <QString>

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace quorel {

// The process's one connection to the sound server (libpulse on its threaded main loop; works on
// pipewire-pulse and on PulseAudio). It keeps a snapshot of the sinks, the default sink, their
// volumes and the streams playing into them, updated from the server's change events. Reads
// answer from the snapshot on any thread; writes wait for the server's reply; observers are
// called on the Qt main thread. A connection that is slow to come costs one short wait, not one
// per read. A lost connection is retried every second; the snapshot is empty meanwhile. Errors
// are libpulse error codes (PA_ERR_...), 0 for success.
class PulseClient {
public:
    static PulseClient& shared();

    ~PulseClient();
    PulseClient(const PulseClient&) = delete;
    PulseClient& operator=(const PulseClient&) = delete;

    // Copies the snapshot into `out`, connecting first when needed. Each connection attempt is
    // waited for once (half a second on the main thread, a few seconds elsewhere); reads while it
    // is still pending fail at once with PA_ERR_TIMEOUT, and once the server answers, its devices
    // reach the observers as changes. On an error `out` is left alone.
    int read(PulseSnapshot& out);

    // Writes; each waits for the server's reply and then for the snapshot to show the change.
    int setSinkVolume(uint32_t index, const pa_cvolume& volume);
    int setSinkMute(const QString& name, bool muted);
    int setDefaultSink(const QString& name);

    // Observers are called on the main thread with the changes of one update of the snapshot;
    // without a QCoreApplication nobody is called. An observer is told only of changes published
    // after it was added, and an observer removed on the main thread is never called afterwards.
    // The first connection is no change (unless a read failed before it); neither is a lost
    // connection: after reconnecting, what differs from the last published snapshot is (a device
    // added meanwhile, a new default).
    using Observer = std::function<void(const std::vector<PulseChange>&)>;
    uint64_t addObserver(Observer observer);
    void removeObserver(uint64_t id);

private:
    enum class State { idle, connecting, ready, failed, closed };
    struct Request;

    PulseClient();
    void shutdown();
    static void shutdownShared();
    void stopWithApplication();

    int ensureReady();
    void connectLocked();      // main-loop lock held
    void dropContextLocked();  // main-loop lock held: cancels the retry, disconnects and frees the context
    void scheduleRetryLocked();
    int perform(const std::function<pa_operation*(pa_context*, Request*)>& start);
    Request* newRequestLocked(bool initial = false);
    // Sends a request whose callbacks complete it; one the context refuses completes at once.
    void requestLocked(const std::function<pa_operation*(Request*)>& start, bool initial = false);
    void complete(Request* request, int error);
    void publishLocked();  // mutex_ held
    void dispatch(uint64_t sequence, const std::vector<PulseChange>& changes);

    static void onState(pa_context* context, void* userdata);
    static void onEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t index, void* userdata);
    static void onSuccess(pa_context* context, int success, void* userdata);
    static void onServer(pa_context* context, const pa_server_info* info, void* userdata);
    static void onSink(pa_context* context, const pa_sink_info* info, int eol, void* userdata);
    static void onSinkInput(pa_context* context, const pa_sink_input_info* info, int eol, void* userdata);
    static void onRetry(pa_mainloop_api* api, pa_time_event* event, const struct timeval* when, void* userdata);

    // Touched on the main-loop thread, or elsewhere with the main-loop lock held.
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_time_event* retry_ = nullptr;
    std::vector<std::shared_ptr<Request>> requests_;
    int loading_ = 0;

    // Guarded by mutex_ (taken after the main-loop lock, never before it).
    std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::idle;
    int error_ = 0;
    PulseSnapshot snapshot_;   // what reads see while ready
    PulseSnapshot published_;  // what observers were last told about
    bool wasReady_ = false;
    bool missed_ = false;         // a read failed because the server was not ready
    uint64_t attempt_ = 0;        // number of the last connection attempt
    uint64_t waitedAttempt_ = 0;  // the last attempt a caller waited for in vain
    uint64_t sequence_ = 0;       // number of the last published change

    std::atomic<bool> stopsWithApplication_{false};
    std::mutex observersMutex_;
    struct Registration {
        Observer observer;
        uint64_t since;  // the last change published before it was added
    };
    std::map<uint64_t, std::shared_ptr<Registration>> observers_;
    uint64_t nextObserver_ = 1;
};

}  // namespace quorel
