#include "HAL.h"
#include "PulseDevices.h"
#include "PulseSnapshot.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <gtest/gtest.h>

using namespace quorel;

TEST(PulseDevices, OurSinksAreTheSnapshotsOwn)
{
    PulseDevices devices;
    for (const QString uid : {"local.quorel.aggregate.0000", "local.corvanta.aggregate.OLD", "speakers",
                              "speakers.local.quorel.aggregate", ""})
        EXPECT_EQ(devices.isOwnSink(uid), PulseSnapshot::isOwnSink(uid)) << uid.toStdString();
}

TEST(PulseDevices, ThePreviousDefaultIsKeptWhereHALReadsIt)
{
    test::TemporaryHome home;
    PulseDevices devices;
    EXPECT_EQ(devices.previousDefault(), std::nullopt);
    devices.setPreviousDefault("speakers");
    // Another process (and HAL, while this one processes) reads it from the store.
    EXPECT_EQ(UserDefaults::standard().string(HAL::previousDefaultKey), "speakers");
    UserDefaults::standard().setString(HAL::previousDefaultKey, "headphones");
    EXPECT_EQ(devices.previousDefault(), "headphones");
}
