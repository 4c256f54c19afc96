#include "platform/serial/Serial.h"

#include "platform/store/Registry.h"
#include "platform/system/Utf16.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tarvel::platform {

namespace {

constexpr char16_t kSerialKey[] = u"\\Drivers\\Tarvel\\Serial";
constexpr int kMaxComNumber = 255;
// A blocked write looks at the abort flag this often.
constexpr int kAbortPollMs = 50;

std::atomic<LineRefusal> refusal{LineRefusal::None};
// Negative: no cap.
std::atomic<std::int64_t> writeTimeoutCap{-1};

struct ComLine {
    int fd = -1;
    std::string path;
    std::mutex lock;  // guards timeouts
    COMMTIMEOUTS timeouts{};
    std::atomic<bool> aborted{false};
    ~ComLine()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

struct LineTable {
    std::mutex lock;
    std::uintptr_t nextHandle = 0x5e000;
    std::map<std::uintptr_t, std::shared_ptr<ComLine>> lines;
    std::map<std::string, std::uint32_t> modemRequests;
};

LineTable& Lines()
{
    static LineTable table;
    return table;
}

std::shared_ptr<ComLine> Find(HANDLE handle)
{
    LineTable& table = Lines();
    std::lock_guard guard(table.lock);
    auto found = table.lines.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == table.lines.end() ? nullptr : found->second;
}

// The configured path of COMn, if the store has a usable one.
std::string ConfiguredPath(int comNumber)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialKey, 0, 0, &key) != ERROR_SUCCESS)
        return {};
    std::u16string name = u"COM";
    for (char c : std::to_string(comNumber))
        name += static_cast<char16_t>(c);
    char16_t text[1024] = {};
    DWORD type = 0;
    DWORD size = sizeof text - sizeof(char16_t);
    LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                      reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return {};
    std::u16string_view value(text, std::min<std::size_t>(size / sizeof(char16_t), 1023));
    value = value.substr(0, value.find(u'\0'));
    return Utf16ToUtf8(value).value_or("");
}

struct Speed {
    DWORD baud;
    speed_t code;
};

constexpr Speed kSpeeds[] = {
    {110, B110},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {921600, B921600},
};

std::optional<speed_t> SpeedCode(DWORD baud)
{
    for (const Speed& speed : kSpeeds)
        if (speed.baud == baud)
            return speed.code;
    return std::nullopt;
}

DWORD BaudOf(speed_t code)
{
    for (const Speed& speed : kSpeeds)
        if (speed.code == code)
            return speed.baud;
    return 0;
}

}  // namespace

std::string ComDevicePath(int comNumber)
{
    if (comNumber < 1 || comNumber > kMaxComNumber)
        return {};
    std::string configured = ConfiguredPath(comNumber);
    if (!configured.empty())
        return configured;
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

HANDLE OpenComPort(int comNumber)
{
    std::string path = ComDevicePath(comNumber);
    if (path.empty())
        return INVALID_HANDLE_VALUE;
    auto line = std::make_shared<ComLine>();
    line->path = path;
    // Non-blocking, so a write can be bounded by the timeouts; no
    // controlling terminal, so a printer cable cannot hang us up.
    line->fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (line->fd < 0)
        return INVALID_HANDLE_VALUE;
    // The line is ours alone while the job runs, as on the handheld.
    if (::flock(line->fd, LOCK_EX | LOCK_NB) != 0)
        return INVALID_HANDLE_VALUE;
    termios probe{};
    if (::tcgetattr(line->fd, &probe) != 0)
        return INVALID_HANDLE_VALUE;
    LineTable& table = Lines();
    std::lock_guard guard(table.lock);
    std::uintptr_t handle = table.nextHandle++;
    table.lines.emplace(handle, std::move(line));
    table.modemRequests[path] = 0;
    return reinterpret_cast<HANDLE>(handle);
}

BOOL GetCommState(HANDLE handle, DCB* state)
{
    auto line = Find(handle);
    if (!line || !state || state->DCBlength < sizeof(DCB))
        return FALSE;
    termios tio{};
    if (::tcgetattr(line->fd, &tio) != 0)
        return FALSE;
    DWORD length = state->DCBlength;
    *state = DCB{};
    state->DCBlength = length;
    state->BaudRate = BaudOf(cfgetospeed(&tio));
    DWORD flags = 0;
    if (!(tio.c_oflag & OPOST) && !(tio.c_lflag & ICANON))
        flags |= DCB_fBinary;
    if (tio.c_iflag & INPCK)
        flags |= DCB_fParity;
    if (tio.c_cflag & CRTSCTS)
        flags |= DCB_fOutxCtsFlow;
    if (tio.c_iflag & IXON)
        flags |= DCB_fOutX;
    if (tio.c_iflag & IXOFF)
        flags |= DCB_fInX;
    if (!(tio.c_iflag & IXANY))
        flags |= DCB_fTXContinueOnXoff;
    state->flags = flags;
    switch (tio.c_cflag & CSIZE) {
    case CS5: state->ByteSize = 5; break;
    case CS6: state->ByteSize = 6; break;
    case CS7: state->ByteSize = 7; break;
    default: state->ByteSize = 8; break;
    }
    state->Parity = !(tio.c_cflag & PARENB) ? NOPARITY : (tio.c_cflag & PARODD) ? ODDPARITY
                                                                                : EVENPARITY;
    state->StopBits = (tio.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    state->XonChar = static_cast<char>(tio.c_cc[VSTART]);
    state->XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    return TRUE;
}

BOOL SetCommState(HANDLE handle, const DCB* state)
{
    auto line = Find(handle);
    if (!line || !state || state->DCBlength < sizeof(DCB) || refusal.load() == LineRefusal::Settings)
        return FALSE;
    std::optional<speed_t> speed = SpeedCode(state->BaudRate);
    if (!speed || state->ByteSize < 5 || state->ByteSize > 8 || state->Parity > EVENPARITY
        || (state->StopBits != ONESTOPBIT && state->StopBits != TWOSTOPBITS))
        return FALSE;
    termios tio{};
    if (::tcgetattr(line->fd, &tio) != 0)
        return FALSE;
    constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    // The line's modem status must not gate the writes: flow control is
    // only what the flag word asks for.
    tio.c_cflag |= CREAD | CLOCAL | sizes[state->ByteSize - 5];
    if (state->Parity != NOPARITY)
        tio.c_cflag |= PARENB | (state->Parity == ODDPARITY ? PARODD : 0);
    if (state->StopBits == TWOSTOPBITS)
        tio.c_cflag |= CSTOPB;
    if (state->flags & DCB_fOutxCtsFlow)
        tio.c_cflag |= CRTSCTS;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP | PARMRK | IGNPAR);
    if (state->flags & DCB_fOutX)
        tio.c_iflag |= IXON;
    if (state->flags & DCB_fInX)
        tio.c_iflag |= IXOFF;
    if (!(state->flags & DCB_fTXContinueOnXoff) && (state->flags & DCB_fOutX))
        tio.c_iflag |= IXANY;
    if ((state->flags & DCB_fParity) && state->Parity != NOPARITY)
        tio.c_iflag |= INPCK;
    if (state->flags & DCB_fBinary) {
        // Printer data is bytes, not text: no line editing, no newline
        // translation, no signals from control characters.
        tio.c_iflag &= ~(IGNBRK | BRKINT | INLCR | IGNCR | ICRNL);
        tio.c_oflag &= ~OPOST;
        tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
    }
    if (cfsetospeed(&tio, *speed) != 0 || cfsetispeed(&tio, *speed) != 0)
        return FALSE;
    return ::tcsetattr(line->fd, TCSANOW, &tio) == 0 ? TRUE : FALSE;
}

BOOL GetCommTimeouts(HANDLE handle, COMMTIMEOUTS* timeouts)
{
    auto line = Find(handle);
    if (!line || !timeouts)
        return FALSE;
    std::lock_guard guard(line->lock);
    *timeouts = line->timeouts;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE handle, const COMMTIMEOUTS* timeouts)
{
    auto line = Find(handle);
    if (!line || !timeouts || refusal.load() == LineRefusal::Timeouts)
        return FALSE;
    std::lock_guard guard(line->lock);
    line->timeouts = *timeouts;
    return TRUE;
}

BOOL EscapeCommFunction(HANDLE handle, DWORD function)
{
    auto line = Find(handle);
    if (!line)
        return FALSE;
    int bits = 0;
    unsigned long request = 0;
    std::uint32_t raised = 0;
    std::uint32_t lowered = 0;
    switch (function) {
    case SETDTR:
        bits = TIOCM_DTR;
        request = TIOCMBIS;
        raised = kModemDtr;
        break;
    case CLRDTR:
        bits = TIOCM_DTR;
        request = TIOCMBIC;
        lowered = kModemDtr;
        break;
    case SETRTS:
        bits = TIOCM_RTS;
        request = TIOCMBIS;
        raised = kModemRts;
        break;
    case CLRRTS:
        bits = TIOCM_RTS;
        request = TIOCMBIC;
        lowered = kModemRts;
        break;
    default: return FALSE;
    }
    {
        LineTable& table = Lines();
        std::lock_guard guard(table.lock);
        std::uint32_t& requested = table.modemRequests[line->path];
        requested = (requested | raised) & ~lowered;
    }
    return ::ioctl(line->fd, request, &bits) == 0 ? TRUE : FALSE;
}

BOOL WriteFile(HANDLE handle, const void* bytes, DWORD count, DWORD* written, void*)
{
    if (written)
        *written = 0;
    auto line = Find(handle);
    if (!line || (!bytes && count > 0)) {
        errno = line ? EINVAL : EBADF;
        return FALSE;
    }
    COMMTIMEOUTS timeouts;
    {
        std::lock_guard guard(line->lock);
        timeouts = line->timeouts;
    }
    using Clock = std::chrono::steady_clock;
    bool bounded = timeouts.WriteTotalTimeoutMultiplier != 0 || timeouts.WriteTotalTimeoutConstant != 0;
    std::uint64_t limitMs = static_cast<std::uint64_t>(timeouts.WriteTotalTimeoutMultiplier) * count
        + timeouts.WriteTotalTimeoutConstant;
    std::int64_t cap = writeTimeoutCap.load();
    if (cap >= 0 && (!bounded || limitMs > static_cast<std::uint64_t>(cap))) {
        bounded = true;
        limitMs = static_cast<std::uint64_t>(cap);
    }
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    const auto* data = static_cast<const std::uint8_t*>(bytes);
    DWORD done = 0;
    while (done < count) {
        if (line->aborted.load())
            break;
        ssize_t n = ::write(line->fd, data + done, count - done);
        if (n > 0) {
            done += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            int error = errno;
            if (written)
                *written = done;
            errno = error;
            return FALSE;
        }
        int waitMs = kAbortPollMs;
        if (bounded) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                break;
            waitMs = static_cast<int>(std::min<long long>(left, kAbortPollMs));
        }
        pollfd waitFor{line->fd, POLLOUT, 0};
        ::poll(&waitFor, 1, waitMs);
    }
    if (written)
        *written = done;
    if (line->aborted.load() && done < count) {
        errno = ECANCELED;
        return FALSE;
    }
    return TRUE;
}

bool LineHungUp(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE || error == ECONNRESET
        || error == ENOTCONN || error == EHOSTDOWN;
}

BOOL PurgeComm(HANDLE handle, DWORD flags)
{
    auto line = Find(handle);
    if (!line)
        return FALSE;
    if (flags & PURGE_TXABORT)
        line->aborted.store(true);
    if (flags & PURGE_RXABORT)
        ::tcflush(line->fd, TCIFLUSH);
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    std::shared_ptr<ComLine> line;
    {
        LineTable& table = Lines();
        std::lock_guard guard(table.lock);
        auto found = table.lines.find(reinterpret_cast<std::uintptr_t>(handle));
        if (found == table.lines.end())
            return FALSE;
        line = std::move(found->second);
        table.lines.erase(found);
    }
    // The descriptor closes when the last user lets go of the line, so a
    // PurgeComm racing with the close never touches a reused descriptor.
    return TRUE;
}

void PretendLineRefuses(LineRefusal what)
{
    refusal.store(what);
}

void CapWriteTimeout(std::optional<DWORD> milliseconds)
{
    writeTimeoutCap.store(milliseconds ? static_cast<std::int64_t>(*milliseconds) : -1);
}

std::uint32_t ModemLinesRequested(const std::string& devicePath)
{
    LineTable& table = Lines();
    std::lock_guard guard(table.lock);
    auto found = table.modemRequests.find(devicePath);
    return found == table.modemRequests.end() ? 0 : found->second;
}

}  // namespace tarvel::platform
