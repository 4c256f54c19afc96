// The ring of bytes between the drivers and a port's writer thread.
//
// The application thread puts, the writer thread gets; one mutex guards the
// indices and the copies and is never held across anything slower than a
// memcpy. FreeSpace and UsedSpace read the free count without the lock, so
// they are snapshots: good for deciding whether to wait, not for sizing a
// copy (Put and Get size their copies themselves under the lock).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace tarvel::ports {

class ByteQueue {
public:
    ByteQueue() = default;
    ByteQueue(const ByteQueue&) = delete;
    ByteQueue& operator=(const ByteQueue&) = delete;

    // Replaces the ring with an empty one of capacity bytes. Returns 1, or 0
    // when the memory cannot be had (the queue then has no capacity). A
    // capacity of 0 or less leaves the queue without capacity and returns 1.
    int Allocate(int capacity);

    // Copies min(length, free) bytes in; returns the count. 0 without
    // capacity, for a null source or a length of 0 or less.
    int Put(const std::uint8_t* source, int length);

    // Copies min(length, used) bytes out in the order they were put;
    // returns the count. 0 without capacity, for a null destination or a
    // length of 0 or less.
    int Get(std::uint8_t* destination, int length);

    int FreeSpace() const { return free_.load(std::memory_order_acquire); }
    int UsedSpace() const { return capacity_.load(std::memory_order_acquire) - FreeSpace(); }
    int Capacity() const { return capacity_.load(std::memory_order_acquire); }

private:
    std::mutex lock_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    // Written under the lock, read without it by FreeSpace and UsedSpace.
    std::atomic<int> capacity_{0};
    std::atomic<int> free_{0};
    int writeIndex_ = 0;
    int readIndex_ = 0;
};

}  // namespace tarvel::ports
