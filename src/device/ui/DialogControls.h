// Small helpers the print and options dialogs share.
#pragma once

#include "device/SetupDialogState.h"
#include "device/ui/LengthText.h"

#include <tarvel/ui.h>

#include <string>

namespace tarvel::device {

inline LengthUnit UnitOf(const SetupDialogState& state)
{
    return state.metric ? LengthUnit::Centimetre : LengthUnit::Inch;
}

inline std::u16string FieldText(HWND dialog, int id)
{
    WCHAR text[kCaptionLength] = {};
    UINT n = GetDlgItemTextW(dialog, id, text, kCaptionLength);
    return std::u16string(text, n);
}

inline void SetReadOnly(HWND dialog, int id, bool readOnly)
{
    SendDlgItemMessageW(dialog, id, EM_SETREADONLY, readOnly ? TRUE : FALSE, 0);
}

inline bool IsChecked(HWND dialog, int id)
{
    return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

inline void SetChecked(HWND dialog, int id, bool checked)
{
    SendDlgItemMessageW(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// What the handheld shell does for every dialog of the library: a Done
// button, full-screen size, the input panel lowered, and a hidden child
// that makes the panel follow the focused field.
void PrepareForShell(HWND dialog);

}  // namespace tarvel::device
