#pragma once

#include "ChainFilter.h"
#include "ChannelMix.h"
#include "PipeWireContext.h"
#include "ServerObject.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorel::pipewire {

class PipeWireContext;

// The capture path inside the server's graph, all of it owned by our client (nothing lingers,
// so it vanishes with our process): a virtual sink (a null sink that other applications play
// into), whose monitor ports feed the ChainFilter, whose outputs are linked to the playback
// ports of the chosen output device. The server orders the three within one cycle, so the
// path adds no latency beyond what the processing itself reports. A device that is not stereo
// gets the filter's stereo through a ChannelMix of its own, as a stereo player's is mixed to it.
// The session manager links applications to the sink, and the mix to its device; every other
// link is made here or, for applications that no session manager links any longer, by
// SessionManagerHandOver.
class GraphPath {
public:
    // The ends of one link.
    struct Wanted {
        uint32_t outputNode, outputPort, inputNode, inputPort;
    };
    // What a link carries: the path's own sound (passive) or an application's (not passive).
    enum class Carries { path, application };

    struct Options {
        std::string sinkName;     // node.name of the virtual sink
        std::string description;  // its node.description
        uint32_t rate = 48000;
        uint32_t latencyFrames = 512;
    };

    // Creates the sink and the filter and links them. Null with `error` (a negative errno)
    // on failure.
    static std::unique_ptr<GraphPath> create(PipeWireContext& context, const Options& options, int& error);
    ~GraphPath();
    GraphPath(const GraphPath&) = delete;
    GraphPath& operator=(const GraphPath&) = delete;

    ChainFilter& filter() { return *filter_; }
    const ChainFilter& filter() const { return *filter_; }
    uint32_t sinkNode() const { return sink_ ? sink_->id() : 0; }
    const std::string& sinkName() const { return options_.sinkName; }

    // Links the filter's outputs to the playback ports of the node named `target`: to a stereo
    // device directly, to any other through a ChannelMix. Where the mix cannot be made, a mono
    // device takes the first output only and a device with more channels front left and right.
    // The new links are made before the old ones go, so moving to another device leaves no gap.
    // Returns 0 or a negative errno (-ENOENT: no such node or no playback port).
    int connectOutput(const std::string& target);
    const std::string& target() const { return target_; }
    // The output channels the device takes from the filter: 1 for a mono device reached without
    // a mix, else 2.
    uint32_t outputChannels() const { return outputChannels_; }
    // A node of the path's own (the filter, the mix's streams), which is no application.
    bool isOwnNode(uint32_t id) const;

    // Removes the links to the output device.
    void disconnectOutput();

    // The playback ports of a device the filter's outputs go to, by global id: one for a mono
    // device, else front left and right (or the first two where it names no such pair); none
    // when it has no playback port.
    static std::vector<uint32_t> playbackPorts(const std::vector<PipeWireContext::Port>& ports);
    // The links from each output of node `from` to the playback port of node `to` of the same
    // channel (in order where `to` names no such channel); none when either has no such port.
    std::vector<Wanted> sameChannelLinks(uint32_t from, uint32_t to) const;

    // A session manager that starts while our sink exists, and has carried sound, cannot take
    // it over (and links nothing while it waits for it); a new one it takes over like any other.
    // So after a restart the old sink is dropped (dropSink), and made anew under the same name
    // once the new session manager has chosen a default sink of its own (isManagerSettled):
    // made earlier, the new one takes it over before it has chosen a default, and sends the
    // streams it looks at meanwhile "no node available", which ends them; made later than the
    // output device, the device drives the graph. Its monitor is linked again once its ports are
    // there (relink). Returns 0 or a negative errno.
    int renewSink();
    void dropSink();
    bool hasSink() const { return sink_ != nullptr; }
    // Our sink's monitor feeds the filter (its ports are there: the session manager took it over).
    bool isSinkLinked() const { return sink_ && !madeInput_.empty(); }
    // A session manager runs and has a default sink other than ours.
    bool isManagerSettled() const;

    // Makes again any of our links the server dropped while both of its ends exist (the
    // session manager restarted and rebuilt the ports, the device came back). Main thread.
    void relink();
    // Makes a link for each of `wanted`; once all are made they replace `links` (the new run
    // before the old go). Returns 0 or a negative errno (then `links` are left as they were).
    int makeLinks(const std::vector<Wanted>& wanted, std::vector<std::unique_ptr<ServerObject>>& links,
                  Carries carries = Carries::path);

    // The virtual sink went from the server without being dropped here.
    bool isSinkGone() const { return sink_ && sink_->isGone(); }

private:
    GraphPath(PipeWireContext& context, const Options& options);
    // The links the path needs now, from the registry; false when an end is missing.
    bool wantedInputLinks(std::vector<Wanted>& links) const;
    bool wantedOutputLinks(const std::string& target, const ChannelMix* mix, std::vector<Wanted>& links,
                           uint32_t& channels) const;
    // The mix's output to its device, channel by channel, where nothing links it.
    void relinkMix();
    std::unique_ptr<ServerObject> makeSink(int& error);
    std::unique_ptr<ServerObject> link(const Wanted& wanted, Carries carries, int& error);

    PipeWireContext& context_;
    Options options_;
    std::unique_ptr<ServerObject> sink_;
    std::unique_ptr<ChainFilter> filter_;
    std::vector<std::unique_ptr<ServerObject>> inputLinks_;
    std::vector<std::unique_ptr<ServerObject>> outputLinks_;
    std::unique_ptr<ChannelMix> mix_;  // for target_ where it is not stereo
    std::vector<std::unique_ptr<ServerObject>> mixLinks_;
    uint32_t mixesMade_ = 0;         // each a name of its own: an old and a new one meet in a move
    std::vector<Wanted> madeInput_;  // the ends of each link, in order
    std::vector<Wanted> madeOutput_;
    std::string target_;
    uint32_t outputChannels_ = 2;
};

}  // namespace quorel::pipewire
