#include "FeedSignature.h"

#include <QJsonDocument>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace quorel::FeedSignature {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

const auto* bytes(const QByteArray& data) { return reinterpret_cast<const unsigned char*>(data.constData()); }

// OpenSSL's queued error text (and clears the queue, so no error lingers for a later call).
QString openSSLError()
{
    char buffer[256] = {};
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return QStringLiteral("unknown OpenSSL error");
    ERR_error_string_n(code, buffer, sizeof buffer);
    return QString::fromUtf8(buffer);
}

// An encrypted key is refused rather than asking for a passphrase on the terminal.
int noPassphrase(char*, int, int, void*) { return 0; }

Key privateKey(const QByteArray& pem)
{
    Bio bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    if (!bio) return nullptr;
    Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassphrase, nullptr));
    if (key && EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_ED25519) return nullptr;
    return key;
}

}  // namespace

QByteArray canonicalBytes(QJsonObject object)
{
    object.remove(QStringLiteral("signature"));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<QByteArray> decodePublicKey(const QString& base64)
{
    const auto decoded = QByteArray::fromBase64Encoding(
        base64.toLatin1(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || base64.size() != 44 || decoded.decoded.size() != publicKeySize) return std::nullopt;
    return decoded.decoded;
}

std::optional<QByteArray> decodeSignature(const QString& text)
{
    QString normalized = text;
    normalized.replace(u'-', u'+').replace(u'_', u'/');
    while (normalized.size() % 4 != 0) normalized += u'=';
    for (const QChar c : normalized)
        if (c.unicode() > 0x7f) return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(
        normalized.toLatin1(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return std::nullopt;
    return decoded.decoded;
}

bool isUsablePublicKey(const QByteArray& publicKey)
{
    if (publicKey.size() != publicKeySize) return false;
    Key key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, bytes(publicKey), size_t(publicKey.size())));
    ERR_clear_error();
    return key != nullptr;
}

bool verify(const QByteArray& publicKey, const QByteArray& signature, const QByteArray& message)
{
    if (publicKey.size() != publicKeySize || signature.size() != signatureSize) return false;
    Key key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, bytes(publicKey), size_t(publicKey.size())));
    Context context(EVP_MD_CTX_new());
    bool valid = false;
    if (key && context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1)
        valid = EVP_DigestVerify(context.get(), bytes(signature), size_t(signature.size()), bytes(message),
                                 size_t(message.size()))
                == 1;
    ERR_clear_error();
    return valid;
}

std::optional<QByteArray> sign(const QByteArray& privateKeyPEM, const QByteArray& message, QString* error)
{
    const auto failed = [&](const QString& text) -> std::optional<QByteArray> {
        if (error) *error = text;
        ERR_clear_error();
        return std::nullopt;
    };
    Key key = privateKey(privateKeyPEM);
    if (!key) return failed(QStringLiteral("not an Ed25519 private key in PEM form"));
    Context context(EVP_MD_CTX_new());
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return failed(openSSLError());
    QByteArray signature(signatureSize, Qt::Uninitialized);
    size_t length = size_t(signature.size());
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length, bytes(message),
                       size_t(message.size()))
            != 1
        || length != size_t(signatureSize))
        return failed(openSSLError());
    return signature;
}

std::optional<QByteArray> publicKeyOf(const QByteArray& privateKeyPEM)
{
    Key key = privateKey(privateKeyPEM);
    QByteArray raw(publicKeySize, Qt::Uninitialized);
    size_t length = size_t(raw.size());
    if (!key || EVP_PKEY_get_raw_public_key(key.get(), reinterpret_cast<unsigned char*>(raw.data()), &length) != 1
        || length != size_t(publicKeySize)) {
        ERR_clear_error();
        return std::nullopt;
    }
    return raw;
}

}  // namespace quorel::FeedSignature
