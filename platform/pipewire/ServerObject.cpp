#include "ServerObject.h"

#include "LoopLock.h"
#include "PipeWireContext.h"

#include <pipewire/pipewire.h>

#include <cerrno>
#include <string_view>

namespace quorel::pipewire {

struct ServerObject::Hook {
    spa_hook listener{};
    spa_hook link{};
    bool isLink = false;
};

struct ServerObjectCallbacks {
    static void bound(void* data, uint32_t globalID)
    {
        auto* self = static_cast<ServerObject*>(data);
        self->id_ = globalID;
        self->bound_ = true;
        pw_thread_loop_signal(self->context_.loop(), false);
    }

    static void removed(void* data)
    {
        auto* self = static_cast<ServerObject*>(data);
        self->removed_ = true;
        pw_thread_loop_signal(self->context_.loop(), false);
        self->context_.changed();
    }

    static void error(void* data, int, int result, const char*)
    {
        auto* self = static_cast<ServerObject*>(data);
        if (self->error_ == 0) self->error_ = result < 0 ? result : -EIO;
        pw_thread_loop_signal(self->context_.loop(), false);
        self->context_.changed();
    }

    static void linkInfo(void* data, const pw_link_info* info)
    {
        auto* self = static_cast<ServerObject*>(data);
        self->linkState_ = info->state;
        pw_thread_loop_signal(self->context_.loop(), false);
    }
};

ServerObject::ServerObject(PipeWireContext& context) : context_(context), hook_(std::make_unique<Hook>()) {}

std::unique_ptr<ServerObject> ServerObject::create(PipeWireContext& context, const char* factory, const char* type,
                                                   uint32_t version, const Properties& properties, int& error,
                                                   int timeoutMS)
{
    std::unique_ptr<ServerObject> self(new ServerObject(context));
    LoopLock lock(context.loop());
    pw_properties* props = pw_properties_new(PW_KEY_OBJECT_LINGER, "false", nullptr);
    if (!props) {
        error = -ENOMEM;
        return nullptr;
    }
    for (const auto& [key, value] : properties) pw_properties_set(props, key.c_str(), value.c_str());
    self->proxy_ =
        static_cast<pw_proxy*>(pw_core_create_object(context.core(), factory, type, version, &props->dict, 0));
    pw_properties_free(props);
    if (!self->proxy_) {
        error = errno ? -errno : -ENOMEM;
        return nullptr;
    }
    static const pw_proxy_events events = [] {
        pw_proxy_events e{};
        e.version = PW_VERSION_PROXY_EVENTS;
        e.bound = &ServerObjectCallbacks::bound;
        e.removed = &ServerObjectCallbacks::removed;
        e.error = &ServerObjectCallbacks::error;
        return e;
    }();
    pw_proxy_add_listener(self->proxy_, &self->hook_->listener, &events, self.get());
    if (std::string_view(type) == PW_TYPE_INTERFACE_Link) {
        static const pw_link_events linkEvents = [] {
            pw_link_events e{};
            e.version = PW_VERSION_LINK_EVENTS;
            e.info = &ServerObjectCallbacks::linkInfo;
            return e;
        }();
        pw_link_add_listener(reinterpret_cast<pw_link*>(self->proxy_), &self->hook_->link, &linkEvents, self.get());
        self->hook_->isLink = true;
    }
    timespec deadline{};
    pw_thread_loop_get_time(context.loop(), &deadline, int64_t(timeoutMS) * SPA_NSEC_PER_MSEC);
    while (!self->bound_ && !self->removed_ && self->error_ == 0)
        if (pw_thread_loop_timed_wait_full(context.loop(), &deadline) != 0) break;
    if (!self->bound_ || self->removed_ || self->error_ != 0) {
        error = self->error_ != 0 ? self->error_ : self->removed_ ? -ENOENT : -ETIMEDOUT;
        return nullptr;
    }
    return self;
}

ServerObject::~ServerObject()
{
    if (!proxy_) return;
    LoopLock lock(context_.loop());
    spa_hook_remove(&hook_->listener);
    if (hook_->isLink) spa_hook_remove(&hook_->link);
    // Destroys the object on the server too: it does not linger.
    pw_proxy_destroy(proxy_);
}

bool ServerObject::isGone() const
{
    LoopLock lock(context_.loop());
    return removed_ || error_ != 0;
}

int ServerObject::linkState() const
{
    LoopLock lock(context_.loop());
    return linkState_;
}

bool ServerObject::waitForLinkState(int state, int timeoutMS)
{
    LoopLock lock(context_.loop());
    timespec deadline{};
    pw_thread_loop_get_time(context_.loop(), &deadline, int64_t(timeoutMS) * SPA_NSEC_PER_MSEC);
    while (linkState_ < state && !removed_ && error_ == 0 && linkState_ != PW_LINK_STATE_ERROR)
        if (pw_thread_loop_timed_wait_full(context_.loop(), &deadline) != 0) break;
    return linkState_ >= state;
}

}  // namespace quorel::pipewire
