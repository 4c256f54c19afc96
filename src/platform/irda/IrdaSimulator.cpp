#include "platform/irda/IrdaSimulator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tarvel::platform::irda {

namespace {

constexpr char kIrLptClass[] = "IrLPT";
constexpr char kLsapSelAttribute[] = "IrDA:IrLMP:LsapSel";

int Fail(int& error, int code)
{
    error = code;
    return SOCKET_ERROR;
}

// A fixed-size name field, read only up to its end even without a NUL.
std::string FieldText(const char* field, std::size_t size)
{
    return std::string(field, strnlen(field, size));
}

}  // namespace

IrdaSimulator::IrdaSimulator()
{
    devices_.push_back(SimulatedDevice{});
}

void IrdaSimulator::SetDevices(std::vector<SimulatedDevice> devices)
{
    std::lock_guard guard(lock_);
    devices_ = std::move(devices);
}

void IrdaSimulator::FailSockets(int count)
{
    std::lock_guard guard(lock_);
    socketFailures_ = count;
}

void IrdaSimulator::FailEnumeration(bool fail)
{
    std::lock_guard guard(lock_);
    enumerationFails_ = fail;
}

void IrdaSimulator::HideDevicesFor(int enumerations)
{
    std::lock_guard guard(lock_);
    hiddenEnumerations_ = std::max(enumerations, 0);
}

void IrdaSimulator::FailIasQuery(bool fail)
{
    std::lock_guard guard(lock_);
    iasFails_ = fail;
}

void IrdaSimulator::RefuseIrLptMode(bool refuse)
{
    std::lock_guard guard(lock_);
    irLptRefused_ = refuse;
}

void IrdaSimulator::RefuseConnects(int count)
{
    std::lock_guard guard(lock_);
    connectRefusals_ = count;
}

void IrdaSimulator::SetSendPduLength(int length)
{
    std::lock_guard guard(lock_);
    sendPduLength_ = length;
}

void IrdaSimulator::LimitSendSize(int bytes)
{
    std::lock_guard guard(lock_);
    sendLimit_ = std::max(bytes, 0);
}

void IrdaSimulator::DisconnectAfter(long long bytes, int error)
{
    std::lock_guard guard(lock_);
    disconnectAfter_ = bytes;
    disconnectError_ = error;
}

void IrdaSimulator::FailSends(int count, int error)
{
    std::lock_guard guard(lock_);
    sendFailures_ = count;
    sendFailureError_ = error;
}

void IrdaSimulator::StoreReceivedIn(const std::filesystem::path& file)
{
    std::lock_guard guard(lock_);
    storeFile_ = file;
}

std::vector<std::uint8_t> IrdaSimulator::Received() const
{
    std::lock_guard guard(lock_);
    return received_;
}

std::vector<int> IrdaSimulator::SendSizes() const
{
    std::lock_guard guard(lock_);
    return sendSizes_;
}

std::string IrdaSimulator::ConnectedService() const
{
    std::lock_guard guard(lock_);
    return connectedService_;
}

std::array<BYTE, 4> IrdaSimulator::ConnectedDevice() const
{
    std::lock_guard guard(lock_);
    return connectedDevice_;
}

int IrdaSimulator::SocketCalls() const
{
    std::lock_guard guard(lock_);
    return socketCalls_;
}

int IrdaSimulator::EnumerationCalls() const
{
    std::lock_guard guard(lock_);
    return enumerationCalls_;
}

int IrdaSimulator::ConnectCalls() const
{
    std::lock_guard guard(lock_);
    return connectCalls_;
}

int IrdaSimulator::FailedSendCalls() const
{
    std::lock_guard guard(lock_);
    return failedSends_;
}

int IrdaSimulator::OpenSockets() const
{
    std::lock_guard guard(lock_);
    return static_cast<int>(sockets_.size());
}

bool IrdaSimulator::IrLptModeSet() const
{
    std::lock_guard guard(lock_);
    return irLptModeSet_;
}

IrdaSimulator::SimSocket* IrdaSimulator::FindSocket(SOCKET socket)
{
    auto found = std::find_if(sockets_.begin(), sockets_.end(),
                              [socket](const SimSocket& s) { return s.id == socket; });
    return found == sockets_.end() ? nullptr : &*found;
}

const SimulatedDevice* IrdaSimulator::FindDevice(const BYTE* id) const
{
    for (const SimulatedDevice& device : devices_)
        if (std::memcmp(device.id.data(), id, 4) == 0)
            return &device;
    return nullptr;
}

SOCKET IrdaSimulator::Socket(int family, int type, int protocol, int& error)
{
    std::lock_guard guard(lock_);
    ++socketCalls_;
    if (family != AF_IRDA) {
        error = WSAEAFNOSUPPORT;
        return INVALID_SOCKET;
    }
    if (type != SOCK_STREAM || protocol != 0) {
        error = WSAEINVAL;
        return INVALID_SOCKET;
    }
    if (socketFailures_ != 0) {
        if (socketFailures_ > 0)
            --socketFailures_;
        error = WSAENETDOWN;
        return INVALID_SOCKET;
    }
    sockets_.push_back(SimSocket{nextSocket_++});
    return sockets_.back().id;
}

int IrdaSimulator::CloseSocket(SOCKET socket, int& error)
{
    std::lock_guard guard(lock_);
    auto found = std::find_if(sockets_.begin(), sockets_.end(),
                              [socket](const SimSocket& s) { return s.id == socket; });
    if (found == sockets_.end())
        return Fail(error, WSAENOTSOCK);
    sockets_.erase(found);
    return 0;
}

int IrdaSimulator::Connect(SOCKET socket, const SOCKADDR_IRDA* address, int length, int& error)
{
    std::lock_guard guard(lock_);
    ++connectCalls_;
    SimSocket* s = FindSocket(socket);
    if (!s)
        return Fail(error, WSAENOTSOCK);
    if (!address || length < static_cast<int>(sizeof(SOCKADDR_IRDA)) || address->irdaAddressFamily != AF_IRDA)
        return Fail(error, WSAEFAULT);
    if (connectRefusals_ != 0) {
        if (connectRefusals_ > 0)
            --connectRefusals_;
        return Fail(error, WSAECONNREFUSED);
    }
    const SimulatedDevice* device = FindDevice(address->irdaDeviceID);
    if (!device)
        return Fail(error, WSAETIMEDOUT);
    std::string service = FieldText(address->irdaServiceName, sizeof address->irdaServiceName);
    // An IrLPT printer listens only on its selector, and only for a socket
    // in IrLPT mode; anything else is turned away like a wrong number.
    if (!device->hasIrLpt || !s->irLpt || service != "LSAP-SEL" + std::to_string(device->lsapSel))
        return Fail(error, WSAECONNREFUSED);
    s->connected = true;
    connectedService_ = service;
    connectedDevice_ = device->id;
    return 0;
}

int IrdaSimulator::Send(SOCKET socket, const char* bytes, int length, int, int& error)
{
    std::lock_guard guard(lock_);
    SimSocket* s = FindSocket(socket);
    if (!s)
        return Fail(error, WSAENOTSOCK);
    if (!s->connected)
        return Fail(error, WSAENOTCONN);
    if (!bytes || length < 0)
        return Fail(error, WSAEFAULT);
    if (disconnectAfter_ >= 0 && static_cast<long long>(received_.size()) >= disconnectAfter_) {
        ++failedSends_;
        return Fail(error, disconnectError_);
    }
    if (sendFailures_ > 0) {
        --sendFailures_;
        ++failedSends_;
        return Fail(error, sendFailureError_);
    }
    int taken = length;
    if (sendLimit_ > 0)
        taken = std::min(taken, sendLimit_);
    if (disconnectAfter_ >= 0)
        taken = static_cast<int>(std::min<long long>(taken, disconnectAfter_ - static_cast<long long>(received_.size())));
    received_.insert(received_.end(), bytes, bytes + taken);
    sendSizes_.push_back(length);
    if (!storeFile_.empty()) {
        if (std::FILE* file = std::fopen(storeFile_.c_str(), "ab")) {
            std::fwrite(bytes, 1, static_cast<std::size_t>(taken), file);
            std::fclose(file);
        }
    }
    return taken;
}

int IrdaSimulator::GetSockOpt(SOCKET socket, int level, int name, char* value, int* length, int& error)
{
    std::lock_guard guard(lock_);
    if (!FindSocket(socket))
        return Fail(error, WSAENOTSOCK);
    if (level != SOL_IRLMP)
        return Fail(error, WSAENOPROTOOPT);
    if (!value || !length)
        return Fail(error, WSAEFAULT);
    switch (name) {
    case IRLMP_ENUMDEVICES: {
        ++enumerationCalls_;
        if (enumerationFails_)
            return Fail(error, WSAENETDOWN);
        if (*length < static_cast<int>(sizeof(ULONG)))
            return Fail(error, WSAEFAULT);
        bool visible = hiddenEnumerations_ == 0;
        if (hiddenEnumerations_ > 0)
            --hiddenEnumerations_;
        std::size_t room = (static_cast<std::size_t>(*length) - sizeof(ULONG)) / sizeof(IRDA_DEVICE_INFO);
        std::size_t count = visible ? std::min(room, devices_.size()) : 0;
        ULONG reported = static_cast<ULONG>(count);
        std::memcpy(value, &reported, sizeof reported);
        for (std::size_t i = 0; i < count; ++i) {
            IRDA_DEVICE_INFO info{};
            std::memcpy(info.irdaDeviceID, devices_[i].id.data(), 4);
            std::strncpy(info.irdaDeviceName, devices_[i].name.c_str(), sizeof info.irdaDeviceName - 1);
            std::memcpy(value + sizeof(ULONG) + i * sizeof info, &info, sizeof info);
        }
        *length = static_cast<int>(sizeof(ULONG) + count * sizeof(IRDA_DEVICE_INFO));
        return 0;
    }
    case IRLMP_IAS_QUERY: {
        if (*length < static_cast<int>(sizeof(IAS_QUERY)))
            return Fail(error, WSAEFAULT);
        IAS_QUERY query;
        std::memcpy(&query, value, sizeof query);
        const SimulatedDevice* device = FindDevice(query.irdaDeviceID);
        if (iasFails_ || !device || !device->hasIrLpt
            || FieldText(query.irdaClassName, sizeof query.irdaClassName) != kIrLptClass
            || FieldText(query.irdaAttribName, sizeof query.irdaAttribName) != kLsapSelAttribute)
            return Fail(error, WSAECONNREFUSED);
        query.irdaAttribType = IAS_ATTRIB_INT;
        query.irdaAttribute.irdaAttribInt = device->lsapSel;
        std::memcpy(value, &query, sizeof query);
        return 0;
    }
    case IRLMP_SEND_PDU_LEN: {
        if (*length < static_cast<int>(sizeof(std::int32_t)))
            return Fail(error, WSAEFAULT);
        SimSocket* s = FindSocket(socket);
        if (!s->connected || sendPduLength_ < 0)
            return Fail(error, WSAENOTCONN);
        std::int32_t size = sendPduLength_;
        std::memcpy(value, &size, sizeof size);
        *length = sizeof size;
        return 0;
    }
    default:
        return Fail(error, WSAENOPROTOOPT);
    }
}

int IrdaSimulator::SetSockOpt(SOCKET socket, int level, int name, const char* value, int length, int& error)
{
    std::lock_guard guard(lock_);
    SimSocket* s = FindSocket(socket);
    if (!s)
        return Fail(error, WSAENOTSOCK);
    if (level != SOL_IRLMP || name != IRLMP_IRLPT_MODE)
        return Fail(error, WSAENOPROTOOPT);
    if (!value || length < static_cast<int>(sizeof(std::int32_t)))
        return Fail(error, WSAEFAULT);
    if (irLptRefused_)
        return Fail(error, WSAEINVAL);
    std::int32_t on = 0;
    std::memcpy(&on, value, sizeof on);
    s->irLpt = on != 0;
    irLptModeSet_ = s->irLpt;
    return 0;
}

}  // namespace tarvel::platform::irda
