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

#include <algorithm>

namespace tarvel::ports {
namespace {

std::vector<std::pair<HWND, UINT>> delivered;
// Read from the thread that plays the user, so that it cancels only after a
// waiting Flush has shown it dispatches the owner's messages.
std::atomic<int> userMessages{0};

INT_PTR CALLBACK_Record(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message >= WM_USER || message == WM_PAINT)
        delivered.emplace_back(window, message);
    if (message >= WM_USER)
        ++userMessages;
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

TEST_F(OutputPortTest, WaitsDispatchOnlyTheOwnerItsDirectChildrenAndPaintingAndKeepTheDeviceAwake)
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
    // The idle timer is reset at the first pump and then at most every 25 seconds.
    const std::uint32_t resets = platform::IdleTimerResetCount();
    port.PumpMessages();
    port.PumpMessages();
    EXPECT_EQ(platform::IdleTimerResetCount(), resets + 1);

    EXPECT_TRUE(Delivered(progress, WM_USER + 1));
    EXPECT_TRUE(Delivered(child, WM_USER + 2));
    EXPECT_FALSE(Delivered(grandchild, WM_USER + 3));
    EXPECT_FALSE(Delivered(application, WM_USER + 4));
    EXPECT_TRUE(Delivered(application, WM_PAINT));
    // What was dropped is gone, not left for later.
    MSG left{};
    EXPECT_FALSE(PeekMessageW(&left, nullptr, WM_USER, WM_USER + 10, PM_NOREMOVE));
}

// A transport in the middle of a slow transfer: it takes nothing until the
// port is closed, so only Close gets the writer out of it early.
class HeldLine final : public OutputPort {
public:
    ~HeldLine() override { StopWriter(); }
    int Open() override
    {
        BeginOpen(true);
        released_ = false;
        return StartWriter(16, {8, 50}) ? 0 : -6;
    }
    void Close() override
    {
        SetState(PortState::Closed);
        std::lock_guard guard(lock_);
        released_ = true;
        wake_.notify_all();
    }
    int Write(const std::uint8_t* bytes, int length) override { return QueueBytes(bytes, length, 300); }

    std::atomic<bool> inTransfer{false};
    std::atomic<bool> gaveUp{false};

private:
    int Transmit(const std::uint8_t*, int) override
    {
        inTransfer = true;
        std::unique_lock lock(lock_);
        // Long enough to tell an interrupted transfer from one that ended.
        if (!wake_.wait_for(lock, std::chrono::seconds(5), [this] { return released_; }))
            gaveUp = true;
        return 0;
    }
    void ReleaseTransport() override { }

    std::mutex lock_;
    std::condition_variable wake_;
    bool released_ = false;
};

TEST_F(OutputPortTest, ACancelWhileWriteOrFlushWaitsInterruptsTheTransferAndTheOwnerKeepsItsMessages)
{
    HWND progress = MakeDialog(nullptr);
    for (bool flushing : {false, true}) {
        SCOPED_TRACE(flushing ? "Flush waits" : "Write waits for room");
        HeldLine port;
        std::atomic<std::int32_t> cancel{0};
        port.Attach(&cancel, progress);
        ASSERT_EQ(port.Open(), 0);
        delivered.clear();
        userMessages = 0;
        std::thread user = test::CancelWhen(cancel, [&] { return port.inTransfer.load() && (!flushing || userMessages > 0); });
        std::uint8_t page[100] = {};
        if (flushing) {
            EXPECT_EQ(port.Write(page, 10), 10);
            PostMessageW(progress, WM_USER + 7, 0, 0);
            EXPECT_EQ(port.Flush(), 0);
            EXPECT_TRUE(Delivered(progress, WM_USER + 7));
        } else {
            EXPECT_LT(port.Write(page, 100), 100);
        }
        user.join();
        EXPECT_EQ(port.GetState(), PortState::Closed);
        EXPECT_FALSE(port.gaveUp.load()) << "the cancel waited for the transfer to end instead of interrupting it";
    }
}

TEST_F(OutputPortTest, CheckCancelClosesOnlyWhenTheFlagIsSetAndAttachStartsAfresh)
{
    FilePort port;
    std::atomic<std::int32_t> cancel{0};
    port.Attach(&cancel, nullptr);
    port.SetTarget(u"/dev/null");
    ASSERT_EQ(port.Open(), 0);
    EXPECT_EQ(port.CheckCancel(), 0);
    cancel.store(1);
    EXPECT_EQ(port.CheckCancel(), 1);
    EXPECT_EQ(port.GetState(), PortState::Closed);
    // A cancelled job cannot be opened into sending again until the flag
    // is cleared: the writer closes the port at its first look.
    cancel.store(0);
    EXPECT_EQ(port.Open(), 0);
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
    const std::pair<int, const char*> kinds[] = {{0, typeid(IrdaPort).name()}, {1, typeid(SerialPort).name()}, {8, typeid(SerialPort).name()}, {9, typeid(FilePort).name()}, {10, typeid(NetworkPort).name()}, {11, typeid(DevicePort).name()}, {-1, "none"}, {12, "none"}};
    for (const auto& [setting, kind] : kinds) {
        const auto port = MakeOutputPort(setting);
        EXPECT_STREQ(port ? typeid(*port).name() : "none", kind) << setting;
    }
}

}  // namespace
}  // namespace tarvel::ports
