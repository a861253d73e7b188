#pragma once

#include "AppLanguage.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace quorel {

// What a global shortcut does. The raw values are the shortcut ids; the order is that of
// registration and of the automation page's list.
enum class Action : uint32_t {
    toggle = 1,
    compare = 2,
    boostUp = 3,
    boostDown = 4,
    nextPreset = 5,
    previousPreset = 6
};

namespace action {
inline constexpr std::array<Action, 6> allCases{Action::toggle,    Action::compare,    Action::boostUp,
                                                Action::boostDown, Action::nextPreset, Action::previousPreset};

uint32_t rawValue(Action action);
// The case name ("toggle", "compare", "boostUp", ...): the id the shortcut portal lists it under.
QString name(Action action);
std::optional<Action> fromRawValue(uint32_t raw);  // none for 0 and 7 and above
// The X keysym name of the key pressed with Control+Alt+Super: "b", "a", "Up", "Down", "Right", "Left".
QString keysym(Action action);
// The shortcut as the desktop shows it, "Ctrl+Alt+Super+B".
QString trigger(Action action);
// The English key of the label and the label rendered in the saved (or the given) language.
QString labelKey(Action action);
QString label(Action action);
QString label(Action action, AppLanguage language);
}  // namespace action

}  // namespace quorel
