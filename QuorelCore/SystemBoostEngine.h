#pragma once

#include "AudioBackend.h"
#include "AudioDevices.h"
#include "DSPSettings.h"
#include "EngineChain.h"
#include "LocalizedMessage.h"
#include "MeterReading.h"
#include "QRSystemIO.h"
#include "SerialWorker.h"
#include "SpectrumReading.h"

#include <QSocketNotifier>
#include <QString>
#include <QUuid>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorel {

// Processes all system audio: captures what every other application plays (through the
// backend's virtual sink, made the server's default while running), runs it through the
// processing chain on the real-time thread and plays it to the chosen output device.
// Confined to the main thread. Every sound-server call that can wait (creating the capture,
// starting it, taking and giving back the default, tearing it down) runs on the engine's one
// worker thread in the order it was asked for, so the main thread never waits on the server;
// completions arrive on the main thread.
class SystemBoostEngine {
public:
    struct Info {
        QString deviceName;
        std::optional<QString> capturedDeviceName;
        double sampleRate = 0;
        uint32_t bufferFrames = 0;
        int inputChannels = 0;
        int outputChannels = 0;
        double reportedDeviceLatencyMS = 0;
        double effectsLatencyMS = 0;
        // Whether the real-time thread that runs the chain has a real-time scheduling policy.
        bool realtime = false;
        double bufferMS() const { return sampleRate > 0 ? bufferFrames / sampleRate * 1000 : 0; }
        bool operator==(const Info&) const = default;
    };

    // The engine's own failures. `permission` carries the refusing status.
    class Failure : public DescribedError {
    public:
        enum class Kind { permission, message, localized };
        static Failure permission(int32_t status);
        static Failure message(const QString& text);
        static Failure localized(const LocalizedMessage& message);
        Kind kind() const { return kind_; }
        int32_t status() const { return status_; }
        QString description() const override;
        std::shared_ptr<const DescribedError> clone() const override;

    private:
        Kind kind_ = Kind::message;
        int32_t status_ = 0;
        QString text_;
        std::optional<LocalizedMessage> localized_;
    };

    // A start overtaken by stop(), cancelStart() or a newer start.
    class Cancelled : public std::exception {
    public:
        const char* what() const noexcept override { return "The start was cancelled."; }
    };

    static constexpr uint32_t maximumFrames = 4096;

    // Ends with the Info, or with the exception the start failed with. Main thread.
    using Completion = std::function<void(std::optional<Info>, std::exception_ptr)>;

    // The idle engine on `backend` and `devices` (the application and the tool hand it the
    // PipeWire backend and the pulse devices), processing through the AudioGraph unless
    // `chainFactory` builds another chain.
    SystemBoostEngine(std::shared_ptr<AudioBackend> backend, std::shared_ptr<AudioDevices> devices);
    SystemBoostEngine(std::shared_ptr<AudioBackend> backend, std::shared_ptr<AudioDevices> devices,
                      EngineChain::Factory chainFactory);
    ~SystemBoostEngine();
    SystemBoostEngine(const SystemBoostEngine&) = delete;
    SystemBoostEngine& operator=(const SystemBoostEngine&) = delete;

    // Stops anything running, then (on the worker, after that stop's teardown) creates the
    // capture, starts it and makes it the default; `completion` follows on the main thread.
    // `outputDeviceUID` none = the default output.
    void start(const DSPSettings& settings, bool processed, const std::optional<QString>& outputDeviceUID,
               Completion completion);
    // start() that waits in a local event loop; throws what the start failed with.
    Info startAndWait(const DSPSettings& settings, bool processed, const std::optional<QString>& outputDeviceUID);

    // Returns at once: the running capture is torn down on the worker (the default given back
    // first). `teardownDone`, when given, runs on the main thread once that teardown (and any
    // queued before it) is over, also when nothing was running.
    void stop(std::function<void()> teardownDone = {});
    void cancelStart();
    void apply(const DSPSettings& settings);
    void setProcessed(bool processed);

    // Blocks until the worker has finished everything asked of it so far; false on time-out.
    // For tools and tests; the application waits through stop()'s `teardownDone` instead.
    bool waitUntilIdle(int timeoutMS = 10000) const;
    // Whether the worker still has a start or a teardown to finish.
    bool isBusy() const;

    // The devices it was handed (also for whoever follows the output's volume).
    const std::shared_ptr<AudioDevices>& devices() const { return devices_; }

    bool isRunning() const { return running_ != nullptr; }
    const std::optional<Info>& info() const { return info_; }
    const DSPSettings& settings() const { return settings_; }
    bool processed() const { return processed_; }

    std::optional<bool> isSourceRunningSomewhere() const;
    std::optional<MeterReading> meter() const;
    std::optional<SpectrumReading> spectrum() const;
    // Whether anyone reads spectrum() (initially nobody): the running chain, and every chain
    // started later, analyse only while someone does.
    void setSpectrumWanted(bool wanted);
    bool spectrumWanted() const { return spectrumWanted_; }
    // The real-time path's statistics since this start, with the cycles the device missed;
    // zeros while nothing runs.
    QRSystemIOStats stats() const;
    // Calls `wake` once on the main thread at the running capture's next sign of activity: its
    // next cycle, or a stream that starts, pauses or stops playing into it. So a caller with
    // nothing to do while nothing plays can sleep instead of asking. False, and nothing will be
    // called, when it cannot watch both (nothing runs, or the backend does not tell about
    // streams): the caller keeps asking then. A later call replaces the request (none cancels
    // it); stop() cancels it.
    bool wakeOnActivity(std::function<void()> wake);

    // Called on the main thread when the default output or the device list changes (once for
    // changes that arrive together).
    std::function<void()> onDefaultDeviceChange;
    // Called on the main thread when processing ended under the engine: the sound server went
    // away, the output device vanished, or the server stopped the streams. The engine has
    // stopped already (its teardown gives the default output back where the server still
    // answers); the owner decides whether to start again.
    std::function<void(const Failure&)> onFailure;

    // The cycle size asked of the server for its allowed range.
    static uint32_t requestedBufferFrames(uint32_t minimum, uint32_t maximum);

private:
    struct Capture {
        QString deviceName;
        AudioBackend::ObjectID device = 0;
        QString defaultUID;  // the default output when the capture was made
        std::optional<QString> capturedDeviceName;
        AudioBackend::ObjectID tap = 0;
        AudioBackend::ObjectID aggregate = 0;
        QString aggregateUID;
        QString previousDefault;
        uint32_t bufferFrames = 0;
        double sampleRate = 0;
        int inputChannels = 0;
        int outputChannels = 0;
        double reportedLatencyMS = 0;
    };

    // What one start builds on the worker: the capture, the real-time path on it, the default
    // it took over. Owned by the main thread while it runs; torn down on the worker.
    struct Running {
        Capture capture;
        std::unique_ptr<QRSystemIO> io;
        std::unique_ptr<EngineChain> graph;
        QString previousDefault;
        // The user chose another default between the capture's making and the takeover: the
        // run follows it at once.
        bool defaultMoved = false;
        uint64_t overloadsBase = 0;
        Info info;
    };

    // Worker: `unnamedDevice` names a device without a name (read on the main thread).
    static Capture createCapture(AudioBackend& backend, AudioDevices& devices,
                                 const std::optional<QString>& outputDeviceUID, const QString& unnamedDevice);
    static void destroyCapture(AudioBackend& backend, const Capture& capture);
    // Worker: the real-time path on the capture, the default taken over, the Info read.
    static void bringUp(AudioBackend& backend, AudioDevices& devices, const EngineChain::Factory& chainFactory,
                        const DSPSettings& settings, bool processed, Running& running);
    // Worker: the chain for the capture at `sampleRate`, configured, prepared and started.
    static std::unique_ptr<EngineChain> buildChain(const EngineChain::Factory& chainFactory, const Capture& capture,
                                                   double sampleRate, QRSystemIO& io, const DSPSettings& settings,
                                                   bool processed);
    // Worker: the real-time path runs `chain` from now on (a quick restart of the capture's
    // callback); the one it ran before is no longer called on return.
    static void switchChain(AudioBackend& backend, Running& running, EngineChain& chain);
    // Worker: the default given back while our sink still plays, then everything destroyed.
    static void tearDown(AudioBackend& backend, Running& running);
    static void takeOverDefaultSink(AudioBackend& backend, AudioDevices& devices, Running& running);
    static bool restoreDefaultSink(AudioBackend& backend, const Running& running);
    void finishStart(uint64_t generation, std::shared_ptr<Running> running, std::exception_ptr error,
                     const Completion& completion);
    void install(std::shared_ptr<Running> running);
    // From the start on: a default or a device list that changes while a start is on its way is
    // followed once it runs.
    void listenForDevices();
    void deviceChanged();
    void checkDefaultIsOurs();
    void faulted(AudioBackend::Fault fault);
    // The graph runs at another rate than the chain was built for (the server switched it): a
    // chain for that rate is built on the worker and takes over, then installed here (the old
    // one plays meanwhile).
    void followGraphRate();
    void chainRebuilt(const std::shared_ptr<Running>& running, std::unique_ptr<EngineChain> chain, double sampleRate,
                      std::exception_ptr error);
    void woke();

    std::shared_ptr<AudioBackend> backend_;
    std::shared_ptr<AudioDevices> devices_;
    EngineChain::Factory chainFactory_;
    std::optional<Info> info_;
    std::shared_ptr<Running> running_;
    std::vector<std::unique_ptr<AudioBackend::Listener>> listeners_;
    // wakeOnActivity: the request, and what watches the running capture for it (the notifier
    // goes before the capture whose descriptor it watches).
    std::function<void()> wake_;
    std::unique_ptr<QSocketNotifier> cycleNotifier_;
    std::unique_ptr<AudioBackend::Listener> sourceListener_;
    // The run (generation) whose device change is on its way to the main loop, if any: changes
    // that come meanwhile for the same run are told with it.
    std::optional<uint64_t> deviceChangePending_;
    bool rebuildingChain_ = false;  // a chain for the graph's new rate is on its way
    bool devicesChangedWhileStarting_ = false;
    DSPSettings settings_;
    bool processed_ = true;
    bool spectrumWanted_ = false;
    bool changedWhileStarting_ = false;
    // Every start, stop and cancel moves it on: a start that finds it moved is superseded.
    std::shared_ptr<std::atomic<uint64_t>> generation_;
    std::shared_ptr<int> alive_;            // hand-backs from the worker check it is still there
    std::unique_ptr<SerialWorker> worker_;  // last: joined before anything else goes
};

}  // namespace quorel
