// The ports whose other end is a live printer: a network printer's raw
// socket (against a server on the loopback address that records, stalls,
// resets or refuses) and a printer device node (a pseudo-terminal and a
// FIFO). Bytes arrive exactly; a printer that stops reading, resets or
// goes away is a lost connection, and nothing ever blocks for good.
#include "ports/DevicePort.h"
#include "ports/NetworkPort.h"

#include "PortTestSupport.h"
#include "platform/serial/PtyPrinter.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tarvel::ports {
namespace {

using namespace std::chrono_literals;
using tarvel::test::PtyPrinter;
using test::RandomBytes;
using test::WaitUntil;

// A printer's socket on 127.0.0.1: accepts one connection and then, by
// behaviour, records everything until the end, reads nothing, or reads
// some and resets the connection.
class LoopbackPrinter {
public:
    enum class Behaviour { Record,
                           Stall,
                           ResetAfter16k };

    explicit LoopbackPrinter(Behaviour behaviour)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // A small receive window makes a stalled printer felt soon.
        const int small = 4096;
        ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        ::listen(listener_, 1);
        thread_ = std::thread([this, behaviour] { Serve(behaviour); });
    }
    ~LoopbackPrinter()
    {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }

    std::vector<std::uint8_t> received;
    std::atomic<bool> ended{false};
    int port = 0;

private:
    void Serve(Behaviour behaviour)
    {
        pollfd waiting{listener_, POLLIN, 0};
        while (!stop_ && ::poll(&waiting, 1, 20) <= 0) {
        }
        if (stop_)
            return;
        const int peer = ::accept(listener_, nullptr, nullptr);
        std::uint8_t buffer[4096];
        while (!stop_ && behaviour != Behaviour::Stall) {
            pollfd readable{peer, POLLIN, 0};
            if (::poll(&readable, 1, 20) <= 0)
                continue;
            const ssize_t got = ::read(peer, buffer, sizeof buffer);
            if (got <= 0)
                break;
            received.insert(received.end(), buffer, buffer + got);
            if (behaviour == Behaviour::ResetAfter16k && received.size() >= 16384) {
                const linger abort{1, 0};
                ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
                break;
            }
        }
        ended = true;
        while (!stop_ && behaviour == Behaviour::Stall)
            std::this_thread::sleep_for(5ms);
        ::close(peer);
    }

    int listener_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// More than any printer's buffers and queues take before it reads.
constexpr std::size_t kLots = std::size_t(64) << 20;

// Writes up to limit bytes in pieces until the port stops taking them;
// returns how many it took.
std::size_t WriteUntilRefused(OutputPort& port, std::size_t limit)
{
    const auto piece = RandomBytes(65536, 9);
    std::size_t taken = 0;
    while (taken < limit) {
        const int got = port.Write(piece.data(), static_cast<int>(piece.size()));
        taken += static_cast<std::size_t>(std::max(got, 0));
        if (got < static_cast<int>(piece.size()))
            break;
    }
    return taken;
}

class NetworkPortTest : public ::testing::Test {
protected:
    int OpenOn(int printerPort, const char* host = "127.0.0.1")
    {
        const NetworkAddress address{host, printerPort};
        port.SetTarget(&address);
        port.Attach(&cancel, nullptr);
        return port.Open();
    }
    std::atomic<std::int32_t> cancel{0};
    NetworkPort port;
};

TEST_F(NetworkPortTest, AJobArrivesByteForByteAndTheConnectionEndsWithIt)
{
    LoopbackPrinter printer(LoopbackPrinter::Behaviour::Record);
    ASSERT_EQ(OpenOn(printer.port), 0);
    const auto job = RandomBytes(300001, 1);
    for (std::size_t at = 0; at < job.size(); at += 7777) {
        const int piece = static_cast<int>(std::min<std::size_t>(7777, job.size() - at));
        ASSERT_EQ(port.Write(job.data() + at, piece), piece);
    }
    EXPECT_EQ(port.Flush(), 1);
    port.StopWriter();
    ASSERT_TRUE(WaitUntil([&] { return printer.ended.load(); }));
    EXPECT_EQ(printer.received, job);
}

TEST_F(NetworkPortTest, APrinterThatStopsReadingOrResetsMidJobIsLost)
{
    using enum LoopbackPrinter::Behaviour;
    for (auto behaviour : {Stall, ResetAfter16k}) {
        SCOPED_TRACE(behaviour == Stall ? "stalls" : "resets");
        LoopbackPrinter printer(behaviour);
        // Only the stalled printer may be found out by the stall timeout.
        port.SetTimeouts(2000, behaviour == Stall ? 300 : StreamPort::kStallTimeoutMs);
        ASSERT_EQ(OpenOn(printer.port), 0);
        EXPECT_LT(WriteUntilRefused(port, kLots), kLots);
        EXPECT_EQ(port.Flush(), 0);
        EXPECT_EQ(port.GetState(), PortState::Lost);
        if (behaviour == ResetAfter16k) {
            ASSERT_TRUE(WaitUntil([&] { return printer.ended.load(); }));
            EXPECT_GE(printer.received.size(), 16384u);
        }
    }
}

TEST_F(NetworkPortTest, NoPrinterListeningOrNoUsableAddressCannotConnect)
{
    int closedPort = 0;
    {
        LoopbackPrinter gone(LoopbackPrinter::Behaviour::Record);
        closedPort = gone.port;
    }
    EXPECT_EQ(OpenOn(closedPort), -1);
    for (int bad : {0, 65536})
        EXPECT_EQ(OpenOn(bad), -1);
    for (const char* host : {"", "not an address"})
        EXPECT_EQ(OpenOn(9100, host), -1);
    EXPECT_EQ(port.Write(nullptr, 5), 0);
}

class DevicePortTest : public ::testing::Test {
protected:
    int OpenOn(const std::string& path)
    {
        port.SetTarget(path.c_str());
        port.Attach(&cancel, nullptr);
        return port.Open();
    }
    std::atomic<std::int32_t> cancel{0};
    DevicePort port;
};

TEST_F(DevicePortTest, BytesReachAPrinterOnATerminalLineUntranslated)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.Ready());
    ASSERT_EQ(OpenOn(printer.Path()), 0);
    // Line feeds, carriage returns and flow-control bytes all pass as they are.
    auto job = RandomBytes(100000, 3);
    job[0] = '\n';
    job[1] = 0x13;
    std::vector<std::uint8_t> received;
    std::thread reader([&] { received = printer.Read(job.size()); });
    EXPECT_EQ(port.Write(job.data(), static_cast<int>(job.size())), static_cast<int>(job.size()));
    EXPECT_EQ(port.Flush(), 1);
    reader.join();
    EXPECT_EQ(received, job);
}

TEST_F(DevicePortTest, APrinterThatStopsReadingOrIsUnpluggedIsLostAndCancelEndsTheWaitSooner)
{
    for (bool unplugged : {false, true}) {
        SCOPED_TRACE(unplugged ? "unplugged" : "stops reading");
        PtyPrinter printer;
        // An unplugged printer must be found out by its failing writes
        // (EIO, as an unplugged USB printer's node gives), not by a stall.
        port.SetTimeouts(1000, unplugged ? StreamPort::kStallTimeoutMs : 300);
        ASSERT_EQ(OpenOn(printer.Path()), 0);
        if (unplugged)
            printer.CloseMaster();
        EXPECT_LT(WriteUntilRefused(port, kLots), kLots);
        EXPECT_EQ(port.GetState(), PortState::Lost);
    }
    PtyPrinter printer;
    port.SetTimeouts(1000, 600000);
    ASSERT_EQ(OpenOn(printer.Path()), 0);
    std::thread user([&] {
        std::this_thread::sleep_for(200ms);
        cancel = 1;
    });
    EXPECT_LT(WriteUntilRefused(port, kLots), kLots);
    user.join();
    EXPECT_NE(port.GetState(), PortState::Open);
}

TEST_F(DevicePortTest, AFifoIsAPrinterOnceItHasAReader)
{
    const std::string fifo = (test::ScratchFolder() / "lp0").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    port.SetTimeouts(200, 300);
    EXPECT_EQ(OpenOn(fifo), -1) << "no reader came";
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_EQ(OpenOn(fifo), 0);
    port.StopWriter();
    ::close(reader);
}

TEST_F(DevicePortTest, OnlyAnExistingDeviceOrFifoIsOpenedAndNothingIsCreatedOrTruncated)
{
    const auto folder = test::ScratchFolder();
    const auto file = folder / "notes.txt";
    std::ofstream(file) << "keep me";
    for (const auto& target : {folder / "lp9", file, folder, std::filesystem::path()})
        EXPECT_EQ(OpenOn(target.string()), -1) << target;
    EXPECT_FALSE(std::filesystem::exists(folder / "lp9"));
    EXPECT_EQ(test::ReadAll(file).size(), 7u);
}

}  // namespace
}  // namespace tarvel::ports
