// The parts of the common port that do not depend on a transport: which
// window messages the waits let through, the idle-timer keep-alive, and
// the life of the writer thread. FilePort serves as the concrete port.
#include "ports/DevicePort.h"
#include "ports/FilePort.h"
#include "ports/IrdaPort.h"
#include "ports/NetworkPort.h"
#include "ports/MakeOutputPort.h"
#include "ports/SerialPort.h"

#include "PortTestSupport.h"
#include "platform/system/System.h"

#include <tarvel/ui.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tarvel::ports {
namespace {

std::vector<std::pair<HWND, UINT>> delivered;

INT_PTR CALLBACK_Record(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message >= WM_USER || message == WM_PAINT)
        delivered.emplace_back(window, message);
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

const DLGTEMPLATEDEF kPlainDialog = {900, u"Test", 100, 60, u"Tahoma", 8, WS_POPUP | WS_CAPTION, nullptr, 0};

bool Delivered(HWND window, UINT message)
{
    return std::find(delivered.begin(), delivered.end(), std::make_pair(window, message)) != delivered.end();
}

class OutputPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::SelectBackend(ui::Backend::Headless);
        ui::PumpAllMessages();
        delivered.clear();
    }
    void TearDown() override
    {
        for (HWND window : windows)
            DestroyWindow(window);
        ui::PumpAllMessages();
    }
    HWND MakeDialog(HWND owner)
    {
        HWND window = CreateDialogIndirectParamW(nullptr, &kPlainDialog, owner, CALLBACK_Record, 0);
        EXPECT_NE(window, nullptr);
        windows.insert(windows.begin(), window);
        return window;
    }
    std::vector<HWND> windows;
};

TEST_F(OutputPortTest, WaitsDispatchOnlyTheOwnerItsDirectChildrenAndPainting)
{
    HWND progress = MakeDialog(nullptr);
    HWND child = MakeDialog(progress);
    HWND grandchild = MakeDialog(child);
    HWND application = MakeDialog(nullptr);
    ui::PumpAllMessages();
    delivered.clear();

    PostMessageW(progress, WM_USER + 1, 0, 0);
    PostMessageW(child, WM_USER + 2, 0, 0);
    PostMessageW(grandchild, WM_USER + 3, 0, 0);
    PostMessageW(application, WM_USER + 4, 0, 0);
    PostMessageW(application, WM_PAINT, 0, 0);

    FilePort port;
    std::atomic<std::int32_t> cancel{0};
    port.Attach(&cancel, progress);
    port.PumpMessages();

    EXPECT_TRUE(Delivered(progress, WM_USER + 1));
    EXPECT_TRUE(Delivered(child, WM_USER + 2));
    EXPECT_FALSE(Delivered(grandchild, WM_USER + 3));
    EXPECT_FALSE(Delivered(application, WM_USER + 4));
    EXPECT_TRUE(Delivered(application, WM_PAINT));
    // What was dropped is gone, not left for later.
    MSG left{};
    EXPECT_FALSE(PeekMessageW(&left, nullptr, WM_USER, WM_USER + 10, PM_NOREMOVE));
}

TEST_F(OutputPortTest, TheIdleTimerIsResetAtTheFirstPumpAndThenAtMostEvery25Seconds)
{
    FilePort port;
    std::uint32_t before = platform::IdleTimerResetCount();
    port.PumpMessages();
    EXPECT_EQ(platform::IdleTimerResetCount(), before + 1);
    port.PumpMessages();
    port.PumpMessages();
    EXPECT_EQ(platform::IdleTimerResetCount(), before + 1);
}

TEST_F(OutputPortTest, TheProgressWindowKeepsGettingMessagesWhileFlushWaits)
{
    // A document through a pipe that is read slowly keeps Flush waiting
    // for a while; the owner's messages must still arrive meanwhile.
    auto folder = test::ScratchFolder();
    auto fifo = folder / "slow";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);

    HWND progress = MakeDialog(nullptr);
    FilePort port;
    std::atomic<std::int32_t> cancel{0};
    port.SetTarget(fifo.u16string().c_str());
    port.Attach(&cancel, progress);
    ASSERT_EQ(port.Open(), 0);
    auto document = test::RandomBytes(100000, 9);
    std::vector<std::uint8_t> received;
    std::thread printer([&] {
        std::uint8_t piece[4096];
        while (received.size() < document.size()) {
            ssize_t n = ::read(reader, piece, sizeof piece);
            if (n > 0)
                received.insert(received.end(), piece, piece + n);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    ASSERT_EQ(port.Write(document.data(), static_cast<int>(document.size())), 100000);
    delivered.clear();
    PostMessageW(progress, WM_USER + 7, 0, 0);
    EXPECT_EQ(port.Flush(), 1);
    printer.join();
    ::close(reader);
    EXPECT_TRUE(Delivered(progress, WM_USER + 7));
    EXPECT_EQ(received, document);
}

TEST_F(OutputPortTest, CheckCancelClosesOnlyWhenTheFlagIsSetAndAttachStartsAfresh)
{
    FilePort port;
    std::atomic<std::int32_t> cancel{0};
    port.Attach(&cancel, nullptr);
    port.SetTarget(u"/dev/null");
    ASSERT_EQ(port.Open(), 0);
    EXPECT_EQ(port.CheckCancel(), 0);
    EXPECT_EQ(port.GetState(), PortState::Open);
    cancel.store(1);
    EXPECT_EQ(port.CheckCancel(), 1);
    EXPECT_EQ(port.GetState(), PortState::Closed);
    // A cancelled job cannot be opened into sending again until the flag
    // is cleared: the writer closes the port at its first look.
    cancel.store(0);
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.IsOpen(), 1);
    std::uint8_t bytes[10] = {};
    port.Write(bytes, 10);
    ASSERT_EQ(port.Flush(), 1);
    EXPECT_EQ(port.GetBytesSent(), 10u);
    port.Close();
    port.Attach(nullptr, nullptr);
    EXPECT_EQ(port.GetState(), PortState::Idle);
    EXPECT_EQ(port.GetBytesSent(), 0u);
    EXPECT_EQ(port.CheckCancel(), 0);
}

TEST_F(OutputPortTest, EachPortSettingMakesItsKindOfPort)
{
    auto isIrda = [](OutputPort* p) { return dynamic_cast<IrdaPort*>(p) != nullptr; };
    auto isSerial = [](OutputPort* p) { return dynamic_cast<SerialPort*>(p) != nullptr; };
    auto isFile = [](OutputPort* p) { return dynamic_cast<FilePort*>(p) != nullptr; };
    auto isNetwork = [](OutputPort* p) { return dynamic_cast<NetworkPort*>(p) != nullptr; };
    auto isDevice = [](OutputPort* p) { return dynamic_cast<DevicePort*>(p) != nullptr; };
    const std::pair<int, bool (*)(OutputPort*)> kinds[] = {
        {0, isIrda}, {1, isSerial}, {8, isSerial}, {9, isFile}, {10, isNetwork}, {11, isDevice}};
    for (auto [setting, isKind] : kinds)
        EXPECT_TRUE(isKind(MakeOutputPort(setting).get())) << setting;
    EXPECT_EQ(MakeOutputPort(-1), nullptr);
    EXPECT_EQ(MakeOutputPort(12), nullptr);
    EXPECT_EQ(MakeOutputPort(1)->GetState(), PortState::Idle);
}

}  // namespace
}  // namespace tarvel::ports
