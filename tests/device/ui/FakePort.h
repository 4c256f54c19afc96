// A port whose state the test moves by hand; bytes really pass through
// the port's writer thread, so the count a window shows is the port's own.
#pragma once

#include "ports/OutputPort.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvel::test {

class FakePort final : public ports::OutputPort {
public:
    ~FakePort() override { StopWriter(); }

    // Stays Connecting until the test says the printer answered.
    int Open() override
    {
        BeginOpen(false);
        return 0;
    }
    void Close() override { SetState(ports::PortState::Closed); }
    int Write(const std::uint8_t* bytes, int length) override { return QueueBytes(bytes, length, 5); }

    void Connect() { ASSERT_TRUE(StartWriter(4096, {4096, 5})); }
    void Send(int count)
    {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count), 0x1B);
        ASSERT_EQ(Write(bytes.data(), count), count);
        ASSERT_EQ(Flush(), 1);
    }
    void Lose() { ASSERT_TRUE(ChangeState(ports::PortState::Open, ports::PortState::Lost)); }

protected:
    int Transmit(const std::uint8_t*, int count) override { return count; }
    void ReleaseTransport() override { }
};

}  // namespace tarvel::test
