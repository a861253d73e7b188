#include "HeadphoneProfile.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

using namespace quorel;

namespace {

const float notANumber = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();

HeadphoneProfile decode(const char* json) { return HeadphoneProfile::fromJson(QJsonDocument::fromJson(json).object()); }

}  // namespace

TEST(HeadphoneFilter, SanitizeClampsAndReplaces)
{
    const HeadphoneFilter low = HeadphoneFilter{HeadphoneFilter::Kind::lowShelf, 5, 30, 0.01f}.sanitized();
    EXPECT_EQ(low, (HeadphoneFilter{HeadphoneFilter::Kind::lowShelf, 20, 20, 0.1f}));
    const HeadphoneFilter bad =
        HeadphoneFilter{HeadphoneFilter::Kind::highShelf, infinity, notANumber, notANumber}.sanitized();
    EXPECT_EQ(bad, (HeadphoneFilter{HeadphoneFilter::Kind::highShelf, 1000, 0, 1}));
    const HeadphoneFilter high = HeadphoneFilter{HeadphoneFilter::Kind::peak, 30000, -25, 50}.sanitized();
    EXPECT_EQ(high, (HeadphoneFilter{HeadphoneFilter::Kind::peak, 20000, -20, 20}));
}

TEST(HeadphoneFilter, BandwidthOctaves)
{
    HeadphoneFilter f;
    f.q = 0;
    const float atZero = f.bandwidthOctaves();
    f.q = 0.05f;
    EXPECT_EQ(atZero, f.bandwidthOctaves());
    f.q = 1.4142f;
    EXPECT_NEAR(f.bandwidthOctaves(), 1.0f, 1e-4);
    f.q = 4.318f;
    EXPECT_NEAR(f.bandwidthOctaves(), 1.0f / 3.0f, 1e-3);
}

TEST(HeadphoneFilter, JsonNeedsEveryKeyAndAKnownKind)
{
    const HeadphoneFilter f{HeadphoneFilter::Kind::highShelf, 8000, -3.5f, 0.7f};
    EXPECT_EQ(f.toJson().value("kind").toString(), "highShelf");
    EXPECT_EQ(HeadphoneFilter::fromJson(f.toJson()), f);
    for (const char* json :
         {R"({"kind":"bandPass","frequency":1,"gainDB":1,"q":1})", R"({"kind":"Peak","frequency":1,"gainDB":1,"q":1})",
          R"({"frequency":1,"gainDB":1,"q":1})", R"({"kind":"peak","gainDB":1,"q":1})",
          R"({"kind":"peak","frequency":"1","gainDB":1,"q":1})", R"({"kind":"peak","frequency":1,"gainDB":1e39,"q":1})",
          R"({"kind":"peak","frequency":null,"gainDB":1,"q":1})",
          R"({"kind":"peak","frequency":1,"gainDB":null,"q":1})",
          R"({"kind":"peak","frequency":1,"gainDB":1,"q":null})"})
        EXPECT_THROW(HeadphoneFilter::fromJson(QJsonDocument::fromJson(json).object()), std::runtime_error) << json;
}

TEST(HeadphoneProfile, SanitizeKeepsTwelveFiltersEachClamped)
{
    HeadphoneProfile p;
    for (int i = 0; i < 15; ++i) p.filters.push_back({HeadphoneFilter::Kind::peak, float(i + 1), 30, 1});
    const HeadphoneProfile s = p.sanitized();
    ASSERT_EQ(s.filters.size(), 12u);
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(s.filters[i], p.filters[i].sanitized());
    EXPECT_TRUE(HeadphoneProfile().sanitized().filters.empty());
}

TEST(HeadphoneProfile, PreampLimits)
{
    HeadphoneProfile p;
    p.preampDB = 3;
    EXPECT_EQ(p.sanitized().preampDB, 0);
    p.preampDB = -30;
    EXPECT_EQ(p.sanitized().preampDB, -24);
    p.preampDB = notANumber;
    EXPECT_EQ(p.sanitized().preampDB, 0);
}

TEST(HeadphoneProfile, NameTrimmedAndCutToEightyCharacters)
{
    HeadphoneProfile p;
    p.name = " \n\t \n";
    EXPECT_EQ(p.sanitized().name, "Headphones");
    p.name = "  " + QString(100, u'x') + "  ";
    EXPECT_EQ(p.sanitized().name, QString(80, u'x'));
    // 100 accented letters written as letter + combining accent: cut after 80 of them, not
    // after 80 code units.
    QString accented;
    for (int i = 0; i < 100; ++i) accented += QString::fromUtf8("e\u0301");
    p.name = accented;
    EXPECT_EQ(p.sanitized().name, accented.left(160));
    p.name = QString::fromUtf8("  Sennheiser  HD 600 ");
    EXPECT_EQ(p.sanitized().name, QString::fromUtf8("Sennheiser  HD 600"));
}

TEST(HeadphoneProfile, DecodeFillsOptionalKeys)
{
    const HeadphoneProfile p = decode(R"({"id":"autoeq.x","name":"  Acme Model 2","filters":[]})");
    EXPECT_EQ(p.brand, "Acme");
    EXPECT_EQ(p.form, "over-ear");
    EXPECT_EQ(p.source, "import");
    EXPECT_EQ(p.preampDB, 0);
    EXPECT_EQ(p.name, "  Acme Model 2");
    EXPECT_EQ(decode(R"({"id":"a","name":"   "})").brand, "");
    EXPECT_EQ(decode(R"({"id":"a","name":"Acme X","brand":null,"form":null})").brand, "Acme");
    EXPECT_EQ(decode(R"({"id":"a","name":"Acme X","brand":"Other"})").brand, "Other");
    EXPECT_EQ(decode(R"({"id":"a","name":"x","preampDB":null,"filters":null})").preampDB, 0);
}

TEST(HeadphoneProfile, DecodeFailsOnAnyBadPart)
{
    for (const char* json : {R"({"name":"x"})", R"({"id":"x"})", R"({"id":3,"name":"x"})",
                             R"({"id":"a","name":"x","form":1})", R"({"id":"a","name":"x","preampDB":"0"})",
                             R"({"id":"a","name":"x","filters":{}})", R"({"id":"a","name":"x","filters":[1]})",
                             R"({"id":"a","name":"x","filters":[{"kind":"bandPass","frequency":1,"gainDB":1,"q":1}]})",
                             R"({"id":"a","name":"x","filters":[{"kind":"peak","frequency":null,"gainDB":1,"q":1}]})"})
        EXPECT_THROW(decode(json), std::runtime_error) << json;
}

TEST(HeadphoneProfile, JsonRoundTrip)
{
    HeadphoneProfile p;
    p.id = "import.6F9619FF-8B86-D011-B42D-00CF4FC964FF";
    p.name = QString::fromUtf8("Fone \"Ação\", modelo 2");
    p.brand = "Fone";
    p.form = "in-ear";
    p.source = "oratory1990";
    p.preampDB = -6.1f;
    p.filters = {{HeadphoneFilter::Kind::lowShelf, 105, 5.5f, 0.71f},
                 {HeadphoneFilter::Kind::peak, 3150.5f, -2.3f, 4.1f}};
    const QByteArray text = QJsonDocument(p.toJson()).toJson();
    EXPECT_EQ(decode(text.constData()), p);
    for (const char* key : {"id", "name", "brand", "form", "source", "preampDB", "filters"})
        EXPECT_TRUE(p.toJson().contains(key)) << key;
}

TEST(HeadphoneProfile, BuiltInAndSymbol)
{
    HeadphoneProfile p;
    p.id = "autoeq.sennheiser-hd-600";
    EXPECT_TRUE(p.isBuiltIn());
    p.id = "AutoEq.sennheiser-hd-600";
    EXPECT_FALSE(p.isBuiltIn());
    p.id = "import.X";
    EXPECT_FALSE(p.isBuiltIn());
    EXPECT_EQ(p.symbol(), "headphones");
    p.form = "Over-ear";
    EXPECT_NE(p.symbol(), "headphones");
    EXPECT_FALSE(p.symbol().isEmpty());
}
