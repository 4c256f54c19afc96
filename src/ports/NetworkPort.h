// The port of a network printer's raw socket: connect to host:port over
// TCP, send the job's bytes, close (the port 9100 protocol; the printer
// takes the end of the connection as the end of the job).
#pragma once

#include "ports/StreamPort.h"

#include <string>

struct addrinfo;

namespace tarvel::ports {

// The target of a NetworkPort.
struct NetworkAddress {
    const char* host;  // UTF-8 host name or numeric address
    int port;          // 1 to 65535
};

class NetworkPort final : public StreamPort {
public:
    NetworkPort() = default;
    ~NetworkPort() override;

    // 0; -1 when the host does not resolve or no address of it accepts the
    // connection within the connect timeout; -6 when no writer thread can be
    // started; -100 when the job was cancelled while connecting.
    int Open() override;
    // target: a NetworkAddress, copied; null changes nothing.
    void SetTarget(const void* target) override;

protected:
    long SendSome(int descriptor, const std::uint8_t* bytes, std::size_t count) override;
    std::string TargetName() const override;

private:
    // A non-blocking connect to one address; the connected descriptor or -1.
    int ConnectTo(const ::addrinfo& address, int& status);

    std::string host_;
    int port_ = 0;
};

}  // namespace tarvel::ports
