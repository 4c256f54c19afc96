// The common part of every port: the byte queue, the writer thread that
// empties it into the transport, and the waits of the application thread.
//
// The application thread (Open, Write, Flush, Close and the progress
// window's polls) and the port's writer thread share a handful of flags;
// they are atomics, and a condition variable lets either side wake the
// other the moment something changes, so no wait lasts longer than its
// condition. The application thread never waits more than 50 ms without
// pumping the progress window's messages.
//
// While the writer thread runs it owns the transport handle: Close only
// changes the state and interrupts a transfer in progress, and the writer
// releases the handle on its way out. That way no thread ever uses a handle
// another one has closed.
#pragma once

#include "ports/ByteQueue.h"
#include "ports/PortWriter.h"

#include <tarvel/win32.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace tarvel::ports {

// How long a wait of a port looks again before it sleeps (see WaitFor).
inline constexpr std::chrono::microseconds kSpinBeforeSleep{20};

enum class PortState : std::int32_t {
    Idle = 0,        // created, not yet opened
    Connecting = 1,  // Open in progress
    Open = 2,        // transport open, writer thread running
    Closed = 3,      // closed, or Open failed
    Lost = 4,        // the other end went away while sending (link, line or reader)
};

// Bytes a port took from the drivers but could not deliver while the job
// went on (a full medium, a line that stopped taking data), and why. A
// job that fails says so to the user; this is for the losses that would
// otherwise leave a cut printout behind a job that reported success.
struct DataLoss {
    std::uint64_t bytes = 0;  // bytes dropped for good since Open
    std::string reason;       // strerror text of the first failure
    std::string target;       // the file or line, as the user would name it
};

class OutputPort : public PortWriter {
public:
    OutputPort() = default;
    OutputPort(const OutputPort&) = delete;
    OutputPort& operator=(const OutputPort&) = delete;
    // Concrete ports close and wait for their writer in their own
    // destructors, while their transport members still exist.
    ~OutputPort() override;

    // Connects the transport and starts the writer thread: 0, or a
    // negative status of the concrete port. The state tells the outcome.
    virtual int Open() = 0;
    // Ends the connection; safe from either thread.
    virtual void Close() = 0;
    // Queues bytes for the writer thread. Returns length, or fewer when the
    // port left the Open state while waiting for room.
    int Write(const std::uint8_t* bytes, int length) override = 0;
    // Nonzero while the state is Open.
    virtual int IsOpen() const;
    // The port's target (a COM number, a file path); ignored by default.
    virtual void SetTarget(const void* target);
    // Waits until everything queued has been handed to the transport.
    // Returns 1 if the port is still Open afterwards, else 0.
    virtual int Flush();

    // Posting: a block of bytes for the writer thread to move through the
    // queue itself, chunk after chunk, instead of the application thread
    // refilling the queue for every chunk (with the queue one chunk long,
    // every refill is a thread handoff: most of a page's port time, and
    // time the application thread could spend drawing the next band). The
    // bytes pass the queue and the transport exactly as written ones do,
    // and after everything written or posted before them.
    // Post gives the block's ticket, or false when the port is not Open;
    // the caller leaves the bytes untouched until WaitTaken(ticket) has
    // returned. Write and Flush wait for posted blocks to be taken first.
    bool Post(const std::uint8_t* bytes, std::size_t length, std::uint64_t& ticket);
    // Application thread: waits, pumping messages, until the block of the
    // ticket is in the queue. False when the port left the Open state (or
    // the job was cancelled) before that; the rest of the block is dropped.
    bool WaitTaken(std::uint64_t ticket);
    // Forgets the posted blocks not yet taken. Once it returns, the writer
    // reads none of their bytes any more, so their owner may free them.
    void DropPosted();

    // Ties the port to the job's cancel flag (may be null) and to the
    // window whose messages are dispatched while waiting; state Idle.
    void Attach(const std::atomic<std::int32_t>* cancelFlag, HWND ownerWindow);
    // With the cancel flag set: closes the port and returns 1; else 0.
    int CheckCancel();
    // Keeps the system awake and dispatches the owner window's messages,
    // its children's and every WM_PAINT; drops the rest. Application
    // thread only.
    void PumpMessages();
    PortState GetState() const { return state_.load(); }
    std::uint32_t GetBytesSent() const { return bytesSent_.load(); }
    // What was lost since the last Open; empty when everything arrived.
    // Final once the writer has stopped (StopWriter).
    DataLoss GetDataLoss() const;

    // Closes, then waits for the writer thread to leave and joins it. The
    // writer says on stderr, once, what the connection lost.
    void StopWriter();

protected:
    // What a concrete port tells the writer thread.
    struct WriterPlan {
        int chunkSize;  // bytes per transmission outside a flush
        int idleMs;     // longest doze while less than a chunk is queued
    };

    // First steps of every Open: Close, wait for a previous writer to be
    // gone, state Connecting, bytes sent 0, and one pump when asked.
    void BeginOpen(bool pump);
    // Last steps of every Open: allocate the queue, state Open, start the
    // writer and wait for its start signal. False (state Closed, transport
    // still the caller's to release) when no thread can be made.
    bool StartWriter(int queueCapacity, WriterPlan plan);
    // Writer thread: send count bytes, return how many reached the
    // transport. Runs only while the writer owns the transport.
    virtual int Transmit(const std::uint8_t* bytes, int count) = 0;
    // Writer thread, on its way out: release the transport handle.
    virtual void ReleaseTransport() = 0;
    // The target as the loss message names it.
    virtual std::string TargetName() const { return "the printer"; }

    // Writer thread: bytes dropped for good while the job goes on, with
    // the errno value of the cause; the first cause is the one kept.
    void RecordLoss(int bytes, int error);

    // The common Write, with the port's pause between attempts to find
    // room as the longest wait before trying again.
    int QueueBytes(const std::uint8_t* bytes, int length, int retryMs);

    // Moves Open to another state, waking anyone waiting on the port.
    void SetState(PortState state);
    // Sets the state to Closed only if it is now Open; true if it was.
    bool CloseIfOpen();
    // Compare-and-set on the state; true when it was expected.
    bool ChangeState(PortState expected, PortState desired);
    bool CancelRequested() const;
    // Writer thread, after a non-blocking descriptor took nothing: Stalled
    // when it has taken nothing for stallMs since lastProgress (the reader
    // is not coming back); otherwise waits up to 50 ms for room, then
    // Stopped when the port left Open or the job was cancelled, Again else.
    enum class RoomWait { Again,
                          Stalled,
                          Stopped };
    RoomWait WaitForRoom(int descriptor, std::chrono::steady_clock::time_point lastProgress, int stallMs);
    // The writer thread sleeps here between retries; wakes early when the
    // port leaves the Open state or the job is cancelled. False then.
    bool PauseWhileOpen(int milliseconds);
    // Application thread: waits up to milliseconds, pumping messages at
    // least every 50 ms, until done() holds. Returns done().
    template <typename Condition>
    bool WaitPumping(Condition done, int milliseconds);
    // Wakes every wait of this port.
    void Notify();
    // Adds transmitted bytes to the count the progress window shows.
    void CountSent(int bytes);

private:
    void WriterMain(WriterPlan plan);
    // Writer thread: puts as much of the posted blocks as the queue has
    // room for.
    void TakePosted();
    bool PostedTaken(std::uint64_t ticket) const { return taken_.load() >= ticket; }
    std::uint64_t postedTotal() const { return postedTotal_.load(); }
    void ReportLoss();
    template <typename Condition>
    bool WaitFor(Condition done, std::chrono::milliseconds limit);

    ByteQueue queue_;
    // Attach may rebind the flag while an old writer is on its way out.
    std::atomic<const std::atomic<std::int32_t>*> cancelFlag_{nullptr};
    std::atomic<PortState> state_{PortState::Idle};
    std::atomic<std::uint32_t> bytesSent_{0};
    HWND ownerWindow_ = nullptr;
    DWORD lastIdleReset_ = 0;

    std::thread writer_;
    std::atomic<std::int32_t> running_{0};
    // Set by the writer as its first act and never cleared while it
    // lives, so Open cannot miss it even if the thread ends at once.
    std::atomic<bool> started_{false};
    std::atomic<std::int32_t> flushRequest_{0};
    // Set while a Write waits for room in the queue.
    std::atomic<bool> roomWanted_{false};
    // Bytes per transmission outside a flush, as the writer was started with.
    std::atomic<int> chunkSize_{1};

    std::mutex wakeLock_;
    std::condition_variable wake_;

    // Posted blocks not yet wholly in the queue, oldest first, and the
    // bytes posted and taken since the port was made (tickets count bytes).
    struct Posted {
        const std::uint8_t* bytes;
        std::size_t left;
    };
    std::mutex postLock_;
    std::deque<Posted> posted_;
    // Written under postLock_; read without it by the wait conditions, which
    // run under the wake lock, so that no thread ever holds both locks.
    std::atomic<std::uint64_t> postedTotal_{0};
    std::atomic<std::uint64_t> taken_{0};

    mutable std::mutex lossLock_;
    DataLoss loss_;
};

template <typename Condition>
bool OutputPort::WaitFor(Condition done, std::chrono::milliseconds limit)
{
    // The two sides of a queue take turns every chunk, and a chunk goes to
    // a file or pipe in a few microseconds, while a sleep and its wake-up
    // cost more than that (a quarter of the time of a text page, mostly in
    // the wake-ups, on a 2-core virtual machine): look again for a moment
    // before sleeping.
    const auto spinEnd = std::chrono::steady_clock::now() + kSpinBeforeSleep;
    do {
        if (done())
            return true;
        std::this_thread::yield();
    } while (std::chrono::steady_clock::now() < spinEnd);
    std::unique_lock lock(wakeLock_);
    return wake_.wait_for(lock, limit, done);
}

template <typename Condition>
bool OutputPort::WaitPumping(Condition done, int milliseconds)
{
    using namespace std::chrono;
    auto deadline = steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (done())
            return true;
        auto left = duration_cast<std::chrono::milliseconds>(deadline - steady_clock::now());
        if (left.count() <= 0)
            return false;
        WaitFor(done, std::min(left, std::chrono::milliseconds(50)));
        PumpMessages();
    }
}

}  // namespace tarvel::ports
