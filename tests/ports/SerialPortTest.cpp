#include "ports/SerialPort.h"

#include "PortTestSupport.h"
#include "platform/serial/PtyPrinter.h"
#include "platform/serial/Serial.h"
#include "platform/system/System.h"

#include <algorithm>
#include <utility>

namespace tarvel::ports {
namespace {

using namespace std::chrono_literals;
using tarvel::test::PtyPrinter;

// The transmit rule on its own, against a line that behaves as told.
struct FakeLine {
    std::vector<int> results;  // per call: bytes taken, or -1 for a failure
    std::size_t calls = 0;
    int paused = 0;
    int Transmit(int count, int stopAfterCalls = 1000)
    {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
        return TransmitSerialChunk(
            bytes.data(), count,
            [this](const std::uint8_t*, DWORD n, DWORD* written) {
                int result = results[std::min(calls, results.size() - 1)];
                ++calls;
                if (result < 0)
                    return false;
                *written = std::min<DWORD>(n, static_cast<DWORD>(result));
                return true;
            },
            [this, stopAfterCalls] { return calls < static_cast<std::size_t>(stopAfterCalls); },
            [this](int ms) { paused += ms; });
    }
};

// A write counts one attempt, a failure two and half a second; after ten
// attempts the rest of the chunk is dropped.
TEST(SerialTransmitRule, AttemptsAndPausesBoundWhatOneChunkSends)
{
    struct Case {
        const char* name;
        std::vector<int> results;
        int count;
        int stopAfterCalls;
        int sent;
        std::size_t calls;
        int paused;
    };
    const Case cases[] = {
        {"pieces of 512", {512}, 5120, 1000, 5120, 10, 0},
        {"pieces of 500", {500}, 5120, 1000, 5000, 10, 0},
        {"timed out", {0}, 5120, 1000, 0, 10, 0},
        {"fast", {100000}, 904, 1000, 904, 1, 0},
        {"cancelled", {100}, 5120, 3, 300, 3, 0},
        {"dead", {-1}, 5120, 1000, 0, 5, 2500},
        // Attempts after each call: 2, 3, 5, 6, 8, 9, 10.
        {"mixed", {-1, 1000, -1, 1000, -1, 1000, 1000, 1000}, 5120, 1000, 4000, 7, 1500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeLine line{c.results};
        EXPECT_EQ(line.Transmit(c.count, c.stopAfterCalls), c.sent);
        EXPECT_EQ(line.calls, c.calls);
        EXPECT_EQ(line.paused, c.paused);
    }
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tarvel::test::ForgetSerialSettings();
        ASSERT_TRUE(printer.Ready());
        tarvel::test::MapComPort(1, printer.Path());
    }
    void TearDown() override
    {
        platform::PretendThreadCreationFails(false);
        platform::PretendLineRefuses(platform::LineRefusal::None);
        platform::CapWriteTimeout(std::nullopt);
        tarvel::test::ForgetSerialSettings();
    }
    std::unique_ptr<SerialPort> MakePort(std::int32_t number)
    {
        auto port = std::make_unique<SerialPort>();
        port->SetTarget(&number);
        port->Attach(&cancel, nullptr);
        return port;
    }
    PtyPrinter printer;
    std::atomic<std::int32_t> cancel{0};
};

TEST_F(SerialPortTest, ACablePortRunsAt57600Baud8N1WithDtrAndRtsAndCarriesEveryByte)
{
    auto port = MakePort(1);
    ASSERT_EQ(port->Open(), 0);
    termios tio = printer.Settings();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B57600));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF));
    EXPECT_FALSE(tio.c_oflag & OPOST);
    EXPECT_EQ(platform::ModemLinesRequested(printer.Path()), platform::kModemDtr | platform::kModemRts);

    auto page = test::RandomBytes(12000, 21);
    std::vector<std::uint8_t> arrived;
    std::thread reader([&] { arrived = printer.Read(page.size()); });
    EXPECT_EQ(port->Write(page.data(), 12000), 12000);
    EXPECT_EQ(port->Flush(), 1);
    reader.join();
    EXPECT_EQ(arrived, page);
}

TEST_F(SerialPortTest, TheIrCommPortIsUsedAsItsDriverSetItAndMinusOneNamesIt)
{
    auto unset = std::make_unique<SerialPort>();
    EXPECT_EQ(unset->PortNumber(), -1);
    EXPECT_EQ(unset->Open(), -1) << "no IrCOMM port is set";

    PtyPrinter irComm;
    ASSERT_TRUE(irComm.Ready());
    tarvel::test::MapComPort(3, irComm.Path());
    tarvel::test::SetIrCommIndex(3);
    termios driver = irComm.Settings();
    cfsetospeed(&driver, B9600);
    driver.c_cflag |= CSTOPB;
    irComm.Apply(driver);
    driver = irComm.Settings();

    auto port = MakePort(3);
    ASSERT_EQ(port->Open(), 0);
    EXPECT_EQ(irComm.Settings().c_cflag, driver.c_cflag) << "the driver's speed and framing stay";
    port.reset();
    ASSERT_EQ(unset->Open(), 0);
    EXPECT_EQ(irComm.Settings().c_cflag, driver.c_cflag) << "the IrCOMM port is not configured";
    unset.reset();

    // With the index naming COM3, COM1 is still a cable port.
    ASSERT_EQ(MakePort(1)->Open(), 0);
    termios tio = printer.Settings();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B57600));
}

TEST_F(SerialPortTest, AnAbsentOrBusyDeviceFailsWithMinusOneAndCloseChangesOnlyAnOpenPort)
{
    tarvel::test::MapComPort(4, "/nonexistent/ttyX");
    auto absent = MakePort(4);
    absent->Close();
    EXPECT_EQ(absent->GetState(), PortState::Idle);
    EXPECT_EQ(absent->Open(), -1);
    EXPECT_EQ(absent->GetState(), PortState::Closed);
    absent->Close();
    EXPECT_EQ(absent->GetState(), PortState::Closed);

    auto first = MakePort(1);
    ASSERT_EQ(first->Open(), 0);
    auto second = MakePort(1);
    EXPECT_EQ(second->Open(), -1);
    first->Close();
    first.reset();
    EXPECT_EQ(second->Open(), 0);
}

TEST_F(SerialPortTest, ARefusingLineOrNoWriterThreadFailsWithItsStatusAndReleasesTheLine)
{
    struct Case {
        platform::LineRefusal refusal;
        bool threadFails;
        int status;
    };
    for (Case c : {Case{platform::LineRefusal::Settings, false, -3}, Case{platform::LineRefusal::Timeouts, false, -4},
                   Case{platform::LineRefusal::None, true, -6}}) {
        SCOPED_TRACE(c.status);
        platform::PretendLineRefuses(c.refusal);
        platform::PretendThreadCreationFails(c.threadFails);
        auto port = MakePort(1);
        EXPECT_EQ(port->Open(), c.status);
        EXPECT_EQ(port->GetState(), PortState::Closed);
        platform::PretendLineRefuses(platform::LineRefusal::None);
        platform::PretendThreadCreationFails(false);
        HANDLE line = platform::OpenComPort(1);
        EXPECT_NE(line, INVALID_HANDLE_VALUE) << "the failed port still holds the line";
        platform::CloseHandle(line);
    }
}

TEST_F(SerialPortTest, APrinterThatStopsReadingLosesChunksAndAHangUpIsALostConnection)
{
    // Every write gives up after 10 ms instead of a minute.
    platform::CapWriteTimeout(10);
    auto port = MakePort(1);
    ASSERT_EQ(port->Open(), 0);
    auto document = test::RandomBytes(60000, 25);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(port->Write(document.data(), 60000), 60000);
    EXPECT_EQ(port->Flush(), 1);
    EXPECT_EQ(port->GetState(), PortState::Open);
    port->StopWriter();
    std::string said = ::testing::internal::GetCapturedStderr();
    platform::CapWriteTimeout(std::nullopt);

    auto arrived = printer.Read(60000, 500ms);
    EXPECT_EQ(arrived.size(), port->GetBytesSent());
    EXPECT_TRUE(std::equal(arrived.begin(), arrived.end(), document.begin()));
    DataLoss loss = port->GetDataLoss();
    EXPECT_EQ(loss.bytes + port->GetBytesSent(), 60000u);
    EXPECT_EQ(said, "Tarvel: " + std::to_string(loss.bytes) + " bytes could not be written to COM1 (" + printer.Path() + "): Connection timed out; the output is incomplete.\n");

    // The printer is switched off mid-job: not a loss the job goes on with.
    ASSERT_EQ(port->Open(), 0);
    printer.CloseMaster();
    auto second = test::RandomBytes(30000, 24);
    EXPECT_LT(port->Write(second.data(), 30000), 30000);
    EXPECT_EQ(port->Flush(), 0);
    EXPECT_EQ(port->GetState(), PortState::Lost);
    EXPECT_EQ(port->GetDataLoss().bytes, 0u) << "the job reports a lost connection itself";
}

}  // namespace
}  // namespace tarvel::ports
