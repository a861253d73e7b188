#pragma once

#include "HeadphoneProfile.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace quorel {

// The built-in catalog of headphone corrections, compiled into the program as the Qt resource
// ":/quorel/HeadphoneProfiles.json" (a JSON array of profiles with "autoeq." ids). Loaded and
// sanitized once per process; safe to touch first from any thread.
namespace HeadphoneCatalog {

inline constexpr const char* resourcePath = ":/quorel/HeadphoneProfiles.json";

// Every catalog profile, sanitized, in file order; empty when the resource is missing or any
// entry does not decode.
const std::vector<HeadphoneProfile>& all();
// Each distinct brand once, sorted for display (case-insensitive, locale-aware, stable).
const QStringList& brands();
// The profiles whose brand equals `brand` exactly, in catalog order.
std::vector<HeadphoneProfile> profiles(const QString& brand);
// The first profile whose id equals `id` exactly.
std::optional<HeadphoneProfile> profile(const QString& id);

// The loading and sorting behind all() and brands(), open to checks on other files.
std::vector<HeadphoneProfile> load(const QString& path);
QStringList brandsOf(const std::vector<HeadphoneProfile>& profiles);

}  // namespace HeadphoneCatalog
}  // namespace quorel
