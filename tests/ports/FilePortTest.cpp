#include "ports/FilePort.h"

#include "PortTestSupport.h"
#include "platform/system/System.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarvel::ports {
namespace {

using namespace std::chrono_literals;
using test::ReadAll;
using test::WaitUntil;

class FilePortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = test::ScratchFolder();
        SetDeviceRootFolder(folder);
    }
    void TearDown() override
    {
        SetDeviceRootFolder({});
        platform::PretendThreadCreationFails(false);
    }

    // Opens port on a device path; expects success.
    void OpenOn(FilePort& port, const std::u16string& devicePath)
    {
        port.SetTarget(devicePath.c_str());
        port.Attach(&cancel, nullptr);
        ASSERT_EQ(port.Open(), 0);
        ASSERT_TRUE(port.IsOpen());
    }

    std::filesystem::path folder;
    std::atomic<std::int32_t> cancel{0};
};

TEST_F(FilePortTest, WholeChunksGoOutWhileWritingAndTheTailOnlyAtFlush)
{
    FilePort port;
    OpenOn(port, u"\\page.prn");
    auto page = test::RandomBytes(5000, 2);
    ASSERT_EQ(port.Write(page.data(), 5000), 5000);
    ASSERT_TRUE(WaitUntil([&] { return port.GetBytesSent() == 4096u; }));
    // Less than a chunk stays queued however long the writer looks at it.
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(port.GetBytesSent(), 4096u) << "the 904-byte tail must wait for Flush";
    EXPECT_EQ(std::filesystem::file_size(folder / "page.prn"), 4096u);

    EXPECT_EQ(port.Flush(), 1);
    EXPECT_EQ(port.GetBytesSent(), 5000u);
    port.Close();
    EXPECT_EQ(port.GetState(), PortState::Closed);
    EXPECT_EQ(ReadAll(folder / "page.prn"), page);
}

TEST_F(FilePortTest, ALongDocumentWrittenInOddPiecesArrivesByteForByte)
{
    FilePort port;
    OpenOn(port, u"\\long.prn");
    auto document = test::RandomBytes(300000, 3);
    std::size_t at = 0;
    std::size_t piece = 1;
    while (at < document.size()) {
        int n = static_cast<int>(std::min(piece, document.size() - at));
        ASSERT_EQ(port.Write(document.data() + at, n), n);
        at += static_cast<std::size_t>(n);
        piece = piece * 7 % 6007 + 1;
        if (at % 5 == 0) {
            ASSERT_EQ(port.Flush(), 1);
        }
    }
    ASSERT_EQ(port.Flush(), 1);
    EXPECT_EQ(port.GetBytesSent(), document.size());
    EXPECT_EQ(ReadAll(folder / "long.prn"), document);
}

TEST_F(FilePortTest, OpenReplacesAnEarlierFileAndReopeningStartsCountingAfresh)
{
    {
        std::ofstream old(folder / "out.prn", std::ios::binary);
        old << std::string(10000, 'x');
    }
    FilePort port;
    OpenOn(port, u"\\out.prn");
    EXPECT_EQ(std::filesystem::file_size(folder / "out.prn"), 0u);
    std::uint8_t first[3] = {1, 2, 3};
    port.Write(first, 3);
    ASSERT_EQ(port.Flush(), 1);
    port.Close();

    ASSERT_EQ(port.Open(), 0);
    EXPECT_EQ(port.GetBytesSent(), 0u);
    std::uint8_t second[2] = {9, 8};
    port.Write(second, 2);
    ASSERT_EQ(port.Flush(), 1);
    port.Close();
    EXPECT_EQ(ReadAll(folder / "out.prn"), (std::vector<std::uint8_t>{9, 8}));
}

TEST_F(FilePortTest, DevicePathsMapIntoTheRootFolderAndAbsolutePathsAreKept)
{
    EXPECT_EQ(DevicePathToLocal(u"\\out.prn"), folder / "out.prn");
    EXPECT_EQ(DevicePathToLocal(u"\\Storage Card\\jobs\\a.prn"), folder / "Storage Card/jobs/a.prn");
    EXPECT_EQ(DevicePathToLocal(u"bare.prn"), folder / "bare.prn");
    EXPECT_EQ(DevicePathToLocal(u"/tmp/x\\y.prn"), std::filesystem::path("/tmp/x\\y.prn"));
    EXPECT_EQ(DevicePathToLocal(u"\u00e9t\u00e9.prn"), folder / "\xc3\xa9t\xc3\xa9.prn");
    EXPECT_TRUE(DevicePathToLocal(u"").empty());
    EXPECT_TRUE(DevicePathToLocal(u"\\\\").empty());
    EXPECT_TRUE(DevicePathToLocal(std::u16string(1, char16_t(0xD800)) + u".prn").empty());
    SetDeviceRootFolder({});
    EXPECT_EQ(DevicePathToLocal(u"\\out.prn"), std::filesystem::path("out.prn"));

    FilePort port;
    std::u16string longName(400, u'a');
    port.SetTarget(longName.c_str());
    EXPECT_EQ(port.Path().size(), 259u);
    port.SetTarget(nullptr);
    EXPECT_EQ(port.Path().size(), 259u);
}

TEST_F(FilePortTest, AFolderThatDoesNotExistOrAnEmptyPathFailsWithMinusOne)
{
    FilePort port;
    port.SetTarget(u"\\missing\\out.prn");
    port.Attach(&cancel, nullptr);
    EXPECT_EQ(port.Open(), -1);
    EXPECT_EQ(port.GetState(), PortState::Closed);
    EXPECT_EQ(port.IsOpen(), 0);
    std::uint8_t byte = 0;
    EXPECT_EQ(port.Write(&byte, 1), 0);
    EXPECT_EQ(port.Flush(), 0);

    FilePort unnamed;
    EXPECT_EQ(unnamed.Open(), -1);
}

TEST_F(FilePortTest, AFullMediumLosesTheBytesButTheJobRunsToItsEnd)
{
    FilePort port;
    OpenOn(port, u"/dev/full");
    auto page = test::RandomBytes(5000, 4);
    EXPECT_EQ(port.Write(page.data(), 5000), 5000);
    EXPECT_EQ(port.Flush(), 1);
    EXPECT_EQ(port.GetBytesSent(), 0u);
    EXPECT_EQ(port.GetState(), PortState::Open);
    EXPECT_EQ(port.Write(nullptr, 4), 0);
    EXPECT_EQ(port.Write(page.data(), -7), 0);
}

TEST_F(FilePortTest, WithoutAWriterThreadOpenFailsWithMinusSixAndClosesTheFile)
{
    auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    auto before = openFiles();
    platform::PretendThreadCreationFails(true);
    FilePort port;
    port.SetTarget(u"\\out.prn");
    EXPECT_EQ(port.Open(), -6);
    EXPECT_EQ(port.GetState(), PortState::Closed);
    EXPECT_EQ(openFiles(), before);
    platform::PretendThreadCreationFails(false);
    EXPECT_EQ(port.Open(), 0);
}

TEST_F(FilePortTest, CancelWhileWriteWaitsForRoomEndsWriteShortAndFlushWithZero)
{
    auto fifo = folder / "printer";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    auto port = std::make_unique<FilePort>();
    OpenOn(*port, fifo.u16string());
    std::thread canceller([&] {
        WaitUntil([&] { return port->GetBytesSent() > 0; });
        std::this_thread::sleep_for(300ms);
        cancel.store(1);
    });
    auto document = test::RandomBytes(1 << 20, 5);
    int written = port->Write(document.data(), static_cast<int>(document.size()));
    canceller.join();
    EXPECT_LT(written, static_cast<int>(document.size()));
    EXPECT_EQ(port->GetState(), PortState::Closed);
    EXPECT_EQ(port->Flush(), 0);
    // The writer is still inside its write; destroying the port must wait
    // for it, which ends once the printer goes away.
    std::atomic<bool> unplugged{false};
    std::thread unplug([&] {
        std::this_thread::sleep_for(200ms);
        unplugged.store(true);
        ::close(reader);
    });
    port.reset();
    EXPECT_TRUE(unplugged.load());
    unplug.join();
}

}  // namespace
}  // namespace tarvel::ports
