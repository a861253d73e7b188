#include "Action.h"

#include "L10n.h"

namespace quorel::action {

uint32_t rawValue(Action action) { return static_cast<uint32_t>(action); }

std::optional<Action> fromRawValue(uint32_t raw)
{
    if (raw - 1 > 5) return std::nullopt;  // 0 wraps around to the largest value
    return static_cast<Action>(raw);
}

QString name(Action action)
{
    switch (action) {
    case Action::toggle: return QStringLiteral("toggle");
    case Action::compare: return QStringLiteral("compare");
    case Action::boostUp: return QStringLiteral("boostUp");
    case Action::boostDown: return QStringLiteral("boostDown");
    case Action::nextPreset: return QStringLiteral("nextPreset");
    case Action::previousPreset: return QStringLiteral("previousPreset");
    }
    return {};
}

QString keysym(Action action)
{
    switch (action) {
    case Action::toggle: return QStringLiteral("b");
    case Action::compare: return QStringLiteral("a");
    case Action::boostUp: return QStringLiteral("Up");
    case Action::boostDown: return QStringLiteral("Down");
    case Action::nextPreset: return QStringLiteral("Right");
    case Action::previousPreset: return QStringLiteral("Left");
    }
    return {};
}

QString trigger(Action action)
{
    const QString key = keysym(action);
    return QStringLiteral("Ctrl+Alt+Super+") + (key.size() == 1 ? key.toUpper() : key);
}

QString labelKey(Action action)
{
    switch (action) {
    case Action::toggle: return QStringLiteral("Turn processing on or off");
    case Action::compare: return QStringLiteral("Original / processed");
    case Action::boostUp: return QStringLiteral("Boost +1 dB");
    case Action::boostDown: return QStringLiteral("Boost \u22121 dB");
    case Action::nextPreset: return QStringLiteral("Next preset");
    case Action::previousPreset: return QStringLiteral("Previous preset");
    }
    return {};
}

QString label(Action action, AppLanguage language) { return L10n::render(labelKey(action), {}, language); }
QString label(Action action) { return label(action, L10n::language()); }

}  // namespace quorel::action
