// The IrDA socket calls the infrared port needs, spelled as the handheld's
// sockets library spells them, with records of the same layout.
//
// The calls go to a backend. The default one stands for this system's own
// IrDA access: Linux has no IrDA stack any more, so it cannot make a socket.
// The simulator (IrdaSimulator.h) plays a printer in range and serves tests
// and demonstrations. The last error is kept per thread, like
// WSAGetLastError.
#pragma once

#include <tarvel/win32.h>

#include <cstdint>
#include <memory>

namespace tarvel::platform::irda {

using SOCKET = std::uint32_t;
inline constexpr SOCKET INVALID_SOCKET = 0xFFFFFFFFu;
inline constexpr int SOCKET_ERROR = -1;

inline constexpr int AF_IRDA = 22;
inline constexpr int SOCK_STREAM = 1;
inline constexpr int SOL_IRLMP = 255;
inline constexpr int IRLMP_ENUMDEVICES = 16;
inline constexpr int IRLMP_IAS_QUERY = 18;
inline constexpr int IRLMP_SEND_PDU_LEN = 19;
inline constexpr int IRLMP_IRLPT_MODE = 21;
inline constexpr int IAS_ATTRIB_INT = 1;

inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAEDISCON = 10101;

struct SOCKADDR_IRDA {
    std::uint16_t irdaAddressFamily;
    BYTE irdaDeviceID[4];
    char irdaServiceName[25];
};
static_assert(sizeof(SOCKADDR_IRDA) == 32, "the IrDA socket address is passed with length 32");

struct IRDA_DEVICE_INFO {
    BYTE irdaDeviceID[4];
    char irdaDeviceName[22];
    BYTE irdaReserved[2];
};

// A device list with room for exactly one device.
struct DEVICELIST {
    ULONG numDevice;
    IRDA_DEVICE_INFO Device[1];
};
static_assert(sizeof(DEVICELIST) == 32, "a one-device list is 32 bytes");

struct IAS_QUERY {
    BYTE irdaDeviceID[4];
    char irdaClassName[61];
    char irdaAttribName[61];
    std::int32_t irdaAttribType;
    union {
        std::int32_t irdaAttribInt;
    } irdaAttribute;
};
static_assert(sizeof(IAS_QUERY) == 136, "the IAS query record is 136 bytes");

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
};

// What a backend must do; results and errors as the calls below document.
class IrdaBackend {
public:
    virtual ~IrdaBackend() = default;
    // Each returns the call's result and, on failure, the error code in error.
    virtual SOCKET Socket(int family, int type, int protocol, int& error) = 0;
    virtual int CloseSocket(SOCKET socket, int& error) = 0;
    virtual int Connect(SOCKET socket, const SOCKADDR_IRDA* address, int length, int& error) = 0;
    virtual int Send(SOCKET socket, const char* bytes, int length, int flags, int& error) = 0;
    virtual int GetSockOpt(SOCKET socket, int level, int name, char* value, int* length, int& error) = 0;
    virtual int SetSockOpt(SOCKET socket, int level, int name, const char* value, int length, int& error) = 0;
};

// Routes the calls to backend from now on; null restores the default.
void UseIrdaBackend(std::shared_ptr<IrdaBackend> backend);

// The calls. Failures return INVALID_SOCKET or SOCKET_ERROR and leave the
// reason for WSAGetLastError on the calling thread.
SOCKET socket(int family, int type, int protocol);
int closesocket(SOCKET socket);
int connect(SOCKET socket, const SOCKADDR_IRDA* address, int length);
// Returns the bytes the link took (at most length) or SOCKET_ERROR.
int send(SOCKET socket, const char* bytes, int length, int flags);
int getsockopt(SOCKET socket, int level, int name, char* value, int* length);
int setsockopt(SOCKET socket, int level, int name, const char* value, int length);
int WSAGetLastError();

// Start and end of a user of the sockets library; counted, never refused
// for version 1.1 and later.
int WSAStartup(WORD version, WSADATA* data);
int WSACleanup();
// Users that started and have not cleaned up yet.
int WsaUsers();

}  // namespace tarvel::platform::irda
