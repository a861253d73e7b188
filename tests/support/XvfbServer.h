#pragma once

#include <QString>

#include <sys/types.h>

namespace quorel::test {

// A private X server for tests: `Xvfb -displayfd ... -nolisten tcp` started in the constructor
// (the display number read from the pipe it writes to), stopped by its pid in the destructor.
class XvfbServer {
public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool isRunning() const { return pid_ > 0; }
    // ":N", for XOpenDisplay or $DISPLAY.
    QString display() const { return display_; }
    QString error() const { return error_; }

    // Stops the server now (tests of a vanished X server).
    void stop();

private:
    pid_t pid_ = -1;
    QString display_;
    QString error_;
};

}  // namespace quorel::test
