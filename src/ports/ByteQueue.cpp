#include "ports/ByteQueue.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tarvel::ports {

int ByteQueue::Allocate(int capacity)
{
    std::lock_guard guard(lock_);
    buffer_.reset();
    capacity_.store(0, std::memory_order_release);
    free_.store(0, std::memory_order_release);
    writeIndex_ = 0;
    readIndex_ = 0;
    if (capacity <= 0)
        return 1;
    buffer_.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(capacity)]);
    if (!buffer_)
        return 0;
    capacity_.store(capacity, std::memory_order_release);
    free_.store(capacity, std::memory_order_release);
    return 1;
}

int ByteQueue::Put(const std::uint8_t* source, int length)
{
    if (!source || length <= 0)
        return 0;
    std::lock_guard guard(lock_);
    int capacity = capacity_.load(std::memory_order_relaxed);
    if (capacity == 0)
        return 0;
    int free = free_.load(std::memory_order_relaxed);
    int n = std::min(length, free);
    // Two copies at most: up to the end of the ring, then from its start.
    int first = std::min(n, capacity - writeIndex_);
    std::memcpy(buffer_.get() + writeIndex_, source, static_cast<std::size_t>(first));
    std::memcpy(buffer_.get(), source + first, static_cast<std::size_t>(n - first));
    writeIndex_ = (writeIndex_ + n) % capacity;
    free_.store(free - n, std::memory_order_release);
    return n;
}

int ByteQueue::Get(std::uint8_t* destination, int length)
{
    if (!destination || length <= 0)
        return 0;
    std::lock_guard guard(lock_);
    int capacity = capacity_.load(std::memory_order_relaxed);
    if (capacity == 0)
        return 0;
    int free = free_.load(std::memory_order_relaxed);
    int n = std::min(length, capacity - free);
    int first = std::min(n, capacity - readIndex_);
    std::memcpy(destination, buffer_.get() + readIndex_, static_cast<std::size_t>(first));
    std::memcpy(destination + first, buffer_.get(), static_cast<std::size_t>(n - first));
    readIndex_ = (readIndex_ + n) % capacity;
    free_.store(free + n, std::memory_order_release);
    return n;
}

}  // namespace tarvel::ports
