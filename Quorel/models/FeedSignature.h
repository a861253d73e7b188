#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace quorel {

// Ed25519 signatures over the update feed (OpenSSL). The signed message is the feed object
// without its "signature" member in canonical form: compact JSON, object keys sorted at every
// level, "/" unescaped, UTF-8, as Qt's compact writer produces it. The publisher's tool and
// the checker both use canonicalBytes, so the two agree byte for byte.
namespace FeedSignature {

inline constexpr int publicKeySize = 32;
inline constexpr int signatureSize = 64;

// The canonical bytes of `object` with any "signature" member removed.
QByteArray canonicalBytes(QJsonObject object);

// Standard Base64 of exactly 32 bytes gives the raw public key; anything else gives none.
std::optional<QByteArray> decodePublicKey(const QString& base64);

// The signature text of a feed: "-" and "_" read as "+" and "/", "=" padding optional.
// Any other character outside the standard alphabet gives none. The length is not checked.
std::optional<QByteArray> decodeSignature(const QString& text);

// True when `signature` is a valid Ed25519 signature of `message` under the raw 32-byte
// `publicKey` (RFC 8032). A key or signature of the wrong length is simply not valid.
bool verify(const QByteArray& publicKey, const QByteArray& signature, const QByteArray& message);

// True when `publicKey` (32 raw bytes) is a usable Ed25519 public key.
bool isUsablePublicKey(const QByteArray& publicKey);

// Signs `message` with an Ed25519 private key in PEM (PKCS#8, as `openssl genpkey -algorithm
// ed25519` writes it). Returns the 64-byte signature, or none with `error` set.
std::optional<QByteArray> sign(const QByteArray& privateKeyPEM, const QByteArray& message, QString* error = nullptr);

// The raw 32-byte public key of a PEM private key (for tests and the publisher's tool).
std::optional<QByteArray> publicKeyOf(const QByteArray& privateKeyPEM);

}  // namespace FeedSignature
}  // namespace quorel
