#include "Studio.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Offscreen, no session bus, no sound server: the windows run on the simulated one.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quorel-test/bus");
    qputenv("PULSE_SERVER", "unix:/nonexistent/quorel-test/native");
    qputenv("PIPEWIRE_REMOTE", "/nonexistent/quorel-test/pipewire-0");
    QApplication app(argc, argv);
    quorel::Studio::install(app);  // the look the application gives itself
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
