#include "HeadlessServerEnvironment.h"

namespace quorel::test {

void HeadlessServerEnvironment::SetUp()
{
    server_ = std::make_unique<HeadlessServer>();
    ASSERT_TRUE(server_->isRunning()) << server_->error().toStdString();
}

void HeadlessServerEnvironment::TearDown() { server_.reset(); }

}  // namespace quorel::test
