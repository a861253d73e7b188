#include "HotKeyCenter.h"

#include "ShortcutBackend.h"

#include <vector>

namespace quorel {

HotKeyCenter::HotKeyCenter(std::unique_ptr<ShortcutBackend> backend, QObject* parent)
    : QObject(parent), backend_(std::move(backend))
{
    if (backend_) {
        connect(backend_.get(), &ShortcutBackend::activated, this, &HotKeyCenter::fire);
        connect(backend_.get(), &ShortcutBackend::availabilityChanged, this, &HotKeyCenter::availabilityChanged);
    }
}

HotKeyCenter::~HotKeyCenter() = default;

bool HotKeyCenter::isAvailable() const { return backend_ && backend_->isAvailable(); }

void HotKeyCenter::registerKeys()
{
    if (registered_) return;
    registered_ = true;
    if (!backend_) return;
    std::vector<GlobalShortcut> shortcuts;
    for (Action action : action::allCases)
        shortcuts.push_back(
            {action::rawValue(action), action::keysym(action), action::label(action), action::name(action)});
    backend_->registerShortcuts(shortcuts);
}

void HotKeyCenter::unregisterKeys()
{
    if (backend_) backend_->unregisterShortcuts();
    registered_ = false;
}

void HotKeyCenter::fire(uint32_t id)
{
    const std::optional<Action> action = action::fromRawValue(id);
    if (!action || !handler) return;
    handler(*action);
}

}  // namespace quorel
