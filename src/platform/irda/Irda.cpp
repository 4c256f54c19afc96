#include "platform/irda/Irda.h"

#include <atomic>
#include <mutex>

namespace tarvel::platform::irda {

namespace {

// This system's own IrDA access. The kernel no longer carries an IrDA
// stack, so the address family is not supported and nothing else can be
// reached without a socket.
class SystemIrda final : public IrdaBackend {
public:
    SOCKET Socket(int, int, int, int& error) override
    {
        error = WSAEAFNOSUPPORT;
        return INVALID_SOCKET;
    }
    int CloseSocket(SOCKET, int& error) override { return Fail(error); }
    int Connect(SOCKET, const SOCKADDR_IRDA*, int, int& error) override { return Fail(error); }
    int Send(SOCKET, const char*, int, int, int& error) override { return Fail(error); }
    int GetSockOpt(SOCKET, int, int, char*, int*, int& error) override { return Fail(error); }
    int SetSockOpt(SOCKET, int, int, const char*, int, int& error) override { return Fail(error); }

private:
    static int Fail(int& error)
    {
        error = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
};

std::mutex backendLock;
std::shared_ptr<IrdaBackend> backendInUse;
thread_local int lastError = 0;
std::atomic<int> wsaUsers{0};

std::shared_ptr<IrdaBackend> Backend()
{
    std::lock_guard guard(backendLock);
    if (!backendInUse)
        backendInUse = std::make_shared<SystemIrda>();
    return backendInUse;
}

// Runs one call on the backend and keeps its error for WSAGetLastError.
template <typename Call>
auto Run(Call call)
{
    int error = 0;
    auto result = call(*Backend(), error);
    if (error != 0)
        lastError = error;
    return result;
}

}  // namespace

void UseIrdaBackend(std::shared_ptr<IrdaBackend> backend)
{
    std::lock_guard guard(backendLock);
    backendInUse = std::move(backend);
}

SOCKET socket(int family, int type, int protocol)
{
    return Run([&](IrdaBackend& b, int& e) { return b.Socket(family, type, protocol, e); });
}

int closesocket(SOCKET socket)
{
    return Run([&](IrdaBackend& b, int& e) { return b.CloseSocket(socket, e); });
}

int connect(SOCKET socket, const SOCKADDR_IRDA* address, int length)
{
    return Run([&](IrdaBackend& b, int& e) { return b.Connect(socket, address, length, e); });
}

int send(SOCKET socket, const char* bytes, int length, int flags)
{
    return Run([&](IrdaBackend& b, int& e) { return b.Send(socket, bytes, length, flags, e); });
}

int getsockopt(SOCKET socket, int level, int name, char* value, int* length)
{
    return Run([&](IrdaBackend& b, int& e) { return b.GetSockOpt(socket, level, name, value, length, e); });
}

int setsockopt(SOCKET socket, int level, int name, const char* value, int length)
{
    return Run([&](IrdaBackend& b, int& e) { return b.SetSockOpt(socket, level, name, value, length, e); });
}

int WSAGetLastError()
{
    return lastError;
}

int WSAStartup(WORD version, WSADATA* data)
{
    if (data) {
        data->wVersion = version < 0x0101 ? version : 0x0101;
        data->wHighVersion = 0x0101;
    }
    wsaUsers.fetch_add(1);
    return 0;
}

int WSACleanup()
{
    int users = wsaUsers.load();
    while (users > 0 && !wsaUsers.compare_exchange_weak(users, users - 1)) {
    }
    if (users <= 0) {
        lastError = WSAEINVAL;
        return SOCKET_ERROR;
    }
    return 0;
}

int WsaUsers()
{
    return wsaUsers.load();
}

}  // namespace tarvel::platform::irda
