#include "ports/DevicePort.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace tarvel::ports {
namespace {

constexpr int kLookAgainMs = 50;

}  // namespace

DevicePort::~DevicePort()
{
    StopWriter();
    ReleaseTransport();
}

void DevicePort::SetTarget(const void* target)
{
    if (target)
        path_ = static_cast<const char*>(target);
}

int DevicePort::Open()
{
    BeginOpen(true);
    // Non-blocking: a FIFO without a reader answers ENXIO at once instead of
    // holding the thread in the kernel, and no write can block later.
    constexpr int kFlags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(connectTimeoutMs_);
    int descriptor = -1;
    while (!path_.empty()) {
        descriptor = ::open(path_.c_str(), kFlags);
        if (descriptor >= 0)
            break;
        const int error = errno;
        if (error == EINTR)
            continue;
        struct stat info { };
        const bool fifo = ::stat(path_.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
        if (error != ENXIO || !fifo || Clock::now() >= deadline)
            break;
        WaitPumping([this] { return CancelRequested(); }, kLookAgainMs);
        if (CancelRequested()) {
            SetState(PortState::Closed);
            return kCancelledStatus;
        }
    }
    struct stat info { };
    if (descriptor >= 0 && (::fstat(descriptor, &info) != 0 || !(S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)))) {
        // A regular file or a directory is no printer; the file port is
        // the one for files.
        ::close(descriptor);
        descriptor = -1;
    }
    if (descriptor < 0) {
        SetState(PortState::Closed);
        return -1;
    }
    // A printer behind a terminal line (a USB serial adapter, a test's
    // pseudo-terminal) must get the bytes as they are: no newline
    // translation, no flow-control characters taken out.
    termios line{};
    if (::isatty(descriptor) && ::tcgetattr(descriptor, &line) == 0) {
        ::cfmakeraw(&line);
        ::tcsetattr(descriptor, TCSANOW, &line);
    }
    return StartStreaming(descriptor);
}

}  // namespace tarvel::ports
