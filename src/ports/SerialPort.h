// The port for COM1 to COM8: a printer on a serial cable, or one reached
// through the IrCOMM driver's virtual COM port. Which COM number is IrCOMM
// is read from the machine-wide settings at every Open; a cable port is set
// to 57600 baud 8N1 with DTR and RTS raised, the IrCOMM port is used as its
// driver set it. A line that hangs up is a lost connection; a printer that
// stops reading costs each chunk its attempts, and what is dropped then is
// recorded and reported (GetDataLoss) while the job goes on.
#pragma once

#include "ports/OutputPort.h"

#include <algorithm>
#include <atomic>
#include <string>

namespace tarvel::ports {

class SerialPort final : public OutputPort {
public:
    static constexpr int kQueueCapacity = 5120;
    static constexpr int kChunkSize = 5120;
    static constexpr int kBaudRate = 57600;
    // A chunk gets this many attempts: a write that returns counts one, a
    // failing write two (and a pause), so five failures give a chunk up.
    static constexpr int kMaxAttempts = 10;
    static constexpr int kFailurePauseMs = 500;

    SerialPort() = default;
    ~SerialPort() override;

    // 0; -1 when the COM device cannot be opened; -3 when the line refuses
    // the settings; -4 when it refuses the timeouts; -6 when no writer
    // thread can be started.
    int Open() override;
    // Only an Open port changes: it becomes Closed and a transfer in
    // progress is cut short.
    void Close() override;
    int Write(const std::uint8_t* bytes, int length) override;
    // target: a 32-bit COM number (1 to 8); -1 means the IrCOMM port.
    void SetTarget(const void* target) override;

    int PortNumber() const { return portNumber_; }

protected:
    int Transmit(const std::uint8_t* bytes, int count) override;
    void ReleaseTransport() override;
    std::string TargetName() const override;

private:
    int portNumber_ = -1;
    // The line the last Open used, as the loss message names it.
    std::string lineName_;
    // Read by Close on the application thread while the writer owns it.
    std::atomic<HANDLE> comHandle_{nullptr};
};

// How one chunk goes out on a serial line: write(bytes, count, &written)
// is one WriteFile, mayGoOn() says whether the job and the port still
// want the bytes, pause(ms) sleeps after a failed write. Returns the bytes
// written; the rest of the chunk is dropped once the attempts run out.
template <typename WriteFn, typename GoOnFn, typename PauseFn>
int TransmitSerialChunk(const std::uint8_t* bytes, int count, WriteFn write, GoOnFn mayGoOn, PauseFn pause)
{
    int done = 0;
    int attempts = 0;
    while (done < count && attempts < SerialPort::kMaxAttempts && mayGoOn()) {
        DWORD written = 0;
        if (write(bytes + done, static_cast<DWORD>(count - done), &written)) {
            // A timed-out write reports 0 bytes and still uses its attempt,
            // so a printer that stopped reading costs a bounded time.
            done += static_cast<int>(std::min<DWORD>(written, static_cast<DWORD>(count - done)));
            attempts += 1;
        } else {
            pause(SerialPort::kFailurePauseMs);
            attempts += 2;
        }
    }
    return done;
}

}  // namespace tarvel::ports
