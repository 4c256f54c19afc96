#include "device/ui/DialogTemplates.h"

#include "device/PrinterDevice.h"

#include <iterator>

namespace tarvel::device {
namespace {

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kLengthField = WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kPageField = WS_BORDER | ES_NUMBER | WS_TABSTOP;

const DLGITEMDEF kOptionsItems[] = {
    {IDOK, DLGC_DEFPUSHBUTTON, u"OK", 16, 95, 37, 14, WS_TABSTOP},
    {IDCANCEL, DLGC_PUSHBUTTON, u"Cancel", 79, 95, 37, 14, WS_TABSTOP},
    {kLeftMarginField, DLGC_EDIT, nullptr, 30, 13, 32, 12, kLengthField},
    {kRightMarginField, DLGC_EDIT, nullptr, 30, 27, 32, 12, kLengthField},
    {kTopMarginField, DLGC_EDIT, nullptr, 95, 13, 32, 12, kLengthField},
    {kBottomMarginField, DLGC_EDIT, nullptr, 95, 27, 32, 12, kLengthField},
    {kAllPagesButton, DLGC_AUTORADIOBUTTON, u"All", 9, 55, 50, 9, WS_GROUP | WS_TABSTOP},
    {kPageRangeButton, DLGC_AUTORADIOBUTTON, u"Pages from:", 9, 65, 50, 9, 0},
    {kFirstPageField, DLGC_EDIT, nullptr, 63, 64, 21, 12, kPageField},
    {kLastPageField, DLGC_EDIT, nullptr, 105, 64, 21, 12, kPageField},
    {IDC_STATIC, DLGC_RTEXT, u"Left:", 6, 15, 22, 12, 0},
    {IDC_STATIC, DLGC_RTEXT, u"Top:", 66, 14, 27, 12, 0},
    {IDC_STATIC, DLGC_RTEXT, u"Right:", 6, 29, 22, 12, 0},
    {IDC_STATIC, DLGC_RTEXT, u"Bottom:", 66, 28, 27, 12, 0},
    {kDraftBox, DLGC_AUTOCHECKBOX, u"Draft mode", 5, 83, 50, 9, WS_TABSTOP},
    {kCompressionBox, DLGC_AUTOCHECKBOX, u"Data compression", 58, 83, 72, 9, WS_TABSTOP},
    {IDC_STATIC, DLGC_GROUPBOX, u"Page range", 3, 45, 127, 35, 0},
    {IDC_STATIC, DLGC_GROUPBOX, u"Margins", 3, 3, 127, 40, 0},
    {IDC_STATIC, DLGC_CTEXT, u"to:", 87, 65, 15, 9, 0},
};

const DLGITEMDEF kPrintItems[] = {
    {kPrinterList, DLGC_DROPDOWNLIST, nullptr, 49, 3, 81, 119, WS_TABSTOP},
    {kPortList, DLGC_DROPDOWNLIST, nullptr, 49, 16, 81, 105, WS_TABSTOP},
    {kColorList, DLGC_DROPDOWNLIST, nullptr, 49, 29, 81, 91, WS_TABSTOP},
    {kPaperList, DLGC_DROPDOWNLIST, nullptr, 49, 42, 81, 77, WS_TABSTOP},
    {kPortraitButton, DLGC_AUTORADIOBUTTON, u"Portrait", 8, 67, 47, 9, WS_GROUP | WS_TABSTOP},
    {kLandscapeButton, DLGC_AUTORADIOBUTTON, u"Landscape", 8, 80, 47, 9, 0},
    {kWidthField, DLGC_EDIT, nullptr, 93, 67, 32, 12, kLengthField},
    {kHeightField, DLGC_EDIT, nullptr, 93, 80, 32, 12, kLengthField},
    {IDOK, DLGC_DEFPUSHBUTTON, u"OK", 3, 99, 37, 14, WS_TABSTOP},
    {kMoreButton, DLGC_PUSHBUTTON, u"More...", 47, 99, 37, 14, WS_TABSTOP},
    {IDCANCEL, DLGC_PUSHBUTTON, u"Cancel", 93, 99, 37, 14, WS_TABSTOP},
    {IDC_STATIC, DLGC_RTEXT, u"Width", 66, 68, 23, 12, 0},
    {IDC_STATIC, DLGC_RTEXT, u"Height", 66, 81, 23, 12, 0},
    {IDC_STATIC, DLGC_GROUPBOX, u"Custom Paper", 62, 57, 68, 39, 0},
    {IDC_STATIC, DLGC_RTEXT, u"Printer :", 3, 4, 42, 12, 0},
    {IDC_STATIC, DLGC_RTEXT, u"Port :", 3, 17, 42, 12, 0},
    {IDC_STATIC, DLGC_RTEXT, u"Color/Mono :", 3, 30, 42, 12, 0},
    {IDC_STATIC, DLGC_RTEXT, u"Paper size :", 3, 43, 42, 12, 0},
    {IDC_STATIC, DLGC_GROUPBOX, u"Orientation", 3, 57, 54, 39, 0},
};

const DLGITEMDEF kProgressItems[] = {
    {IDCANCEL, DLGC_PUSHBUTTON, u"Cancel", 39, 32, 50, 14, WS_TABSTOP},
    {kStatusLine, DLGC_CTEXT, u"Status", 7, 7, 114, 11, 0},
    {kDataLine, DLGC_CTEXT, u"Data sent", 7, 18, 114, 11, 0},
};

// The print and options dialogs take their caption from the request's
// owner window; the template's own is what shows when it has none.
const DLGTEMPLATEDEF kTemplates[] = {
    {kOptionsDialogId, u"Options", 133, 114, u"System", 8, kDialogStyle, kOptionsItems,
     static_cast<int>(std::size(kOptionsItems))},
    {kPrintDialogId, u"Print", 133, 122, u"System", 8, kDialogStyle, kPrintItems,
     static_cast<int>(std::size(kPrintItems))},
    {kProgressDialogId, u"Printing...", 128, 53, u"System", 8, kDialogStyle, kProgressItems,
     static_cast<int>(std::size(kProgressItems))},
};

}  // namespace

const DLGTEMPLATEDEF* LoadDialogTemplate(int id)
{
    // The entry hook may store the instance handle after the first dialog
    // was shown (a statically linked program never stores one), so the
    // templates are registered for whatever handle is current; registering
    // again only replaces the entry.
    for (const DLGTEMPLATEDEF& t : kTemplates)
        tarvel::ui::RegisterDialogTemplate(moduleInstance, &t);
    HRSRC resource = FindResourceW(moduleInstance, MAKEINTRESOURCEW(id), RT_DIALOG);
    if (resource == nullptr)
        return nullptr;
    return static_cast<const DLGTEMPLATEDEF*>(LockResource(LoadResource(moduleInstance, resource)));
}

}  // namespace tarvel::device
