// Serial lines as the ports use them: the COM port calls of the handheld,
// carried out on termios.
//
// A COM number names a device through the machine-wide settings store:
// key "\Drivers\Tarvel\Serial", text values "COM1" to "COM8" (any number up
// to 255 works the same way) holding a device path; without a value COMn is
// /dev/ttyS<n-1>. Handles are checked against the open lines, so a stale or
// foreign handle fails instead of touching someone else's descriptor.
#pragma once

#include <tarvel/win32.h>

#include <cstdint>
#include <optional>
#include <string>

#ifndef INVALID_HANDLE_VALUE
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#endif

// EscapeCommFunction codes.
#ifndef SETXOFF
#define SETXOFF 1
#define SETXON 2
#define SETRTS 3
#define CLRRTS 4
#define SETDTR 5
#define CLRDTR 6
#endif
#ifndef PURGE_TXABORT
#define PURGE_TXABORT 0x0001
#define PURGE_RXABORT 0x0002
#endif
#ifndef NOPARITY
#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define ONESTOPBIT 0
#define ONE5STOPBITS 1
#define TWOSTOPBITS 2
#endif

namespace tarvel::platform {

// The device control block. The one-bit and two-bit switches of the
// original record live in one flag word, with the masks below, so code can
// change them as a word the way the handheld's code did.
struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD flags;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
static_assert(sizeof(DCB) == 28, "the device control block is 28 bytes long");

inline constexpr DWORD DCB_fBinary = 0x0001;
inline constexpr DWORD DCB_fParity = 0x0002;
inline constexpr DWORD DCB_fOutxCtsFlow = 0x0004;
inline constexpr DWORD DCB_fOutxDsrFlow = 0x0008;
inline constexpr DWORD DCB_fDtrControlMask = 0x0030;  // 0 disable, 1 enable, 2 handshake
inline constexpr DWORD DCB_fDtrControlEnable = 0x0010;
inline constexpr DWORD DCB_fDsrSensitivity = 0x0040;
inline constexpr DWORD DCB_fTXContinueOnXoff = 0x0080;
inline constexpr DWORD DCB_fOutX = 0x0100;
inline constexpr DWORD DCB_fInX = 0x0200;
inline constexpr DWORD DCB_fErrorChar = 0x0400;
inline constexpr DWORD DCB_fNull = 0x0800;
inline constexpr DWORD DCB_fRtsControlMask = 0x3000;  // 0 disable, 1 enable, 2 handshake, 3 toggle
inline constexpr DWORD DCB_fRtsControlEnable = 0x1000;
inline constexpr DWORD DCB_fAbortOnError = 0x4000;

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};

// The device path of COMn: from the store, else /dev/ttyS<n-1>. Empty for
// a number outside 1 to 255.
std::string ComDevicePath(int comNumber);

// Opens COMn for reading and writing, exclusively: a line that another
// handle (of this or another process) holds cannot be opened. Returns
// INVALID_HANDLE_VALUE when the number is not valid or the device cannot
// be opened. The line's settings are not changed.
HANDLE OpenComPort(int comNumber);

// Reads the line's settings. FALSE for a bad handle, a null record or a
// record whose DCBlength is smaller than the DCB.
BOOL GetCommState(HANDLE line, DCB* state);
// Applies the settings. FALSE for a bad handle or record, a speed termios
// does not know, a byte size outside 5 to 8, mark or space parity, one and
// a half stop bits, or when the device refuses them.
BOOL SetCommState(HANDLE line, const DCB* state);

BOOL GetCommTimeouts(HANDLE line, COMMTIMEOUTS* timeouts);
// WriteFile gives up after WriteTotalTimeoutMultiplier ms per byte plus
// WriteTotalTimeoutConstant ms; both 0 means it waits as long as it takes.
BOOL SetCommTimeouts(HANDLE line, const COMMTIMEOUTS* timeouts);

// SETDTR, CLRDTR, SETRTS, CLRRTS. FALSE for a bad handle or code, or when
// the device has no modem lines (a pseudo-terminal); the request is still
// remembered for ModemLinesRequested.
BOOL EscapeCommFunction(HANDLE line, DWORD function);

// Writes up to count bytes within the write timeouts. TRUE with *written
// possibly short (0 when the line took nothing in time); FALSE when the
// device failed or the write was aborted by PurgeComm, with *written the
// bytes that went out before and errno saying why: ECANCELED for an abort,
// EBADF for a bad handle, otherwise what the device answered (LineHungUp
// tells the answers that mean the other end is gone).
BOOL WriteFile(HANDLE line, const void* bytes, DWORD count, DWORD* written, void* overlapped);

// True for the errno values with which a line says that its other end is
// gone (hang-up, the device unplugged, the pseudo-terminal's master
// closed): no later write can succeed.
bool LineHungUp(int error);

// PURGE_TXABORT ends a WriteFile in progress on another thread at once.
// Safe to call while another thread uses the handle.
BOOL PurgeComm(HANDLE line, DWORD flags);

// Closes the line. FALSE for a bad handle.
BOOL CloseHandle(HANDLE line);

// Modem lines raised through EscapeCommFunction since the device was last
// opened: bit 0 DTR, bit 1 RTS. Pseudo-terminals have no modem lines, so
// this is how tests see what a port asked for.
inline constexpr std::uint32_t kModemDtr = 1;
inline constexpr std::uint32_t kModemRts = 2;
std::uint32_t ModemLinesRequested(const std::string& devicePath);

// Test hook: from now on SetCommState (Settings) or SetCommTimeouts
// (Timeouts) fails on every line, as a driver that rejects them would; None
// ends it. Pseudo-terminals take any settings, so this is the only way to
// see a port handle the refusal.
enum class LineRefusal { None,
                         Settings,
                         Timeouts };
void PretendLineRefuses(LineRefusal refusal);

// Test hook: from now on no WriteFile waits longer than the given
// milliseconds for a line that takes nothing, whatever its timeouts say;
// std::nullopt ends it. A printer that stops reading can then be shown
// without waiting out the real timeouts of a minute per write.
void CapWriteTimeout(std::optional<DWORD> milliseconds);

}  // namespace tarvel::platform
