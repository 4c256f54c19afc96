#include "platform/system/System.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

namespace {

std::atomic<std::uint32_t> idleResets{0};
std::atomic<bool> pretending{false};
std::atomic<std::uint64_t> pretendedBytes{0};
std::atomic<bool> threadsFail{false};

// Reads one "Name: <n> kB" line of /proc/meminfo; nullopt when absent.
std::optional<std::uint64_t> ReadMeminfo(const char* name)
{
    std::FILE* file = std::fopen("/proc/meminfo", "re");
    if (!file)
        return std::nullopt;
    char line[256];
    std::optional<std::uint64_t> result;
    std::size_t nameLength = std::strlen(name);
    while (std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, name, nameLength) != 0 || line[nameLength] != ':')
            continue;
        unsigned long long kilobytes = 0;
        if (std::sscanf(line + nameLength + 1, "%llu", &kilobytes) == 1
            && kilobytes <= UINT64_MAX / 1024)
            result = static_cast<std::uint64_t>(kilobytes) * 1024;
        break;
    }
    std::fclose(file);
    return result;
}

}  // namespace

DWORD GetTickCount()
{
    using namespace std::chrono;
    auto now = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<DWORD>(static_cast<std::uint64_t>(now));
}

void Sleep(DWORD milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void SystemIdleTimerReset()
{
    idleResets.fetch_add(1, std::memory_order_relaxed);
}

namespace tarvel::platform {

std::uint64_t FreePhysicalMemory()
{
    if (pretending.load())
        return pretendedBytes.load();
    if (auto available = ReadMeminfo("MemAvailable"))
        return *available;
    return ReadMeminfo("MemFree").value_or(0);
}

void PretendFreeMemory(std::optional<std::uint64_t> bytes)
{
    pretendedBytes.store(bytes.value_or(0));
    pretending.store(bytes.has_value());
}

std::uint32_t IdleTimerResetCount()
{
    return idleResets.load(std::memory_order_relaxed);
}

bool CreateThread(std::function<void()> body, std::thread& thread)
{
    // Assigning over a running thread would terminate the process.
    if (threadsFail.load() || !body || thread.joinable())
        return false;
    try {
        thread = std::thread(std::move(body));
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void PretendThreadCreationFails(bool fail)
{
    threadsFail.store(fail);
}

}  // namespace tarvel::platform
