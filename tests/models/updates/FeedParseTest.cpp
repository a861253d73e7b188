#include "FeedKeys.h"
#include "TestSupport.h"
#include "UpdateChecker.h"
#include "UpdateFeedError.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace quorel;
using Code = UpdateFeedError::Code;

namespace {

class FeedParse : public testing::Test {
protected:
    test::FeedKeys keys = test::FeedKeys::generate();

    UpdateChecker::Release parse(const QByteArray& bytes) { return UpdateChecker::parse(bytes, keys.publicBase64()); }

    // The code parse fails with, or none when it succeeds.
    std::optional<Code> failure(const QByteArray& bytes)
    {
        try {
            parse(bytes);
        } catch (const UpdateFeedError& error) {
            return error.code();
        }
        return std::nullopt;
    }

    // Signs `feed`, then replaces member `name` with `value` in the signed document.
    QByteArray signedThenChanged(const QJsonObject& feed, const QString& name, const QJsonValue& value)
    {
        QJsonObject document = QJsonDocument::fromJson(test::signedFeed(feed, keys)).object();
        document.insert(name, value);
        return QJsonDocument(document).toJson();
    }

    QByteArray signedWith(const QJsonObject& feed, const QString& name, const QJsonValue& value)
    {
        QJsonObject copy = feed;
        copy.insert(name, value);
        return test::signedFeed(copy, keys);
    }
};

}  // namespace

TEST_F(FeedParse, ReadsASignedFeed)
{
    const UpdateChecker::Release release = parse(test::signedFeed(test::sampleFeed(42), keys));
    EXPECT_EQ(release.version, "2.0.1");
    EXPECT_EQ(release.build, 42);
    EXPECT_EQ(release.url, QUrl("https://quorel.app/download/2.0.1"));
    EXPECT_EQ(release.notes, "Faster start.");
    EXPECT_EQ(release.minimumSystemVersion, "13.0");
}

TEST_F(FeedParse, OptionalMembersTakeTheirDefaults)
{
    QJsonObject feed = test::sampleFeed();
    feed.remove("notes");
    feed.insert("minimumSystemVersion", 14);
    const UpdateChecker::Release release = parse(test::signedFeed(feed, keys));
    EXPECT_EQ(release.notes, "");
    EXPECT_EQ(release.minimumSystemVersion, "14.2");
    feed.remove("minimumSystemVersion");
    EXPECT_EQ(parse(test::signedFeed(feed, keys)).minimumSystemVersion, "14.2");
}

TEST_F(FeedParse, ExtraMembersAreCoveredByTheSignature)
{
    const QJsonObject feed = [] {
        QJsonObject f = test::sampleFeed();
        f.insert("channel", QJsonObject{{"name", "stable"}, {"mirrors", QJsonArray{"https://a/b"}}});
        return f;
    }();
    EXPECT_EQ(failure(test::signedFeed(feed, keys)), std::nullopt);
    EXPECT_EQ(failure(signedThenChanged(feed, "channel", QJsonObject{{"name", "beta"}})), Code::secureConnectionFailed);
    EXPECT_EQ(failure(signedThenChanged(feed, "added", 1)), Code::secureConnectionFailed);
    EXPECT_EQ(failure(signedThenChanged(feed, "build", 8)), Code::secureConnectionFailed);
}

TEST_F(FeedParse, TheReceivedFormattingDoesNotMatterOnlyTheContent)
{
    // Pretty-printed, with the signature first: the canonical form is what is signed.
    const QJsonObject feed = test::sampleFeed();
    const QString signature = test::signatureText(feed, keys);
    const QByteArray text = "{\n  \"signature\" : \"" + signature.toLatin1() + "\",\n"
                            + QJsonDocument(feed).toJson(QJsonDocument::Indented).mid(1);
    EXPECT_EQ(failure(text), std::nullopt);
}

TEST_F(FeedParse, UrlSafeSignatureWithoutPaddingIsAccepted)
{
    const QJsonObject feed = test::sampleFeed();
    QByteArray raw = QByteArray::fromBase64(test::signatureText(feed, keys).toLatin1());
    QJsonObject document = feed;
    document.insert("signature",
                    QString::fromLatin1(raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)));
    EXPECT_EQ(failure(QJsonDocument(document).toJson()), std::nullopt);
}

TEST_F(FeedParse, SignatureWithASpaceCannotBeParsed)
{
    const QJsonObject feed = test::sampleFeed();
    QString signature = test::signatureText(feed, keys);
    signature.insert(10, ' ');
    QJsonObject document = feed;
    document.insert("signature", signature);
    EXPECT_EQ(failure(QJsonDocument(document).toJson()), Code::cannotParseResponse);
}

TEST_F(FeedParse, SignatureOfAnotherLengthFailsVerification)
{
    const QJsonObject feed = test::sampleFeed();
    const QByteArray raw = QByteArray::fromBase64(test::signatureText(feed, keys).toLatin1());
    for (const QByteArray& wrong : {raw.left(63), raw + 'x', QByteArray()}) {
        QJsonObject document = feed;
        document.insert("signature", QString::fromLatin1(wrong.toBase64()));
        EXPECT_EQ(failure(QJsonDocument(document).toJson()), Code::secureConnectionFailed) << wrong.size();
    }
}

TEST_F(FeedParse, AnotherKeyFailsVerification)
{
    const QByteArray bytes = test::signedFeed(test::sampleFeed(), test::FeedKeys::generate());
    EXPECT_EQ(failure(bytes), Code::secureConnectionFailed);
}

TEST_F(FeedParse, AnUnusableBuiltInKeyFailsVerification)
{
    const QByteArray bytes = test::signedFeed(test::sampleFeed(), keys);
    for (const QString& key :
         {QString(), QString("not base64!"), QString::fromLatin1(keys.publicRaw.left(31).toBase64())}) {
        try {
            UpdateChecker::parse(bytes, key);
            ADD_FAILURE() << key.toStdString();
        } catch (const UpdateFeedError& error) {
            EXPECT_EQ(error.code(), Code::secureConnectionFailed);
        }
    }
}

TEST_F(FeedParse, MembersAreCheckedAfterTheSignature)
{
    const QJsonObject feed = test::sampleFeed();
    EXPECT_EQ(failure(signedWith(feed, "product", "Corvanta")), Code::cannotParseResponse);
    EXPECT_EQ(failure(signedWith(feed, "product", "quorel")), Code::cannotParseResponse);
    EXPECT_EQ(failure(signedWith(feed, "url", "http://quorel.app/download")), Code::cannotParseResponse);
    EXPECT_EQ(failure(signedWith(feed, "url", "HTTPS://quorel.app/download")), Code::cannotParseResponse);
    EXPECT_EQ(failure(signedWith(feed, "url", "https://")), Code::cannotParseResponse);
    EXPECT_EQ(failure(signedWith(feed, "url", "https://quorel.app/a b")), Code::cannotParseResponse);
    EXPECT_EQ(failure(signedWith(feed, "url", 5)), Code::cannotParseResponse);
    EXPECT_EQ(failure(signedWith(feed, "build", "7")), Code::cannotParseResponse);
    EXPECT_EQ(failure(signedWith(feed, "build", 7.5)), Code::cannotParseResponse);
    EXPECT_EQ(failure(signedWith(feed, "version", 2)), Code::cannotParseResponse);
    for (const char* name : {"product", "version", "build", "url"}) {
        QJsonObject missing = feed;
        missing.remove(name);
        EXPECT_EQ(failure(test::signedFeed(missing, keys)), Code::cannotParseResponse) << name;
    }
}

TEST_F(FeedParse, BuildNumbersKeepAll64Bits)
{
    const QByteArray text = R"({"product":"corvanta","version":"x","build":9007199254740993,"url":"https://q.app/"})";
    QJsonObject feed = QJsonDocument::fromJson(text).object();
    EXPECT_EQ(parse(test::signedFeed(feed, keys)).build, 9007199254740993LL);
    feed.insert("build", -4);
    EXPECT_EQ(parse(test::signedFeed(feed, keys)).build, -4);
}

TEST_F(FeedParse, TheDocumentMustBeAnObjectWithASignatureText)
{
    EXPECT_EQ(failure("not json"), Code::notJSON);
    EXPECT_EQ(failure(""), Code::notJSON);
    EXPECT_EQ(failure("[1,2]"), Code::cannotParseResponse);
    EXPECT_EQ(failure(QJsonDocument(test::sampleFeed()).toJson()), Code::cannotParseResponse);
    QJsonObject numeric = test::sampleFeed();
    numeric.insert("signature", 12);
    EXPECT_EQ(failure(QJsonDocument(numeric).toJson()), Code::cannotParseResponse);
}

TEST_F(FeedParse, ErrorsDescribeThemselves)
{
    const test::TemporaryHome home;  // English
    try {
        parse("{");
        ADD_FAILURE();
    } catch (const UpdateFeedError& error) {
        EXPECT_TRUE(error.description().startsWith("The update feed is not JSON ("))
            << error.description().toStdString();
    }
    EXPECT_EQ(UpdateFeedError::make(Code::secureConnectionFailed).description(),
              "The update feed's signature could not be verified.");
    EXPECT_EQ(UpdateFeedError::make(Code::badServerResponse).description(),
              "The update server sent an unexpected response.");
    EXPECT_EQ(UpdateFeedError::make(Code::cannotParseResponse).description(),
              "The update feed is incomplete or malformed.");
}
