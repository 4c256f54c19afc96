// The ports whose other end is a live printer: a network printer's raw
// socket (against a server on the loopback address that records or
// refuses) and a printer device node (a pseudo-terminal and a FIFO).
// Bytes arrive exactly; a printer that stops reading or goes away is a
// lost connection, and nothing ever blocks for good.
#include "ports/DevicePort.h"
#include "ports/NetworkPort.h"

#include "PortTestSupport.h"
#include "platform/serial/PtyPrinter.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

namespace tarvel::ports {
namespace {

using namespace std::chrono_literals;
using tarvel::test::PtyPrinter;
using test::RandomBytes;
using test::WaitUntil;

// A printer's socket on 127.0.0.1: accepts one connection and records
// everything until the end of it.
class LoopbackPrinter {
public:
    LoopbackPrinter()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        ::listen(listener_, 1);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LoopbackPrinter()
    {
        // Wakes an accept or a read still waiting, so a port that never
        // connects or never hangs up fails its test instead of hanging it.
        ::shutdown(listener_, SHUT_RDWR);
        if (const int peer = peer_.load(); peer >= 0)
            ::shutdown(peer, SHUT_RDWR);
        thread_.join();
        ::close(peer_);
        ::close(listener_);
    }

    std::vector<std::uint8_t> received;
    std::atomic<bool> ended{false};
    int port = 0;

private:
    void Serve()
    {
        peer_ = ::accept(listener_, nullptr, nullptr);
        std::uint8_t buffer[4096];
        for (ssize_t got; peer_ >= 0 && (got = ::read(peer_, buffer, sizeof buffer)) > 0;)
            received.insert(received.end(), buffer, buffer + got);
        ended = true;
    }

    int listener_ = -1;
    std::atomic<int> peer_{-1};
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
    LoopbackPrinter printer;
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

TEST_F(NetworkPortTest, NoPrinterListeningOrNoUsableAddressCannotConnect)
{
    int closedPort = 0;
    {
        LoopbackPrinter gone;
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

TEST_F(DevicePortTest, OnlyAnExistingDeviceOrAFifoWithAReaderIsOpenedAndNothingIsCreatedOrTruncated)
{
    const auto folder = test::ScratchFolder();
    const auto file = folder / "notes.txt", fifo = folder / "lp0";
    std::ofstream(file) << "keep me";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    port.SetTimeouts(200, 300);
    for (const auto& target : {folder / "lp9", file, folder, std::filesystem::path(), fifo})
        EXPECT_EQ(OpenOn(target.string()), -1) << target;
    EXPECT_FALSE(std::filesystem::exists(folder / "lp9"));
    EXPECT_EQ(test::ReadAll(file).size(), 7u);
    // A FIFO is a printer once it has a reader.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_EQ(OpenOn(fifo.string()), 0);
    port.StopWriter();
    ::close(reader);
}

}  // namespace
}  // namespace tarvel::ports
