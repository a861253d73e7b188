#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // No sound server answers here: the tests that reach the server test its absence.
    qputenv("PULSE_SERVER", "unix:/nonexistent/quorel-test/native");
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
