#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace quorel::test {

// An Ed25519 key pair made at run time; no private key is ever kept in the tree.
struct FeedKeys {
    QByteArray privatePEM;  // PKCS#8 PEM
    QByteArray publicRaw;   // 32 bytes
    QString publicBase64() const { return QString::fromLatin1(publicRaw.toBase64()); }

    static FeedKeys generate();
};

// The feed with a "signature" member signed by `keys` (standard Base64), as compact JSON.
QByteArray signedFeed(const QJsonObject& feed, const FeedKeys& keys);
// The signature text that signedFeed would put in.
QString signatureText(const QJsonObject& feed, const FeedKeys& keys);

// A complete, valid feed object (unsigned).
QJsonObject sampleFeed(qint64 build = 7);

QByteArray fromHex(const char* hex);

}  // namespace quorel::test
