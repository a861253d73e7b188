#include "FakeLogind.h"
#include "HeadlessServer.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>

namespace quorel::test {
FakeLogind* logind = nullptr;
}

namespace {
// One private server and one private system bus for every test here.
class ServerEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        server_ = std::make_unique<quorel::test::HeadlessServer>();
        ASSERT_TRUE(server_->isRunning()) << server_->error().toStdString();
    }
    void TearDown() override { server_.reset(); }

private:
    std::unique_ptr<quorel::test::HeadlessServer> server_;
};
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Before anything opens the system bus.
    quorel::test::FakeLogind logind;
    quorel::test::logind = &logind;
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new ServerEnvironment);
    return RUN_ALL_TESTS();
}
