#pragma once

#include <QString>

namespace quorel::userNames {

// How the libraries match the names users give their presets and imported headphones:
// case-insensitive, accents count, no trimming, and a composed letter equals its decomposed
// spelling (both compared in NFC).
bool same(const QString& a, const QString& b);

}  // namespace quorel::userNames
