// Helpers shared by the port tests: a scratch folder per test, reading a
// file back, and waiting for something another thread does.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tarvel::ports::test {

// An empty folder of its own for the running test.
inline std::filesystem::path ScratchFolder()
{
    const char* base = std::getenv("TARVEL_TEST_SCRATCH");
    std::filesystem::path root = base ? base : std::filesystem::temp_directory_path() / "tarvel-ports";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path folder = root / (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

inline std::vector<std::uint8_t> ReadAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<std::uint8_t> RandomBytes(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

// Polls condition until it holds or the limit passes; returns whether it held.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Starts a thread that sets the cancel flag once condition holds, as a user
// pressing Cancel while the port is busy.
template <typename Condition>
std::thread CancelWhen(std::atomic<std::int32_t>& cancel, Condition condition)
{
    return std::thread([&cancel, condition]() mutable {
        WaitUntil(condition);
        cancel.store(1);
    });
}

}  // namespace tarvel::ports::test
