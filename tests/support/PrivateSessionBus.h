#pragma once

#include <QString>

#include <sys/types.h>

namespace quorel::test {

// A private D-Bus session bus (`dbus-daemon --session --nofork`) for tests, stopped by its pid
// in the destructor. Connect with QDBusConnection::connectToBus(address(), name), or hand
// address() to a child process as DBUS_SESSION_BUS_ADDRESS.
class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool isRunning() const { return pid_ > 0; }
    QString address() const { return address_; }
    QString error() const { return error_; }

private:
    pid_t pid_ = -1;
    QString address_;
    QString error_;
};

}  // namespace quorel::test
