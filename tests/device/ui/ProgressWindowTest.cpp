// The progress window on the headless backend, driven by a port whose
// state the test moves by hand; bytes really pass through the port's
// writer thread so that the count the window shows is the port's own.
#include "FakePort.h"

#include "device/PrinterDevice.h"
#include "device/ui/DialogTemplates.h"
#include "device/ui/ProgressWindow.h"
#include "platform/system/System.h"

#include <tarvel/ui.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using tarvel::device::PrinterDevice;
using tarvel::ports::PortState;
using tarvel::test::FakePort;

std::u16string Line(HWND window, int id)
{
    WCHAR text[128] = {};
    UINT n = GetDlgItemTextW(window, id, text, 128);
    return std::u16string(text, n);
}

class ProgressWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tarvel::ui::SelectBackend(tarvel::ui::Backend::Headless));
        tarvel::device::cancelRequested = 0;
        auto fake = std::make_unique<FakePort>();
        port = fake.get();
        device.port = std::move(fake);
        window = tarvel::device::CreateProgressWindow(device, nullptr);
        ASSERT_NE(window, nullptr);
        port->Attach(&tarvel::device::cancelRequested, window);
    }

    void TearDown() override
    {
        DestroyWindow(window);
        device.port.reset();
        tarvel::device::cancelRequested = 0;
    }

    // One tick, as the timer would deliver it.
    void Tick() { SendMessageW(window, WM_TIMER, 1, 0); }

    std::u16string Status() const { return Line(window, tarvel::device::kStatusLine); }
    std::u16string Data() const { return Line(window, tarvel::device::kDataLine); }

    PrinterDevice device;
    FakePort* port = nullptr;
    HWND window = nullptr;
};

TEST_F(ProgressWindow, FollowsThePortFromConnectingToSending)
{
    EXPECT_FALSE(IsWindowVisible(window)) << "the job centres it before showing it";
    EXPECT_EQ(Status(), u"Prepare printing...");
    EXPECT_EQ(Data(), u"");
    Tick();
    EXPECT_EQ(Status(), u"Prepare printing...") << "an idle port is what the window starts with";

    port->Open();
    Tick();
    EXPECT_EQ(Status(), u"Establishing connection...");
    EXPECT_EQ(Data(), u"");

    // Connected and already sending by the next tick.
    port->Connect();
    port->Send(1500);
    Tick();
    EXPECT_EQ(Status(), u"Sending data to printer...");
    EXPECT_EQ(Data(), u"Bytes sent: 1500");

    // From now on the status line is left alone: text put there by someone
    // else survives while the count moves.
    SetDlgItemTextW(window, tarvel::device::kStatusLine, u"marker");
    port->Send(2500);
    Tick();
    EXPECT_EQ(Status(), u"marker");
    EXPECT_EQ(Data(), u"Bytes sent: 4000") << "the count grows over the job";

    // A tick without news writes nothing.
    SetDlgItemTextW(window, tarvel::device::kDataLine, u"untouched");
    Tick();
    EXPECT_EQ(Data(), u"untouched");
}

TEST_F(ProgressWindow, ConnectedStaysTheStatusOnceSendingFollowsIt)
{
    port->Open();
    port->Connect();
    Tick();
    EXPECT_EQ(Status(), u"Connected") << "connected, nothing sent yet";
    EXPECT_EQ(Data(), u"");

    // The status line is written only when the state changes; the port was
    // already open at the last tick, so only the count appears.
    port->Send(300);
    Tick();
    EXPECT_EQ(Status(), u"Connected");
    EXPECT_EQ(Data(), u"Bytes sent: 300");
}

TEST_F(ProgressWindow, LostOrClosedPortClearsOnlyTheDataLine)
{
    port->Open();
    port->Connect();
    port->Send(10);
    Tick();
    ASSERT_EQ(Data(), u"Bytes sent: 10");
    port->Lose();
    Tick();
    EXPECT_EQ(Status(), u"Sending data to printer...");
    EXPECT_EQ(Data(), u"");

    // Reconnected and closed again without sending: "Connected", then the
    // data line cleared under the same status.
    port->Open();
    port->Connect();
    Tick();
    EXPECT_EQ(Status(), u"Connected");
    port->Close();
    Tick();
    EXPECT_EQ(Status(), u"Connected");
    EXPECT_EQ(Data(), u"");
}

TEST_F(ProgressWindow, CancelSetsTheFlagAndThePortClosesOnItsOwn)
{
    port->Open();
    port->Connect();
    Tick();
    ASSERT_EQ(Status(), u"Connected");

    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(tarvel::device::cancelRequested.load(), 1);
    EXPECT_EQ(Status(), u"Closing connection...");
    EXPECT_EQ(Data(), u"");
    EXPECT_TRUE(IsWindow(window)) << "the job, not the button, ends the window";

    // The writer thread sees the flag and closes the port; the window
    // keeps telling the user what it is doing.
    DWORD start = GetTickCount();
    while (port->GetState() == PortState::Open && GetTickCount() - start < 2000)
        Sleep(5);
    EXPECT_EQ(port->GetState(), PortState::Closed);
    Tick();
    EXPECT_EQ(Status(), u"Closing connection...");
}

TEST_F(ProgressWindow, RealTimerPollsThePortWhileMessagesArePumped)
{
    port->Open();
    // No tick has come yet: pumping at once shows nothing new.
    tarvel::ui::PumpAllMessages();
    EXPECT_EQ(Status(), u"Prepare printing...");

    DWORD start = GetTickCount();
    while (Status() == u"Prepare printing..." && GetTickCount() - start < 2000) {
        Sleep(10);
        tarvel::ui::PumpAllMessages();
    }
    EXPECT_EQ(Status(), u"Establishing connection...");
    EXPECT_GE(GetTickCount() - start, tarvel::device::kProgressTimerMs - 20);

    // The port pumps the window's messages while it waits for its writer.
    port->Connect();
    Sleep(tarvel::device::kProgressTimerMs + 20);
    tarvel::ui::PumpAllMessages();
    EXPECT_EQ(Status(), u"Connected");
}

TEST_F(ProgressWindow, AWindowWithoutPortOrAfterAReplacementStaysQuiet)
{
    // Before the job has a port the window must not reach for one.
    device.port.reset();
    Tick();
    EXPECT_EQ(Status(), u"Prepare printing...");

    // A second window for the same job takes over; the end of the first
    // one does not stop the second.
    auto fake = std::make_unique<FakePort>();
    FakePort* second = fake.get();
    device.port = std::move(fake);
    HWND newer = tarvel::device::CreateProgressWindow(device, nullptr);
    ASSERT_NE(newer, nullptr);
    DestroyWindow(window);
    second->Open();
    SendMessageW(newer, WM_TIMER, 1, 0);
    EXPECT_EQ(Line(newer, tarvel::device::kStatusLine), u"Establishing connection...");
    DestroyWindow(newer);
}

}  // namespace
