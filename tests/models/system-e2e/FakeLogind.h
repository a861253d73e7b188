#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>

namespace quorel::test {

// A private bus standing in for the system bus (exported as DBUS_SYSTEM_BUS_ADDRESS), with a
// test-owned org.freedesktop.login1 on it: Inhibit hands out one end of a pipe and keeps the
// other, so the test sees when the holder closes its end; PrepareForSleep is sent on demand.
class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    FakeLogind();
    ~FakeLogind() override;
    // Leaves the bus and ends its daemon. The bus connection's own thread lets go of this object
    // some time later: an object that lives to the process's end is not destroyed meanwhile.
    void stop();

    bool isRunning() const { return running_; }
    // Inhibitors handed out so far, and whether the latest one is still held by its taker.
    int inhibitors() const { return inhibitors_; }
    bool inhibitorHeld() const;
    void prepareForSleep(bool sleeping);

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode);

signals:
    void PrepareForSleep(bool start);

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    bool running_ = false;
    int inhibitors_ = 0;
    int heldEnd_ = -1;
};

}  // namespace quorel::test
