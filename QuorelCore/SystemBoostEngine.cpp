#include "SystemBoostEngine.h"

#include "AudioFailure.h"
#include "GraphChain.h"
#include "ShortestDecimal.h"
#include "StatusText.h"
#include "L10n.h"
#include "QueuedCall.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <utility>

#include <unistd.h>

namespace quorel {

namespace {

QString audioOutputName() { return L10n::render("Audio output", {}, L10n::language()); }

AudioFailure localizedFailure(const char* key, const QStringList& arguments = {})
{
    return AudioFailure::localized(LocalizedMessage(QString::fromUtf8(key), arguments));
}

constexpr const char* sinkPrefix = "local.quorel.aggregate.";

// Our virtual sink's name: the same for this user on every start. The session manager keeps the
// last few configured defaults by name, and a new name each start would push the user's own
// devices out of that history.
QString ownSinkName()
{
    static const QUuid space = QUuid::fromString(QStringLiteral("{5b0e7f6c-3d1a-4c8e-9f57-2a61d4c0b9e3}"));
    const QByteArray user = "uid:" + QByteArray::number(qulonglong(::getuid()));
    return sinkPrefix + QUuid::createUuidV5(space, user).toString(QUuid::WithoutBraces).toUpper();
}

Status renderThroughChain(void* context, uint32_t frames, AudioBufferList& output)
{
    return static_cast<EngineChain*>(context)->render(frames, output);
}

void restartChain(void* context) { static_cast<EngineChain*>(context)->restart(); }

}  // namespace

// ---- Failure

SystemBoostEngine::Failure SystemBoostEngine::Failure::permission(int32_t status)
{
    Failure f;
    f.kind_ = Kind::permission;
    f.status_ = status;
    return f;
}

SystemBoostEngine::Failure SystemBoostEngine::Failure::message(const QString& text)
{
    Failure f;
    f.kind_ = Kind::message;
    f.text_ = text;
    return f;
}

SystemBoostEngine::Failure SystemBoostEngine::Failure::localized(const LocalizedMessage& message)
{
    Failure f;
    f.kind_ = Kind::localized;
    f.localized_ = message;
    return f;
}

QString SystemBoostEngine::Failure::description() const
{
    switch (kind_) {
    case Kind::permission:
        return L10n::render("The system did not authorize system audio capture ({0}). Allow Quorel in the "
                            "sound settings, then try again.",
                            {statusText(uint32_t(status_))}, L10n::language());
    case Kind::message: return text_;
    case Kind::localized: return localized_->text();
    }
    return text_;
}

std::shared_ptr<const DescribedError> SystemBoostEngine::Failure::clone() const
{
    return std::make_shared<Failure>(*this);
}

// ---- Construction

SystemBoostEngine::SystemBoostEngine(std::shared_ptr<AudioBackend> backend, std::shared_ptr<AudioDevices> devices)
    : SystemBoostEngine(std::move(backend), std::move(devices), GraphChain::factory())
{
}

SystemBoostEngine::SystemBoostEngine(std::shared_ptr<AudioBackend> backend, std::shared_ptr<AudioDevices> devices,
                                     EngineChain::Factory chainFactory)
    : backend_(std::move(backend)), devices_(std::move(devices)), chainFactory_(std::move(chainFactory)),
      generation_(std::make_shared<std::atomic<uint64_t>>(0)), alive_(std::make_shared<int>(0)),
      worker_(std::make_unique<SerialWorker>())
{
}

SystemBoostEngine::~SystemBoostEngine()
{
    alive_.reset();
    stop();
    worker_.reset();  // runs the teardown to its end
}

uint32_t SystemBoostEngine::requestedBufferFrames(uint32_t minimum, uint32_t maximum)
{
    return std::min(std::max(minimum, 512u), std::min(maximum, maximumFrames));
}

// ---- Start

void SystemBoostEngine::start(const DSPSettings& settings, bool processed,
                              const std::optional<QString>& outputDeviceUID, Completion completion)
{
    stop();
    settings_ = settings;
    processed_ = processed;
    changedWhileStarting_ = false;
    devicesChangedWhileStarting_ = false;
    const uint64_t generation = ++*generation_;
    listenForDevices();
    std::shared_ptr<std::atomic<uint64_t>> current = generation_;
    std::shared_ptr<AudioBackend> backend = backend_;
    std::shared_ptr<AudioDevices> devices = devices_;
    EngineChain::Factory chainFactory = chainFactory_;
    std::weak_ptr<int> alive = alive_;
    // Read here: the settings store (the language) belongs to the main thread.
    const QString unnamedDevice = audioOutputName();
    worker_->post([this, backend, devices, chainFactory, current, generation, alive, settings, processed,
                   outputDeviceUID, unnamedDevice, completion = std::move(completion)] {
        std::shared_ptr<Running> running;
        std::exception_ptr error;
        if (current->load() != generation) {
            // Superseded while it waited behind the work before it: nothing to create.
            error = std::make_exception_ptr(Cancelled());
        } else {
            try {
                running = std::make_shared<Running>();
                running->capture = createCapture(*backend, *devices, outputDeviceUID, unnamedDevice);
            } catch (...) {
                running.reset();
                error = std::current_exception();
            }
        }
        if (running && current->load() != generation) {
            // Stopped while the capture was being made: take it down before it ever ran.
            destroyCapture(*backend, running->capture);
            running.reset();
            error = std::make_exception_ptr(Cancelled());
        }
        if (running) {
            try {
                bringUp(*backend, *devices, chainFactory, settings, processed, *running);
            } catch (...) {
                error = std::current_exception();
                tearDown(*backend, *running);
                running.reset();
            }
        }
        queuedCall(QCoreApplication::instance(), [this, backend, alive, generation, running, error, completion] {
            if (alive.lock())
                finishStart(generation, running, error, completion);
            else if (running)  // the engine is gone, and whoever waited with it
                tearDown(*backend, *running);
        });
    });
}

SystemBoostEngine::Info SystemBoostEngine::startAndWait(const DSPSettings& settings, bool processed,
                                                        const std::optional<QString>& outputDeviceUID)
{
    QEventLoop loop;
    std::optional<Info> result;
    std::exception_ptr failure;
    bool done = false;
    start(settings, processed, outputDeviceUID, [&](std::optional<Info> info, std::exception_ptr error) {
        result = info;
        failure = error;
        done = true;
        loop.quit();
    });
    if (!done) loop.exec();
    if (failure) std::rethrow_exception(failure);
    return *result;
}

void SystemBoostEngine::finishStart(uint64_t generation, std::shared_ptr<Running> running, std::exception_ptr error,
                                    const Completion& completion)
{
    if (error) {
        completion(std::nullopt, error);
        return;
    }
    if (generation != generation_->load()) {
        // Overtaken after the worker finished: the newer start or stop is already queued behind
        // this teardown's place in line.
        std::shared_ptr<AudioBackend> backend = backend_;
        worker_->post([backend, running] { tearDown(*backend, *running); });
        completion(std::nullopt, std::make_exception_ptr(Cancelled()));
        return;
    }
    install(std::move(running));
    completion(info_, nullptr);
}

void SystemBoostEngine::install(std::shared_ptr<Running> running)
{
    running_ = std::move(running);
    info_ = running_->info;
    running_->graph->setSpectrumWanted(spectrumWanted_);
    // What changed while the worker built the chain reaches it now.
    if (changedWhileStarting_) {
        changedWhileStarting_ = false;
        try {
            running_->graph->apply(settings_);
        } catch (...) {
            // Kept as stored; the next apply reports the failure.
        }
        const float trim = DSPSettings::linearGain(settings_.comparisonTrimDB);
        running_->graph->setPathGains(processed_ ? 0.0f : 1.0f, processed_ ? trim : 0.0f);
    }
    {
        // A fault told late belongs to this run only.
        std::weak_ptr<int> alive = alive_;
        const uint64_t generation = generation_->load();
        auto listener =
            backend_->listenForFault(running_->capture.aggregate, [this, alive, generation](AudioBackend::Fault fault) {
                if (alive.lock() && generation == generation_->load()) faulted(fault);
            });
        if (listener) listeners_.push_back(std::move(listener));
    }
    {
        std::weak_ptr<int> alive = alive_;
        auto listener = backend_->listenForRate(running_->capture.aggregate, [this, alive] {
            if (alive.lock()) followGraphRate();
        });
        if (listener) listeners_.push_back(std::move(listener));
    }
    // The first cycles may have run at another rate already.
    followGraphRate();
    // A choice made while the start was on its way: the run that came up goes to it; so does a
    // default taken from us after the start took it, now or later.
    {
        std::weak_ptr<int> alive = alive_;
        auto listener = backend_->listen(AudioBackend::Event::serverDefault, [this, alive] {
            if (alive.lock()) checkDefaultIsOurs();
        });
        if (listener) listeners_.push_back(std::move(listener));
    }
    if (std::exchange(devicesChangedWhileStarting_, false) || running_->defaultMoved)
        deviceChanged();
    else
        checkDefaultIsOurs();
}

void SystemBoostEngine::listenForDevices()
{
    for (const AudioBackend::Event event : {AudioBackend::Event::defaultOutput, AudioBackend::Event::deviceList}) {
        std::weak_ptr<int> alive = alive_;
        auto listener = backend_->listen(event, [this, alive] {
            if (alive.lock()) deviceChanged();
        });
        if (listener) listeners_.push_back(std::move(listener));
    }
}

// Another default while we run (a session manager that restores its own as it starts, a choice of
// the very device we play to) leaves every application playing past us: that is followed like a
// change of output, whose restart takes the default again. Read on the worker: the server may be
// slow to answer.
void SystemBoostEngine::checkDefaultIsOurs()
{
    if (!running_ || running_->capture.aggregateUID.isEmpty()) return;
    const uint64_t generation = generation_->load();
    std::shared_ptr<std::atomic<uint64_t>> current = generation_;
    std::shared_ptr<AudioBackend> backend = backend_;
    std::weak_ptr<int> alive = alive_;
    worker_->post([this, backend, current, generation, alive, ours = running_->capture.aggregateUID] {
        if (current->load() != generation) return;
        QString now;
        try {
            now = backend->serverDefaultSink();
        } catch (...) {
            return;  // a server gone away is told as a fault
        }
        if (now.isEmpty() || now == ours) return;
        queuedCall(QCoreApplication::instance(), [this, alive, generation] {
            if (alive.lock() && generation == generation_->load()) deviceChanged();
        });
    });
}

// A default-output and a device-list change that arrive together are told once; one that comes
// while a start is on its way is told once it runs (install). One that a stop overtook belongs
// to the run it stopped, but a change that comes after that stop is told on its own: it belongs
// to the next run.
void SystemBoostEngine::deviceChanged()
{
    const uint64_t generation = generation_->load();
    if (deviceChangePending_ == generation) return;
    deviceChangePending_ = generation;
    std::weak_ptr<int> alive = alive_;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, alive, generation] {
            if (!alive.lock()) return;
            if (deviceChangePending_ == generation) deviceChangePending_.reset();
            if (generation != generation_->load()) return;
            if (!running_)
                devicesChangedWhileStarting_ = true;
            else if (onDefaultDeviceChange)
                onDefaultDeviceChange();
        },
        Qt::QueuedConnection);
}

// Processing ended under us: stop in order (the default goes back while the server answers),
// then tell the owner.
void SystemBoostEngine::faulted(AudioBackend::Fault fault)
{
    if (!running_) return;
    const char* key = fault == AudioBackend::Fault::connectionLost ? "The connection to the sound server was lost."
                      : fault == AudioBackend::Fault::outputGone   ? "The output device is no longer available."
                                                                   : "The sound server stopped the audio stream.";
    const Failure failure = Failure::localized(LocalizedMessage(QString::fromUtf8(key)));
    stop();
    if (onFailure) onFailure(failure);
}

// The chain's filters, times and look-ahead are designed for one rate: at another, every band
// lands elsewhere (a 1 kHz band near 919 Hz at 44.1 kHz). The old chain plays on until the new
// one takes over on the worker, a moment later.
void SystemBoostEngine::followGraphRate()
{
    if (!running_ || rebuildingChain_) return;
    const std::optional<double> rate = backend_->graphRate(running_->capture.aggregate);
    if (!rate || *rate == running_->capture.sampleRate || !(*rate >= 8000 && *rate <= 192000)) return;
    rebuildingChain_ = true;
    std::shared_ptr<Running> running = running_;
    std::shared_ptr<AudioBackend> backend = backend_;
    std::weak_ptr<int> alive = alive_;
    // A stop that comes meanwhile queues its teardown behind this: the run is still whole here.
    worker_->post([this, backend, running, alive, chainFactory = chainFactory_, settings = settings_,
                   processed = processed_, sampleRate = *rate] {
        std::shared_ptr<std::unique_ptr<EngineChain>> chain = std::make_shared<std::unique_ptr<EngineChain>>();
        std::exception_ptr error;
        try {
            *chain = buildChain(chainFactory, running->capture, sampleRate, *running->io, settings, processed);
            switchChain(*backend, *running, **chain);
        } catch (...) {
            error = std::current_exception();
        }
        queuedCall(QCoreApplication::instance(), [this, alive, running, chain, sampleRate, error] {
            // Without the engine its teardown has run: nothing renders the chain any longer.
            if (alive.lock()) chainRebuilt(running, std::move(*chain), sampleRate, error);
        });
    });
}

void SystemBoostEngine::chainRebuilt(const std::shared_ptr<Running>& running, std::unique_ptr<EngineChain> chain,
                                     double sampleRate, std::exception_ptr error)
{
    if (running != running_) {
        // Stopped meanwhile: the teardown queued on the worker ends the callback that may still
        // run this chain, and the chain goes after it.
        if (chain) worker_->post([gone = std::shared_ptr<EngineChain>(std::move(chain))] {});
        return;
    }
    rebuildingChain_ = false;
    if (error) {
        Failure failure = Failure::message(QString());
        try {
            std::rethrow_exception(error);
        } catch (const Failure& f) {
            failure = f;
        } catch (const DescribedError& e) {
            failure = Failure::message(e.description());
        } catch (const std::exception& e) {
            failure = Failure::message(QString::fromUtf8(e.what()));
        }
        stop();
        if (chain) worker_->post([gone = std::shared_ptr<EngineChain>(std::move(chain))] {});
        if (onFailure) onFailure(failure);
        return;
    }
    // The callback runs the new chain: the old one is called no more.
    std::unique_ptr<EngineChain> old = std::exchange(running_->graph, std::move(chain));
    old->stop();
    old.reset();
    running_->capture.sampleRate = sampleRate;
    Info& info = running_->info;
    info.sampleRate = sampleRate;
    info.effectsLatencyMS = running_->graph->reportedLatency() * 1000;
    if (const std::optional<uint32_t> latency = backend_->latencyFrames(running_->capture.aggregate))
        info.reportedDeviceLatencyMS = double(*latency) / sampleRate * 1000;
    info_ = info;
    // What changed while the worker built it.
    running_->graph->setSpectrumWanted(spectrumWanted_);
    try {
        running_->graph->apply(settings_);
    } catch (...) {
        // Kept as stored; the next apply reports the failure.
    }
    const float trim = DSPSettings::linearGain(settings_.comparisonTrimDB);
    running_->graph->setPathGains(processed_ ? 0.0f : 1.0f, processed_ ? trim : 0.0f);
    // The graph may have moved on again meanwhile.
    followGraphRate();
}

SystemBoostEngine::Capture SystemBoostEngine::createCapture(AudioBackend& backend, AudioDevices& devices,
                                                            const std::optional<QString>& outputDeviceUID,
                                                            const QString& unnamedDevice)
{
    Capture capture;
    // The default output first, also when a UID was given.
    const AudioBackend::ObjectID defaultDevice = backend.defaultOutputDevice();
    const QString defaultUID = backend.deviceUID(defaultDevice);
    const QString defaultName = backend.deviceName(defaultDevice).value_or(unnamedDevice);

    QString outputUID = defaultUID;
    capture.deviceName = defaultName;
    capture.device = defaultDevice;
    capture.defaultUID = defaultUID;
    if (outputDeviceUID && *outputDeviceUID != defaultUID) {
        const std::optional<AudioBackend::ObjectID> chosen = backend.device(*outputDeviceUID);
        if (chosen && !devices.isOwnSink(*outputDeviceUID) && backend.outputChannels(*chosen) > 0) {
            outputUID = *outputDeviceUID;
            capture.deviceName = backend.deviceName(*chosen).value_or(unnamedDevice);
            capture.capturedDeviceName = defaultName;
        }
    }

    // The capture: our virtual sink, asking for the cycle size the server's range allows.
    const AudioBackend::Clock clock = backend.clock();
    const uint32_t requested = requestedBufferFrames(clock.minimumFrames, clock.maximumFrames);
    capture.aggregateUID = ownSinkName();
    AudioBackend::ObjectID tap = 0;
    AudioBackend::Status tapStatus = backend.createTap(capture.aggregateUID, requested, tap);
    if (tapStatus == -EEXIST) {
        // Another process of this user processes already under that name: this run takes a
        // name of its own.
        capture.aggregateUID = sinkPrefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        tapStatus = backend.createTap(capture.aggregateUID, requested, tap);
    }
    if (tapStatus == status::illegalOperation || tapStatus == status::notRunning || tapStatus == status::unspecified)
        throw Failure::permission(tapStatus);
    if (tapStatus != 0 || tap == 0)
        throw Failure::localized(
            LocalizedMessage("Could not create system audio capture ({0}).", {statusText(uint32_t(tapStatus))}));
    capture.tap = tap;
    try {
        const int tapChannels = backend.tapChannels(tap);
        if (tapChannels != 1 && tapChannels != 2)
            throw Failure::localized(LocalizedMessage("Capture delivered {0} channels; expected mono or stereo.",
                                                      {QString::number(tapChannels)}));
        AudioBackend::ObjectID aggregate = 0;
        const AudioBackend::Status aggregateStatus = backend.createAggregate(tap, outputUID, aggregate);
        if (aggregateStatus != 0 || aggregate == 0)
            throw Failure::localized(LocalizedMessage("Could not create the aggregate device ({0}).",
                                                      {statusText(uint32_t(aggregateStatus))}));
        capture.aggregate = aggregate;
    } catch (...) {
        backend.destroyTap(tap);
        throw;
    }
    try {
        capture.bufferFrames = backend.bufferFrames(capture.aggregate);
        if (capture.bufferFrames < 1 || capture.bufferFrames > maximumFrames)
            throw Failure::localized(
                LocalizedMessage("Unexpected buffer size: {0} frames.", {QString::number(capture.bufferFrames)}));
        capture.sampleRate = clock.sampleRate;
        if (!(capture.sampleRate >= 8000 && capture.sampleRate <= 192000))
            throw Failure::localized(
                LocalizedMessage("Unexpected sample rate: {0} Hz.", {shortestDecimal(capture.sampleRate)}));
        capture.inputChannels = backend.channelCount(capture.aggregate, true);
        capture.outputChannels = backend.channelCount(capture.aggregate, false);
        if (capture.inputChannels < 1 || capture.outputChannels < 1)
            throw Failure::localized(
                LocalizedMessage("The aggregate device did not expose input and output ({0}/{1}).",
                                 {QString::number(capture.inputChannels), QString::number(capture.outputChannels)}));
        capture.reportedLatencyMS =
            double(backend.latencyFrames(capture.aggregate).value_or(0)) / capture.sampleRate * 1000;
    } catch (...) {
        destroyCapture(backend, capture);
        throw;
    }
    return capture;
}

void SystemBoostEngine::destroyCapture(AudioBackend& backend, const Capture& capture)
{
    if (capture.aggregate != 0) backend.destroyAggregate(capture.aggregate);
    if (capture.tap != 0) backend.destroyTap(capture.tap);
}

// ---- Bring-up and teardown (worker)

void SystemBoostEngine::bringUp(AudioBackend& backend, AudioDevices& devices, const EngineChain::Factory& chainFactory,
                                const DSPSettings& settings, bool processed, Running& running)
{
    const Capture& capture = running.capture;
    const uint32_t channels = uint32_t(std::min(capture.inputChannels, 2));
    auto io = QRSystemIO::create(channels, uint32_t(capture.outputChannels), maximumFrames);
    if (!io) throw localizedFailure("Could not prepare the real-time buffers.");
    auto graph = buildChain(chainFactory, capture, capture.sampleRate, *io, settings, processed);
    io->setRenderBlock({&renderThroughChain, graph.get(), &restartChain});
    running.graph = std::move(graph);
    running.io = std::move(io);

    QRAudioDevice* device = backend.ioDevice(capture.aggregate);
    Status status = status::unspecified;
    if (!device || !running.io->start(*device, status))
        throw localizedFailure("The sound server could not start the audio stream ({0}).",
                               {statusText(uint32_t(status))});

    running.overloadsBase = backend.overloads(capture.aggregate);
    takeOverDefaultSink(backend, devices, running);

    Info& info = running.info;
    info.deviceName = capture.deviceName;
    info.capturedDeviceName = capture.capturedDeviceName;
    info.sampleRate = capture.sampleRate;
    // The server settles the cycle size once the streams run: read it again.
    // Cycles longer than the chain takes at once are processed in slices, so the size that runs
    // is shown whatever it is.
    const uint32_t cycle = backend.bufferFrames(capture.aggregate);
    info.bufferFrames = cycle >= 1 ? cycle : capture.bufferFrames;
    info.realtime = backend.isRealtime(capture.aggregate).value_or(false);
    info.inputChannels = capture.inputChannels;
    info.outputChannels = capture.outputChannels;
    const std::optional<uint32_t> latency = backend.latencyFrames(capture.aggregate);
    info.reportedDeviceLatencyMS = latency ? double(*latency) / capture.sampleRate * 1000 : capture.reportedLatencyMS;
    info.effectsLatencyMS = running.graph->reportedLatency() * 1000;
}

std::unique_ptr<EngineChain> SystemBoostEngine::buildChain(const EngineChain::Factory& chainFactory,
                                                           const Capture& capture, double sampleRate, QRSystemIO& io,
                                                           const DSPSettings& settings, bool processed)
{
    const uint32_t channels = uint32_t(std::min(capture.inputChannels, 2));
    QRSystemIO* ioPointer = &io;
    auto graph = chainFactory(channels, sampleRate, [ioPointer](uint32_t frames) { return ioPointer->input(frames); });
    graph->apply(settings);
    const float trim = DSPSettings::linearGain(settings.comparisonTrimDB);
    graph->setPathGains(processed ? 0.0f : 1.0f, processed ? trim : 0.0f);
    graph->setSpectrumWanted(false);  // until the main thread tells whether anyone reads it
    graph->prepare();
    graph->start();
    return graph;
}

void SystemBoostEngine::switchChain(AudioBackend& backend, Running& running, EngineChain& chain)
{
    QRAudioDevice* device = backend.ioDevice(running.capture.aggregate);
    Status status = status::unspecified;
    if (device) {
        // A running callback keeps the render block it was started with: stopped (no cycle runs
        // the old chain on return) and started again on the new one.
        running.io->stop();
        running.io->setRenderBlock({&renderThroughChain, &chain, &restartChain});
    }
    if (!device || !running.io->start(*device, status))
        throw localizedFailure("The sound server could not start the audio stream ({0}).",
                               {statusText(uint32_t(status))});
}

// The server's default becomes our virtual sink, so every other application plays into it.
// The sink it replaces is remembered (also by the devices, across runs): a default still naming
// a virtual sink of ours from a run that crashed is given back to the sink remembered then.
void SystemBoostEngine::takeOverDefaultSink(AudioBackend& backend, AudioDevices& devices, Running& running)
{
    const QString current = backend.serverDefaultSink();
    QString previous = current;
    if (current.isEmpty() || devices.isOwnSink(current)) {
        const std::optional<QString> stored = devices.previousDefault();
        if (stored && !stored->isEmpty() && !devices.isOwnSink(*stored) && backend.device(*stored))
            previous = *stored;
        else
            previous = backend.deviceUID(running.capture.device);
    }
    running.previousDefault = previous;
    running.defaultMoved = !current.isEmpty() && !devices.isOwnSink(current) && current != running.capture.defaultUID
                           && backend.device(current).has_value();
    devices.setPreviousDefault(previous);
    // Without the default, every application would go on playing straight to the device while
    // processing looked switched on.
    if (!backend.setServerDefaultSink(running.capture.aggregateUID))
        throw localizedFailure("The sound server did not make Quorel the default output.", {});
}

// Gives the default back, but only while it still names our sink: a default the user chose
// meanwhile stays. False when the server kept our sink as its default.
bool SystemBoostEngine::restoreDefaultSink(AudioBackend& backend, const Running& running)
{
    if (running.previousDefault.isEmpty() || running.capture.aggregateUID.isEmpty()) return true;
    if (backend.serverDefaultSink() != running.capture.aggregateUID) return true;
    return backend.setServerDefaultSink(running.previousDefault);
}

void SystemBoostEngine::tearDown(AudioBackend& backend, Running& running)
{
    // The default goes back first, while our sink still plays: the applications move over
    // without a gap of silence.
    bool restored = true;
    try {
        restored = restoreDefaultSink(backend, running);
    } catch (...) {
        // A server that went away has no default to give back.
    }
    if (running.io) {
        running.io->stop();
        running.io.reset();
    }
    if (running.graph) {
        running.graph->stop();
        running.graph.reset();
    }
    destroyCapture(backend, running.capture);
    running.capture.aggregate = 0;
    running.capture.tap = 0;
    // Once our sink is gone the server no longer holds on to it; name the real device again
    // rather than leave the choice to the server's fallback. Not over a choice made meanwhile (a
    // session manager that followed the give-back too slowly to be seen is one): only while the
    // configured default still names our sink.
    if (!restored) {
        try {
            const QString configured = backend.serverDefaultSink();
            if (configured.isEmpty() || configured == running.capture.aggregateUID)
                backend.setServerDefaultSink(running.previousDefault);
        } catch (...) {
        }
    }
}

// ---- Running

void SystemBoostEngine::stop(std::function<void()> teardownDone)
{
    ++*generation_;
    listeners_.clear();
    rebuildingChain_ = false;
    wake_ = nullptr;
    cycleNotifier_.reset();
    sourceListener_.reset();
    info_.reset();
    std::shared_ptr<Running> running = std::move(running_);
    running_.reset();
    if (!running && !teardownDone) return;
    std::shared_ptr<AudioBackend> backend = backend_;
    std::weak_ptr<int> alive = alive_;
    worker_->post([backend, running, alive, teardownDone = std::move(teardownDone)] {
        if (running) tearDown(*backend, *running);
        if (!teardownDone) return;
        queuedCall(QCoreApplication::instance(), [alive, teardownDone] {
            if (alive.lock()) teardownDone();
        });
    });
}

void SystemBoostEngine::cancelStart() { ++*generation_; }

bool SystemBoostEngine::waitUntilIdle(int timeoutMS) const
{
    return worker_->waitUntilIdle(std::chrono::milliseconds(timeoutMS));
}

bool SystemBoostEngine::isBusy() const { return !worker_->isIdle(); }

void SystemBoostEngine::apply(const DSPSettings& settings)
{
    settings_ = settings;
    if (running_)
        running_->graph->apply(settings);
    else
        changedWhileStarting_ = true;
}

void SystemBoostEngine::setProcessed(bool processed)
{
    processed_ = processed;
    if (!running_) {
        changedWhileStarting_ = true;
        return;
    }
    const float trim = DSPSettings::linearGain(settings_.comparisonTrimDB);
    running_->graph->setPathGains(processed ? 0.0f : 1.0f, processed ? trim : 0.0f);
}

std::optional<bool> SystemBoostEngine::isSourceRunningSomewhere() const
{
    if (!running_ || running_->capture.tap == 0) return std::nullopt;
    return backend_->isSourceRunning(running_->capture.tap);
}

std::optional<MeterReading> SystemBoostEngine::meter() const
{
    if (!running_) return std::nullopt;
    return running_->graph->meter();
}

std::optional<SpectrumReading> SystemBoostEngine::spectrum() const
{
    if (!running_) return std::nullopt;
    return running_->graph->spectrum();
}

void SystemBoostEngine::setSpectrumWanted(bool wanted)
{
    spectrumWanted_ = wanted;
    if (running_) running_->graph->setSpectrumWanted(wanted);
}

bool SystemBoostEngine::wakeOnActivity(std::function<void()> wake)
{
    wake_ = nullptr;
    if (!running_) return false;
    CycleSignal& signal = running_->io->cycleSignal();
    signal.disarm();
    if (!wake) return true;
    if (signal.fd() < 0) return false;
    // Made at each request, not at the start: by then the server has told everyone of our sink,
    // whose streams the backend watches, under the name it has now. What a replaced listener
    // had yet to tell, the caller reads from the same snapshot once this returns.
    std::weak_ptr<int> alive = alive_;
    sourceListener_ = backend_->listenForSource(running_->capture.tap, [this, alive] {
        if (alive.lock()) woke();
    });
    if (!sourceListener_) return false;
    if (!cycleNotifier_) {
        cycleNotifier_ = std::make_unique<QSocketNotifier>(signal.fd(), QSocketNotifier::Read);
        QObject::connect(cycleNotifier_.get(), &QSocketNotifier::activated, [this] {
            if (running_) running_->io->cycleSignal().take();
            woke();
        });
    }
    wake_ = std::move(wake);
    signal.arm();
    return true;
}

void SystemBoostEngine::woke()
{
    if (!wake_) return;
    if (running_) running_->io->cycleSignal().disarm();
    const std::function<void()> wake = std::exchange(wake_, nullptr);
    wake();
}

QRSystemIOStats SystemBoostEngine::stats() const
{
    if (!running_ || !info_) return {};
    QRSystemIOStats stats = running_->io->stats();
    stats.overloads = backend_->overloads(running_->capture.aggregate) - running_->overloadsBase;
    stats.sampleRate = info_->sampleRate;
    return stats;
}

}  // namespace quorel
