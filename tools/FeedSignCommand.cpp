// quorel-tool feed-sign --key PRIVATE.pem FILE: the publisher's side of the update feed. Drops
// any "signature" member, signs the canonical bytes with an Ed25519 private key (PKCS#8 PEM, as
// `openssl genpkey -algorithm ed25519` writes it) and prints the feed with its "signature" in
// standard Base64.
#include "CommandArguments.h"
#include "Subcommand.h"

#include "FeedSignature.h"
#include "UserFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

#include <exception>
#include <optional>

namespace {

int runFeedSign(const QStringList& args)
{
    using quorel::tool::fail;
    const QString usage = QStringLiteral("usage: quorel-tool feed-sign --key PRIVATE.pem FILE");
    quorel::tool::CommandArguments arguments({QCommandLineOption("key", QString(), "PRIVATE.pem")}, {usage, usage}, 1);
    // One key, given once, and one file.
    if (arguments.read(args) || arguments.values("key").size() != 1 || arguments.positionalArguments().isEmpty())
        return fail(usage);
    const QString keyPath = arguments.value("key");
    const QString file = arguments.positionalArguments().first();
    try {
        const QByteArray pem = quorel::UserFile::readText(keyPath).toUtf8();
        const QByteArray text = quorel::UserFile::readText(file).toUtf8();
        QJsonParseError readError{};
        const QJsonDocument document = QJsonDocument::fromJson(text, &readError);
        if (readError.error != QJsonParseError::NoError)
            return fail(QStringLiteral("%1 is not JSON: %2 at byte %3")
                            .arg(file, readError.errorString())
                            .arg(readError.offset));
        if (!document.isObject()) return fail(QStringLiteral("%1 does not hold a JSON object").arg(file));
        QJsonObject feed = document.object();
        QString error;
        const std::optional<QByteArray> signature =
            quorel::FeedSignature::sign(pem, quorel::FeedSignature::canonicalBytes(feed), &error);
        if (!signature) return fail(QStringLiteral("Could not sign with %1: %2").arg(keyPath, error));
        feed.insert(QStringLiteral("signature"), QString::fromLatin1(signature->toBase64()));
        quorel::tool::printJson(feed);
    } catch (const std::exception& error) {
        return fail(QString::fromUtf8(error.what()));
    }
    return 0;
}

const quorel::tool::Registration reg{{"feed-sign", "feed-sign --key PRIVATE.pem FILE", &runFeedSign}};

}  // namespace
