// A dialog with one control of every kind and a procedure that logs what
// it hears, shared by the headless and the FLTK tests.
#pragma once

#include <tarvel/ui.h>

#include <string>
#include <vector>

namespace sample {

constexpr int kList = 1000, kPortrait = 1004, kLandscape = 1005, kWidth = 1006, kPages = 1010, kDraft = 1013, kMore = 3, kStaticLeft = 1019, kStaticCentre = 1020;

inline const DLGITEMDEF kItems[] = {
    {kList, DLGC_DROPDOWNLIST, nullptr, 49, 3, 81, 60, WS_TABSTOP},
    {IDC_STATIC, DLGC_RTEXT, u"Printer :", 3, 4, 42, 12, 0},
    {IDC_STATIC, DLGC_GROUPBOX, u"Orientation", 3, 20, 54, 39, 0},
    {kPortrait, DLGC_AUTORADIOBUTTON, u"Portrait", 8, 30, 47, 9, WS_TABSTOP},
    {kLandscape, DLGC_AUTORADIOBUTTON, u"Landscape", 8, 43, 47, 9, 0},
    {kWidth, DLGC_EDIT, nullptr, 93, 30, 32, 12, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP},
    {kPages, DLGC_EDIT, nullptr, 93, 45, 32, 12, WS_BORDER | ES_NUMBER | WS_TABSTOP},
    {kDraft, DLGC_AUTOCHECKBOX, u"Draft mode", 5, 62, 60, 9, WS_TABSTOP},
    {kStaticLeft, DLGC_LTEXT, u"Status", 66, 62, 64, 9, 0},
    {kStaticCentre, DLGC_CTEXT, u"Data sent", 5, 74, 125, 9, 0},
    {IDOK, DLGC_DEFPUSHBUTTON, u"OK", 3, 86, 37, 14, WS_TABSTOP},
    {kMore, DLGC_PUSHBUTTON, u"More...", 47, 86, 37, 14, WS_TABSTOP},
    {IDCANCEL, DLGC_PUSHBUTTON, u"Cancel", 93, 86, 37, 14, WS_TABSTOP},
};

inline const DLGTEMPLATEDEF kTemplate = {900, u"Sample", 133, 104, u"System", 8, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                                         kItems, static_cast<int>(sizeof(kItems) / sizeof(kItems[0]))};

struct Heard {
    UINT message;
    int id;
    int code;
    bool operator==(const Heard&) const = default;
};

// What the procedure heard, and what the test wants it to do.
struct Log {
    std::vector<Heard> heard;
    HWND dialog = nullptr;
};

inline Log g_log;

// Fills the controls at initialisation; upper-cases the width field when
// it loses the focus (so a responder sees the procedure's writing); ends
// with 1 for OK and 0 for Cancel.
inline INT_PTR CALLBACK_SampleProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        g_log.dialog = dialog;
        g_log.heard.push_back({message, 0, 0});
        for (const char16_t* name : {u"Alpha", u"Beta", u"Gamma"}) SendDlgItemMessageW(dialog, kList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        SendDlgItemMessageW(dialog, kList, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"Beta"));
        SendDlgItemMessageW(dialog, kPortrait, BM_SETCHECK, BST_CHECKED, 0);
        SetDlgItemTextW(dialog, kWidth, u"21cm");
        SetDlgItemTextW(dialog, kPages, u"1");
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        int code = HIWORD(wParam);
        g_log.heard.push_back({message, id, code});
        if (id == kWidth && code == EN_KILLFOCUS) {
            WCHAR text[64];
            GetDlgItemTextW(dialog, kWidth, text, 64);
            for (WCHAR* p = text; *p != 0; ++p) *p = *p >= u'a' && *p <= u'z' ? static_cast<WCHAR>(*p - 32) : *p;
            SetDlgItemTextW(dialog, kWidth, text);
            return FALSE;
        }
        if (id == IDOK || id == IDCANCEL) {
            EndDialog(dialog, id == IDOK ? 1 : 0);
            return TRUE;
        }
        return FALSE;
    }
    case WM_DESTROY:
        g_log.heard.push_back({message, 0, 0});
        return FALSE;
    default:
        return FALSE;
    }
}

// The commands the procedure heard, without the focus arriving in a field
// (when that happens depends on the backend).
inline std::vector<Heard> Commands()
{
    std::vector<Heard> commands;
    for (const Heard& h : g_log.heard)
        if (h.message == WM_COMMAND && h.code != EN_SETFOCUS) commands.push_back(h);
    return commands;
}

inline std::u16string ItemText(HWND dialog, int id)
{
    WCHAR buffer[256];
    UINT n = GetDlgItemTextW(dialog, id, buffer, 256);
    return std::u16string(buffer, n);
}

}  // namespace sample
