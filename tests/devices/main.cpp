#include "HeadlessServerEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new quorel::test::HeadlessServerEnvironment);
    return RUN_ALL_TESTS();
}
