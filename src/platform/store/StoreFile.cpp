#include "platform/store/StoreFile.h"

#include "platform/store/Registry.h"

#include <cerrno>
#include <cstring>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace tarvel::platform {
namespace {

constexpr std::string_view kHeader = "tarvel-store 1";
constexpr std::size_t kMaxFileSize = 4 * 1024 * 1024;

char16_t FoldAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool SameName(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    }
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string Escape(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c == '%' || c == '=' || c < 0x20 || c == 0x7f) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::optional<std::string> Unescape(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        int high = HexDigit(text[i + 1]);
        int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<std::vector<BYTE>> ParseHex(std::string_view text)
{
    if (text.size() % 2 != 0 || text.size() / 2 > kMaxStoreValueSize)
        return std::nullopt;
    std::vector<BYTE> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int high = HexDigit(text[i]);
        int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(static_cast<BYTE>(high * 16 + low));
    }
    return bytes;
}

std::optional<StoreValue> ParseLine(std::string_view line)
{
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    auto name = Unescape(line.substr(0, equals));
    if (!name)
        return std::nullopt;
    auto wideName = Utf8ToUtf16(*name);
    if (!wideName || !StorableName(*wideName))
        return std::nullopt;
    std::string_view rest = line.substr(equals + 1);
    StoreValue value;
    value.name = std::move(*wideName);
    if (rest.starts_with("dword:")) {
        // Exactly eight hex digits: anything else is not a 32-bit number.
        std::string_view digits = rest.substr(6);
        if (digits.size() != 8)
            return std::nullopt;
        auto bytes = ParseHex(digits);
        if (!bytes)
            return std::nullopt;
        std::uint32_t number = (std::uint32_t((*bytes)[0]) << 24) | (std::uint32_t((*bytes)[1]) << 16)
            | (std::uint32_t((*bytes)[2]) << 8) | std::uint32_t((*bytes)[3]);
        value.type = REG_DWORD;
        value.data.resize(4);
        std::memcpy(value.data.data(), &number, 4);
    } else if (rest.starts_with("sz:")) {
        auto text = Unescape(rest.substr(3));
        if (!text)
            return std::nullopt;
        auto wide = Utf8ToUtf16(*text);
        // An escaped NUL would end the string early for every reader.
        if (!wide || wide->find(u'\0') != std::u16string::npos || wide->size() * 2 + 2 > kMaxStoreValueSize)
            return std::nullopt;
        value.type = REG_SZ;
        value.data.resize((wide->size() + 1) * 2);
        std::memcpy(value.data.data(), wide->c_str(), value.data.size());
    } else if (rest.starts_with("hex:")) {
        auto bytes = ParseHex(rest.substr(4));
        if (!bytes)
            return std::nullopt;
        value.type = REG_BINARY;
        value.data = std::move(*bytes);
    } else {
        return std::nullopt;
    }
    return value;
}

std::string FormatValue(const StoreValue& value)
{
    std::string line = Escape(Utf16ToUtf8(value.name).value_or(""));
    static constexpr char kHex[] = "0123456789abcdef";
    auto hex = [&](const std::vector<BYTE>& bytes) {
        std::string out;
        for (BYTE b : bytes) {
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
        return out;
    };
    if (value.type == REG_DWORD && value.data.size() == 4) {
        std::uint32_t number;
        std::memcpy(&number, value.data.data(), 4);
        std::vector<BYTE> bigEndian = {BYTE(number >> 24), BYTE(number >> 16), BYTE(number >> 8), BYTE(number)};
        return line + "=dword:" + hex(bigEndian);
    }
    if (value.type == REG_SZ && StorableValue(REG_SZ, value.data.data(), value.data.size())) {
        std::u16string text(value.data.size() / 2 - 1, u'\0');
        std::memcpy(text.data(), value.data.data(), text.size() * 2);
        return line + "=sz:" + Escape(*Utf16ToUtf8(text));
    }
    // RegSetValueExW refuses anything else; should one get here all the
    // same, its bytes are kept rather than its type.
    return line + "=hex:" + hex(value.data);
}

}  // namespace

const StoreValue* FindValue(const StoreValues& values, std::u16string_view name)
{
    for (const auto& value : values) {
        if (SameName(value.name, name))
            return &value;
    }
    return nullptr;
}

void SetValue(StoreValues& values, std::u16string_view name, DWORD type, std::vector<BYTE> data)
{
    for (auto& value : values) {
        if (SameName(value.name, name)) {
            value.type = type;
            value.data = std::move(data);
            return;
        }
    }
    values.push_back({std::u16string(name), type, std::move(data)});
}

bool StorableName(std::u16string_view name)
{
    return name.size() <= kMaxStoreNameLength && name.find(u'\0') == std::u16string_view::npos
        && Utf16ToUtf8(name).has_value();
}

bool StorableValue(DWORD type, const BYTE* data, std::size_t size)
{
    if ((!data && size) || size > kMaxStoreValueSize)
        return false;
    switch (type) {
    case REG_DWORD:
        return size == 4;
    case REG_BINARY:
        return true;
    case REG_SZ: {
        // Read by units: the caller's bytes need not be aligned for char16_t.
        if (size < 2 || size % 2 != 0)
            return false;
        std::u16string text(size / 2, u'\0');
        std::memcpy(text.data(), data, size);
        if (text.back() != u'\0')
            return false;
        text.pop_back();
        return text.find(u'\0') == std::u16string::npos && Utf16ToUtf8(text).has_value();
    }
    default:
        return false;
    }
}

StoreContents ParseStoreText(std::string_view text)
{
    StoreContents contents;
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            // A line without its newline may have been cut anywhere, even
            // inside a string that still reads well: it is not taken.
            contents.damaged = true;
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    // Whatever else is wrong, every complete value line is kept: a file cut
    // short or edited by hand still holds the settings it had.
    bool headed = !lines.empty() && lines.front() == kHeader;
    bool ended = false;
    // Names by their folded spelling, so that a file of many values is read
    // in one pass rather than searched once per line.
    std::unordered_map<std::u16string, std::size_t> positions;
    for (std::size_t i = headed ? 1 : 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (i + 1 == lines.size() && line.starts_with("end ")) {
            std::string_view countText = line.substr(4);
            std::size_t count = 0;
            auto [end, error] = std::from_chars(countText.data(), countText.data() + countText.size(), count);
            ended = error == std::errc() && end == countText.data() + countText.size() && headed
                && count == lines.size() - 2;
            break;
        }
        auto value = ParseLine(line);
        if (!value) {
            contents.damaged = true;
            continue;
        }
        std::u16string folded = value->name;
        for (char16_t& c : folded)
            c = FoldAscii(c);
        auto [position, fresh] = positions.try_emplace(std::move(folded), contents.values.size());
        if (fresh) {
            contents.values.push_back(std::move(*value));
        } else {
            // A later value of the same name wins, under the first spelling.
            contents.values[position->second].type = value->type;
            contents.values[position->second].data = std::move(value->data);
        }
    }
    if (!headed || !ended)
        contents.damaged = true;
    return contents;
}

std::string FormatStoreText(const StoreValues& values)
{
    std::string text(kHeader);
    text += '\n';
    for (const auto& value : values) {
        text += FormatValue(value);
        text += '\n';
    }
    text += "end " + std::to_string(values.size()) + "\n";
    return text;
}

std::optional<StoreContents> ReadStoreFile(const std::filesystem::path& file)
{
    // Not blocking: a FIFO where the file should be must not hang the load.
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        return StoreContents{{}, true};
    }
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<std::size_t>(info.st_size) > kMaxFileSize) {
        ::close(fd);
        return StoreContents{{}, true};
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || text.size() + static_cast<std::size_t>(got) > kMaxFileSize) {
            ::close(fd);
            return StoreContents{{}, true};
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return ParseStoreText(text);
}

namespace {

// The file a save replaces: a symbolic link (a dotfile manager's, say) is
// followed to its target, so the link survives the save. Empty for a loop.
std::filesystem::path FollowLinks(std::filesystem::path file)
{
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(file, error)))
            return file;
        std::filesystem::path target = std::filesystem::read_symlink(file, error);
        if (error)
            return {};
        file = target.is_absolute() ? target : file.parent_path() / target;
    }
    return {};
}

// A save killed between writing its temporary file and renaming it leaves
// the file behind. One whose process is gone is removed; one of a living
// process is left to it, unless it is older than any save takes (the
// process id was reused).
void RemoveStaleTemporaries(const std::filesystem::path& file)
{
    const std::string prefix = file.filename().string() + ".tmp-";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix))
            continue;
        std::string_view digits = std::string_view(name).substr(prefix.size());
        pid_t pid = 0;
        auto [end, parsed] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
        std::error_code ignored;
        if (parsed != std::errc() || end != digits.data() + digits.size() || pid <= 0 || pid == ::getpid()
            || !entry.is_regular_file(ignored) || entry.is_symlink(ignored))
            continue;
        bool gone = ::kill(pid, 0) != 0 && errno == ESRCH;
        auto age = std::filesystem::file_time_type::clock::now() - entry.last_write_time(ignored);
        if (gone || (!ignored && age > std::chrono::hours(1)))
            std::filesystem::remove(entry.path(), ignored);
    }
}

// Keeps a copy of a damaged file before it is replaced, so that whatever
// could not be read is not lost without a trace. False when the copy
// cannot be made: the save must not go on then.
bool SetAsideIfDamaged(const std::filesystem::path& file, std::filesystem::path& asideOut)
{
    auto contents = ReadStoreFile(file);
    if (!contents || !contents->damaged)
        return true;
    std::filesystem::path aside = file;
    aside += ".damaged";
    std::error_code error;
    std::filesystem::copy_file(file, aside, std::filesystem::copy_options::overwrite_existing, error);
    if (error)
        return false;
    asideOut = aside;
    return true;
}

bool WriteAll(int fd, const std::string& text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        ssize_t put = ::write(fd, text.data() + written, text.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        written += static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace

bool WriteStoreFile(const std::filesystem::path& link, const StoreValues& values)
{
    const std::filesystem::path file = FollowLinks(link);
    if (file.empty())
        return false;
    RemoveStaleTemporaries(file);
    std::string text = FormatStoreText(values);
    std::filesystem::path temporary = file;
    temporary += ".tmp-" + std::to_string(::getpid());
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0600) == 0 && WriteAll(fd, text);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    std::filesystem::path aside;
    ok = ok && SetAsideIfDamaged(file, aside);
    if (ok)
        ok = ::rename(temporary.c_str(), file.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    int folder = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    if (!aside.empty())
        std::fprintf(stderr, "tarvel: %s was damaged: the values that could be read are kept, the old file is %s\n",
                     file.c_str(), aside.c_str());
    return true;
}

}  // namespace tarvel::platform
