// The print dialog (template 102): printer model, port, colour mode, paper
// with its custom size, orientation, and "More..." for the options.
#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "device/ui/DialogControls.h"
#include "device/ui/DialogTemplates.h"
#include "device/ui/SetupDialogs.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tarvel::device {
namespace {

// The device of the dialog that is up; set at its initialisation.
PrinterDevice* printDevice = nullptr;

template <typename Names>
void FillList(HWND dialog, int id, const Names& names, std::int32_t selected)
{
    for (std::u16string_view name : names) {
        std::u16string text(name);
        SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    // A setting outside the table selects nothing.
    SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int Selection(HWND dialog, int id)
{
    return static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
}

// The size fields show the paper as it lies: width and height trade places
// in landscape.
void ShowPaperSize(HWND dialog, int paper, bool portrait)
{
    if (paper < 0 || paper >= kPaperCount)
        return;
    const PaperSize& size = Papers()[static_cast<std::size_t>(paper)];
    LengthUnit unit = UnitOf(printDevice->setup);
    SetDlgItemTextW(dialog, kWidthField, FormatLength(portrait ? size.width : size.height, unit).c_str());
    SetDlgItemTextW(dialog, kHeightField, FormatLength(portrait ? size.height : size.width, unit).c_str());
}

bool CustomSizeEditable(int paper)
{
    return paper == kCustomPaper && !printDevice->setup.paperLocked;
}

void LockPaperSize(HWND dialog, int paper)
{
    bool readOnly = !CustomSizeEditable(paper);
    SetReadOnly(dialog, kWidthField, readOnly);
    SetReadOnly(dialog, kHeightField, readOnly);
}

void InitPrintDialog(HWND dialog)
{
    const SetupDialogState& state = printDevice->setup;
    const PrinterSettings& settings = printDevice->settings;
    SetWindowTextW(dialog, state.caption);

    FillList(dialog, kPrinterList, kPrinterModelNames, settings.printer);
    EnableWindow(GetDlgItem(dialog, kPrinterList), !state.printerLocked);
    FillList(dialog, kPortList, kPortNames, settings.port);
    std::array<std::u16string_view, kColorModeCount> colorNames;
    std::transform(kColorModes.begin(), kColorModes.end(), colorNames.begin(),
                   [](const ColorMode& mode) { return mode.name; });
    FillList(dialog, kColorList, colorNames, settings.colorMode);
    std::array<std::u16string_view, kPaperCount> paperNames;
    std::transform(Papers().begin(), Papers().end(), paperNames.begin(),
                   [](const PaperSize& paper) { return paper.name; });
    FillList(dialog, kPaperList, paperNames, settings.paperSize);
    EnableWindow(GetDlgItem(dialog, kPaperList), !state.paperLocked);

    int paper = Selection(dialog, kPaperList);
    ShowPaperSize(dialog, paper, state.workPortrait != 0);
    LockPaperSize(dialog, paper);

    SetChecked(dialog, kPortraitButton, state.workPortrait != 0);
    SetChecked(dialog, kLandscapeButton, state.workPortrait == 0);
    EnableWindow(GetDlgItem(dialog, kPortraitButton), !state.orientationLocked);
    EnableWindow(GetDlgItem(dialog, kLandscapeButton), !state.orientationLocked);

    PrepareForShell(dialog);
}

void ConfirmPrintDialog(HWND dialog)
{
    PrinterSettings& settings = printDevice->settings;
    const SetupDialogState& state = printDevice->setup;
    for (auto [id, field] : {std::pair{kPrinterList, &settings.printer}, std::pair{kPortList, &settings.port},
                             std::pair{kColorList, &settings.colorMode}, std::pair{kPaperList, &settings.paperSize}}) {
        int selected = Selection(dialog, id);
        if (selected != CB_ERR)
            *field = selected;
    }
    settings.portrait = IsChecked(dialog, kPortraitButton) ? 1 : 0;
    // Margins a request brought in are held to the same bounds as typed
    // ones, so the settings never hold a margin the next load would drop.
    for (LONG RECT::*side : {&RECT::left, &RECT::top, &RECT::right, &RECT::bottom})
        settings.margins.*side = std::clamp(state.workMargins.*side, 0, kLongestMargin);
    settings.draftMode = state.workDraft;
    settings.compression = state.workCompression;
    EndDialog(dialog, IDOK);
}

// A custom size is taken the moment the user leaves its field, straight
// into the paper table, whether or not the dialog is confirmed later.
void TakeCustomSize(HWND dialog, int field)
{
    if (!CustomSizeEditable(Selection(dialog, kPaperList)))
        return;
    LengthUnit unit = UnitOf(printDevice->setup);
    // Every page size computation reads the custom row, so a typed size is
    // held to what a roll of paper can be, and to what the settings load
    // accepts back; a negative size means nothing.
    std::int32_t length = std::clamp(ParseLength(FieldText(dialog, field), unit), 0, kLongestCustomSide);
    bool portrait = IsChecked(dialog, kPortraitButton);
    PaperSize& custom = Papers()[kCustomPaper];
    bool storesWidth = (field == kWidthField) == portrait;
    (storesWidth ? custom.width : custom.height) = length;
    SetDlgItemTextW(dialog, field, FormatLength(length, unit).c_str());
}

INT_PTR PrintDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        printDevice = reinterpret_cast<PrinterDevice*>(lParam);
        InitPrintDialog(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND || printDevice == nullptr)
        return FALSE;
    int id = LOWORD(wParam);
    int code = HIWORD(wParam);
    switch (id) {
    case IDOK:
        ConfirmPrintDialog(dialog);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, 0);
        return TRUE;
    case kMoreButton:
        ShowOptionsDialog(*printDevice, dialog);
        return TRUE;
    case kPaperList:
        if (code == CBN_SELCHANGE) {
            int paper = Selection(dialog, kPaperList);
            ShowPaperSize(dialog, paper, IsChecked(dialog, kPortraitButton));
            LockPaperSize(dialog, paper);
        }
        return FALSE;
    case kPortraitButton:
    case kLandscapeButton:
        ShowPaperSize(dialog, Selection(dialog, kPaperList), IsChecked(dialog, kPortraitButton));
        return FALSE;
    case kWidthField:
    case kHeightField:
        if (code == EN_KILLFOCUS)
            TakeCustomSize(dialog, id);
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

void PrepareForShell(HWND dialog)
{
    SetForegroundWindow(dialog);
    SHINITDLGINFO info{SHIDIM_FLAGS, dialog, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN};
    SHInitDialog(&info);
    CreateWindowExW(0, u"SIPPREF", u"", WS_CHILD, -10, -10, 5, 5, dialog,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kSipPrefId)), moduleInstance, nullptr);
}

INT_PTR ShowPrintDialog(PrinterDevice& device, HWND owner)
{
    const DLGTEMPLATEDEF* dialogTemplate = LoadDialogTemplate(kPrintDialogId);
    if (dialogTemplate == nullptr)
        return -1;
    PrinterDevice* outer = printDevice;
    INT_PTR result = DialogBoxIndirectParamW(moduleInstance, dialogTemplate, owner, PrintDialogProc,
                                             reinterpret_cast<LPARAM>(&device));
    printDevice = outer;
    return result;
}

}  // namespace tarvel::device
