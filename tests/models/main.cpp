#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // No sound server answers here: the models run on the simulated one.
    qputenv("PULSE_SERVER", "unix:/nonexistent/quorel-test/native");
    qputenv("PIPEWIRE_REMOTE", "/nonexistent/quorel-test/pipewire-0");
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
