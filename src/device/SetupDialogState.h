// The working copy that the print dialog, the options dialog and the two
// request functions share while a dialog is up.
#pragma once

#include <tarvel/win32.h>

#include <cstdint>

namespace tarvel::device {

inline constexpr int kCaptionLength = 256;

struct SetupDialogState {
    WCHAR caption[kCaptionLength] = {};  // the owner window's title
    BOOL allPages = 1;                   // 1: "All"; 0: a page range
    BOOL paperLocked = 0;
    BOOL rangeLocked = 0;
    BOOL marginsLocked = 0;
    BOOL orientationLocked = 0;
    BOOL workPortrait = 1;
    RECT workMargins = {};  // hundredths of a millimetre
    BOOL metric = 1;        // 1: centimetres; 0: inches
    std::int32_t workFirstPage = 1;
    std::int32_t workLastPage = 1;
    BOOL workDraft = 0;
    BOOL workCompression = 1;
    BOOL printerLocked = 0;
};

}  // namespace tarvel::device
