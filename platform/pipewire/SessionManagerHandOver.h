#pragma once

#include "GraphPath.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace quorel::pipewire {

class PipeWireContext;
class ServerObject;

// Carries a playing GraphPath across a restart of the session manager. A new session manager
// cannot take over our sink, which has carried sound, and links nothing while it waits for it;
// the sink is held until the output device has been configured for two checks in a row (the new
// one can then give a stream it looks at a target), for the output's grace at most, dropped, and
// made anew under the same name once the new one has chosen a default (GraphPath::renewSink),
// which it takes over and links the applications to. Meanwhile the applications keep playing
// through links of our own (keepApplicationsPlaying), and our sink becomes the default again if
// it was one. Main thread, while the path plays; destroyed before the path.
class SessionManagerHandOver {
public:
    // Between checks while a restarted session manager has not taken our sink over (the
    // hand-over counts checks in a row).
    static constexpr std::chrono::milliseconds checkPause{100};
    // How long the hand-over waits for the new default to be told before it reads it afresh,
    // and again between such readings (each binds the metadata once more).
    static constexpr std::chrono::milliseconds freshDefaultsPause{300};

    // `outputGrace`: how long our sink is held for a new session manager at most.
    SessionManagerHandOver(PipeWireContext& context, GraphPath& path, std::chrono::milliseconds outputGrace);
    ~SessionManagerHandOver();
    SessionManagerHandOver(const SessionManagerHandOver&) = delete;
    SessionManagerHandOver& operator=(const SessionManagerHandOver&) = delete;

    // Our sink was made just now, under the session manager that runs.
    void sinkMade();
    // One check, after the server told of a change or when checkPause is over: moves the
    // hand-over on, makes again the links the server dropped (GraphPath::relink) and links the
    // applications no session manager links. False when our sink could not be made anew.
    bool check();
    // A session manager started since our sink was made, and has not taken over a new one yet.
    bool awaitsManager() const;

private:
    // Keeps applications playing across a session manager restart. Its links go with it, and
    // WirePlumber 0.4 never links again a stream that has already played (it waits for new
    // ports that never come), so the playback streams that no session manager links (those
    // older than the one running, or any while none runs) are linked here, with links of our
    // own: into our sink while it has its playback ports, straight to the output device while
    // it has none or is away (see GraphPath::renewSink). `manager` counts the session managers
    // seen (PipeWireContext::sessionManagerCount); `present` tells whether one runs now.
    void keepApplicationsPlaying(bool present, uint64_t manager);
    // The links that carry application node `node` into our sink, or to the output device
    // while our sink has no playback ports; empty when neither can take it now.
    std::vector<GraphPath::Wanted> wantedApplicationLinks(uint32_t node) const;
    bool isOurApplicationLink(uint32_t link) const;
    // Whether the output device has its playback ports (the session manager configured it).
    bool isOutputReady() const;

    using Clock = std::chrono::steady_clock;
    PipeWireContext& context_;
    GraphPath& path_;
    const std::chrono::milliseconds outputGrace_;
    uint64_t sinkManager_ = 0;                    // the session manager that took our sink over (its count)
    int readyChecks_ = 0;                         // checks in a row that a new one runs and the output is configured
    bool ownsDefault_ = false;                    // our sink was the default while its session manager ran
    bool reclaimDefault_ = false;                 // the renewed sink becomes the default again once linked
    std::optional<Clock::time_point> heldSince_;  // our sink, for a new one
    Clock::time_point freshDefaultsAt_;           // next reading of the defaults afresh
    struct Application {
        std::vector<GraphPath::Wanted> made;
        std::vector<std::unique_ptr<ServerObject>> links;
    };
    std::map<uint32_t, Application> applications_;  // those linked here, by node
};

}  // namespace quorel::pipewire
