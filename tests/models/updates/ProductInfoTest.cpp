#include "ProductInfo.h"

#include <gtest/gtest.h>

#include <limits>

using namespace quorel;

TEST(ProductInfo, BuildNumberIsADecimalIntegerOrZero)
{
    EXPECT_EQ(ProductInfo::buildNumber("412"), 412);
    EXPECT_EQ(ProductInfo::buildNumber("+412"), 412);
    EXPECT_EQ(ProductInfo::buildNumber("-412"), -412);
    EXPECT_EQ(ProductInfo::buildNumber("0007"), 7);
    EXPECT_EQ(ProductInfo::buildNumber("4.1.2"), 0);
    EXPECT_EQ(ProductInfo::buildNumber(" 412"), 0);
    EXPECT_EQ(ProductInfo::buildNumber("412 "), 0);
    EXPECT_EQ(ProductInfo::buildNumber(""), 0);
    EXPECT_EQ(ProductInfo::buildNumber("+"), 0);
    EXPECT_EQ(ProductInfo::buildNumber("-"), 0);
    EXPECT_EQ(ProductInfo::buildNumber("1e3"), 0);
    EXPECT_EQ(ProductInfo::buildNumber("٤"), 0);  // a non-ASCII digit
}

TEST(ProductInfo, BuildNumberStaysWithin64Bits)
{
    EXPECT_EQ(ProductInfo::buildNumber("9223372036854775807"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(ProductInfo::buildNumber("-9223372036854775808"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(ProductInfo::buildNumber("9223372036854775808"), 0);
    EXPECT_EQ(ProductInfo::buildNumber("-9223372036854775809"), 0);
    EXPECT_EQ(ProductInfo::buildNumber("99999999999999999999"), 0);
}

TEST(ProductInfo, AddressesHangOffTheWebSite)
{
    const QUrl site = ProductInfo::websiteURL();
    EXPECT_TRUE(site.isValid());
    EXPECT_EQ(site.scheme(), "https");
    EXPECT_TRUE(site.path().endsWith("/"));
    EXPECT_EQ(ProductInfo::privacyURL().toString(), site.toString() + "privacidade");
    EXPECT_EQ(ProductInfo::updateManifestURL().toString(), site.toString() + "updates/appcast.json");
}

TEST(ProductInfo, VersionAndBuildComeFromTheBuild)
{
    EXPECT_EQ(ProductInfo::version(), QString(QUOREL_VERSION).isEmpty() ? QString("dev") : QString(QUOREL_VERSION));
    EXPECT_EQ(ProductInfo::build(), ProductInfo::buildNumber(QUOREL_BUILD_NUMBER));
}
