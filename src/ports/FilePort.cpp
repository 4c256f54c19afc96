#include "ports/FilePort.h"

#include "platform/system/Utf16.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace tarvel::ports {

namespace {

constexpr std::size_t kMaxPathCharacters = 259;
constexpr int kIdleMs = 100;
constexpr int kRetryMs = 100;

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
    while (length < kMaxPathCharacters && text[length] != 0)
        ++length;
    path_.assign(text, length);
}

int FilePort::Open()
{
    BeginOpen(true);
    std::filesystem::path local = DevicePathToLocal(path_);
    if (!local.empty())
        file_ = ::open(local.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file_ < 0) {
        SetState(PortState::Closed);
        return -1;
    }
    if (!StartWriter(kQueueCapacity, {kChunkSize, kIdleMs})) {
        ReleaseTransport();
        return -6;
    }
    return 0;
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
    // One write per chunk and no retry: a full medium loses the rest of
    // the chunk, and only what the system took counts as sent.
    for (;;) {
        ssize_t written = ::write(file_, bytes, static_cast<std::size_t>(count));
        if (written >= 0)
            return static_cast<int>(written);
        if (errno != EINTR)
            return 0;
    }
}

void FilePort::ReleaseTransport()
{
    if (file_ >= 0) {
        ::close(file_);
        file_ = -1;
    }
}

}  // namespace tarvel::ports
