#pragma once

#include <QString>

namespace quorel {

// A per-app rule: while the application `bundleID` (its desktop-file id) is in front, the
// preset `presetID` is applied. `name` is the application's display name.
struct AppRule {
    QString bundleID;
    QString name;
    QString presetID;
    bool operator==(const AppRule&) const = default;
};

}  // namespace quorel
