#include "FakeLogind.h"
#include "HeadlessServerEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace quorel::test {
FakeLogind* logind = nullptr;
}

// One private server and one private system bus for every test here.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Before anything opens the system bus.
    quorel::test::FakeLogind logind;
    quorel::test::logind = &logind;
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new quorel::test::HeadlessServerEnvironment);
    return RUN_ALL_TESTS();
}
