#include "FakeLogind.h"
#include "TestSupport.h"

#include <QDBusMessage>
#include <QFileInfo>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace quorel::test {

namespace {
const char* const connectionName = "quorel-test-logind";
}

FakeLogind::FakeLogind()
{
    const QString socket = dir_.path() + "/system_bus";
    daemon_.start("dbus-daemon", {"--session", "--address=unix:path=" + socket, "--nofork", "--nopidfile"});
    if (!daemon_.waitForStarted(5000)) return;
    quorel::test::waitUntil([&] { return QFileInfo::exists(socket); }, 10000);
    const QString address = "unix:path=" + socket;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());
    QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName);
    if (!bus.isConnected()) return;
    running_ = bus.registerObject("/org/freedesktop/login1", this,
                                  QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals)
               && bus.registerService("org.freedesktop.login1");
}

FakeLogind::~FakeLogind() { stop(); }

void FakeLogind::stop()
{
    if (heldEnd_ >= 0) ::close(heldEnd_);
    heldEnd_ = -1;
    QDBusConnection::disconnectFromBus(connectionName);
    daemon_.kill();
    daemon_.waitForFinished(5000);
}

QDBusUnixFileDescriptor FakeLogind::Inhibit(const QString&, const QString&, const QString&, const QString&)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return {};
    if (heldEnd_ >= 0) ::close(heldEnd_);
    heldEnd_ = ends[0];
    ++inhibitors_;
    QDBusUnixFileDescriptor handed(ends[1]);  // duplicates it
    ::close(ends[1]);
    return handed;
}

bool FakeLogind::inhibitorHeld() const
{
    if (heldEnd_ < 0) return false;
    pollfd p{heldEnd_, POLLIN, 0};
    // The read end reports hang-up once every copy of the write end is closed.
    return ::poll(&p, 1, 0) == 0;
}

void FakeLogind::prepareForSleep(bool sleeping) { emit PrepareForSleep(sleeping); }

}  // namespace quorel::test
