#include "ports/IrdaPort.h"

#include <cstdio>
#include <cstring>

namespace tarvel::ports {

namespace irda = tarvel::platform::irda;

namespace {

constexpr char kIrLptClass[] = "IrLPT";
constexpr char kLsapSelAttribute[] = "IrDA:IrLMP:LsapSel";
constexpr int kIdleMs = 100;
constexpr int kWriteRetryMs = 100;
constexpr int kCancelledStatus = -100;

}  // namespace

IrdaPort::IrdaPort()
{
    irda::WSADATA data{};
    // Version 1.1 is all the IrDA calls need; a refusal would show up as a
    // failing socket call anyway.
    irda::WSAStartup(0x0101, &data);
}

IrdaPort::~IrdaPort()
{
    Close();
    irda::WSACleanup();
    StopWriter();
    ReleaseTransport();
}

bool IrdaPort::CancelledBeforeTry()
{
    PumpMessages();
    return CheckCancel() != 0;
}

bool IrdaPort::CancelledDuringPause(int milliseconds)
{
    WaitPumping([this] { return CancelRequested(); }, milliseconds);
    return CheckCancel() != 0;
}

int IrdaPort::Fail(int status)
{
    ReleaseTransport();
    SetState(PortState::Closed);
    return status;
}

int IrdaPort::Open()
{
    // The pump runs before every try instead of once at the start.
    BeginOpen(false);
    int status = Connect();
    if (status != 0)
        return status;
    if (!StartWriter(kQueueCapacity, {maxSendSize_, kIdleMs})) {
        ReleaseTransport();
        return -7;
    }
    return 0;
}

int IrdaPort::Connect()
{
    irda::SOCKET socket = irda::INVALID_SOCKET;
    for (int tries = 0;;) {
        if (CancelledBeforeTry())
            return Fail(kCancelledStatus);
        socket = irda::socket(irda::AF_IRDA, irda::SOCK_STREAM, 0);
        if (socket != irda::INVALID_SOCKET)
            break;
        if (++tries >= kSocketTries)
            return Fail(-1);
        if (CancelledDuringPause(kRetryPauseMs))
            return Fail(kCancelledStatus);
    }
    socket_.store(socket);

    irda::DEVICELIST devices{};
    for (int tries = 0;;) {
        if (CancelledBeforeTry())
            return Fail(kCancelledStatus);
        int length = sizeof devices;
        devices.numDevice = 0;
        if (irda::getsockopt(socket, irda::SOL_IRLMP, irda::IRLMP_ENUMDEVICES,
                             reinterpret_cast<char*>(&devices), &length)
            == irda::SOCKET_ERROR)
            return Fail(-2);
        if (devices.numDevice != 0)
            break;
        if (++tries >= kDiscoveryTries)
            return Fail(-3);
        if (CancelledDuringPause(kRetryPauseMs))
            return Fail(kCancelledStatus);
    }
    // Only the first printer found is tried; with two in range the user
    // points the device at the one wanted.
    const irda::IRDA_DEVICE_INFO& printer = devices.Device[0];

    irda::IAS_QUERY query;
    std::memset(&query, 0, sizeof query);
    std::memcpy(query.irdaDeviceID, printer.irdaDeviceID, sizeof query.irdaDeviceID);
    std::memcpy(query.irdaClassName, kIrLptClass, sizeof kIrLptClass);
    std::memcpy(query.irdaAttribName, kLsapSelAttribute, sizeof kLsapSelAttribute);
    int queryLength = sizeof query;
    if (irda::getsockopt(socket, irda::SOL_IRLMP, irda::IRLMP_IAS_QUERY, reinterpret_cast<char*>(&query),
                         &queryLength)
        == irda::SOCKET_ERROR)
        return Fail(-9);
    int lsapSel = query.irdaAttribute.irdaAttribInt;

    std::int32_t on = 1;
    if (irda::setsockopt(socket, irda::SOL_IRLMP, irda::IRLMP_IRLPT_MODE, reinterpret_cast<const char*>(&on),
                         sizeof on)
        == irda::SOCKET_ERROR)
        return Fail(-4);

    irda::SOCKADDR_IRDA address;
    std::memset(&address, 0, sizeof address);
    address.irdaAddressFamily = irda::AF_IRDA;
    std::memcpy(address.irdaDeviceID, printer.irdaDeviceID, sizeof address.irdaDeviceID);
    std::snprintf(address.irdaServiceName, sizeof address.irdaServiceName, "LSAP-SEL%d", lsapSel);

    for (int tries = 0;;) {
        if (CancelledBeforeTry())
            return Fail(kCancelledStatus);
        if (irda::connect(socket, &address, sizeof address) != irda::SOCKET_ERROR)
            break;
        if (++tries >= kConnectTries)
            return Fail(-5);
        if (CancelledDuringPause(kRetryPauseMs))
            return Fail(kCancelledStatus);
    }

    std::int32_t sendSize = 0;
    int sizeLength = sizeof sendSize;
    if (irda::getsockopt(socket, irda::SOL_IRLMP, irda::IRLMP_SEND_PDU_LEN, reinterpret_cast<char*>(&sendSize),
                         &sizeLength)
            == irda::SOCKET_ERROR
        || sendSize <= 0)
        return Fail(-6);
    maxSendSize_ = sendSize;
    return 0;
}

void IrdaPort::Close()
{
    // The writer closes the socket on its way out; a send in progress on
    // an infrared link returns within its own timeout.
    SetState(PortState::Closed);
}

int IrdaPort::Write(const std::uint8_t* bytes, int length)
{
    return QueueBytes(bytes, length, kWriteRetryMs);
}

int IrdaPort::Transmit(const std::uint8_t* bytes, int count)
{
    irda::SOCKET socket = socket_.load();
    int done = 0;
    while (done < count && CheckCancel() == 0 && GetState() == PortState::Open) {
        int sent = irda::send(socket, reinterpret_cast<const char*>(bytes + done), count - done, 0);
        if (sent == irda::SOCKET_ERROR) {
            int error = irda::WSAGetLastError();
            if (error == irda::WSAEDISCON || error == irda::WSAECONNRESET) {
                // The printer went away: the job cannot go on, and the
                // page pipeline tells the user so from the Lost state.
                // What did arrive is counted first, and the state goes to
                // Lost in one step (closing here would only store Closed;
                // the socket is released on the writer's way out), so
                // whoever sees the port leave Open sees the final figures.
                CountSent(done);
                SetState(PortState::Lost);
                return 0;
            }
            // Anything else is the link catching its breath (a body in the
            // beam, a busy printer): try again for as long as it takes.
            PauseWhileOpen(kSendRetryPauseMs);
            continue;
        }
        done += sent;
    }
    return done;
}

void IrdaPort::ReleaseTransport()
{
    irda::SOCKET socket = socket_.exchange(irda::INVALID_SOCKET);
    if (socket != irda::INVALID_SOCKET)
        irda::closesocket(socket);
}

}  // namespace tarvel::ports
