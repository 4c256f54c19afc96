#include "platform/system/System.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tarvel::platform {
namespace {

TEST(SystemThreads, CreateThreadRunsTheBodyOnAnotherThread)
{
    std::atomic<bool> ran{false};
    std::thread::id where;
    std::thread thread;
    ASSERT_TRUE(CreateThread([&] { where = std::this_thread::get_id(); ran.store(true); }, thread));
    thread.join();
    EXPECT_TRUE(ran.load());
    EXPECT_NE(where, std::this_thread::get_id());
}

TEST(SystemThreads, APretendedFailureOrABusySlotRunsNothing)
{
    std::atomic<int> runs{0};
    std::thread thread;
    PretendThreadCreationFails(true);
    EXPECT_FALSE(CreateThread([&] { ++runs; }, thread));
    EXPECT_FALSE(thread.joinable());
    PretendThreadCreationFails(false);
    EXPECT_FALSE(CreateThread({}, thread));

    ASSERT_TRUE(CreateThread([&] { ++runs; }, thread));
    // Starting another thread into a slot that still holds one would end
    // the process; it is refused instead.
    EXPECT_FALSE(CreateThread([&] { ++runs; }, thread));
    thread.join();
    EXPECT_EQ(runs.load(), 1);
}

TEST(SystemTicks, SleepLastsAtLeastItsTimeAndTicksAdvanceWithIt)
{
    DWORD before = GetTickCount();
    auto start = std::chrono::steady_clock::now();
    Sleep(30);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_GE(GetTickCount() - before, 29u);
}

TEST(SystemMemory, PretendedFreeMemoryIsReportedUntilWithdrawn)
{
    PretendFreeMemory(12345);
    EXPECT_EQ(FreePhysicalMemory(), 12345u);
    PretendFreeMemory(std::nullopt);
    EXPECT_GT(FreePhysicalMemory(), 0u);
}

}  // namespace
}  // namespace tarvel::platform
