#pragma once

#include <QString>

namespace quorel {

// A running application offered for a new rule: its desktop-file id, its localized name (the
// id when it has none) and its icon name or path (empty when it has none).
struct RunningApp {
    QString bundleID;
    QString name;
    QString icon;
    bool operator==(const RunningApp&) const = default;
};

}  // namespace quorel
