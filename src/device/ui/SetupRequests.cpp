// The two request functions around the print dialog: they read the
// request's flags into the dialog state, show the dialog, write the
// outcome back into the request and apply it to the device.
#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "device/ui/LengthText.h"
#include <tarvel/pdc.h>
#include "device/ui/SetupDialogs.h"

#include <tarvel/ui.h>

namespace tarvel::device {
namespace {

// Rows of the paper table the print request reports by flag.
constexpr int kPaperA4 = 0;
constexpr int kPaperLetter = 3;

RECT ConvertRect(const RECT& r, std::int32_t (*convert)(std::int32_t))
{
    return RECT{convert(r.left), convert(r.top), convert(r.right), convert(r.bottom)};
}

// The request's margins become the starting margins, converted from
// thousandths of an inch unless the dialog works in centimetres.
void TakeRequestMargins(SetupDialogState& state, const RECT& margins)
{
    state.workMargins = state.metric ? margins : ConvertRect(margins, ThousandthsInchToHundredthsMm);
}

// The settings' margins in the unit the request is answered in.
RECT ReturnedMargins(const PrinterDevice& device)
{
    const RECT& margins = device.settings.margins;
    return device.setup.metric ? margins : ConvertRect(margins, HundredthsMmToThousandthsInch);
}

// A request names its owner; without one the active window owns the dialog.
HWND OwnerOf(HWND requested)
{
    return requested != nullptr ? requested : GetActiveWindow();
}

}  // namespace

void ResetSetupDialogState(PrinterDevice& device, HWND owner)
{
    SetupDialogState& state = device.setup;
    const PrinterSettings& settings = device.settings;
    state = SetupDialogState{};
    state.workPortrait = settings.portrait;
    state.allPages = 1;
    state.workFirstPage = 1;
    state.workLastPage = 1;
    state.workDraft = settings.draftMode;
    state.workCompression = settings.compression;
    state.workMargins = settings.margins;
    // A query that fails leaves the preset "0", which means metric.
    WCHAR measure[2] = {u'0', 0};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, measure, 2);
    state.metric = measure[0] == u'0' ? 1 : 0;
    if (owner != nullptr)
        GetWindowTextW(owner, state.caption, kCaptionLength);
    state.caption[kCaptionLength - 1] = 0;
}

int ApplyConfirmedDialog(PrinterDevice& device)
{
    SetupDialogState& state = device.setup;
    if (state.allPages) {
        device.pageRangeFirst = -1;
    } else {
        device.pageRangeFirst = state.workFirstPage;
        device.pageRangeLast = state.workLastPage;
    }
    PrinterSettings& settings = device.settings;
    device.xResolution = ModelResolution(settings.printer, settings.draftMode);
    device.yResolution = device.xResolution;
    if (MonochromeOnly(settings.printer))
        settings.colorMode = 0;
    // Whatever was recorded for the old DC goes with it.
    return tarvel::render::ReplacePrinterDc(device.recording) ? 1 : 0;
}

int PrintDialog(PrinterDevice& device, PRINTDLGW* request)
{
    if (request == nullptr || request->lStructSize < sizeof(PRINTDLGW) || device.docStarted)
        return 0;
    HWND owner = OwnerOf(request->hwndOwner);
    DWORD flags = request->Flags;
    if ((flags & PD_RETURNDEFAULT) != 0)
        return 0;
    ResetSetupDialogState(device, owner);
    SetupDialogState& state = device.setup;
    if ((flags & PD_INTHOUSANDTHSOFINCHES) != 0)
        state.metric = 0;
    if ((flags & PD_INHUNDREDTHSOFMILLIMETERS) != 0)
        state.metric = 1;
    state.paperLocked = (flags & PD_LOCKPAPER) != 0;
    state.rangeLocked = (flags & PD_LOCKRANGE) != 0;
    state.marginsLocked = (flags & PD_LOCKMARGINS) != 0;
    state.orientationLocked = (flags & PD_LOCKORIENTATION) != 0;
    if ((flags & PD_PORTRAIT) != 0)
        state.workPortrait = 1;
    if ((flags & PD_LANDSCAPE) != 0)
        state.workPortrait = 0;
    if ((flags & PD_MARGINS) != 0)
        TakeRequestMargins(state, request->rcMargin);

    if (ShowPrintDialog(device, owner) != 1)
        return 0;

    const PrinterSettings& settings = device.settings;
    DWORD result = PD_MARGINS;
    if (state.allPages)
        result |= PD_ALLPAGES_SELECTED;
    if (settings.draftMode)
        result |= PD_DRAFTMODE;
    if (settings.paperSize == kPaperA4)
        result |= PD_PAPER_A4;
    if (settings.paperSize == kPaperLetter)
        result |= PD_PAPER_LETTER;
    if (settings.port == kInfraredPort)
        result |= PD_PORT_INFRARED;
    result |= state.metric ? PD_INHUNDREDTHSOFMILLIMETERS : PD_INTHOUSANDTHSOFINCHES;
    result |= settings.portrait ? PD_PORTRAIT : PD_LANDSCAPE;
    request->Flags = result;
    request->rcMargin = ReturnedMargins(device);
    return ApplyConfirmedDialog(device);
}

int PageSetupDialog(PrinterDevice& device, PAGESETUPDLGW* request)
{
    if (request == nullptr || request->lStructSize < sizeof(PAGESETUPDLGW) || device.docStarted)
        return 0;
    HWND owner = OwnerOf(request->hwndOwner);
    DWORD flags = request->Flags;
    if ((flags & PSD_RETURNDEFAULT) != 0)
        return 0;
    // The orientation stays the setting's: this request has no word for it.
    ResetSetupDialogState(device, owner);
    SetupDialogState& state = device.setup;
    if ((flags & PSD_INTHOUSANDTHSOFINCHES) != 0)
        state.metric = 0;
    if ((flags & PSD_INHUNDREDTHSOFMILLIMETERS) != 0)
        state.metric = 1;
    state.paperLocked = (flags & PSD_DISABLEPAPER) != 0;
    state.rangeLocked = (flags & PSD_DISABLEPAGERANGE) != 0;
    state.marginsLocked = (flags & PSD_DISABLEMARGINS) != 0;
    state.orientationLocked = (flags & PSD_DISABLEORIENTATION) != 0;
    if ((flags & PSD_MARGINS) != 0)
        TakeRequestMargins(state, request->rtMargin);
    state.printerLocked = (flags & PSD_DISABLEPRINTER) != 0;
    if ((flags & PSD_PAGERANGE) != 0)
        state.allPages = 0;

    if (ShowPrintDialog(device, owner) != 1)
        return 0;

    DWORD result = PSD_MARGINS;
    if (!state.allPages)
        result |= PSD_PAGERANGE;
    result |= state.metric ? PSD_INHUNDREDTHSOFMILLIMETERS : PSD_INTHOUSANDTHSOFINCHES;
    request->Flags = result;
    request->rtMargin = ReturnedMargins(device);
    return ApplyConfirmedDialog(device);
}

}  // namespace tarvel::device
