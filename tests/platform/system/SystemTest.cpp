#include "platform/system/System.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace tarvel::platform {
namespace {

TEST(SystemThreads, CreateThreadRunsTheBodyOnAnotherThreadOrRefusesCleanly)
{
    std::atomic<int> runs{0};
    std::thread::id where;
    std::thread thread;
    // A thread that cannot be made is the ports' tests: each port refuses to
    // open without its writer thread.
    ASSERT_TRUE(CreateThread([&] { where = std::this_thread::get_id(); ++runs; }, thread));
    // Starting another thread into a slot that still holds one would end
    // the process; it is refused instead.
    EXPECT_FALSE(CreateThread([&] { ++runs; }, thread));
    thread.join();
    EXPECT_EQ(runs.load(), 1);
    EXPECT_NE(where, std::this_thread::get_id());
}

}  // namespace
}  // namespace tarvel::platform
