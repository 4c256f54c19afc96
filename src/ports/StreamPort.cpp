#include "ports/StreamPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace tarvel::ports {
namespace {

constexpr int kIdleMs = 100;
constexpr int kRetryMs = 100;
// How often a stalled transfer looks again for room, the port's state and
// the cancel flag.

}  // namespace

void StreamPort::Close()
{
    // The writer thread sees the state and releases the descriptor.
    SetState(PortState::Closed);
}

int StreamPort::Write(const std::uint8_t* bytes, int length)
{
    return QueueBytes(bytes, length, kRetryMs);
}

void StreamPort::SetTimeouts(int connectMs, int stallMs)
{
    connectTimeoutMs_ = std::max(connectMs, 0);
    stallTimeoutMs_ = std::max(stallMs, 0);
}

int StreamPort::StartStreaming(int descriptor)
{
    descriptor_ = descriptor;
    if (!StartWriter(kQueueCapacity, {kChunkSize, kIdleMs})) {
        ReleaseTransport();
        return -6;
    }
    return 0;
}

long StreamPort::SendSome(int descriptor, const std::uint8_t* bytes, std::size_t count)
{
    return static_cast<long>(::write(descriptor, bytes, count));
}

int StreamPort::Transmit(const std::uint8_t* bytes, int count)
{
    using Clock = std::chrono::steady_clock;
    int done = 0;
    Clock::time_point progress = Clock::now();
    auto lost = [&] {
        // Counted before the state changes, so whoever sees the port leave
        // Open sees the final figures.
        CountSent(done);
        ChangeState(PortState::Open, PortState::Lost);
        return 0;
    };
    while (done < count) {
        const long written = SendSome(descriptor_, bytes + done, static_cast<std::size_t>(count - done));
        if (written > 0) {
            done += static_cast<int>(written);
            progress = Clock::now();
            continue;
        }
        const int error = written < 0 ? errno : EAGAIN;
        if (error == EINTR)
            continue;
        if (error != EAGAIN && error != EWOULDBLOCK)
            return lost();  // reset, hung up, unplugged: the printer is gone
        const RoomWait wait = WaitForRoom(descriptor_, progress, stallTimeoutMs_);
        if (wait == RoomWait::Stalled)
            return lost();
        if (wait == RoomWait::Stopped)
            return done;
    }
    return done;
}

void StreamPort::ReleaseTransport()
{
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
}

}  // namespace tarvel::ports
