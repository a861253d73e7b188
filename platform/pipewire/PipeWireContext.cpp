#include "PipeWireContext.h"

#include "ClientConfig.h"
#include "LoopLock.h"

#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>
#include <spa/utils/json.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include <pthread.h>
#include <sched.h>

namespace quorel::pipewire {

namespace {

constexpr const char* configuredSinkKey = "default.configured.audio.sink";
constexpr const char* sinkKey = "default.audio.sink";

void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

uint32_t parseUnsigned(const char* text, uint32_t fallback)
{
    if (!text) return fallback;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value == 0 || value > 1u << 20) return fallback;
    return uint32_t(value);
}

std::string text(const char* value) { return value ? std::string(value) : std::string(); }

}  // namespace

std::string nameInMetadataValue(const char* json)
{
    if (!json) return {};
    spa_json it[2];
    spa_json_init(&it[0], json, std::strlen(json));
    if (spa_json_enter_object(&it[0], &it[1]) <= 0) return {};
    char key[64];
    while (spa_json_get_string(&it[1], key, sizeof key) > 0) {
        const char* value = nullptr;
        const int length = spa_json_next(&it[1], &value);
        if (length <= 0) break;
        if (std::strcmp(key, "name") == 0) {
            if (!spa_json_is_string(value, length)) return {};
            std::string result(size_t(length) + 1, '\0');
            if (spa_json_parse_stringn(value, length, result.data(), int(result.size())) <= 0) return {};
            result.resize(std::strlen(result.c_str()));
            return result;
        }
    }
    return {};
}

struct PipeWireContext::Listener {
    spa_hook core{};
    spa_hook registry{};
    spa_hook metadata{};
    spa_hook settings{};
};

struct ContextCallbacks {
    static void coreInfo(void* data, const pw_core_info* info)
    {
        auto* self = static_cast<PipeWireContext*>(data);
        if (!info->props) return;
        self->clockRate_ = parseUnsigned(spa_dict_lookup(info->props, "default.clock.rate"), self->clockRate_);
        self->minimumQuantum_ =
            parseUnsigned(spa_dict_lookup(info->props, "default.clock.min-quantum"), self->minimumQuantum_);
        self->maximumQuantum_ =
            parseUnsigned(spa_dict_lookup(info->props, "default.clock.max-quantum"), self->maximumQuantum_);
    }

    static void coreDone(void* data, uint32_t id, int seq)
    {
        auto* self = static_cast<PipeWireContext*>(data);
        if (id == PW_ID_CORE && seq == self->pendingSync_) {
            self->synced_ = true;
            pw_thread_loop_signal(self->loop_, false);
        }
    }

    static void coreError(void* data, uint32_t id, int, int res, const char*)
    {
        auto* self = static_cast<PipeWireContext*>(data);
        if (id == PW_ID_CORE && res == -EPIPE) {
            self->failed_ = true;
            pw_thread_loop_signal(self->loop_, false);
            self->notifyChange();
        }
    }

    static int metadataProperty(void* data, uint32_t subject, const char* key, const char*, const char* value)
    {
        auto* self = static_cast<PipeWireContext*>(data);
        if (subject != PW_ID_CORE) return 0;
        if (!key) {
            self->defaultSink_.clear();
            self->configuredDefaultSink_.clear();
        } else if (std::strcmp(key, sinkKey) == 0) {
            self->defaultSink_ = nameInMetadataValue(value);
        } else if (std::strcmp(key, configuredSinkKey) == 0) {
            self->configuredDefaultSink_ = nameInMetadataValue(value);
        } else {
            return 0;
        }
        self->notifyChange();
        return 0;
    }

    static int settingsProperty(void* data, uint32_t subject, const char* key, const char*, const char* value)
    {
        auto* self = static_cast<PipeWireContext*>(data);
        if (subject != PW_ID_CORE) return 0;
        if (!key || std::strcmp(key, "clock.force-quantum") == 0)
            self->forcedQuantum_ = key && value ? parseUnsigned(value, 0) : 0;
        if (!key || std::strcmp(key, "clock.force-rate") == 0)
            self->forcedRate_ = key && value ? parseUnsigned(value, 0) : 0;
        return 0;
    }

    // A property replayed to a fresh bind (refreshDefaults): taken only while that metadata is
    // still the one bound (a restarted session manager publishes a new one).
    static int freshMetadataProperty(void* data, uint32_t subject, const char* key, const char* type, const char* value)
    {
        auto* reading = static_cast<PipeWireContext::FreshMetadata*>(data);
        PipeWireContext* self = reading->self;
        if (!self->metadata_ || self->metadataID_ != reading->id) return 0;
        return metadataProperty(self, subject, key, type, value);
    }

    static void global(void* data, uint32_t id, uint32_t, const char* type, uint32_t, const spa_dict* props)
    {
        auto* self = static_cast<PipeWireContext*>(data);
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
            PipeWireContext::Node node;
            node.id = id;
            if (props) {
                node.name = text(spa_dict_lookup(props, PW_KEY_NODE_NAME));
                node.description = text(spa_dict_lookup(props, PW_KEY_NODE_DESCRIPTION));
                node.mediaClass = text(spa_dict_lookup(props, PW_KEY_MEDIA_CLASS));
                node.channels = parseUnsigned(spa_dict_lookup(props, PW_KEY_AUDIO_CHANNELS), 0);
            }
            node.sessionManager = self->sessionManagers_;
            self->nodes_[id] = node;
            self->notifyChange();
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Link) == 0 && props) {
            self->links_[id] = {parseUnsigned(spa_dict_lookup(props, PW_KEY_LINK_OUTPUT_NODE), 0),
                                parseUnsigned(spa_dict_lookup(props, PW_KEY_LINK_OUTPUT_PORT), 0),
                                parseUnsigned(spa_dict_lookup(props, PW_KEY_LINK_INPUT_NODE), 0),
                                parseUnsigned(spa_dict_lookup(props, PW_KEY_LINK_INPUT_PORT), 0)};
            self->notifyChange();
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Port) == 0 && props) {
            PipeWireContext::Port port;
            port.id = id;
            port.node = parseUnsigned(spa_dict_lookup(props, PW_KEY_NODE_ID), 0);
            port.input = text(spa_dict_lookup(props, PW_KEY_PORT_DIRECTION)) == "in";
            port.monitor = text(spa_dict_lookup(props, PW_KEY_PORT_MONITOR)) == "true";
            port.name = text(spa_dict_lookup(props, PW_KEY_PORT_NAME));
            port.channel = text(spa_dict_lookup(props, PW_KEY_AUDIO_CHANNEL));
            self->ports_[id] = port;
            self->notifyChange();
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0 && props && !self->settings_
                   && text(spa_dict_lookup(props, PW_KEY_METADATA_NAME)) == "settings") {
            // The server's own: lives as long as the server.
            self->settings_ = static_cast<pw_metadata*>(
                pw_registry_bind(self->registry_, id, PW_TYPE_INTERFACE_Metadata, PW_VERSION_METADATA, 0));
            if (!self->settings_) return;
            static const pw_metadata_events events = [] {
                pw_metadata_events e{};
                e.version = PW_VERSION_METADATA_EVENTS;
                e.property = &ContextCallbacks::settingsProperty;
                return e;
            }();
            pw_metadata_add_listener(self->settings_, &self->listener_->settings, &events, self);
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0 && props && !self->metadata_) {
            // The session manager owns it: a restarted one publishes a new one, bound here again.
            const char* name = spa_dict_lookup(props, PW_KEY_METADATA_NAME);
            if (!name || std::strcmp(name, "default") != 0) return;
            self->metadata_ = static_cast<pw_metadata*>(
                pw_registry_bind(self->registry_, id, PW_TYPE_INTERFACE_Metadata, PW_VERSION_METADATA, 0));
            if (!self->metadata_) return;
            self->metadataID_ = id;
            ++self->sessionManagers_;
            // What was there when we connected came up with this one.
            if (!self->synced_)
                for (auto& [nodeID, node] : self->nodes_) node.sessionManager = self->sessionManagers_;
            static const pw_metadata_events events = [] {
                pw_metadata_events e{};
                e.version = PW_VERSION_METADATA_EVENTS;
                e.property = &ContextCallbacks::metadataProperty;
                return e;
            }();
            pw_metadata_add_listener(self->metadata_, &self->listener_->metadata, &events, self);
            self->notifyChange();
        }
    }

    static void globalRemove(void* data, uint32_t id)
    {
        auto* self = static_cast<PipeWireContext*>(data);
        if (self->metadata_ && id == self->metadataID_) {
            self->releaseMetadata();
            self->defaultSink_.clear();
            self->configuredDefaultSink_.clear();
            self->notifyChange();
        } else if (self->nodes_.erase(id) + self->links_.erase(id) + self->ports_.erase(id) > 0) {
            self->notifyChange();
        }
    }
};

PipeWireContext::PipeWireContext() : listener_(std::make_unique<Listener>()) {}

std::unique_ptr<PipeWireContext> PipeWireContext::connect(int& error)
{
    initialiseOnce();
    std::unique_ptr<PipeWireContext> context(new PipeWireContext());
    error = 0;
    if (!context->start(error)) return nullptr;
    return context;
}

bool PipeWireContext::start(int& error)
{
    loop_ = pw_thread_loop_new("quorel-pw", nullptr);
    if (!loop_) {
        error = -errno;
        return false;
    }
    // The configuration the server's own real-time clients use: it loads the real-time module,
    // which raises the data thread to a real-time policy (directly where the process may, else
    // through RTKit). Where both refuse, the thread stays as it is and processing still runs.
    const char* config = realtimeClientConfig(pw_get_library_version());
    context_ =
        pw_context_new(pw_thread_loop_get_loop(loop_), pw_properties_new(PW_KEY_CONFIG_NAME, config, nullptr), 0);
    if (!context_) {
        error = -errno;
        return false;
    }
    if (pw_thread_loop_start(loop_) < 0) {
        error = -EIO;
        return false;
    }
    {
        LoopLock lock(loop_);
        core_ = pw_context_connect(context_, nullptr, 0);
        if (!core_) {
            error = errno ? -errno : -ECONNREFUSED;
            return false;
        }
        static const pw_core_events coreEvents = [] {
            pw_core_events e{};
            e.version = PW_VERSION_CORE_EVENTS;
            e.info = &ContextCallbacks::coreInfo;
            e.done = &ContextCallbacks::coreDone;
            e.error = &ContextCallbacks::coreError;
            return e;
        }();
        pw_core_add_listener(core_, &listener_->core, &coreEvents, this);
        registry_ = pw_core_get_registry(core_, PW_VERSION_REGISTRY, 0);
        static const pw_registry_events registryEvents = [] {
            pw_registry_events e{};
            e.version = PW_VERSION_REGISTRY_EVENTS;
            e.global = &ContextCallbacks::global;
            e.global_remove = &ContextCallbacks::globalRemove;
            return e;
        }();
        pw_registry_add_listener(registry_, &listener_->registry, &registryEvents, this);
    }
    // Twice: the first answer brings the globals (and binds the metadata), the second the
    // metadata's properties.
    if (!sync() || !sync()) {
        error = -ETIMEDOUT;
        return false;
    }
    return true;
}

PipeWireContext::~PipeWireContext()
{
    if (loop_) pw_thread_loop_stop(loop_);
    releaseMetadata();
    if (settings_) {
        spa_hook_remove(&listener_->settings);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(settings_));
    }
    if (registry_) {
        spa_hook_remove(&listener_->registry);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry_));
    }
    if (core_) {
        spa_hook_remove(&listener_->core);
        pw_core_disconnect(core_);
    }
    if (context_) pw_context_destroy(context_);
    if (loop_) pw_thread_loop_destroy(loop_);
}

void PipeWireContext::releaseMetadata()
{
    if (!metadata_) return;
    spa_hook_remove(&listener_->metadata);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(metadata_));
    metadata_ = nullptr;
    metadataID_ = 0;
}

bool PipeWireContext::sync(int timeoutMS)
{
    LoopLock lock(loop_);
    if (failed_) return false;
    synced_ = false;
    pendingSync_ = pw_core_sync(core_, PW_ID_CORE, 0);
    timespec deadline{};
    pw_thread_loop_get_time(loop_, &deadline, int64_t(timeoutMS) * SPA_NSEC_PER_MSEC);
    while (!synced_ && !failed_)
        if (pw_thread_loop_timed_wait_full(loop_, &deadline) != 0) break;
    return synced_;
}

void PipeWireContext::flushRealtime()
{
    pw_data_loop* dataLoop = pw_context_get_data_loop(context_);
    if (!dataLoop) return;
    pw_data_loop_invoke(
        dataLoop, [](spa_loop*, bool, uint32_t, const void*, size_t, void*) { return 0; }, 0, nullptr, 0, true,
        nullptr);
}

std::optional<bool> PipeWireContext::realtimeThread() const
{
    pw_data_loop* dataLoop = pw_context_get_data_loop(context_);
    spa_thread* thread = dataLoop ? pw_data_loop_get_thread(dataLoop) : nullptr;
    if (!thread) return std::nullopt;
    int policy = 0;
    sched_param parameters{};
    if (pthread_getschedparam(pthread_t(thread), &policy, &parameters) != 0) return std::nullopt;
    policy &= ~SCHED_RESET_ON_FORK;  // the real-time module sets it with the policy
    return policy == SCHED_FIFO || policy == SCHED_RR;
}

bool PipeWireContext::isConnected() const
{
    LoopLock lock(loop_);
    return !failed_;
}

bool PipeWireContext::hasSessionManager() const
{
    LoopLock lock(loop_);
    return metadata_ != nullptr;
}

uint64_t PipeWireContext::sessionManagerCount() const
{
    LoopLock lock(loop_);
    return sessionManagers_;
}

std::optional<PipeWireContext::Node> PipeWireContext::node(uint32_t id) const
{
    LoopLock lock(loop_);
    const auto it = nodes_.find(id);
    if (it == nodes_.end()) return std::nullopt;
    return it->second;
}

std::optional<PipeWireContext::Node> PipeWireContext::nodeNamed(const std::string& name) const
{
    LoopLock lock(loop_);
    for (const auto& [id, node] : nodes_)
        if (node.name == name) return node;
    return std::nullopt;
}

std::map<uint32_t, PipeWireContext::Node> PipeWireContext::nodes() const
{
    LoopLock lock(loop_);
    return nodes_;
}

int PipeWireContext::linksInto(uint32_t id) const
{
    LoopLock lock(loop_);
    int count = 0;
    for (const auto& [linkID, ends] : links_)
        if (ends.inputNode == id && ends.outputNode != id) ++count;
    return count;
}

std::vector<PipeWireContext::Link> PipeWireContext::linksOf(uint32_t id) const
{
    LoopLock lock(loop_);
    std::vector<Link> result;
    for (const auto& [linkID, ends] : links_)
        if (ends.outputNode == id || ends.inputNode == id)
            result.push_back({linkID, ends.outputNode, ends.outputPort, ends.inputNode, ends.inputPort});
    return result;
}

std::vector<PipeWireContext::Port> PipeWireContext::ports(uint32_t node) const
{
    LoopLock lock(loop_);
    std::vector<Port> result;
    for (const auto& [id, port] : ports_)
        if (port.node == node) result.push_back(port);
    return result;
}

bool PipeWireContext::isLinked(uint32_t from, uint32_t to) const
{
    LoopLock lock(loop_);
    for (const auto& [id, ends] : links_)
        if (ends.outputPort == from && ends.inputPort == to) return true;
    return false;
}

std::string PipeWireContext::defaultSink() const
{
    LoopLock lock(loop_);
    return defaultSink_;
}

std::string PipeWireContext::configuredDefaultSink() const
{
    LoopLock lock(loop_);
    return configuredDefaultSink_;
}

bool PipeWireContext::setConfiguredDefaultSink(const std::string& name)
{
    {
        LoopLock lock(loop_);
        if (!metadata_) return false;
        // The name is a node name: escape what JSON needs escaped.
        std::string value = "{ \"name\": \"";
        for (const char c : name) {
            if (c == '"' || c == '\\') value += '\\';
            value += c;
        }
        value += "\" }";
        pw_metadata_set_property(metadata_, PW_ID_CORE, configuredSinkKey, "Spa:String:JSON", value.c_str());
    }
    return sync();
}

bool PipeWireContext::refreshDefaults(int timeoutMS)
{
    // A second proxy of the same global: binding it makes the server replay the current
    // properties to it, which land in the snapshot exactly as change events would.
    pw_proxy* fresh = nullptr;
    spa_hook hook{};
    FreshMetadata reading{this, 0};
    {
        LoopLock lock(loop_);
        if (!metadata_ || failed_) return false;
        fresh = static_cast<pw_proxy*>(
            pw_registry_bind(registry_, metadataID_, PW_TYPE_INTERFACE_Metadata, PW_VERSION_METADATA, 0));
        if (!fresh) return false;
        reading.id = metadataID_;
        static const pw_metadata_events events = [] {
            pw_metadata_events e{};
            e.version = PW_VERSION_METADATA_EVENTS;
            e.property = &ContextCallbacks::freshMetadataProperty;
            return e;
        }();
        pw_metadata_add_listener(reinterpret_cast<pw_metadata*>(fresh), &hook, &events, &reading);
    }
    const bool answered = sync(timeoutMS);
    LoopLock lock(loop_);
    spa_hook_remove(&hook);
    pw_proxy_destroy(fresh);
    return answered;
}

uint64_t PipeWireContext::addChangeHandler(std::function<void()> handler)
{
    LoopLock lock(loop_);
    const uint64_t id = nextChangeHandler_++;
    changeHandlers_[id] = std::move(handler);
    return id;
}

void PipeWireContext::removeChangeHandler(uint64_t id)
{
    LoopLock lock(loop_);
    changeHandlers_.erase(id);
}

void PipeWireContext::notifyChange()
{
    for (const auto& [id, handler] : changeHandlers_) handler();
}

}  // namespace quorel::pipewire
