// The progress window on the headless backend, driven by a port whose
// state the test moves by hand; bytes really pass through the port's
// writer thread so that the count the window shows is the port's own.
// That the window's own timer brings the news is seen in the FLTK
// screenshot, and that its Cancel button ends a job in the print job tests.
#include "FakePort.h"

#include "device/PrinterDevice.h"
#include "device/ui/DialogTemplates.h"
#include "device/ui/ProgressWindow.h"

#include <tarvel/ui.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

namespace {

using namespace tarvel::device;
using tarvel::test::FakePort;
using Lines = std::pair<std::u16string, std::u16string>;  // status, data

std::u16string Line(HWND window, int id)
{
    WCHAR text[128] = {};
    return std::u16string(text, GetDlgItemTextW(window, id, text, 128));
}

class ProgressWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tarvel::ui::SelectBackend(tarvel::ui::Backend::Headless));
        cancelRequested = 0;
        device.port = std::make_unique<FakePort>();
        port = static_cast<FakePort*>(device.port.get());
        window = CreateProgressWindow(device, nullptr);
        ASSERT_NE(window, nullptr);
        port->Attach(&cancelRequested, window);
    }

    void TearDown() override
    {
        DestroyWindow(window);
        device.port.reset();
        cancelRequested = 0;
    }

    Lines Shown() const { return {Line(window, kStatusLine), Line(window, kDataLine)}; }

    // One tick, as the timer would deliver it, and what the window shows then.
    Lines Tick()
    {
        SendMessageW(window, WM_TIMER, 1, 0);
        return Shown();
    }

    PrinterDevice device;
    FakePort* port = nullptr;
    HWND window = nullptr;
};

TEST_F(ProgressWindow, FollowsThePortFromConnectingToSendingAndLosingIt)
{
    EXPECT_FALSE(IsWindowVisible(window)) << "the job centres it before showing it";
    EXPECT_EQ(Shown(), Lines(u"Prepare printing...", u""));
    EXPECT_EQ(Tick(), Lines(u"Prepare printing...", u"")) << "an idle port is what the window starts with";
    port->Open();
    EXPECT_EQ(Tick(), Lines(u"Establishing connection...", u""));
    // Connected and already sending by the next tick.
    port->Connect();
    port->Send(1500);
    EXPECT_EQ(Tick(), Lines(u"Sending data to printer...", u"Bytes sent: 1500"));

    // From now on the status line is left alone: text put there by someone
    // else survives while the count grows over the job.
    SetDlgItemTextW(window, kStatusLine, u"marker");
    port->Send(2500);
    EXPECT_EQ(Tick(), Lines(u"marker", u"Bytes sent: 4000"));
    // A tick without news writes nothing.
    SetDlgItemTextW(window, kDataLine, u"untouched");
    EXPECT_EQ(Tick(), Lines(u"marker", u"untouched"));
    // A lost port clears only the data line.
    port->Lose();
    EXPECT_EQ(Tick(), Lines(u"marker", u""));
}

TEST_F(ProgressWindow, AWindowWithoutPortOrAfterAReplacementStaysQuiet)
{
    // Before the job has a port the window must not reach for one.
    device.port.reset();
    EXPECT_EQ(Tick().first, u"Prepare printing...");

    // A second window for the same job takes over; the end of the first
    // one does not stop the second.
    device.port = std::make_unique<FakePort>();
    HWND newer = CreateProgressWindow(device, nullptr);
    ASSERT_NE(newer, nullptr);
    DestroyWindow(window);
    device.port->Open();
    SendMessageW(newer, WM_TIMER, 1, 0);
    EXPECT_EQ(Line(newer, kStatusLine), u"Establishing connection...");
    DestroyWindow(newer);
}

}  // namespace
