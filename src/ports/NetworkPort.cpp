#include "ports/NetworkPort.h"

#include <cerrno>
#include <chrono>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvel::ports {

NetworkPort::~NetworkPort()
{
    StopWriter();
    ReleaseTransport();
}

void NetworkPort::SetTarget(const void* target)
{
    if (!target)
        return;
    const auto* address = static_cast<const NetworkAddress*>(target);
    host_ = address->host ? address->host : "";
    port_ = address->port;
}

std::string NetworkPort::TargetName() const
{
    return host_ + ":" + std::to_string(port_);
}

int NetworkPort::Open()
{
    BeginOpen(true);
    if (host_.empty() || port_ < 1 || port_ > 65535) {
        SetState(PortState::Closed);
        return -1;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    addrinfo* addresses = nullptr;
    // FIXME: the name lookup blocks; a numeric address never waits, a name
    // waits as long as the resolver does without the window painting.
    const std::string service = std::to_string(port_);
    if (::getaddrinfo(host_.c_str(), service.c_str(), &hints, &addresses) != 0 || !addresses) {
        SetState(PortState::Closed);
        return -1;
    }
    int status = -1;
    int descriptor = -1;
    for (const addrinfo* a = addresses; a && descriptor < 0 && status != kCancelledStatus; a = a->ai_next)
        descriptor = ConnectTo(*a, status);
    ::freeaddrinfo(addresses);
    if (descriptor < 0) {
        SetState(PortState::Closed);
        return status;
    }
    // Printer data is a stream of large writes; there is nothing to gain
    // from delaying a small tail, which is the end of a page.
    const int on = 1;
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return StartStreaming(descriptor);
}

int NetworkPort::ConnectTo(const addrinfo& address, int& status)
{
    const int descriptor = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                    address.ai_protocol);
    if (descriptor < 0)
        return -1;
    if (::connect(descriptor, address.ai_addr, address.ai_addrlen) == 0)
        return descriptor;
    if (errno != EINPROGRESS) {
        ::close(descriptor);
        return -1;
    }
    // The connection completes on the kernel's side while the progress
    // window keeps painting and Cancel is watched.
    auto answered = [&] {
        pollfd done{descriptor, POLLOUT, 0};
        return ::poll(&done, 1, 0) > 0 || CancelRequested();
    };
    if (!WaitPumping(answered, connectTimeoutMs_) || CancelRequested()) {
        if (CancelRequested())
            status = kCancelledStatus;
        ::close(descriptor);
        return -1;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

long NetworkPort::SendSome(int descriptor, const std::uint8_t* bytes, std::size_t count)
{
    // A reset peer must be an error, never a SIGPIPE.
    return static_cast<long>(::send(descriptor, bytes, count, MSG_NOSIGNAL));
}

}  // namespace tarvel::ports
