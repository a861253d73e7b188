#pragma once

#include "HeadlessServer.h"

#include <gtest/gtest.h>

#include <memory>

namespace quorel::test {

// One private PipeWire server for every test of an executable (the process keeps one connection
// to it): testing::AddGlobalTestEnvironment(new HeadlessServerEnvironment) in its main().
class HeadlessServerEnvironment : public testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

private:
    std::unique_ptr<HeadlessServer> server_;
};

}  // namespace quorel::test
