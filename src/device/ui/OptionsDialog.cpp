// The options dialog (template 101) behind "More...": margins, page range,
// draft mode and data compression. It edits only the dialog state; the
// print dialog's confirmation carries the values into the settings.
#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "device/ui/DialogControls.h"
#include "device/ui/DialogTemplates.h"
#include "device/ui/SetupDialogs.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tarvel::device {
namespace {

// The margin fields and the side of the rectangle each one edits.
struct MarginField {
    int id;
    LONG RECT::*side;
};

constexpr MarginField kMarginFields[] = {
    {kLeftMarginField, &RECT::left},
    {kRightMarginField, &RECT::right},
    {kTopMarginField, &RECT::top},
    {kBottomMarginField, &RECT::bottom},
};

PrinterDevice* optionsDevice = nullptr;

void SetNumber(HWND dialog, int id, std::int32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    std::u16string wide(text, text + std::char_traits<char>::length(text));
    SetDlgItemTextW(dialog, id, wide.c_str());
}

// A page number as typed: its leading decimal digits, 0 for no number.
std::int32_t ReadNumber(HWND dialog, int id)
{
    std::string narrow;
    for (char16_t c : FieldText(dialog, id)) {
        if (c > 0x7F)
            break;
        narrow += static_cast<char>(c);
    }
    long long value = std::strtoll(narrow.c_str(), nullptr, 10);
    return static_cast<std::int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

// A margin as typed, held to what a margin can be: the settings keep it,
// and the next load must give it back (see kLongestMargin).
std::int32_t TypedMargin(HWND dialog, int id)
{
    const SetupDialogState& state = optionsDevice->setup;
    return std::clamp(ParseLength(FieldText(dialog, id), UnitOf(state)), 0, kLongestMargin);
}

void LockPageFields(HWND dialog, bool locked)
{
    SetReadOnly(dialog, kFirstPageField, locked);
    SetReadOnly(dialog, kLastPageField, locked);
}

void InitOptionsDialog(HWND dialog)
{
    const SetupDialogState& state = optionsDevice->setup;
    SetWindowTextW(dialog, state.caption);
    for (const MarginField& field : kMarginFields) {
        SetDlgItemTextW(dialog, field.id, FormatLength(state.workMargins.*field.side, UnitOf(state)).c_str());
        SetReadOnly(dialog, field.id, state.marginsLocked != 0);
    }
    SetChecked(dialog, kAllPagesButton, state.allPages != 0);
    SetChecked(dialog, kPageRangeButton, state.allPages == 0);
    EnableWindow(GetDlgItem(dialog, kAllPagesButton), !state.rangeLocked);
    EnableWindow(GetDlgItem(dialog, kPageRangeButton), !state.rangeLocked);
    SetNumber(dialog, kFirstPageField, state.workFirstPage);
    SetNumber(dialog, kLastPageField, state.workLastPage);
    LockPageFields(dialog, state.allPages || state.rangeLocked);
    SetChecked(dialog, kDraftBox, state.workDraft != 0);
    SetChecked(dialog, kCompressionBox, state.workCompression != 0);
    PrepareForShell(dialog);
}

void ConfirmOptionsDialog(HWND dialog)
{
    SetupDialogState& state = optionsDevice->setup;
    if (!state.marginsLocked) {
        for (const MarginField& field : kMarginFields)
            state.workMargins.*field.side = TypedMargin(dialog, field.id);
    }
    state.workDraft = IsChecked(dialog, kDraftBox) ? 1 : 0;
    state.workCompression = IsChecked(dialog, kCompressionBox) ? 1 : 0;
    state.allPages = IsChecked(dialog, kAllPagesButton) ? 1 : 0;
    // Page numbers are taken as typed; a range that selects nothing is the
    // user's to choose.
    if (!state.rangeLocked) {
        state.workFirstPage = ReadNumber(dialog, kFirstPageField);
        state.workLastPage = ReadNumber(dialog, kLastPageField);
    }
    EndDialog(dialog, IDOK);
}

// Leaving a margin field shows what was understood: the number in the
// dialog's unit, normalised, whatever unit was typed after it, and held to
// its bounds, so the user sees the margin that will be kept.
void NormaliseMargin(HWND dialog, int id)
{
    const SetupDialogState& state = optionsDevice->setup;
    if (state.marginsLocked)
        return;
    SetDlgItemTextW(dialog, id, FormatLength(TypedMargin(dialog, id), UnitOf(state)).c_str());
}

INT_PTR OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        optionsDevice = reinterpret_cast<PrinterDevice*>(lParam);
        InitOptionsDialog(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND || optionsDevice == nullptr)
        return FALSE;
    int id = LOWORD(wParam);
    int code = HIWORD(wParam);
    switch (id) {
    case IDOK:
        ConfirmOptionsDialog(dialog);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, 0);
        return TRUE;
    case kAllPagesButton:
    case kPageRangeButton:
        LockPageFields(dialog, IsChecked(dialog, kAllPagesButton));
        return FALSE;
    case kLeftMarginField:
    case kRightMarginField:
    case kTopMarginField:
    case kBottomMarginField:
        if (code == EN_KILLFOCUS)
            NormaliseMargin(dialog, id);
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR ShowOptionsDialog(PrinterDevice& device, HWND owner)
{
    const DLGTEMPLATEDEF* dialogTemplate = LoadDialogTemplate(kOptionsDialogId);
    if (dialogTemplate == nullptr)
        return -1;
    PrinterDevice* outer = optionsDevice;
    INT_PTR result = DialogBoxIndirectParamW(moduleInstance, dialogTemplate, owner, OptionsDialogProc,
                                             reinterpret_cast<LPARAM>(&device));
    optionsDevice = outer;
    return result;
}

}  // namespace tarvel::device
