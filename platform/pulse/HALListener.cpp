#include "HALListener.h"

#include "PulseClient.h"

#include <QCoreApplication>
#include <QThread>

#include <cassert>

namespace quorel {

namespace {
// A listener's registration and its handler belong to the main thread (none yet: the caller's).
[[maybe_unused]] bool onMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

// The kind of change a listener on this object and address takes; none when it takes none.
std::optional<PulseChange::Kind> kindOf(HAL::ObjectID object, const HAL::PropertyAddress& address)
{
    if (address.element != 0) return std::nullopt;
    if (object == HAL::systemObject) {
        if (address.scope != HAL::scope::global) return std::nullopt;
        if (address.selector == HAL::selector::defaultOutputDevice) return PulseChange::Kind::defaultOutput;
        if (address.selector == HAL::selector::devices) return PulseChange::Kind::deviceList;
        return std::nullopt;
    }
    if (object == HAL::noDevice) return std::nullopt;
    if (address.scope == HAL::scope::global && address.selector == HAL::selector::runningSomewhere)
        return PulseChange::Kind::running;
    if (address.scope != HAL::scope::output) return std::nullopt;
    if (address.selector == HAL::selector::volume) return PulseChange::Kind::volume;
    if (address.selector == HAL::selector::mute) return PulseChange::Kind::mute;
    return std::nullopt;
}
}  // namespace

HALListener::HALListener(HAL::ObjectID object, const HAL::PropertyAddress& address) : object_(object), address_(address)
{
}

std::unique_ptr<HALListener> HALListener::create(HAL::ObjectID object, const HAL::PropertyAddress& address,
                                                 std::function<void()> handler)
{
    assert(onMainThread() && "listeners are made on the main thread");
    const std::optional<PulseChange::Kind> kind = kindOf(object, address);
    if (!kind || !handler) return nullptr;
    if (object != HAL::systemObject && !HAL::has(object, address)) return nullptr;
    std::unique_ptr<HALListener> listener(new HALListener(object, address));
    listener->observer_ = PulseClient::shared().addObserver(
        [object, kind = *kind, handler = std::move(handler)](const std::vector<PulseChange>& changes) {
            for (const PulseChange& change : changes) {
                const bool mine = change.kind == kind && (object == HAL::systemObject || change.sink == object);
                if (mine) {
                    handler();
                    return;
                }
            }
        });
    listener->active_ = true;
    return listener;
}

HALListener::~HALListener()
{
    assert(onMainThread() && "listeners are destroyed on the main thread");
    if (active_) PulseClient::shared().removeObserver(observer_);
    active_ = false;
}

}  // namespace quorel
