#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct pw_impl_module;

namespace quorel::pipewire {

class PipeWireContext;

// The way from our stereo outputs to a device that is not stereo (mono, surround): a pair of
// streams inside our own client, stereo in and stereo out, whose output the session manager
// links to the device as it links a stereo player's. The server then mixes our stereo to the
// device's layout exactly as it mixes that player's (its upmix to centre and rears on a
// surround device, its own levels on a mono one, which differ between its versions). The pair
// passes each cycle on within that cycle, so it adds no latency. It goes with our client.
class ChannelMix {
public:
    // Makes the pair for the device named `device` and waits until the session manager has
    // linked it there. Null with `error` (a negative errno) on failure.
    static std::unique_ptr<ChannelMix> create(PipeWireContext& context, const std::string& name,
                                              const std::string& description, const std::string& device, int& error);
    ~ChannelMix();
    ChannelMix(const ChannelMix&) = delete;
    ChannelMix& operator=(const ChannelMix&) = delete;

    // The node our outputs are linked to, and its stereo input ports (front left, right) as the
    // server has them now (a session manager that starts again configures them anew); empty
    // while it has not both.
    uint32_t inputNode() const { return inputNode_; }
    std::vector<uint32_t> inputPorts() const;
    // The node that plays to the device.
    uint32_t outputNode() const { return outputNode_; }
    const std::string& device() const { return device_; }
    // The pair went (its streams failed, or the server dropped it).
    bool isGone() const;
    // Some link joins the output to `device` (a node's global id).
    bool playsTo(uint32_t device) const { return playsTo(outputNode_, device); }

private:
    struct Hook;
    explicit ChannelMix(PipeWireContext& context);
    bool findNodes();
    bool playsTo(uint32_t node, uint32_t device) const;

    PipeWireContext& context_;
    pw_impl_module* module_ = nullptr;
    std::unique_ptr<Hook> hook_;
    std::string name_, device_;
    uint32_t inputNode_ = 0, outputNode_ = 0;

    friend struct ChannelMixCallbacks;
};

}  // namespace quorel::pipewire
