#include "FeedKeys.h"
#include "ProductInfo.h"
#include "TestSupport.h"
#include "ToolRun.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

class FeedTool : public testing::Test {
protected:
    QString write(const QString& name, const QByteArray& contents)
    {
        const QString path = home.path() + "/" + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
        return path;
    }

    test::ToolRun run(const QStringList& arguments) { return test::runTool(arguments, home.configHome()); }

    test::TemporaryHome home;
    test::FeedKeys keys = test::FeedKeys::generate();
};

}  // namespace

TEST_F(FeedTool, AcceptsASignedFeedAndRefusesItWithOneMemberChanged)
{
    const QString key = write("private.pem", keys.privatePEM);
    QJsonObject feed = test::sampleFeed(ProductInfo::build() + 1);
    feed.insert("signature", "left over from an earlier signing");
    const test::ToolRun signedRun = run({"feed-sign", "--key", key, write("feed.json", QJsonDocument(feed).toJson())});
    ASSERT_EQ(signedRun.exitCode, 0) << signedRun.err.toStdString();
    const QJsonObject signedFeed = QJsonDocument::fromJson(signedRun.out).object();
    EXPECT_EQ(signedFeed.value("signature").toString().size(), 88);  // 64 bytes in standard Base64
    EXPECT_EQ(QByteArray::fromBase64(signedFeed.value("signature").toString().toLatin1()).size(), 64);
    // The old signature is dropped before signing: the same as signing the feed without it.
    feed.remove("signature");
    EXPECT_EQ(signedFeed.value("signature").toString(), test::signatureText(feed, keys));

    const QString signedPath = write("signed.json", signedRun.out);
    const test::ToolRun accepted = run({"feed", signedPath, "--public-key", keys.publicBase64()});
    ASSERT_EQ(accepted.exitCode, 0) << accepted.err.toStdString();
    const QJsonObject release = QJsonDocument::fromJson(accepted.out).object();
    EXPECT_EQ(release.value("version").toString(), "2.0.1");
    EXPECT_EQ(release.value("build").toInteger(), ProductInfo::build() + 1);
    EXPECT_EQ(release.value("url").toString(), "https://quorel.app/download/2.0.1");
    EXPECT_EQ(release.value("notes").toString(), "Faster start.");
    EXPECT_EQ(release.value("minimumSystemVersion").toString(), "13.0");
    EXPECT_EQ(release.value("runningBuild").toInteger(), ProductInfo::build());
    EXPECT_EQ(release.value("newer").toBool(false), true);
    EXPECT_EQ(release.size(), 7);

    QJsonObject changed = signedFeed;
    changed.insert("notes", "Faster start!");
    const test::ToolRun refused =
        run({"feed", write("changed.json", QJsonDocument(changed).toJson()), "--public-key", keys.publicBase64()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.isEmpty());
    EXPECT_EQ(refused.err.trimmed(), "The update feed's signature could not be verified.");
}

TEST_F(FeedTool, ACurrentBuildIsNotNewer)
{
    const QString path = write("feed.json", test::signedFeed(test::sampleFeed(ProductInfo::build()), keys));
    const test::ToolRun result = run({"feed", path, "--public-key", keys.publicBase64()});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_FALSE(QJsonDocument::fromJson(result.out).object().value("newer").toBool(true));
}

TEST_F(FeedTool, FailuresCarryTheCheckersText)
{
    QJsonObject feed = test::sampleFeed();
    feed.insert("url", "http://quorel.app/");
    const test::ToolRun wrongScheme =
        run({"feed", write("feed.json", test::signedFeed(feed, keys)), "--public-key", keys.publicBase64()});
    EXPECT_EQ(wrongScheme.exitCode, 1);
    EXPECT_EQ(wrongScheme.err.trimmed(), "The update feed is incomplete or malformed.");

    const test::ToolRun missing = run({"feed", home.path() + "/absent.json"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("absent.json")) << missing.err.toStdString();

    const test::ToolRun tooLarge = run({"feed", write("large.json", QByteArray(1024 * 1024 + 1, ' '))});
    EXPECT_EQ(tooLarge.exitCode, 1);
    EXPECT_TRUE(tooLarge.err.contains("larger than 1 MiB")) << tooLarge.err.toStdString();

    EXPECT_EQ(run({"feed"}).exitCode, 1);
    EXPECT_EQ(run({"feed", "a", "b"}).exitCode, 1);
    EXPECT_EQ(run({"feed-sign", write("f.json", "{}")}).exitCode, 1);
}

TEST_F(FeedTool, SigningRefusesWhatItCannotSign)
{
    const QString feed = write("feed.json", QJsonDocument(test::sampleFeed()).toJson());
    const test::ToolRun badKey = run({"feed-sign", "--key", write("bad.pem", "not a key"), feed});
    EXPECT_EQ(badKey.exitCode, 1);
    EXPECT_TRUE(badKey.out.isEmpty());
    EXPECT_TRUE(badKey.err.contains("bad.pem")) << badKey.err.toStdString();

    const QString key = write("private.pem", keys.privatePEM);
    EXPECT_EQ(run({"feed-sign", "--key", key, write("array.json", "[1]")}).exitCode, 1);
    EXPECT_EQ(run({"feed-sign", "--key", key, write("broken.json", "{")}).exitCode, 1);
}
