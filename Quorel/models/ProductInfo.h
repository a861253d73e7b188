#pragma once

#include <QString>
#include <QUrl>

namespace quorel {

// Fixed facts about the product: the addresses on its web site (a build-time setting,
// QUOREL_WEBSITE) and the version and build of the running program (PROJECT_VERSION and
// QUOREL_BUILD). Callable from any thread.
namespace ProductInfo {

// The web site's root address.
QUrl websiteURL();
// The privacy page: the site followed by "/privacidade".
QUrl privacyURL();
// The signed update feed: the site followed by "/updates/appcast.json".
QUrl updateManifestURL();

// The marketing version, or "dev" when the build has none.
QString version();
// The build number, or 0 when the build's text is not a decimal integer.
qint64 build();

// Reads a build number: an optional "+" or "-", then only digits, within the signed 64-bit
// range; anything else (also surrounding spaces or an empty text) gives 0.
qint64 buildNumber(const QString& text);

}  // namespace ProductInfo
}  // namespace quorel
