#include "device/ui/ProgressWindow.h"

#include "device/PrinterDevice.h"
#include "device/ui/DialogTemplates.h"

#include <cstdio>
#include <string>

namespace tarvel::device {
namespace {

constexpr UINT_PTR kTimerId = 1;

// One progress window exists at a time; what it showed last lets a tick
// that brings no news leave the lines alone, so they do not flicker.
struct ProgressView {
    HWND window = nullptr;
    PrinterDevice* device = nullptr;
    ports::PortState lastState = ports::PortState::Idle;
    std::uint32_t lastBytes = 0;
};

ProgressView view;

void SetLines(HWND window, const char16_t* status, const char16_t* data)
{
    if (status != nullptr)
        SetDlgItemTextW(window, kStatusLine, status);
    SetDlgItemTextW(window, kDataLine, data);
}

std::u16string BytesSentText(std::uint32_t bytes)
{
    // The count is shown as the signed 32-bit value it is kept in.
    char text[32];
    std::snprintf(text, sizeof text, "Bytes sent: %d", static_cast<int>(bytes));
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

void ShowPortState(HWND window)
{
    if (window != view.window || view.device == nullptr || !view.device->port)
        return;
    const ports::OutputPort& port = *view.device->port;
    ports::PortState state = port.GetState();
    std::uint32_t bytes = port.GetBytesSent();
    if (state == view.lastState && (state != ports::PortState::Open || bytes == view.lastBytes))
        return;
    switch (state) {
    case ports::PortState::Idle:
        SetLines(window, u"Prepare printing...", u"");
        break;
    case ports::PortState::Connecting:
        SetLines(window, u"Establishing connection...", u"");
        break;
    case ports::PortState::Open:
        if (bytes != 0) {
            // The status line changes once, when sending starts; from then
            // on only the count moves.
            SetLines(window, view.lastState != ports::PortState::Open ? u"Sending data to printer..." : nullptr,
                     BytesSentText(bytes).c_str());
        } else {
            SetLines(window, u"Connected", u"");
        }
        view.lastBytes = bytes;
        break;
    default:
        // Closed or lost: the status line keeps what led up to it.
        SetLines(window, nullptr, u"");
        break;
    }
    view.lastState = state;
}

INT_PTR ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        view = ProgressView{window, reinterpret_cast<PrinterDevice*>(lParam)};
        SetLines(window, u"Prepare printing...", u"");
        SetTimer(window, kTimerId, kProgressTimerMs, nullptr);
        return TRUE;
    case WM_TIMER:
        ShowPortState(window);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL)
            return FALSE;
        // The port's writer notices the flag and closes; the page being
        // sent then fails and the job says so. The window stays until then.
        cancelRequested = 1;
        SetLines(window, u"Closing connection...", u"");
        return TRUE;
    case WM_DESTROY:
        KillTimer(window, kTimerId);
        // A window replaced by a newer one must not blind the newer one.
        if (window == view.window)
            view = ProgressView{};
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

HWND CreateProgressWindow(PrinterDevice& device, HWND owner)
{
    const DLGTEMPLATEDEF* dialogTemplate = LoadDialogTemplate(kProgressDialogId);
    if (dialogTemplate == nullptr)
        return nullptr;
    return CreateDialogIndirectParamW(moduleInstance, dialogTemplate, owner, ProgressProc,
                                      reinterpret_cast<LPARAM>(&device));
}

}  // namespace tarvel::device
