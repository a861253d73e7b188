#include "HeadlessServerEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    // A child started by a test uses the server of its parent.
    if (!qEnvironmentVariableIsSet("QUOREL_DEVICES_FIRST_CONNECTION_CHILD"))
        testing::AddGlobalTestEnvironment(new quorel::test::HeadlessServerEnvironment);
    return RUN_ALL_TESTS();
}
