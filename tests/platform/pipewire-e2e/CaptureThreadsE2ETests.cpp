// The PipeWire backend used from two threads at once, as the engine uses it: its worker makes,
// connects and ends a capture while the main thread's fault watch checks it.
#include "HeadlessServer.h"
#include "PipeWireAudioBackend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

using quorel::AudioBackend;
using quorel::PipeWireAudioBackend;
using quorel::test::HeadlessServer;

namespace {

class CaptureThreadsE2E : public testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<HeadlessServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override { ASSERT_TRUE(server_->isRunning()) << server_->error().toStdString(); }

    // Runs the main thread's events until `work`, on a thread of its own, has returned.
    template <typename Work>
    static void whileWatching(Work work)
    {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            work();
            done = true;
        });
        while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        worker.join();
    }

    static std::unique_ptr<HeadlessServer> server_;
};

std::unique_ptr<HeadlessServer> CaptureThreadsE2E::server_;

}  // namespace

// Each change the worker makes is told to the fault watch, whose check on the main thread reads
// and repairs the links the worker is changing, and at last finds the capture gone.
TEST_F(CaptureThreadsE2E, TheWorkerReconnectsAndEndsTheCaptureWhileTheMainThreadWatchesIt)
{
    auto backend = std::make_shared<PipeWireAudioBackend>();
    AudioBackend::ObjectID tap = 0;
    AudioBackend::ObjectID aggregate = 0;
    ASSERT_EQ(backend->createTap("quorel_threads_test", 512, tap), 0);
    ASSERT_EQ(backend->createAggregate(tap, "test_speakers", aggregate), 0);
    std::optional<AudioBackend::Fault> fault;
    auto watch = backend->listenForFault(aggregate, [&](AudioBackend::Fault f) { fault = f; });
    ASSERT_TRUE(watch);

    std::atomic<int> reconnected{0};
    whileWatching([&] {
        for (int i = 0; i < 100; ++i) {
            backend->destroyAggregate(aggregate);
            AudioBackend::ObjectID again = 0;
            if (backend->createAggregate(tap, "test_speakers", again) == 0 && again == aggregate) ++reconnected;
        }
    });
    EXPECT_EQ(reconnected, 100);
    EXPECT_FALSE(fault) << int(*fault);

    // Ended under the watch: the next check finds no capture and says so.
    whileWatching([&] {
        backend->destroyAggregate(aggregate);
        backend->destroyTap(tap);
    });
    QElapsedTimer waited;
    waited.start();
    while (!fault && waited.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_TRUE(fault);
    EXPECT_EQ(*fault, AudioBackend::Fault::streamFailed);
}
