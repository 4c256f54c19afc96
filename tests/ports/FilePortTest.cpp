#include "ports/FilePort.h"

#include "PortTestSupport.h"
#include "platform/system/System.h"
#include "platform/ui/LastMessage.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
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

TEST_F(FilePortTest, WholeChunksGoOutWhileWritingTheTailAtFlushAndReopeningStartsAfresh)
{
    FilePort port;
    OpenOn(port, u"\\page.prn");
    auto page = test::RandomBytes(5000, 2);
    ASSERT_EQ(port.Write(page.data(), 5000), 5000);
    ASSERT_TRUE(WaitUntil([&] { return port.GetBytesSent() == 4096u; }));
    // Less than a chunk stays queued however long the writer looks at it.
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(std::filesystem::file_size(folder / "page.prn"), 4096u) << "the 904-byte tail must wait for Flush";

    EXPECT_EQ(port.Flush(), 1);
    port.Close();
    EXPECT_EQ(ReadAll(folder / "page.prn"), page);

    // The earlier file is replaced, and the count starts again.
    ASSERT_EQ(port.Open(), 0);
    EXPECT_EQ(port.GetBytesSent(), 0u);
    std::uint8_t second[2] = {9, 8};
    port.Write(second, 2);
    ASSERT_EQ(port.Flush(), 1);
    port.Close();
    EXPECT_EQ(ReadAll(folder / "page.prn"), (std::vector<std::uint8_t>{9, 8}));
}

// Posted blocks pass the queue on the writer's side, in their place among
// written bytes; a cancel while one waits drops its rest and says so.
TEST_F(FilePortTest, PostedBlocksGoOutInOrderAmongWrittenBytesAndACancelDropsTheirRest)
{
    FilePort port;
    OpenOn(port, u"\\posted.prn");
    const auto head = test::RandomBytes(100, 3), first = test::RandomBytes(5000, 4), second = test::RandomBytes(3001, 5);
    std::uint64_t ticket1 = 0, ticket2 = 0;
    ASSERT_EQ(port.Write(head.data(), 100), 100);
    ASSERT_TRUE(port.Post(first.data(), first.size(), ticket1));
    ASSERT_TRUE(port.Post(second.data(), second.size(), ticket2));
    ASSERT_EQ(port.Write(head.data(), 50), 50);
    EXPECT_TRUE(port.WaitTaken(ticket1));
    EXPECT_EQ(port.Flush(), 1);
    port.Close();
    auto expected = head;
    expected.insert(expected.end(), first.begin(), first.end());
    expected.insert(expected.end(), second.begin(), second.end());
    expected.insert(expected.end(), head.begin(), head.begin() + 50);
    EXPECT_EQ(ReadAll(folder / "posted.prn"), expected);
    EXPECT_FALSE(port.Post(first.data(), first.size(), ticket1)) << "a closed port takes no block";

    const auto fifo = folder / "stalled";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    FilePort stalled;
    OpenOn(stalled, fifo.u16string());
    const auto document = test::RandomBytes(1 << 20, 6);
    ASSERT_TRUE(stalled.Post(document.data(), document.size(), ticket1));
    std::thread canceller = test::CancelWhen(cancel, [&] { return stalled.GetBytesSent() > 0; });
    EXPECT_FALSE(stalled.WaitTaken(ticket1));
    canceller.join();
    stalled.DropPosted();
    EXPECT_EQ(stalled.Flush(), 0);
    stalled.Close();
    ::close(reader);
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
}

TEST_F(FilePortTest, AMissingFolderAnEmptyOrAnOverlongPathIsRefusedAndNothingAppears)
{
    // Longer than any path the system takes, by far and by one.
    const std::u16string refused[] = {u"\\missing\\out.prn", u"", u"\\" + std::u16string(5000, u'b'),
                                      u"\\" + std::u16string(FilePort::kMaxPathCharacters + 1, u'b')};
    for (const std::u16string& target : refused) {
        SCOPED_TRACE(target.size());
        FilePort port;
        port.SetTarget(target.c_str());
        port.Attach(&cancel, nullptr);
        EXPECT_EQ(port.Open(), -1);
        EXPECT_EQ(port.GetState(), PortState::Closed);
        std::uint8_t byte = 0;
        EXPECT_EQ(port.Write(&byte, 1), 0);
        EXPECT_EQ(port.Flush(), 0);
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

// Writes the bytes through a port on path and ends the connection; returns
// what stderr said meanwhile.
std::string WriteThroughAndStop(FilePort& port, const std::vector<std::uint8_t>& bytes)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(port.Write(bytes.data(), static_cast<int>(bytes.size())), static_cast<int>(bytes.size()));
    EXPECT_EQ(port.Flush(), 1) << "a full medium does not end the job";
    EXPECT_EQ(port.GetState(), PortState::Open);
    port.StopWriter();
    port.StopWriter();
    return ::testing::internal::GetCapturedStderr();
}

TEST_F(FilePortTest, AFullMediumLosesTheBytesButTheLossIsKeptAndReportedOnce)
{
    FilePort port;
    OpenOn(port, u"/dev/full");
    auto page = test::RandomBytes(5000, 4);
    std::string said = WriteThroughAndStop(port, page);
    EXPECT_EQ(port.GetBytesSent(), 0u);
    DataLoss loss = port.GetDataLoss();
    EXPECT_EQ(loss.bytes, 5000u);
    EXPECT_EQ(said,
              "Tarvel: 5000 bytes could not be written to /dev/full: No space left on device; the output is incomplete.\n");
    const auto message = ui::ReadLastMessage();
    EXPECT_EQ(message.kind, ui::MessageKind::Error) << "a program without a display reads the loss too";
    EXPECT_EQ(message.text, u"5000 bytes could not be written to /dev/full: No space left on device; the output is incomplete.");

    // A new connection starts with a clean record.
    ASSERT_EQ(port.Open(), 0);
    EXPECT_EQ(port.GetDataLoss().bytes, 0u);
    EXPECT_EQ(port.Write(nullptr, 4), 0);
    EXPECT_EQ(port.Write(page.data(), -7), 0);
}

TEST_F(FilePortTest, AMediumThatFillsUpKeepsWhatFitAndCountsTheRestAsLost)
{
    std::filesystem::path card = folder / "card";
    std::filesystem::create_directories(card);
    if (::mount("tarvel-test", card.c_str(), "tmpfs", 0, "size=16k") != 0)
        GTEST_SKIP() << "no small medium can be mounted here: " << std::strerror(errno);
    FilePort port;
    OpenOn(port, (card / "job.prn").u16string());
    auto document = test::RandomBytes(40000, 6);
    std::string said = WriteThroughAndStop(port, document);
    auto kept = ReadAll(card / "job.prn");
    ::umount2(card.c_str(), MNT_DETACH);

    ASSERT_LT(kept.size(), document.size());
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), document.begin()));
    EXPECT_EQ(port.GetBytesSent(), kept.size());
    EXPECT_EQ(port.GetDataLoss().bytes, document.size() - kept.size());
    EXPECT_NE(said.find(" could not be written to " + (card / "job.prn").string()), std::string::npos) << said;
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
    EXPECT_EQ(openFiles(), before);
    platform::PretendThreadCreationFails(false);
    EXPECT_EQ(port.Open(), 0);
}

TEST_F(FilePortTest, CancelWhileWriteWaitsForRoomEndsWriteShortAndFlushWithZero)
{
    const auto fifo = folder / "printer";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    auto port = std::make_unique<FilePort>();
    OpenOn(*port, fifo.u16string());
    // Cancel a while after the reader stopped taking data.
    std::thread canceller = test::CancelWhen(cancel, [&] { return port->GetBytesSent() > 0 && (std::this_thread::sleep_for(300ms), true); });
    auto document = test::RandomBytes(1 << 20, 5);
    int written = port->Write(document.data(), static_cast<int>(document.size()));
    canceller.join();
    EXPECT_LT(written, static_cast<int>(document.size()));
    EXPECT_EQ(port->Flush(), 0);
    // The writer was waiting for the reader to take data; it lets go at
    // once, though the reader is still there and still not reading. (The
    // reader goes after a while anyway, so a regression fails, not hangs.)
    std::atomic<bool> destroyed{false};
    std::atomic<bool> unplugged{false};
    std::thread unplug([&] {
        if (!WaitUntil([&] { return destroyed.load(); }, 8s))
            unplugged.store(true);
        ::close(reader);
    });
    port.reset();
    destroyed.store(true);
    unplug.join();
    EXPECT_FALSE(unplugged.load()) << "destroying the port waited for the reader";
}

TEST_F(FilePortTest, AFifoWithoutAReaderIsWaitedForWithoutBlockingAndThenGivenUp)
{
    const auto fifo = folder / "printer";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Were Open to block in the kernel, this reader would free it every few
    // seconds, so a regression fails below instead of hanging the suite.
    std::atomic<bool> done{false};
    std::thread rescuer([&] {
        while (!WaitUntil([&] { return done.load(); }, 5s)) {
            int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
    });
    FilePort port;
    port.SetTimeouts(300, 300);
    port.SetTarget(fifo.u16string().c_str());
    port.Attach(&cancel, nullptr);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Open(), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    // Cancel ends the wait; a reader that comes within it is connected to.
    port.SetTimeouts(60000, 300);
    cancel.store(1);
    EXPECT_EQ(port.Open(), -100);
    cancel.store(0);
    std::atomic<int> reader = -1;
    std::thread late([&] {
        std::this_thread::sleep_for(100ms);
        reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    });
    EXPECT_EQ(port.Open(), 0);
    late.join();

    // A reader that stops reading, and then one that goes away, is a lost
    // connection: neither a wait without end nor a loss the job goes on with.
    auto document = test::RandomBytes(1 << 20, 8);
    for (bool goesAway : {false, true}) {
        SCOPED_TRACE(goesAway ? "goes away" : "stops reading");
        if (goesAway) {
            // Only the failing write may find this one out, not a stall.
            port.SetTimeouts(300, 60000);
            EXPECT_EQ(port.Open(), 0);
            ::close(reader);
        }
        EXPECT_LT(port.Write(document.data(), 1 << 20), 1 << 20);
        EXPECT_EQ(port.GetState(), PortState::Lost);
        EXPECT_EQ(port.Flush(), 0);
        EXPECT_EQ(port.GetDataLoss().bytes, 0u) << "the job reports a lost connection itself";
    }
    done.store(true);
    rescuer.join();
}

}  // namespace
}  // namespace tarvel::ports
