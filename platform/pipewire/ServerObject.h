#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct pw_proxy;

namespace quorel::pipewire {

class PipeWireContext;

// An object our client has the server make through one of its factories (a node through
// "adapter", a link through "link-factory"). It is never made to linger: the server destroys it
// with this object, and with our connection, so a crash leaves nothing of ours behind.
class ServerObject {
public:
    using Properties = std::vector<std::pair<std::string, std::string>>;

    // Creates the object and waits until the server has published it. Returns null and sets
    // `error` (a negative errno) on failure.
    static std::unique_ptr<ServerObject> create(PipeWireContext& context, const char* factory, const char* type,
                                                uint32_t version, const Properties& properties, int& error,
                                                int timeoutMS = 5000);
    ~ServerObject();
    ServerObject(const ServerObject&) = delete;
    ServerObject& operator=(const ServerObject&) = delete;

    // Its global id.
    uint32_t id() const { return id_; }
    // The server removed it (its peer went away) or reported an error on it.
    bool isGone() const;
    // For a link: its state as the server last told it (a pw_link_state), and a wait until it is
    // at least `state`, gone or failed, or `timeoutMS` passed; true when it got there.
    int linkState() const;
    bool waitForLinkState(int state, int timeoutMS);

private:
    struct Hook;
    explicit ServerObject(PipeWireContext& context);

    PipeWireContext& context_;
    pw_proxy* proxy_ = nullptr;
    std::unique_ptr<Hook> hook_;
    uint32_t id_ = 0;
    bool bound_ = false;
    bool removed_ = false;
    int error_ = 0;
    int linkState_ = 0;  // PW_LINK_STATE_INIT

    friend struct ServerObjectCallbacks;
};

}  // namespace quorel::pipewire
