#pragma once

#include "HAL.h"
#include "HeadlessServer.h"
#include "TestSupport.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace quorel::test {

// Puts the stand-in speaker back as the default at full volume, unmuted, before each test, and
// unloads the sinks a test added after it.
class DevicesE2ETest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static QString pactl(const QStringList& arguments, bool* ok = nullptr);
    // Adds a null sink; its name is the UID.
    void addSink(const QString& name, const QString& description, int channels = 2);
    void removeSink(const QString& name);
    // Makes the sink the server's default and waits until our client has seen that.
    void setServerDefault(const QString& name);
    static HAL::ObjectID idOf(const QString& uid);
    // Lets a sink run for a moment, as a speaker in use has: PipeWire 1.x reads a volume set on a
    // null sink that has never run back as 100 % until it first runs.
    static void letRun(const QString& sink);

private:
    std::unique_ptr<TemporaryHome> home_;
    std::vector<QString> sinks_;  // added by the test
};

}  // namespace quorel::test
