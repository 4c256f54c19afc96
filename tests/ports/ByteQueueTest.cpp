#include "ports/ByteQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

namespace tarvel::ports {
namespace {

std::vector<std::uint8_t> Sequence(int count, std::uint8_t first = 0)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

TEST(ByteQueue, PutIntoAFullerQueueTakesOnlyTheFreeBytesAndGetReturnsThemInOrderAcrossTheWrap)
{
    ByteQueue queue;
    ASSERT_EQ(queue.Allocate(8), 1);
    // Move the indices off zero so the next put has to wrap.
    auto first = Sequence(6, 100);
    ASSERT_EQ(queue.Put(first.data(), 6), 6);
    std::uint8_t out[16] = {};
    ASSERT_EQ(queue.Get(out, 3), 3);
    EXPECT_EQ(queue.UsedSpace(), 3);

    auto next = Sequence(10, 200);
    EXPECT_EQ(queue.Put(next.data(), 10), 5);
    EXPECT_EQ(queue.FreeSpace(), 0);
    EXPECT_EQ(queue.Put(next.data(), 1), 0);

    EXPECT_EQ(queue.Get(out, 16), 8);
    std::vector<std::uint8_t> expected = {103, 104, 105, 200, 201, 202, 203, 204};
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 8), expected);
    EXPECT_EQ(queue.UsedSpace(), 0);
    EXPECT_EQ(queue.Get(out, 1), 0);
}

TEST(ByteQueue, WithoutCapacityOrWithBadArgumentsNothingMoves)
{
    ByteQueue queue;
    std::uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(queue.Put(bytes, 4), 0);
    EXPECT_EQ(queue.Get(bytes, 4), 0);
    EXPECT_EQ(queue.Allocate(0), 1);
    EXPECT_EQ(queue.Put(bytes, 4), 0);
    EXPECT_EQ(queue.Allocate(-5), 1);
    EXPECT_EQ(queue.Capacity(), 0);

    ASSERT_EQ(queue.Allocate(8), 1);
    EXPECT_EQ(queue.Put(nullptr, 4), 0);
    EXPECT_EQ(queue.Put(bytes, -1), 0);
    EXPECT_EQ(queue.UsedSpace(), 0);
    ASSERT_EQ(queue.Put(bytes, 4), 4);
    EXPECT_EQ(queue.Get(nullptr, 4), 0);
    EXPECT_EQ(queue.Get(bytes, -3), 0);
    EXPECT_EQ(queue.UsedSpace(), 4);
    // A new allocation starts empty.
    ASSERT_EQ(queue.Allocate(16), 1);
    EXPECT_EQ(queue.UsedSpace(), 0);
    EXPECT_EQ(queue.FreeSpace(), 16);
}

TEST(ByteQueue, ARandomStreamFedInRandomPiecesFromAnotherThreadArrivesUnchanged)
{
    std::mt19937 random(7);
    std::vector<std::uint8_t> stream(200000);
    for (auto& b : stream)
        b = static_cast<std::uint8_t>(random());
    ByteQueue queue;
    ASSERT_EQ(queue.Allocate(1000), 1);

    std::vector<std::uint8_t> received;
    std::thread reader([&] {
        std::mt19937 sizes(11);
        std::vector<std::uint8_t> piece(1500);
        while (received.size() < stream.size()) {
            int n = queue.Get(piece.data(), 1 + static_cast<int>(sizes() % 1500));
            received.insert(received.end(), piece.begin(), piece.begin() + n);
            if (n == 0)
                std::this_thread::yield();
        }
    });
    std::size_t put = 0;
    while (put < stream.size()) {
        int want = 1 + static_cast<int>(random() % 700);
        want = static_cast<int>(std::min<std::size_t>(want, stream.size() - put));
        int n = queue.Put(stream.data() + put, want);
        put += static_cast<std::size_t>(n);
        if (n == 0)
            std::this_thread::yield();
    }
    reader.join();
    EXPECT_EQ(received, stream);
}

}  // namespace
}  // namespace tarvel::ports
