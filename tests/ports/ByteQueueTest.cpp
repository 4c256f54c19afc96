#include "ports/ByteQueue.h"

#include "PortTestSupport.h"

#include <random>

namespace tarvel::ports {
namespace {

TEST(ByteQueue, WithoutCapacityOrWithBadArgumentsNothingMoves)
{
    ByteQueue queue;
    std::uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(queue.Put(bytes, 4), 0);
    EXPECT_EQ(queue.Get(bytes, 4), 0);
    EXPECT_EQ(queue.Allocate(0), 1);
    EXPECT_EQ(queue.Allocate(-5), 1);
    EXPECT_EQ(queue.Put(bytes, 4), 0);

    ASSERT_EQ(queue.Allocate(8), 1);
    EXPECT_EQ(queue.Put(nullptr, 4), 0);
    EXPECT_EQ(queue.Put(bytes, -1), 0);
    ASSERT_EQ(queue.Put(bytes, 4), 4);
    EXPECT_EQ(queue.Get(nullptr, 4), 0);
    EXPECT_EQ(queue.Get(bytes, -3), 0);
    EXPECT_EQ(queue.UsedSpace(), 4);
    // A new allocation starts empty.
    ASSERT_EQ(queue.Allocate(16), 1);
    EXPECT_EQ(queue.FreeSpace(), 16);
}

TEST(ByteQueue, ARandomStreamFedInRandomPiecesFromAnotherThreadArrivesUnchanged)
{
    // Pieces of every size up to beyond the capacity wrap the ring at every
    // offset and meet it full and empty.
    const auto stream = test::RandomBytes(200000, 7);
    std::mt19937 random(7);
    ByteQueue queue;
    ASSERT_EQ(queue.Allocate(1000), 1);

    // First on one thread, turn about: a reader on another thread mostly
    // finds the ring nearly empty, so its reads rarely wrap.
    std::vector<std::uint8_t> received(stream.size());
    for (std::size_t put = 0, got = 0; got < stream.size();) {
        put += static_cast<std::size_t>(queue.Put(stream.data() + put, static_cast<int>(std::min<std::size_t>(1 + random() % 700, stream.size() - put))));
        got += static_cast<std::size_t>(queue.Get(received.data() + got, 1 + static_cast<int>(random() % 900)));
    }
    EXPECT_EQ(received, stream);

    received.clear();
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
