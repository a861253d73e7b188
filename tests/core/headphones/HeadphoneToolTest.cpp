#include "TestSupport.h"
#include "ToolRun.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

class HeadphoneTool : public ::testing::Test {
protected:
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = QDir(home.path()).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }
    test::ToolRun run(const QStringList& arguments) { return test::runTool(arguments, home.configHome()); }

    test::TemporaryHome home;
};

const QByteArray text = "Preamp: -4 dB\nFilter 1: ON LSC Fc 105 Hz Gain 5.5 dB Q 0.70\n";

}  // namespace

TEST_F(HeadphoneTool, AutoEqPrintsTheParsedProfile)
{
    const test::ToolRun result = run({"autoeq", writeFile("Acme H1 ParametricEQ.txt", text)});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QJsonObject profile = QJsonDocument::fromJson(result.out).object();
    EXPECT_EQ(profile["name"].toString(), QStringLiteral("Acme H1"));
    EXPECT_EQ(profile["preampDB"].toDouble(), -4);
    EXPECT_EQ(profile["filters"].toArray().size(), 1);
    EXPECT_EQ(profile["filters"][0]["kind"].toString(), QStringLiteral("lowShelf"));
}

TEST_F(HeadphoneTool, ImportStoresAndFailuresPrintTheMessage)
{
    const test::ToolRun imported = run({"headphone-import", writeFile("Acme H1.txt", text)});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    const QString id = QJsonDocument::fromJson(imported.out).object()["id"].toString();
    EXPECT_TRUE(id.startsWith(QStringLiteral("import.")));
    const QByteArray stored = QDir(home.configHome()).filePath("Quorel/Quorel.conf").toUtf8();
    QFile conf(QString::fromUtf8(stored));
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(conf.readAll().contains(id.toUtf8()));

    const test::ToolRun refused = run({"headphone-import", writeFile("empty.txt", "")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.isEmpty());
    EXPECT_EQ(refused.err.trimmed(), QByteArray("No AutoEq filters found in this file."));
}

TEST_F(HeadphoneTool, CatalogListsTheShippedProfiles)
{
    const test::ToolRun result = run({"catalog"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(result.out).array().size(), 41);
}

// The committed catalog resource is what the generator makes from the committed AutoEq files.
TEST_F(HeadphoneTool, CatalogResourceIsUpToDate)
{
    const QString out = QDir(home.path()).filePath("generated.json");
    const test::ToolRun result = run({"catalog-generate", test::sourcePath("resources/autoeq"), "--out", out});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    QFile generated(out), committed(test::sourcePath("resources/HeadphoneProfiles.json"));
    ASSERT_TRUE(generated.open(QIODevice::ReadOnly));
    ASSERT_TRUE(committed.open(QIODevice::ReadOnly));
    const QJsonArray a = QJsonDocument::fromJson(generated.readAll()).array();
    const QJsonArray b = QJsonDocument::fromJson(committed.readAll()).array();
    ASSERT_EQ(a.size(), b.size());
    for (qsizetype i = 0; i < a.size(); ++i) {
        QJsonObject x = a[i].toObject(), y = b[i].toObject();
        EXPECT_EQ(x, y) << y["id"].toString().toStdString();
    }
}
