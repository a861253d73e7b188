#include "HeadphoneCatalog.h"

#include "AutoEqParser.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

QString readSource(const QString& relative)
{
    QFile file(test::sourcePath(relative));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << relative.toStdString();
    return QString::fromUtf8(file.readAll());
}

// Headphone name -> (form, measurement source), from the table of resources/autoeq/SOURCES.md.
QMap<QString, QPair<QString, QString>> sourceTable()
{
    QMap<QString, QPair<QString, QString>> rows;
    for (const QString& line : readSource(QStringLiteral("resources/autoeq/SOURCES.md")).split(u'\n')) {
        const QStringList cells = line.split(u'|');
        if (!line.startsWith(QLatin1String("| ")) || cells.size() < 5) continue;
        const QString name = cells[1].trimmed();
        if (name == QLatin1String("Headphone")) continue;
        rows.insert(name, {cells[2].trimmed(), cells[3].trimmed()});
    }
    return rows;
}

class CatalogFile : public ::testing::Test {
protected:
    QString write(const QByteArray& bytes)
    {
        const QString path = dir.filePath(QStringLiteral("catalog.json"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }
    QTemporaryDir dir;
};

}  // namespace

TEST(HeadphoneCatalog, ShippedCatalogDecodesWhole)
{
    const auto& all = HeadphoneCatalog::all();
    const QJsonArray raw = QJsonDocument::fromJson(readSource("resources/HeadphoneProfiles.json").toUtf8()).array();
    ASSERT_EQ(all.size(), 41u);
    EXPECT_EQ(qsizetype(all.size()), raw.size());
    QSet<QString> ids;
    for (const HeadphoneProfile& profile : all) {
        EXPECT_TRUE(profile.isBuiltIn()) << profile.id.toStdString();
        EXPECT_FALSE(ids.contains(profile.id)) << profile.id.toStdString();
        ids.insert(profile.id);
        EXPECT_EQ(profile, profile.sanitized());
        EXPECT_FALSE(profile.filters.empty());
        EXPECT_EQ(HeadphoneCatalog::profile(profile.id), profile);
    }
}

TEST(HeadphoneCatalog, EveryProfileRoundTripsFromItsSourceFile)
{
    const auto table = sourceTable();
    ASSERT_EQ(table.size(), 41);
    for (const HeadphoneProfile& profile : HeadphoneCatalog::all()) {
        SCOPED_TRACE(profile.name.toStdString());
        ASSERT_TRUE(table.contains(profile.name));
        const auto [form, source] = table.value(profile.name);
        EXPECT_EQ(profile.form, form);
        EXPECT_EQ(profile.source, source);
        const QString text =
            readSource(QStringLiteral("resources/autoeq/%1/%2 ParametricEQ.txt").arg(form, profile.name));
        const HeadphoneProfile parsed = parseAutoEQ(text, profile.name);
        EXPECT_EQ(parsed.name, profile.name);
        EXPECT_EQ(parsed.brand, profile.brand);
        EXPECT_EQ(parsed.preampDB, profile.preampDB);
        EXPECT_EQ(parsed.filters, profile.filters);
    }
}

TEST(HeadphoneCatalog, BrandsAndLookups)
{
    const QStringList& brands = HeadphoneCatalog::brands();
    EXPECT_TRUE(brands.contains(QStringLiteral("Sennheiser")));
    EXPECT_TRUE(brands.contains(QStringLiteral("Audio-Technica")));
    EXPECT_EQ(brands.size(), QSet<QString>(brands.begin(), brands.end()).size());
    EXPECT_EQ(HeadphoneCatalog::profiles(QStringLiteral("Sennheiser")).size(), 6u);
    EXPECT_TRUE(HeadphoneCatalog::profiles(QStringLiteral("sennheiser")).empty());
    EXPECT_FALSE(HeadphoneCatalog::profile(QStringLiteral("autoeq.nothing")));
    const auto hd600 = HeadphoneCatalog::profile(QStringLiteral("autoeq.sennheiser-hd-600"));
    ASSERT_TRUE(hd600);
    EXPECT_EQ(hd600->symbol(), QStringLiteral("headphones"));
    EXPECT_NE(HeadphoneCatalog::profile(QStringLiteral("autoeq.moondrop-aria"))->symbol(),
              QStringLiteral("headphones"));
}

TEST(HeadphoneCatalog, BrandSortIsCaseInsensitiveAndStable)
{
    auto named = [](const char* brand) {
        HeadphoneProfile profile;
        profile.brand = QString::fromLatin1(brand);
        return profile;
    };
    EXPECT_EQ(HeadphoneCatalog::brandsOf({named("Bolt"), named("acme"), named("Acme"), named("Bolt")}),
              (QStringList{"acme", "Acme", "Bolt"}));
}

TEST_F(CatalogFile, AnyBadEntryLeavesTheCatalogEmpty)
{
    EXPECT_TRUE(HeadphoneCatalog::load(dir.filePath("missing.json")).empty());
    EXPECT_TRUE(HeadphoneCatalog::load(dir.path()).empty());
    EXPECT_TRUE(HeadphoneCatalog::load(write("{}")).empty());
    EXPECT_TRUE(HeadphoneCatalog::load(write("[1]")).empty());
    EXPECT_TRUE(HeadphoneCatalog::load(write("not json")).empty());
    EXPECT_TRUE(HeadphoneCatalog::load(write(R"([{"id": "autoeq.a", "name": "A"},
        {"id": "autoeq.b", "name": "B", "filters": [{"kind": "bandPass", "frequency": 1, "gainDB": 1, "q": 1}]}])"))
                    .empty());
}

TEST_F(CatalogFile, EntriesAreCompletedAndSanitized)
{
    QJsonArray filters;
    for (int i = 0; i < 20; ++i)
        filters.append(QJsonObject{{"kind", "peak"}, {"frequency", 100}, {"gainDB", 40}, {"q", 1}});
    const QJsonArray list{QJsonObject{{"id", "autoeq.a"}, {"name", "  Acme  Model 2 "}, {"filters", filters}}};
    const auto loaded = HeadphoneCatalog::load(write(QJsonDocument(list).toJson()));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].brand, QStringLiteral("Acme"));
    EXPECT_EQ(loaded[0].name, QStringLiteral("Acme  Model 2"));
    EXPECT_EQ(loaded[0].form, QStringLiteral("over-ear"));
    ASSERT_EQ(loaded[0].filters.size(), 12u);
    EXPECT_EQ(loaded[0].filters[0].gainDB, 20);
}
