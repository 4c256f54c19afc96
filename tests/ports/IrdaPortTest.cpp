#include "ports/IrdaPort.h"

#include "PortTestSupport.h"
#include "platform/irda/IrdaSimulator.h"
#include "platform/system/System.h"

namespace tarvel::ports {
namespace {

using namespace std::chrono_literals;
using namespace tarvel::platform::irda;

class IrdaPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        simulator = std::make_shared<IrdaSimulator>();
        UseIrdaBackend(simulator);
        port = std::make_unique<IrdaPort>();
        port->Attach(&cancel, nullptr);
    }
    void TearDown() override
    {
        port.reset();
        EXPECT_EQ(WsaUsers(), 0) << "every port cleans up the sockets library it started";
        UseIrdaBackend(nullptr);
        platform::PretendThreadCreationFails(false);
    }
    // Expects Open to fail with status, leaving the port Closed and no
    // socket behind.
    void ExpectOpenFails(int status)
    {
        EXPECT_EQ(port->Open(), status);
        EXPECT_EQ(port->GetState(), PortState::Closed);
        EXPECT_EQ(simulator->OpenSockets(), 0);
    }

    std::shared_ptr<IrdaSimulator> simulator;
    std::unique_ptr<IrdaPort> port;
    std::atomic<std::int32_t> cancel{0};
};

TEST_F(IrdaPortTest, APageGoesOutInSendsOfTheLinkSizeWithTheTailAtFlush)
{
    // Only the first device in range is tried.
    SimulatedDevice first;
    first.id = {1, 2, 3, 4};
    first.lsapSel = 5;
    SimulatedDevice second;
    second.id = {9, 9, 9, 9};
    simulator->SetDevices({first, second});
    simulator->SetSendPduLength(2048);
    ASSERT_EQ(port->Open(), 0);
    EXPECT_EQ(simulator->ConnectedDevice(), first.id);
    EXPECT_EQ(simulator->ConnectedService(), "LSAP-SEL5");
    EXPECT_TRUE(simulator->IrLptModeSet());

    auto page = test::RandomBytes(5000, 31);
    ASSERT_EQ(port->Write(page.data(), 5000), 5000);
    ASSERT_TRUE(test::WaitUntil([&] { return port->GetBytesSent() == 4096u; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(simulator->SendSizes(), (std::vector<int>{2048, 2048}));
    EXPECT_EQ(port->Flush(), 1);
    EXPECT_EQ(simulator->SendSizes(), (std::vector<int>{2048, 2048, 904}));
    EXPECT_EQ(simulator->Received(), page);
    port->Close();
    EXPECT_TRUE(test::WaitUntil([&] { return simulator->OpenSockets() == 0; }));

    // A first device without IrLPT is not passed over for the second.
    first.hasIrLpt = false;
    simulator->SetDevices({first, second});
    ExpectOpenFails(-9);
}

TEST_F(IrdaPortTest, EachStepIsRetriedUntilItComesOrHasItsStatusWhenItNeverDoesOrFailsAtOnce)
{
    simulator->FailSockets(2);
    simulator->HideDevicesFor(2);
    simulator->RefuseConnects(2);
    ASSERT_EQ(port->Open(), 0);
    EXPECT_EQ(simulator->SocketCalls(), 3);
    EXPECT_EQ(simulator->EnumerationCalls(), 3);
    EXPECT_EQ(simulator->ConnectCalls(), 3);

    // Retried steps give up after their count of tries.
    simulator = std::make_shared<IrdaSimulator>();
    UseIrdaBackend(simulator);
    simulator->FailSockets(-1);
    ExpectOpenFails(-1);
    EXPECT_EQ(simulator->SocketCalls(), 11);
    simulator->FailSockets(0);
    simulator->SetDevices({});
    ExpectOpenFails(-3);
    EXPECT_EQ(simulator->EnumerationCalls(), 10);
    simulator->SetDevices({SimulatedDevice{}});
    simulator->RefuseConnects(-1);
    ExpectOpenFails(-5);
    EXPECT_EQ(simulator->ConnectCalls(), 11);
    simulator->RefuseConnects(0);

    // Steps that fail at once are not retried.
    int enumerations = simulator->EnumerationCalls();
    simulator->FailEnumeration(true);
    ExpectOpenFails(-2);
    EXPECT_EQ(simulator->EnumerationCalls(), enumerations + 1);
    simulator->FailEnumeration(false);
    simulator->RefuseIrLptMode(true);
    ExpectOpenFails(-4);
    simulator->RefuseIrLptMode(false);
    simulator->FailIasQuery(true);
    ExpectOpenFails(-9);
    simulator->FailIasQuery(false);
    for (int pdu : {0, -1}) {
        simulator->SetSendPduLength(pdu);
        ExpectOpenFails(-6);
    }
    simulator->SetSendPduLength(512);
    platform::PretendThreadCreationFails(true);
    ExpectOpenFails(-7);
    platform::PretendThreadCreationFails(false);
    EXPECT_EQ(port->Open(), 0);
}

TEST_F(IrdaPortTest, CancelWhileConnectTriesRunIsMinusHundredAtTheNextTry)
{
    simulator->RefuseConnects(-1);
    std::thread canceller = test::CancelWhen(cancel, [&] { return simulator->ConnectCalls() >= 2; });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port->Open(), -100);
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(simulator->OpenSockets(), 0);
    EXPECT_LE(simulator->ConnectCalls(), 3);
}

TEST_F(IrdaPortTest, APrinterSwitchedOffMidPageLosesTheConnection)
{
    for (int error : {WSAECONNRESET, WSAEDISCON}) {
        SCOPED_TRACE(error);
        simulator = std::make_shared<IrdaSimulator>();
        UseIrdaBackend(simulator);
        simulator->DisconnectAfter(3000, error);
        ASSERT_EQ(port->Open(), 0);
        auto page = test::RandomBytes(10000, 32);
        port->Write(page.data(), 10000);
        EXPECT_EQ(port->Flush(), 0);
        EXPECT_EQ(port->GetState(), PortState::Lost);
        EXPECT_EQ(simulator->Received(), std::vector<std::uint8_t>(page.begin(), page.begin() + 3000));
        std::uint8_t more[10] = {};
        EXPECT_EQ(port->Write(more, 10), 0);
        EXPECT_TRUE(test::WaitUntil([&] { return simulator->OpenSockets() == 0; }));
    }
}

TEST_F(IrdaPortTest, OtherSendErrorsAndShortSendsAreRetriedWithoutLoss)
{
    simulator->FailSends(4, WSAEWOULDBLOCK);
    simulator->LimitSendSize(700);
    ASSERT_EQ(port->Open(), 0);
    auto page = test::RandomBytes(7000, 33);
    ASSERT_EQ(port->Write(page.data(), 7000), 7000);
    EXPECT_EQ(port->Flush(), 1);
    EXPECT_EQ(simulator->Received(), page);
    EXPECT_EQ(simulator->FailedSendCalls(), 4);
}

TEST_F(IrdaPortTest, CancelWhileWriteWaitsForRoomEndsWriteShortAndFlushWithZero)
{
    simulator->FailSends(1 << 30, WSAEWOULDBLOCK);
    ASSERT_EQ(port->Open(), 0);
    std::thread canceller = test::CancelWhen(cancel, [&] { return simulator->FailedSendCalls() >= 2; });
    auto document = test::RandomBytes(100000, 34);
    int written = port->Write(document.data(), 100000);
    canceller.join();
    EXPECT_GE(written, IrdaPort::kQueueCapacity);
    EXPECT_LT(written, 100000);
    EXPECT_EQ(port->Flush(), 0);
    EXPECT_TRUE(simulator->Received().empty());
}

}  // namespace
}  // namespace tarvel::ports
