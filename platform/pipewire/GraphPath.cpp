#include "GraphPath.h"

#include "PipeWireContext.h"

#include <pipewire/pipewire.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace quorel::pipewire {

namespace {

// How long a move to another device waits for its new links to carry sound before the old ones
// go regardless (a link the server never finishes is not waited for forever).
constexpr auto linkSettleTimeout = std::chrono::milliseconds(500);

}  // namespace

GraphPath::GraphPath(PipeWireContext& context, const Options& options) : context_(context), options_(options) {}

std::unique_ptr<GraphPath> GraphPath::create(PipeWireContext& context, const Options& options, int& error)
{
    std::unique_ptr<GraphPath> self(new GraphPath(context, options));
    // The session manager configures the sink and then publishes its monitor ports; it takes
    // the sink over once it has chosen a default of its own (see renewSink).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    auto waitFor = [&](auto condition) {
        while (!condition() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return condition();
    };
    if (!waitFor([&] { return self->isManagerSettled(); })) {
        error = -ETIMEDOUT;
        return nullptr;
    }
    self->sink_ = self->makeSink(error);
    if (!self->sink_) return nullptr;
    ChainFilter::Options filterOptions;
    filterOptions.nodeName = options.sinkName + ".filter";
    filterOptions.description = options.description;
    filterOptions.rate = options.rate;
    filterOptions.latencyFrames = options.latencyFrames;
    self->filter_ = ChainFilter::create(context, filterOptions, error);
    if (!self->filter_) return nullptr;
    std::vector<Wanted> wanted;
    if (!waitFor([&] { return self->wantedInputLinks(wanted); })) {
        error = -ETIMEDOUT;
        return nullptr;
    }
    error = self->makeLinks(wanted, self->inputLinks_);
    if (error != 0) return nullptr;
    self->madeInput_ = wanted;
    return self;
}

std::unique_ptr<ServerObject> GraphPath::makeSink(int& error)
{
    const std::string latency = std::to_string(options_.latencyFrames) + "/" + std::to_string(options_.rate);
    return ServerObject::create(context_, "adapter", PW_TYPE_INTERFACE_Node, PW_VERSION_NODE,
                                {
                                    {"factory.name", "support.null-audio-sink"},
                                    {PW_KEY_NODE_NAME, options_.sinkName},
                                    {PW_KEY_NODE_DESCRIPTION, options_.description},
                                    {PW_KEY_MEDIA_CLASS, "Audio/Sink"},
                                    {"audio.position", "[ FL FR ]"},
                                    {PW_KEY_AUDIO_RATE, std::to_string(options_.rate)},
                                    {PW_KEY_NODE_LATENCY, latency},
                                    // What applications play reaches the filter as they play it: the volume and mute
                                    // set on our sink are the output device's, which applies them (VolumeMirror).
                                    {"monitor.channel-volumes", "false"},
                                    // The device's clock drives the graph, never this sink. A null sink can always
                                    // drive; among the drivers that links join, the server picks the highest
                                    // priority.driver (compared unsigned: a negative one ranks above all), and between
                                    // equal ones the one made first. So ours names none, the lowest there is: a sound
                                    // card (about 1000) and a virtual device made before it (none) drive it. Driven by
                                    // the device, the path adds no cycle, and a stalled Quorel stalls only what plays
                                    // through it. The session manager never falls back to it on its own.
                                    {PW_KEY_PRIORITY_SESSION, "0"},
                                    // The session manager never suspends it: WirePlumber 0.4 suspends a node idle for
                                    // 5 s from a timer that outlives the node, and crashes when the node went meanwhile
                                    // (the desktop is then left without a default sink). A timeout of 0 sets no timer.
                                    // The device still suspends on its own: suspending our sink would only free its
                                    // buffers.
                                    {"session.suspend-timeout-seconds", "0"},
                                    // No application name: the session manager stores a sink's volume under its
                                    // application name, else its node name, and gives it to the next sink that has it;
                                    // our node name is new with each start.
                                },
                                error);
}

int GraphPath::renewSink()
{
    dropSink();
    int error = 0;
    sink_ = makeSink(error);
    return sink_ ? 0 : (error != 0 ? error : -EIO);
}

void GraphPath::dropSink()
{
    inputLinks_.clear();
    madeInput_.clear();
    sink_.reset();
}

bool GraphPath::isManagerSettled() const
{
    if (!context_.hasSessionManager()) return false;
    const std::string current = context_.defaultSink();
    return !current.empty() && current != options_.sinkName;
}

GraphPath::~GraphPath()
{
    // Links first, then the nodes they join.
    mixLinks_.clear();
    outputLinks_.clear();
    mix_.reset();
    inputLinks_.clear();
    filter_.reset();
    sink_.reset();
}

bool GraphPath::wantedInputLinks(std::vector<Wanted>& links) const
{
    links.clear();
    if (!sink_) return false;
    const uint32_t sink = sink_->id();
    for (uint32_t c = 0; c < ChainFilter::channels; ++c) {
        const std::string channel = c == 0 ? "FL" : "FR";
        uint32_t monitor = 0;
        for (const PipeWireContext::Port& port : context_.ports(sink))
            if (!port.input && port.monitor && port.channel == channel) monitor = port.id;
        if (monitor == 0) {
            links.clear();
            return false;
        }
        links.push_back({sink, monitor, filter_->nodeID(), filter_->inputPort(c)});
    }
    return true;
}

std::vector<uint32_t> GraphPath::playbackPorts(const std::vector<PipeWireContext::Port>& ports)
{
    std::vector<PipeWireContext::Port> playback;
    for (const PipeWireContext::Port& port : ports)
        if (port.input && !port.monitor) playback.push_back(port);
    std::sort(playback.begin(), playback.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    if (playback.size() <= 1) {
        std::vector<uint32_t> result;
        for (const auto& port : playback) result.push_back(port.id);
        return result;
    }
    // Front left and right where the device names both, else its first two ports.
    uint32_t left = 0, right = 0;
    for (const PipeWireContext::Port& port : playback) {
        if (port.channel == "FL" && left == 0) left = port.id;
        if (port.channel == "FR" && right == 0) right = port.id;
    }
    if (left == 0 || right == 0) return {playback[0].id, playback[1].id};
    return {left, right};
}

bool GraphPath::wantedOutputLinks(const std::string& target, const ChannelMix* mix, std::vector<Wanted>& links,
                                  uint32_t& channels) const
{
    links.clear();
    if (mix) {
        const std::vector<uint32_t> ports = mix->inputPorts();
        if (mix->isGone() || ports.empty()) return false;
        channels = ChainFilter::channels;
        for (uint32_t c = 0; c < channels; ++c)
            links.push_back({filter_->nodeID(), filter_->outputPort(c), mix->inputNode(), ports[c]});
        return true;
    }
    const std::optional<PipeWireContext::Node> node = context_.nodeNamed(target);
    if (!node) return false;
    const std::vector<uint32_t> ports = playbackPorts(context_.ports(node->id));
    if (ports.empty()) return false;
    channels = uint32_t(ports.size());
    for (uint32_t c = 0; c < channels; ++c)
        links.push_back({filter_->nodeID(), filter_->outputPort(c), node->id, ports[c]});
    return true;
}

bool GraphPath::isOwnNode(uint32_t id) const
{
    return id == filter_->nodeID() || (mix_ && (id == mix_->inputNode() || id == mix_->outputNode()));
}

std::unique_ptr<ServerObject> GraphPath::link(const Wanted& wanted, Carries carries, int& error)
{
    return ServerObject::create(context_, "link-factory", PW_TYPE_INTERFACE_Link, PW_VERSION_LINK,
                                {
                                    {PW_KEY_LINK_OUTPUT_NODE, std::to_string(wanted.outputNode)},
                                    {PW_KEY_LINK_OUTPUT_PORT, std::to_string(wanted.outputPort)},
                                    {PW_KEY_LINK_INPUT_NODE, std::to_string(wanted.inputNode)},
                                    {PW_KEY_LINK_INPUT_PORT, std::to_string(wanted.inputPort)},
                                    // The path's links never keep the graph running, so the
                                    // device suspends while nothing plays. An application's
                                    // link does while it plays, as the session manager's
                                    // would: with passive links only, nothing would start the
                                    // graph, and the application would wait, silent.
                                    {PW_KEY_LINK_PASSIVE, carries == Carries::path ? "true" : "false"},
                                },
                                error);
}

int GraphPath::makeLinks(const std::vector<Wanted>& wanted, std::vector<std::unique_ptr<ServerObject>>& links,
                         Carries carries)
{
    std::vector<std::unique_ptr<ServerObject>> made;
    for (const Wanted& w : wanted) {
        int error = 0;
        auto l = link(w, carries, error);
        if (!l) return error != 0 ? error : -EIO;
        made.push_back(std::move(l));
    }
    // The new links run before the old ones go. While the graph runs (an old link is active),
    // the old ones go once the new ones are active too: a loaded server may take several cycles
    // to get there, and each cycle carried by neither would be heard as a gap. While it is idle,
    // links only get as far as paused (negotiated, with buffers).
    if (!links.empty()) {
        const bool running = std::any_of(links.begin(), links.end(),
                                         [](const auto& l) { return l->linkState() == PW_LINK_STATE_ACTIVE; });
        const auto deadline = std::chrono::steady_clock::now() + linkSettleTimeout;
        for (const auto& l : made) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            l->waitForLinkState(running ? PW_LINK_STATE_ACTIVE : PW_LINK_STATE_PAUSED, int(left.count()));
        }
    }
    links.swap(made);
    made.clear();
    return 0;
}

int GraphPath::connectOutput(const std::string& target)
{
    const std::optional<PipeWireContext::Node> node = context_.nodeNamed(target);
    if (!node) return -ENOENT;
    const auto countPlayback = [&] {
        size_t count = 0;
        for (const PipeWireContext::Port& port : context_.ports(node->id)) count += port.input && !port.monitor;
        return count;
    };
    size_t playback = countPlayback();
    // A device just configured may be only partly told yet: a round trip brings all of its ports.
    if (playback != ChainFilter::channels && context_.sync(1000)) playback = countPlayback();
    ChannelMix* mix = mix_ && mix_->device() == target && !mix_->isGone() ? mix_.get() : nullptr;
    std::unique_ptr<ChannelMix> made;
    if (!mix && playback != 0 && playback != ChainFilter::channels) {
        int error = 0;  // without a mix, the device's own ports as far as they go
        made = ChannelMix::create(context_, options_.sinkName + ".mix" + std::to_string(++mixesMade_),
                                  options_.description, target, error);
        mix = made.get();
    }
    std::vector<Wanted> wanted;
    uint32_t channels = 2;
    if (!wantedOutputLinks(target, mix, wanted, channels)) return -ENOENT;
    if (target == target_) {  // the same device again: no second link between two ports
        outputLinks_.clear();
        madeOutput_.clear();
    }
    const int result = makeLinks(wanted, outputLinks_);
    if (result != 0) return result;
    // The old mix goes once nothing links to it any longer.
    if (made || !mix) {
        mixLinks_.clear();
        mix_ = std::move(made);
    }
    target_ = target;
    outputChannels_ = channels;
    madeOutput_ = wanted;
    return 0;
}

void GraphPath::disconnectOutput()
{
    outputLinks_.clear();
    madeOutput_.clear();
    mixLinks_.clear();
    mix_.reset();
    target_.clear();
}

std::vector<GraphPath::Wanted> GraphPath::sameChannelLinks(uint32_t from, uint32_t to) const
{
    std::vector<PipeWireContext::Port> inputs, outputs;
    for (const PipeWireContext::Port& port : context_.ports(to))
        if (port.input && !port.monitor) inputs.push_back(port);
    for (const PipeWireContext::Port& port : context_.ports(from))
        if (!port.input && !port.monitor) outputs.push_back(port);
    if (inputs.empty() || outputs.empty()) return {};
    auto byID = [](const auto& a, const auto& b) { return a.id < b.id; };
    std::sort(inputs.begin(), inputs.end(), byID);
    std::sort(outputs.begin(), outputs.end(), byID);
    std::vector<Wanted> wanted;
    for (size_t i = 0; i < outputs.size(); ++i) {
        const auto same = std::find_if(inputs.begin(), inputs.end(),
                                       [&](const auto& in) { return in.channel == outputs[i].channel; });
        const PipeWireContext::Port& input = same != inputs.end() ? *same : inputs[i % inputs.size()];
        wanted.push_back({from, outputs[i].id, to, input.id});
    }
    return wanted;
}

void GraphPath::relinkMix()
{
    if (!mix_ || mix_->isGone()) return;
    const std::optional<PipeWireContext::Node> device = context_.nodeNamed(target_);
    if (!device || mix_->playsTo(device->id)) return;
    // The mix's ports already carry the device's layout.
    const std::vector<Wanted> wanted = sameChannelLinks(mix_->outputNode(), device->id);
    if (wanted.empty()) return;
    mixLinks_.clear();
    makeLinks(wanted, mixLinks_);
}

void GraphPath::relink()
{
    auto repair = [this](std::vector<std::unique_ptr<ServerObject>>& links, std::vector<Wanted>& made,
                         const std::vector<Wanted>& wanted) {
        bool whole = links.size() == wanted.size() && made.size() == wanted.size();
        for (size_t i = 0; whole && i < links.size(); ++i)
            whole = !links[i]->isGone() && made[i].outputPort == wanted[i].outputPort
                    && made[i].inputPort == wanted[i].inputPort;
        if (whole) return;
        // The links still there go first: the server refuses a second link between two ports.
        links.clear();
        made = makeLinks(wanted, links) == 0 ? wanted : std::vector<Wanted>();
    };
    std::vector<Wanted> wanted;
    if (wantedInputLinks(wanted)) repair(inputLinks_, madeInput_, wanted);
    uint32_t channels = outputChannels_;
    if (!target_.empty() && wantedOutputLinks(target_, mix_.get(), wanted, channels) && channels == outputChannels_)
        repair(outputLinks_, madeOutput_, wanted);
    relinkMix();
}

}  // namespace quorel::pipewire
