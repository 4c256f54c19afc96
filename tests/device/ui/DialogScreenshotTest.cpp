// The print, options and progress windows on real FLTK windows, on a
// private Xvfb server: their pixels match the references. How real clicks
// and keys become the commands the dialogs hear is proven on the sample
// dialog (tests/platform/ui), what the dialogs make of them headless.
#include "FakePort.h"

#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "device/ui/DialogTemplates.h"
#include "device/ui/ProgressWindow.h"
#include "device/ui/SetupDialogs.h"
#include "platform/system/System.h"
#include "support/XvfbSession.h"

#include <FL/Fl.H>

#include <algorithm>
#include <map>
#include <string>

namespace {

using namespace tarvel::device;
using namespace tarvel::test;

[[maybe_unused]] const auto* const g_server = UsePrivateXvfb();

// What the timer-driven user photographed; the steps run inside the
// dialogs' own modal loops, one timer tick at a time.
std::map<std::string, Surface> g_shots;
UINT_PTR g_timer = 0;
DWORD g_deadline = 0;

int TemplateOf(HWND dialog)
{
    tarvel::ui::WindowRef w = tarvel::ui::FindWindowRef(dialog);
    return w && w->dialogTemplate ? w->dialogTemplate->resourceId : 0;
}

// Photographs the print dialog, opens the options, photographs them,
// confirms them and cancels the print dialog. The click of the step before
// may still be on its way on a busy machine: a step finds its dialog or
// waits for the next tick. A dialog that never comes fails the test and
// ends every dialog, instead of leaving the modal loops waiting for ever.
void NextStep(HWND, UINT, UINT_PTR, DWORD)
{
    static const struct {
        int dialog;
        const char* shot;  // none: the last step
        int click;
    } steps[] = {{kPrintDialogId, "print-dialog", kMoreButton}, {kOptionsDialogId, "options-dialog", IDOK}, {kPrintDialogId, nullptr, IDCANCEL}};
    // Photographs pump messages: no tick may come inside a step.
    KillTimer(nullptr, g_timer);
    HWND dialog = GetActiveWindow();
    const auto& step = steps[std::min<std::size_t>(g_shots.size(), 2)];
    if (TemplateOf(dialog) == step.dialog) {
        if (step.shot)
            g_shots[step.shot] = Photograph(dialog);
        ClickControl(dialog, step.click);
        if (!step.shot)
            return;
    } else if (GetTickCount() - g_deadline < 0x80000000u) {
        ADD_FAILURE() << "dialog " << step.dialog << " did not come";
        EndDialog(dialog, -2);
    }
    g_timer = SetTimer(nullptr, 0, 150, NextStep);
}

class FltkDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tarvel::ui::SelectBackend(tarvel::ui::Backend::Fltk)) << "FLTK must work on the test server";
        SHInitExtraControls();
        device.settings = PrinterSettings{};
        Papers()[kCustomPaper].width = Papers()[kCustomPaper].height = 0;
        g_shots.clear();
        g_deadline = GetTickCount() + 10000;
        request.lStructSize = sizeof request;
    }

    void TearDown() override { KillTimer(nullptr, g_timer); }

    PrinterDevice device;
    PRINTDLGW request{};
};

TEST_F(FltkDialogs, PrintAndOptionsDialogsMatchTheirReferences)
{
    request.Flags = PD_INHUNDREDTHSOFMILLIMETERS;
    g_timer = SetTimer(nullptr, 0, 150, NextStep);
    EXPECT_EQ(PrintDialog(device, &request), 0) << "the script ends with Cancel";
    ExpectMatchesReference(g_shots["print-dialog"].get(), "device", "print-dialog");
    ExpectMatchesReference(g_shots["options-dialog"].get(), "device", "options-dialog");
}

TEST_F(FltkDialogs, ProgressWindowMatchesItsReferenceWhileSending)
{
    auto port = std::make_unique<tarvel::test::FakePort>();
    ASSERT_EQ(port->Open(), 0);
    port->Connect();
    port->Send(12345);
    device.port = std::move(port);

    HWND window = CreateProgressWindow(device, nullptr);
    ASSERT_NE(window, nullptr);
    SetWindowPos(window, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window, SW_SHOW);
    // The window's own timer brings the port's news.
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kProgressTimerMs + 200) {
        Fl::wait(0.02);
        tarvel::ui::PumpAllMessages();
    }
    ExpectMatchesReference(Photograph(window).get(), "device", "progress-window");
    DestroyWindow(window);
}

}  // namespace
