// The library's three dialog templates, held as data, and their control ids.
//
// They stand where the handheld kept its dialog resources: registered under
// the module instance handle, found again with FindResourceW/LoadResource.
#pragma once

#include <tarvel/ui.h>

namespace tarvel::device {

inline constexpr int kOptionsDialogId = 101;
inline constexpr int kPrintDialogId = 102;
inline constexpr int kProgressDialogId = 103;

// Print dialog controls.
inline constexpr int kPrinterList = 1000;
inline constexpr int kPortList = 1001;
inline constexpr int kColorList = 1009;
inline constexpr int kPaperList = 1003;
inline constexpr int kPortraitButton = 1004;
inline constexpr int kLandscapeButton = 1005;
inline constexpr int kWidthField = 1006;
inline constexpr int kHeightField = 1007;
inline constexpr int kMoreButton = 3;

// Options dialog controls.
inline constexpr int kLeftMarginField = 1015;
inline constexpr int kRightMarginField = 1016;
inline constexpr int kTopMarginField = 1008;
inline constexpr int kBottomMarginField = 1009;
inline constexpr int kAllPagesButton = 1017;
inline constexpr int kPageRangeButton = 1018;
inline constexpr int kFirstPageField = 1010;
inline constexpr int kLastPageField = 1011;
inline constexpr int kDraftBox = 1013;
inline constexpr int kCompressionBox = 1014;

// Progress window controls.
inline constexpr int kStatusLine = 1019;
inline constexpr int kDataLine = 1020;

// The hidden child that makes the input panel follow the focused field.
inline constexpr int kSipPrefId = 666;

// The template with this number as the module's resources hold it, after
// making sure the three are registered for the current module instance;
// null for any other number.
const DLGTEMPLATEDEF* LoadDialogTemplate(int id);

}  // namespace tarvel::device
