#include "PublishedBlock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

namespace quorel {
namespace {

// A block whose every word is derived from its sequence number, so a mixture of two blocks
// shows.
struct Numbered {
    uint64_t sequence = 0;
    uint64_t words[63] = {};

    static Numbered make(uint64_t sequence)
    {
        Numbered block;
        block.sequence = sequence;
        for (uint64_t i = 0; i < 63; ++i) block.words[i] = sequence * 0x9E3779B97F4A7C15ull + i;
        return block;
    }
    bool whole() const
    {
        for (uint64_t i = 0; i < 63; ++i)
            if (words[i] != sequence * 0x9E3779B97F4A7C15ull + i) return false;
        return true;
    }
};

TEST(PublishedBlock, ReaderSeesTheInitialBlockThenOnlyTheNewestOfThoseBetweenItsReads)
{
    PublishedBlock<Numbered> exchange(Numbered::make(7));
    EXPECT_FALSE(exchange.acquire());
    EXPECT_EQ(exchange.current().sequence, 7u);

    for (uint64_t n = 8; n <= 10; ++n) exchange.publish(Numbered::make(n));
    EXPECT_EQ(exchange.latest().sequence, 10u);
    EXPECT_EQ(exchange.current().sequence, 7u);  // nothing taken yet
    EXPECT_TRUE(exchange.acquire());
    EXPECT_EQ(exchange.current().sequence, 10u);
    EXPECT_TRUE(exchange.current().whole());
    EXPECT_FALSE(exchange.acquire());
    EXPECT_EQ(exchange.current().sequence, 10u);

    exchange.publish(Numbered::make(11));
    EXPECT_TRUE(exchange.acquire());
    EXPECT_EQ(exchange.current().sequence, 11u);
}

TEST(PublishedBlock, BlocksPublishedWhileHeldArriveAsTheLastOnceReleased)
{
    PublishedBlock<Numbered> exchange(Numbered::make(1));
    exchange.hold();
    exchange.publish(Numbered::make(2));
    exchange.hold();  // holds nest
    exchange.publish(Numbered::make(3));
    exchange.release();
    EXPECT_FALSE(exchange.acquire());
    EXPECT_EQ(exchange.latest().sequence, 3u);
    exchange.release();
    EXPECT_TRUE(exchange.acquire());
    EXPECT_EQ(exchange.current().sequence, 3u);

    // A hold with nothing published in it publishes nothing.
    exchange.hold();
    exchange.release();
    EXPECT_FALSE(exchange.acquire());
    exchange.release();  // an unmatched release changes nothing
    exchange.publish(Numbered::make(4));
    EXPECT_TRUE(exchange.acquire());
    EXPECT_EQ(exchange.current().sequence, 4u);
}

// The writer publishes many blocks while a reader takes them as a render thread would: every
// block read is whole, and the sequence never goes back. Runs under ThreadSanitizer too.
TEST(PublishedBlock, AReaderOnAnotherThreadNeverSeesATornOrOlderBlock)
{
    constexpr uint64_t last = 200000;
    PublishedBlock<Numbered> exchange(Numbered::make(0));
    std::atomic<bool> torn{false}, backwards{false};
    std::atomic<uint64_t> taken{0};

    std::thread reader([&] {
        uint64_t seen = 0;
        while (seen != last) {
            if (!exchange.acquire()) continue;
            const Numbered& block = exchange.current();
            if (!block.whole()) torn = true;
            if (block.sequence < seen) backwards = true;
            seen = block.sequence;
            taken.fetch_add(1, std::memory_order_relaxed);
        }
    });
    // The reader takes the first block before the rest follow, so it meets the writer midway
    // however late its thread starts.
    exchange.publish(Numbered::make(1));
    while (taken.load() == 0) std::this_thread::yield();
    for (uint64_t n = 2; n <= last; ++n) exchange.publish(Numbered::make(n));
    reader.join();

    EXPECT_FALSE(torn);
    EXPECT_FALSE(backwards);
    EXPECT_GT(taken.load(), 1u);
}

}  // namespace
}  // namespace quorel
