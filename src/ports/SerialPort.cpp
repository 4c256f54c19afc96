#include "ports/SerialPort.h"

#include "platform/serial/Serial.h"
#include "platform/store/Registry.h"

#include <cerrno>
#include <string>

namespace tarvel::ports {

namespace {

using namespace tarvel::platform;

constexpr char16_t kIrCommKey[] = u"\\Drivers\\Builtin\\IrCOMM";
constexpr char16_t kIrCommIndex[] = u"Index";
constexpr int kIdleMs = 200;
constexpr int kRetryMs = 300;

// Everything in the low fifteen bits of the flag word except what a
// printer cable wants: binary, parity checking, DTR and RTS enabled,
// sending on after XOFF; no hardware or software flow control.
constexpr DWORD kCableFlagsKept = 0xFFFF9093u;
constexpr DWORD kCableFlags = DCB_fBinary | DCB_fParity | DCB_fDtrControlEnable | DCB_fTXContinueOnXoff
    | DCB_fRtsControlEnable;
static_assert(kCableFlags == 0x1093u);

// The COM number of the IrCOMM virtual port, or -1 when the machine has
// none configured.
int ReadIrCommIndex()
{
    int index = -1;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kIrCommKey, 0, 0, &key) == ERROR_SUCCESS) {
        std::int32_t value = 0;
        DWORD type = 0;
        DWORD size = sizeof value;
        if (RegQueryValueExW(key, kIrCommIndex, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size)
                == ERROR_SUCCESS
            && size == sizeof value)
            index = value;
        RegCloseKey(key);
    }
    return index;
}

// Returns 0, -3 or -4 as the line accepted the cable settings.
int ConfigureCable(HANDLE line)
{
    DCB state{};
    state.DCBlength = sizeof state;
    GetCommState(line, &state);
    state.BaudRate = SerialPort::kBaudRate;
    state.flags = (state.flags & kCableFlagsKept) | kCableFlags;
    state.ByteSize = 8;
    state.Parity = NOPARITY;
    state.StopBits = ONESTOPBIT;
    if (!SetCommState(line, &state))
        return -3;
    COMMTIMEOUTS timeouts{};
    GetCommTimeouts(line, &timeouts);
    // Reads return at once; a write may take 10 ms per byte (a little
    // more than a byte's time at 57600 baud with a printer pausing to
    // print) plus a second before it counts as timed out.
    timeouts.ReadIntervalTimeout = 0xFFFFFFFFu;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 10;
    timeouts.WriteTotalTimeoutConstant = 1000;
    if (!SetCommTimeouts(line, &timeouts))
        return -4;
    EscapeCommFunction(line, SETDTR);
    EscapeCommFunction(line, SETRTS);
    return 0;
}

}  // namespace

SerialPort::~SerialPort()
{
    StopWriter();
    ReleaseTransport();
}

void SerialPort::SetTarget(const void* target)
{
    if (target)
        portNumber_ = *static_cast<const std::int32_t*>(target);
}

int SerialPort::Open()
{
    BeginOpen(true);
    int irCommIndex = ReadIrCommIndex();
    int number = portNumber_ == -1 ? irCommIndex : portNumber_;
    lineName_ = "COM" + std::to_string(number) + " (" + ComDevicePath(number) + ")";
    HANDLE line = OpenComPort(number);
    if (line == INVALID_HANDLE_VALUE) {
        SetState(PortState::Closed);
        return -1;
    }
    if (number != irCommIndex) {
        int status = ConfigureCable(line);
        if (status != 0) {
            CloseHandle(line);
            SetState(PortState::Closed);
            return status;
        }
    }
    comHandle_.store(line);
    if (!StartWriter(kQueueCapacity, {kChunkSize, kIdleMs})) {
        ReleaseTransport();
        return -6;
    }
    return 0;
}

void SerialPort::Close()
{
    if (CloseIfOpen()) {
        // The writer closes the line on its way out; cut its current
        // write short so that is now, not after the write timeout.
        HANDLE line = comHandle_.load();
        if (line)
            PurgeComm(line, PURGE_TXABORT);
    }
}

int SerialPort::Write(const std::uint8_t* bytes, int length)
{
    return QueueBytes(bytes, length, kRetryMs);
}

int SerialPort::Transmit(const std::uint8_t* bytes, int count)
{
    HANDLE line = comHandle_.load();
    bool hungUp = false;
    // Why the last attempt fell short: a write that timed out, or the
    // error a failing one gave.
    int shortfall = ETIMEDOUT;
    int done = TransmitSerialChunk(
        bytes, count,
        [&](const std::uint8_t* data, DWORD n, DWORD* written) {
            if (WriteFile(line, data, n, written, nullptr)) {
                shortfall = ETIMEDOUT;
                return true;
            }
            shortfall = errno;
            hungUp = LineHungUp(shortfall);
            return false;
        },
        [&] { return !hungUp && CheckCancel() == 0 && GetState() == PortState::Open; },
        [&](int ms) {
            if (!hungUp)
                PauseWhileOpen(ms);
        });
    if (hungUp) {
        // The other end closed the line: nothing sent from now on can
        // arrive, so the job must hear of a lost connection rather than
        // of a slow printer. What did go out is counted before the state
        // changes, so whoever sees the port leave Open sees the final
        // figures.
        CountSent(done);
        ChangeState(PortState::Open, PortState::Lost);
        return 0;
    }
    // A printer that stopped taking data: the chunk is given up after its
    // attempts and the job goes on, but not without a word.
    if (done < count && GetState() == PortState::Open && !CancelRequested())
        RecordLoss(count - done, shortfall);
    return done;
}

std::string SerialPort::TargetName() const
{
    return lineName_;
}

void SerialPort::ReleaseTransport()
{
    HANDLE line = comHandle_.exchange(nullptr);
    if (line)
        CloseHandle(line);
}

}  // namespace tarvel::ports
