// A sound server that takes the connection and never answers, as pipewire-pulse does while the
// session manager is stopped: a listening socket nobody reads.
#include "AudioFailure.h"
#include "HAL.h"
#include "PulseClient.h"
#include "PulseDevices.h"
#include "SystemVolumeController.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <pulse/def.h>

#include <algorithm>

using namespace quorel;

namespace {

class SilentServer {
public:
    explicit SilentServer(const QString& path)
    {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray bytes = path.toUtf8();
        if (fd_ < 0 || size_t(bytes.size()) >= sizeof address.sun_path) return;
        std::copy(bytes.begin(), bytes.end(), address.sun_path);
        listening_ =
            ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 && ::listen(fd_, 16) == 0;
    }
    ~SilentServer() { close(); }
    bool listening() const { return listening_; }
    // Refuses what waits to be taken: the clients see the connection end.
    void close()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    bool listening_ = false;
};

// Points the process's client at `server` for a scope, then back at the address that names
// nothing (see main.cpp).
class ServerAddress {
public:
    explicit ServerAddress(const QString& server) : old_(qgetenv("PULSE_SERVER"))
    {
        qputenv("PULSE_SERVER", server.toUtf8());
    }
    ~ServerAddress() { qputenv("PULSE_SERVER", old_); }

private:
    QByteArray old_;
};

}  // namespace

// The main thread must not freeze for the server: the connection is waited for once, briefly,
// however many reads follow (each read used to wait five seconds, so this took over fifteen).
TEST(UnansweringServer, TheMainThreadWaitsOnceBrieflyForAllItsReads)
{
    test::TemporaryHome home;
    QTemporaryDir directory;
    SilentServer server(directory.path() + "/native");
    ASSERT_TRUE(server.listening());
    {
        ServerAddress address("unix:" + directory.path() + "/native");
        QElapsedTimer elapsed;
        elapsed.start();
        SystemVolumeController controller(std::make_shared<PulseDevices>());
        EXPECT_EQ(controller.failure(), "The sound server is not answering.");
        EXPECT_EQ(controller.device(), HAL::noDevice);
        EXPECT_FALSE(controller.supportsVolume());
        EXPECT_TRUE(HAL::outputDevices().empty());
        EXPECT_EQ(HAL::device("speakers"), std::nullopt);
        EXPECT_THROW(HAL::defaultOutputDevice(), AudioFailure);
        controller.reload();
        EXPECT_TRUE(controller.failure().has_value());
        // Generous for a loaded machine; the old wait was five seconds a read.
        EXPECT_LT(elapsed.elapsed(), 4000);
    }
    server.close();
    // The client learns that the connection ended and tries the address that names nothing.
    PulseSnapshot snapshot;
    for (int i = 0; i < 500 && PulseClient::shared().read(snapshot) == PA_ERR_TIMEOUT; ++i) QThread::msleep(10);
    EXPECT_NE(PulseClient::shared().read(snapshot), 0);
}
