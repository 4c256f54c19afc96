#include "ports/IrdaPort.h"

#include "PortTestSupport.h"
#include "platform/irda/IrdaSimulator.h"
#include "platform/system/System.h"

#include <functional>

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
    simulator->FailSockets(1);
    simulator->HideDevicesFor(1);
    simulator->RefuseConnects(1);
    ASSERT_EQ(port->Open(), 0);
    EXPECT_EQ(simulator->SocketCalls(), 2);
    EXPECT_EQ(simulator->EnumerationCalls(), 2);
    EXPECT_EQ(simulator->ConnectCalls(), 2);

    // On a fresh link each time: retried steps give up after their count of
    // tries, the others fail at once.
    const struct {
        std::function<void(IrdaSimulator&)> fault;
        int status;
        int (IrdaSimulator::*calls)() const;
        int tries;
    } failures[] = {
        {[](IrdaSimulator& s) { s.FailSockets(-1); }, -1, &IrdaSimulator::SocketCalls, 11},
        {[](IrdaSimulator& s) { s.SetDevices({}); }, -3, &IrdaSimulator::EnumerationCalls, 10},
        {[](IrdaSimulator& s) { s.RefuseConnects(-1); }, -5, &IrdaSimulator::ConnectCalls, 11},
        {[](IrdaSimulator& s) { s.FailEnumeration(true); }, -2, &IrdaSimulator::EnumerationCalls, 1},
        {[](IrdaSimulator& s) { s.RefuseIrLptMode(true); }, -4, nullptr, 0},
        {[](IrdaSimulator& s) { s.FailIasQuery(true); }, -9, nullptr, 0},
        {[](IrdaSimulator& s) { s.SetSendPduLength(-1); }, -6, nullptr, 0},
        {[](IrdaSimulator&) { platform::PretendThreadCreationFails(true); }, -7, nullptr, 0},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.status);
        simulator = std::make_shared<IrdaSimulator>();
        UseIrdaBackend(simulator);
        failure.fault(*simulator);
        ExpectOpenFails(failure.status);
        EXPECT_EQ(failure.calls ? ((*simulator).*failure.calls)() : 0, failure.tries);
    }
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

// A printer switched off mid-page loses the connection with what it took;
// other send errors and short sends are retried without loss.
TEST_F(IrdaPortTest, ASwitchedOffPrinterIsALostConnectionAndOtherSendTroubleIsRetried)
{
    const struct {
        int error;
        int flushed;
        std::size_t received;
    } cases[] = {{WSAECONNRESET, 0, 3000}, {WSAEDISCON, 0, 3000}, {WSAEWOULDBLOCK, 1, 10000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        simulator = std::make_shared<IrdaSimulator>();
        UseIrdaBackend(simulator);
        if (c.flushed) {
            simulator->FailSends(4, c.error);
            simulator->LimitSendSize(700);
        } else {
            simulator->DisconnectAfter(3000, c.error);
        }
        ASSERT_EQ(port->Open(), 0);
        auto page = test::RandomBytes(10000, 32);
        // Whether the whole page is queued before a switch-off is found
        // depends on the writer thread; a retried page is taken whole.
        const int written = port->Write(page.data(), 10000);
        EXPECT_EQ(port->Flush(), c.flushed);
        EXPECT_EQ(simulator->Received(), std::vector<std::uint8_t>(page.begin(), page.begin() + c.received));
        if (c.flushed) {
            EXPECT_EQ(written, 10000);
            EXPECT_EQ(simulator->FailedSendCalls(), 4);
            continue;
        }
        EXPECT_EQ(port->GetState(), PortState::Lost);
        std::uint8_t more[10] = {};
        EXPECT_EQ(port->Write(more, 10), 0);
        EXPECT_TRUE(test::WaitUntil([&] { return simulator->OpenSockets() == 0; }));
    }
}

}  // namespace
}  // namespace tarvel::ports
