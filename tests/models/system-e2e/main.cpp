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
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (as ctest does before it runs them) starts nothing.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    // Before anything opens the system bus; it lives to the process's end (FakeLogind::stop).
    quorel::test::logind = new quorel::test::FakeLogind;
    testing::AddGlobalTestEnvironment(new quorel::test::HeadlessServerEnvironment);
    const int result = RUN_ALL_TESTS();
    quorel::test::logind->stop();
    return result;
}
