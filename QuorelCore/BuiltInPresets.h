#pragma once

#include "SoundPreset.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace quorel {

// The fixed table of the 22 presets that ship with the program. Their stored names and
// summaries are Portuguese; the shown texts come from the keys "<id>.name" and "<id>.summary".
namespace BuiltInPresets {

inline constexpr const char* neutralID = "builtin.neutral";

const std::vector<SoundPreset>& all();  // table order; built once, thread-safe
const SoundPreset& neutral();
const QStringList& featuredIDs();
std::optional<SoundPreset> preset(const QString& id);  // exact id

}  // namespace BuiltInPresets
}  // namespace quorel
