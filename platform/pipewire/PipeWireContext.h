#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_registry;
struct pw_metadata;
struct spa_hook;

namespace quorel::pipewire {

// A connection to the PipeWire server on its own thread loop. It keeps a snapshot of the
// server's clock settings, its audio sinks, the links between nodes and the "default"
// metadata, and writes the configured default sink. Every member is safe to call from any
// thread except the loop's own (it takes the loop's lock).
class PipeWireContext {
public:
    struct Node {
        uint32_t id = 0;
        std::string name;             // node.name
        std::string description;      // node.description
        std::string mediaClass;       // media.class
        uint32_t channels = 0;        // audio.channels, 0 when not published
        uint64_t sessionManager = 0;  // sessionManagerCount() when it appeared
    };

    struct Link {
        uint32_t id = 0;
        uint32_t outputNode = 0, outputPort = 0, inputNode = 0, inputPort = 0;
    };

    struct Port {
        uint32_t id = 0;
        uint32_t node = 0;     // node.id
        bool input = false;    // port.direction "in"
        bool monitor = false;  // port.monitor
        std::string name;      // port.name
        std::string channel;   // audio.channel, empty when not published
    };

    // Connects; returns null and sets `error` (a negative errno) when the server cannot be
    // reached.
    static std::unique_ptr<PipeWireContext> connect(int& error);
    ~PipeWireContext();
    PipeWireContext(const PipeWireContext&) = delete;
    PipeWireContext& operator=(const PipeWireContext&) = delete;

    pw_thread_loop* loop() const { return loop_; }
    pw_core* core() const { return core_; }
    pw_context* context() const { return context_; }

    // The server's clock: default rate and the allowed quantum range.
    uint32_t clockRate() const { return clockRate_.load(); }
    uint32_t minimumQuantum() const { return minimumQuantum_.load(); }
    uint32_t maximumQuantum() const { return maximumQuantum_.load(); }
    // The cycle size the server's "settings" force on every graph (clock.force-quantum); 0 when
    // none is forced.
    uint32_t forcedQuantum() const { return forcedQuantum_.load(); }
    // The rate the server's "settings" force on every graph (clock.force-rate); 0 when none is
    // forced.
    uint32_t forcedRate() const { return forcedRate_.load(); }

    // Returns once no real-time callback of this client is running any longer (those that
    // start afterwards see what was changed before the call).
    void flushRealtime();

    // Whether the thread that runs the real-time callbacks has a real-time scheduling policy;
    // none before it runs.
    std::optional<bool> realtimeThread() const;

    // False once the server closed the connection (it went away); a lost connection stays lost.
    bool isConnected() const;

    // Whether a session manager runs (its "default" metadata is bound), and how many times one
    // has come up since we connected: a restarted one counts again.
    bool hasSessionManager() const;
    uint64_t sessionManagerCount() const;

    // Waits until the server has answered everything sent so far (true) or the time-out ran out.
    bool sync(int timeoutMS = 3000);

    std::optional<Node> node(uint32_t id) const;
    std::optional<Node> nodeNamed(const std::string& name) const;
    std::map<uint32_t, Node> nodes() const;
    // Links that feed node `id` from another node.
    int linksInto(uint32_t id) const;
    // The links from or into node `id`.
    std::vector<Link> linksOf(uint32_t id) const;
    // The ports of node `id`, by global id.
    std::vector<Port> ports(uint32_t node) const;
    // Whether a link joins output port `from` to input port `to`.
    bool isLinked(uint32_t from, uint32_t to) const;

    // The "default" metadata: the sink in effect and the one the user configured (names).
    std::string defaultSink() const;
    std::string configuredDefaultSink() const;
    // Sets the configured default sink; false when no "default" metadata is bound (no session
    // manager runs) or the server did not answer.
    bool setConfiguredDefaultSink(const std::string& name);
    // Reads the "default" metadata afresh into the snapshot: a new bind of it replays every
    // property. Changes normally arrive as events, but a session manager that was stopped for a
    // while (SIGSTOP) can stop sending them to later listeners while it still follows the
    // configured default. False when none is bound or the server did not answer in time.
    bool refreshDefaults(int timeoutMS = 1000);

    // Calls `handler` on the loop's thread whenever nodes, links, ports or the defaults change,
    // a session manager comes or goes, the connection is lost, or an object of ours tells a new
    // state (changed()). Returns its id for removeChangeHandler; once that returns, the handler
    // runs no more. Not from within a handler.
    uint64_t addChangeHandler(std::function<void()> handler);
    void removeChangeHandler(uint64_t id);
    // Loop thread: tells the change handlers that an object of ours changed state.
    void changed() { notifyChange(); }

private:
    struct Listener;
    struct FreshMetadata {
        PipeWireContext* self;
        uint32_t id;  // the global read
    };
    PipeWireContext();
    bool start(int& error);
    void notifyChange();
    // Drops the bound "default" metadata (its owner went away, or on destruction).
    void releaseMetadata();

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_registry* registry_ = nullptr;
    pw_metadata* metadata_ = nullptr;
    uint32_t metadataID_ = 0;          // its global id
    pw_metadata* settings_ = nullptr;  // the server's "settings" metadata
    uint64_t sessionManagers_ = 0;
    std::unique_ptr<Listener> listener_;
    // Written on the loop thread, read on any.
    std::atomic<uint32_t> clockRate_{48000};
    std::atomic<uint32_t> minimumQuantum_{32};
    std::atomic<uint32_t> maximumQuantum_{2048};
    std::atomic<uint32_t> forcedQuantum_{0};
    std::atomic<uint32_t> forcedRate_{0};
    int pendingSync_ = -1;
    bool synced_ = false;
    bool failed_ = false;
    std::map<uint32_t, Node> nodes_;
    struct LinkEnds {
        uint32_t outputNode = 0, outputPort = 0, inputNode = 0, inputPort = 0;
    };
    std::map<uint32_t, LinkEnds> links_;
    std::map<uint32_t, Port> ports_;
    std::string defaultSink_;
    std::string configuredDefaultSink_;
    std::map<uint64_t, std::function<void()>> changeHandlers_;
    uint64_t nextChangeHandler_ = 1;

    friend struct ContextCallbacks;
};

// The node name in a metadata value such as { "name": "test_speakers" }; empty when absent.
std::string nameInMetadataValue(const char* json);

}  // namespace quorel::pipewire
