#include "ChannelMix.h"

#include "LoopLock.h"
#include "PipeWireContext.h"

#include <pipewire/impl.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace quorel::pipewire {

namespace {

// A string as a quoted value in the server's module arguments.
std::string quoted(const std::string& text)
{
    std::string result = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') result += '\\';
        result += c;
    }
    return result + "\"";
}

}  // namespace

struct ChannelMix::Hook {
    spa_hook listener{};
    bool destroyed = false;
};

struct ChannelMixCallbacks {
    // The module ends itself when one of its streams fails (its device went, say).
    static void destroyed(void* data)
    {
        auto* self = static_cast<ChannelMix*>(data);
        spa_hook_remove(&self->hook_->listener);
        self->hook_->destroyed = true;
        self->module_ = nullptr;
        self->context_.changed();
    }
};

ChannelMix::ChannelMix(PipeWireContext& context) : context_(context), hook_(std::make_unique<Hook>()) {}

std::unique_ptr<ChannelMix> ChannelMix::create(PipeWireContext& context, const std::string& name,
                                               const std::string& description, const std::string& device, int& error)
{
    std::unique_ptr<ChannelMix> self(new ChannelMix(context));
    self->name_ = name;
    self->device_ = device;
    // Both ends are passive, as the rest of the path: they never keep the device running.
    const std::string arguments = "{ node.description = " + quoted(description)
                                  + " audio.position = [ FL FR ]"
                                    " capture.props = { node.name = "
                                  + quoted(name + ".in")
                                  + " node.autoconnect = false node.passive = true node.dont-reconnect = true }"
                                    " playback.props = { node.name = "
                                  + quoted(name + ".out") + " target.object = " + quoted(device)
                                  + " node.dont-reconnect = true node.passive = true"
                                    " session.suspend-timeout-seconds = 0 } }";
    {
        LoopLock lock(context.loop());
        self->module_ =
            pw_context_load_module(context.context(), "libpipewire-module-loopback", arguments.c_str(), nullptr);
        if (!self->module_) {
            error = errno ? -errno : -ENOENT;
            return nullptr;
        }
        static const pw_impl_module_events events = [] {
            pw_impl_module_events e{};
            e.version = PW_VERSION_IMPL_MODULE_EVENTS;
            e.destroy = &ChannelMixCallbacks::destroyed;
            return e;
        }();
        pw_impl_module_add_listener(self->module_, &self->hook_->listener, &events, self.get());
    }
    // The session manager configures both streams' ports and links the output to the device.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!self->findNodes()) {
        if (self->isGone() || std::chrono::steady_clock::now() >= deadline) {
            error = self->isGone() ? -EIO : -ETIMEDOUT;
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return self;
}

bool ChannelMix::findNodes()
{
    const auto in = context_.nodeNamed(name_ + ".in");
    const auto out = context_.nodeNamed(name_ + ".out");
    const auto target = context_.nodeNamed(device_);
    if (!in || !out || !target || !playsTo(out->id, target->id)) return false;
    inputNode_ = in->id;
    outputNode_ = out->id;
    return !inputPorts().empty();
}

std::vector<uint32_t> ChannelMix::inputPorts() const
{
    std::vector<uint32_t> ports(2, 0);
    for (const PipeWireContext::Port& port : context_.ports(inputNode_)) {
        if (!port.input || port.monitor) continue;
        if (port.channel == "FL") ports[0] = port.id;
        if (port.channel == "FR") ports[1] = port.id;
    }
    if (ports[0] == 0 || ports[1] == 0) return {};
    return ports;
}

bool ChannelMix::playsTo(uint32_t node, uint32_t device) const
{
    for (const PipeWireContext::Link& link : context_.linksOf(node))
        if (link.outputNode == node && link.inputNode == device) return true;
    return false;
}

bool ChannelMix::isGone() const
{
    LoopLock lock(context_.loop());
    return hook_->destroyed;
}

ChannelMix::~ChannelMix()
{
    LoopLock lock(context_.loop());
    if (!module_) return;
    spa_hook_remove(&hook_->listener);
    pw_impl_module_destroy(module_);
}

}  // namespace quorel::pipewire
