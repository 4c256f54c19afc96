#include "ports/FilePort.h"

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

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A lone surrogate has no UTF-8 form; such a name is refused rather than
// silently changed into a different file.
std::optional<std::string> ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return std::nullopt;
        } else if (c == 0) {
            return std::nullopt;
        }
        AppendUtf8(out, c);
    }
    return out;
}

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
    std::optional<std::string> utf8 = ToUtf8(devicePath);
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
