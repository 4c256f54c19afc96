// Ticks, sleeping, free memory and the idle-timer keep-alive: the small
// system services the ports, the message pump and the page pipeline use.
#pragma once

#include <tarvel/win32.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <thread>

// Milliseconds since an arbitrary start, wrapping at 2^32 like the
// handheld's tick count; callers compare ticks by unsigned difference.
DWORD GetTickCount();

// Suspends the calling thread for at least the given milliseconds.
void Sleep(DWORD milliseconds);

// Keeps the machine from suspending while a job runs. There is no display
// power manager to talk to here, so it only counts the calls.
void SystemIdleTimerReset();

namespace tarvel::platform {

// Physical memory the system could give us now, in bytes: MemAvailable of
// /proc/meminfo (MemFree when the kernel is too old to report it), or the
// amount set by PretendFreeMemory. Zero when nothing can be read.
std::uint64_t FreePhysicalMemory();

// Test hook: from now on FreePhysicalMemory reports the given amount;
// std::nullopt returns to the real figure.
void PretendFreeMemory(std::optional<std::uint64_t> bytes);

// How often SystemIdleTimerReset has been called in this process.
std::uint32_t IdleTimerResetCount();

// Starts a thread that runs body. Returns false, with thread left empty,
// when the system cannot make one (or PretendThreadCreationFails is on); a
// body that was not started is never run.
bool CreateThread(std::function<void()> body, std::thread& thread);

// Test hook: while on, CreateThread fails as if the process had run out of
// threads, so the callers' recovery paths can be exercised.
void PretendThreadCreationFails(bool fail);

}  // namespace tarvel::platform
