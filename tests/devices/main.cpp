#include "HeadlessServer.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {
// One private server for every test here: the process keeps one connection to it.
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
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new ServerEnvironment);
    return RUN_ALL_TESTS();
}
