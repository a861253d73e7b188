#include "PipeWireContext.h"

#include <gtest/gtest.h>

using quorel::pipewire::nameInMetadataValue;

TEST(MetadataValue, ReadsTheNodeName)
{
    EXPECT_EQ(nameInMetadataValue(R"({ "name": "test_speakers" })"), "test_speakers");
    EXPECT_EQ(nameInMetadataValue(R"({"other":1,"name":"a.b-c"})"), "a.b-c");
    EXPECT_EQ(nameInMetadataValue(R"({"name":"quote\"d"})"), "quote\"d");
}

TEST(MetadataValue, AnythingElseGivesNoName)
{
    EXPECT_EQ(nameInMetadataValue(nullptr), "");
    EXPECT_EQ(nameInMetadataValue(""), "");
    EXPECT_EQ(nameInMetadataValue("[1,2]"), "");
    EXPECT_EQ(nameInMetadataValue(R"({"name":3})"), "");
    EXPECT_EQ(nameInMetadataValue("not json"), "");
}
