#include "FeedKeys.h"

#include "FeedSignature.h"

#include <QJsonDocument>

#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace quorel::test {

FeedKeys FeedKeys::generate()
{
    FeedKeys keys;
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"),
                                                            &EVP_PKEY_free);
    EXPECT_TRUE(key);
    if (!key) return keys;
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    EXPECT_EQ(PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr), 1);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    keys.privatePEM = QByteArray(data, int(length));
    keys.publicRaw = FeedSignature::publicKeyOf(keys.privatePEM).value_or(QByteArray());
    EXPECT_EQ(keys.publicRaw.size(), 32);
    return keys;
}

QString signatureText(const QJsonObject& feed, const FeedKeys& keys)
{
    const auto signature = FeedSignature::sign(keys.privatePEM, FeedSignature::canonicalBytes(feed));
    EXPECT_TRUE(signature);
    return QString::fromLatin1(signature.value_or(QByteArray()).toBase64());
}

QByteArray signedFeed(const QJsonObject& feed, const FeedKeys& keys)
{
    QJsonObject copy = feed;
    copy.insert("signature", signatureText(feed, keys));
    return QJsonDocument(copy).toJson(QJsonDocument::Compact);
}

QJsonObject sampleFeed(qint64 build)
{
    return QJsonObject{{"product", "corvanta"},    {"version", "2.0.1"},
                       {"build", build},           {"url", "https://quorel.app/download/2.0.1"},
                       {"notes", "Faster start."}, {"minimumSystemVersion", "13.0"}};
}

QByteArray fromHex(const char* hex) { return QByteArray::fromHex(hex); }

}  // namespace quorel::test
