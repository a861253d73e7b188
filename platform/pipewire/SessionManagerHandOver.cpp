#include "SessionManagerHandOver.h"

#include "PipeWireContext.h"
#include "ServerObject.h"

#include <algorithm>

namespace quorel::pipewire {

SessionManagerHandOver::SessionManagerHandOver(PipeWireContext& context, GraphPath& path,
                                               std::chrono::milliseconds outputGrace)
    : context_(context), path_(path), outputGrace_(outputGrace)
{
}

// Our links first, then the path with the nodes they join.
SessionManagerHandOver::~SessionManagerHandOver() = default;

void SessionManagerHandOver::sinkMade() { sinkManager_ = context_.sessionManagerCount(); }

bool SessionManagerHandOver::isOutputReady() const
{
    const auto node = context_.nodeNamed(path_.target());
    return node && !GraphPath::playbackPorts(context_.ports(node->id)).empty();
}

bool SessionManagerHandOver::check()
{
    const bool present = context_.hasSessionManager();
    const uint64_t count = context_.sessionManagerCount();
    const bool outputReady = isOutputReady();
    const bool newManager = present && count != sinkManager_;
    // Whether our sink is the default, as long as the session manager that took it over
    // runs: what the next one should find again.
    if (present && !newManager && path_.hasSink()) {
        const std::string current = context_.defaultSink();
        if (!current.empty()) ownsDefault_ = current == path_.sinkName();
    }
    if (!newManager)
        heldSince_.reset();
    else if (!heldSince_)
        heldSince_ = Clock::now();
    readyChecks_ = newManager && outputReady ? readyChecks_ + 1 : 0;
    if (path_.hasSink() && (readyChecks_ >= 2 || (heldSince_ && Clock::now() - *heldSince_ >= outputGrace_))) {
        path_.dropSink();
        freshDefaultsAt_ = Clock::now() + freshDefaultsPause;
    }
    // The change of default that follows the drop may never be told: the server tells the
    // listeners of the "default" metadata no change while another client's bind of it
    // waits for the session manager's answer (its own parts bind it as it starts), nor ever
    // again once a client went before that answer came. So it is read afresh now and then.
    if (!path_.hasSink() && !path_.isManagerSettled() && Clock::now() >= freshDefaultsAt_) {
        context_.refreshDefaults(int(checkPause.count()));
        freshDefaultsAt_ = Clock::now() + freshDefaultsPause;
    }
    if (!path_.hasSink() && path_.isManagerSettled()) {
        if (path_.renewSink() != 0) return false;
        sinkManager_ = count;
        reclaimDefault_ = ownsDefault_;
    }
    path_.relink();
    keepApplicationsPlaying(present, count);
    // The new session manager keeps the default it settled on unless the choice it finds
    // stored names our sink: WirePlumber 0.5 stores a choice about a second after it was
    // made, so one restarted soon after processing started would leave the device the
    // default for good, and applications would play past Quorel. Once it has taken our new
    // sink over (its monitor is linked again), ours is made the default again, as it was.
    if (reclaimDefault_ && path_.isSinkLinked()) {
        reclaimDefault_ = false;
        if (context_.defaultSink() != path_.sinkName()) context_.setConfiguredDefaultSink(path_.sinkName());
    }
    return true;
}

bool SessionManagerHandOver::awaitsManager() const
{
    return !path_.hasSink() || sinkManager_ != context_.sessionManagerCount();
}

bool SessionManagerHandOver::isOurApplicationLink(uint32_t link) const
{
    for (const auto& [node, application] : applications_)
        for (const auto& l : application.links)
            if (l->id() == link) return true;
    return false;
}

std::vector<GraphPath::Wanted> SessionManagerHandOver::wantedApplicationLinks(uint32_t node) const
{
    // To our sink; while it has no ports, straight to the output device.
    std::vector<GraphPath::Wanted> wanted = path_.sameChannelLinks(node, path_.sinkNode());
    if (wanted.empty() && !path_.target().empty())
        if (const std::optional<PipeWireContext::Node> device = context_.nodeNamed(path_.target()))
            wanted = path_.sameChannelLinks(node, device->id);
    return wanted;
}

void SessionManagerHandOver::keepApplicationsPlaying(bool present, uint64_t manager)
{
    for (const auto& [id, node] : context_.nodes()) {
        const bool unmanaged = !present || node.sessionManager < manager;
        if (node.mediaClass != "Stream/Output/Audio" || path_.isOwnNode(id) || !unmanaged) continue;
        bool linkedByOthers = false;
        for (const PipeWireContext::Link& l : context_.linksOf(id))
            linkedByOthers = linkedByOthers || (l.outputNode == id && !isOurApplicationLink(l.id));
        if (linkedByOthers) {
            applications_.erase(id);
            continue;
        }
        const std::vector<GraphPath::Wanted> wanted = wantedApplicationLinks(id);
        if (wanted.empty()) continue;  // nowhere to play yet
        Application& application = applications_[id];
        bool whole = application.links.size() == wanted.size();
        for (size_t i = 0; whole && i < wanted.size(); ++i)
            whole = !application.links[i]->isGone() && application.made[i].outputPort == wanted[i].outputPort
                    && application.made[i].inputPort == wanted[i].inputPort;
        if (whole) continue;
        // Elsewhere: the new links run before the old ones go. The same ends again: the server
        // refuses a second link between two ports.
        if (!application.made.empty() && application.made[0].inputNode == wanted[0].inputNode)
            application.links.clear();
        application.made = path_.makeLinks(wanted, application.links, GraphPath::Carries::application) == 0
                               ? wanted
                               : std::vector<GraphPath::Wanted>();
    }
    // Those that stopped playing.
    for (auto it = applications_.begin(); it != applications_.end();)
        it = context_.node(it->first) ? std::next(it) : applications_.erase(it);
}

}  // namespace quorel::pipewire
