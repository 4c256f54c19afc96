#include "ports/FilePort.h"

#include "platform/system/Utf16.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel::ports {

namespace {

constexpr int kIdleMs = 100;
constexpr int kRetryMs = 100;
// How often Open looks again for a FIFO's reader, and a stalled transfer
// for room, the port's state and the cancel flag.
constexpr int kLookAgainMs = 50;
constexpr int kCancelledStatus = -100;

// Errors of a pipe, socket or device that mean the other end went away:
// the reader closed its side, the device was unplugged, the line hung up.
bool PeerGone(int error)
{
    return error == EPIPE || error == ECONNRESET || error == ENOTCONN || error == ENXIO || error == ENODEV
        || error == EIO;
}

std::mutex rootLock;
std::filesystem::path rootFolder;

}  // namespace

void SetDeviceRootFolder(const std::filesystem::path& folder)
{
    std::lock_guard guard(rootLock);
    rootFolder = folder;
}

std::filesystem::path DeviceRootFolder()
{
    std::lock_guard guard(rootLock);
    return rootFolder;
}

std::filesystem::path DevicePathToLocal(std::u16string_view devicePath)
{
    // A NUL would cut the name short and a lone surrogate has no UTF-8 form;
    // such a name is refused rather than silently changed into another file.
    if (devicePath.find(u'\0') != std::u16string_view::npos)
        return {};
    std::optional<std::string> utf8 = platform::Utf16ToUtf8(devicePath);
    if (!utf8 || utf8->empty())
        return {};
    if ((*utf8)[0] == '/')
        return *utf8;
    for (char& c : *utf8)
        if (c == '\\')
            c = '/';
    std::size_t start = utf8->find_first_not_of('/');
    if (start == std::string::npos)
        return {};
    std::filesystem::path root = DeviceRootFolder();
    std::filesystem::path relative = utf8->substr(start);
    return root.empty() ? relative : root / relative;
}

FilePort::~FilePort()
{
    StopWriter();
    ReleaseTransport();
}

void FilePort::SetTarget(const void* target)
{
    if (!target)
        return;
    const auto* text = static_cast<const char16_t*>(target);
    std::size_t length = 0;
    while (length <= kMaxPathCharacters && text[length] != 0)
        ++length;
    // Cutting a long path would name another file (or another folder's);
    // the whole path is used, and one beyond reason makes Open fail.
    pathTooLong_ = length > kMaxPathCharacters;
    path_.assign(text, pathTooLong_ ? 0 : length);
}

void FilePort::SetTimeouts(int connectMs, int stallMs)
{
    connectTimeoutMs_ = std::max(connectMs, 0);
    stallTimeoutMs_ = std::max(stallMs, 0);
}

int FilePort::Open()
{
    BeginOpen(true);
    local_.clear();
    stream_ = false;
    if (!pathTooLong_)
        local_ = DevicePathToLocal(path_).string();
    int status = local_.empty() ? -1 : OpenTarget();
    if (status != 0) {
        SetState(PortState::Closed);
        return status;
    }
    struct stat info { };
    stream_ = ::fstat(file_, &info) == 0 && !S_ISREG(info.st_mode);
    if (!StartWriter(kQueueCapacity, {kChunkSize, kIdleMs})) {
        ReleaseTransport();
        return -6;
    }
    return 0;
}

int FilePort::OpenTarget()
{
    // A blocking open of a FIFO waits in the kernel until a reader comes,
    // where neither the progress window nor Cancel can reach the thread.
    // Without blocking it fails with ENXIO instead, and we look again.
    constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK;
    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(connectTimeoutMs_);
    for (;;) {
        file_ = ::open(local_.c_str(), kFlags, 0666);
        if (file_ >= 0)
            return 0;
        int error = errno;
        if (error == EINTR)
            continue;
        // ENXIO from a FIFO: no reader yet. From anything else (a socket,
        // a device node without its device) it will not change by waiting.
        struct stat info { };
        bool fifo = ::stat(local_.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
        if (error != ENXIO || !fifo || Clock::now() >= deadline)
            return -1;
        WaitPumping([this] { return CancelRequested(); }, kLookAgainMs);
        if (CancelRequested())
            return kCancelledStatus;
    }
}

void FilePort::Close()
{
    // The writer thread sees the state and closes the file on its way out.
    SetState(PortState::Closed);
}

int FilePort::Write(const std::uint8_t* bytes, int length)
{
    return QueueBytes(bytes, length, kRetryMs);
}

int FilePort::Transmit(const std::uint8_t* bytes, int count)
{
    using Clock = std::chrono::steady_clock;
    int done = 0;
    Clock::time_point progress = Clock::now();
    auto lost = [&] {
        // Counted before the state changes, so whoever sees the port
        // leave Open sees the final figures.
        CountSent(done);
        ChangeState(PortState::Open, PortState::Lost);
        return 0;
    };
    while (done < count) {
        ssize_t written = ::write(file_, bytes + done, static_cast<std::size_t>(count - done));
        if (written > 0) {
            // Unlike the handheld's WriteFile, write may take part of a
            // chunk; the rest goes on, and a write that fails says why.
            done += static_cast<int>(written);
            progress = Clock::now();
            continue;
        }
        int error = written < 0 ? errno : (stream_ ? EAGAIN : ENOSPC);
        if (error == EINTR)
            continue;
        if (stream_ && (error == EAGAIN || error == EWOULDBLOCK)) {
            const RoomWait wait = WaitForRoom(file_, progress, stallTimeoutMs_);
            if (wait == RoomWait::Stalled)
                return lost();
            if (wait == RoomWait::Stopped)
                return done;
            continue;
        }
        if (stream_ && PeerGone(error))
            return lost();
        // A medium that fails (full, read-only, broken): no retry, the
        // rest of the chunk is lost and the job goes on, as a printer's
        // would; the loss is kept and reported.
        RecordLoss(count - done, error);
        return done;
    }
    return done;
}

void FilePort::ReleaseTransport()
{
    if (file_ >= 0) {
        ::close(file_);
        file_ = -1;
    }
}

}  // namespace tarvel::ports
