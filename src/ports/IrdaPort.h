// The infrared port: finds a printer in range, asks its IAS for the IrLPT
// selector, connects in IrLPT mode and sends the print data in pieces no
// larger than the link allows.
#pragma once

#include "ports/OutputPort.h"

#include "platform/irda/Irda.h"

#include <atomic>

namespace tarvel::ports {

class IrdaPort final : public OutputPort {
public:
    static constexpr int kQueueCapacity = 10240;
    // Socket and connect are tried this often, with a pause between tries;
    // discovery looks this many times.
    static constexpr int kSocketTries = 11;
    static constexpr int kConnectTries = 11;
    static constexpr int kDiscoveryTries = 10;
    static constexpr int kRetryPauseMs = 500;
    static constexpr int kSendRetryPauseMs = 300;

    IrdaPort();
    ~IrdaPort() override;

    // 0, or: -1 no socket, -2 discovery failed, -3 nobody in range, -4
    // IrLPT mode refused, -5 connect refused, -6 no send size, -7 no writer
    // thread, -9 the IAS did not give the IrLPT selector, -100 the job was
    // cancelled while connecting.
    int Open() override;
    void Close() override;
    int Write(const std::uint8_t* bytes, int length) override;

    int MaxSendSize() const { return maxSendSize_; }

protected:
    int Transmit(const std::uint8_t* bytes, int count) override;
    void ReleaseTransport() override;

private:
    int Connect();
    // Pumps and checks the cancel flag before a try: true when cancelled.
    bool CancelledBeforeTry();
    // Pauses between tries, pumping; true when cancelled meanwhile.
    bool CancelledDuringPause(int milliseconds);
    int Fail(int status);

    std::atomic<platform::irda::SOCKET> socket_{platform::irda::INVALID_SOCKET};
    int maxSendSize_ = 0;
};

}  // namespace tarvel::ports
