// The common part of the ports whose other end is a live printer on a file
// descriptor we only write to: a network printer's socket and a printer
// device node. The descriptor is non-blocking, so no write can hang the
// writer thread: a printer that stops taking data is waited for with poll,
// watching the port's state and the cancel flag, and after the stall
// timeout it counts as lost, as does any write error (a reset connection,
// an unplugged device). Losing the printer fails the job ("Lost
// connection."); unlike a file, nothing is dropped while the job goes on.
#pragma once

#include "ports/OutputPort.h"

#include <string>

namespace tarvel::ports {

class StreamPort : public OutputPort {
public:
    static constexpr int kQueueCapacity = 8192;
    static constexpr int kChunkSize = 4096;
    // How long Open waits for the printer to answer.
    static constexpr int kConnectTimeoutMs = 5000;
    // How long the printer may take no data before it counts as lost: a
    // printer busy with a page or warming up takes its time.
    static constexpr int kStallTimeoutMs = 60000;

    void Close() override;
    int Write(const std::uint8_t* bytes, int length) override;
    // Shorter waits than the defaults, for tests; call before Open.
    void SetTimeouts(int connectMs, int stallMs);

protected:
    // Status of Open when the job was cancelled while connecting.
    static constexpr int kCancelledStatus = -100;

    // Takes the connected descriptor and starts the writer: 0, or -6 (the
    // descriptor closed again) when no thread can be made.
    int StartStreaming(int descriptor);
    // One attempt to hand bytes over: the write's result and errno.
    virtual long SendSome(int descriptor, const std::uint8_t* bytes, std::size_t count);

    int Transmit(const std::uint8_t* bytes, int count) override;
    void ReleaseTransport() override;

    int connectTimeoutMs_ = kConnectTimeoutMs;
    int stallTimeoutMs_ = kStallTimeoutMs;

private:
    int descriptor_ = -1;
};

}  // namespace tarvel::ports
