#pragma once

#include "ShortcutBackend.h"

#include <vector>

namespace quorel::test {

// The application's six global shortcuts, as the backends get them.
inline std::vector<GlobalShortcut> sixShortcuts()
{
    return {{1, "b", "Turn processing on or off", "toggle"},
            {2, "a", "Original / processed", "compare"},
            {3, "Up", "Boost +1 dB", "boost-up"},
            {4, "Down", "Boost -1 dB", "boost-down"},
            {5, "Right", "Next preset", "next-preset"},
            {6, "Left", "Previous preset", "previous-preset"}};
}

}  // namespace quorel::test
