// The recording device context: the printer DC and the memory device
// contexts made from it, the page's DisplayList and the object tables.
//
// Every PDC_ drawing call is recorded here and also performed on the real
// device context, whose result the caller gets; the measuring calls only
// measure. An unknown device context is never drawn on and nothing is
// recorded for it.
#pragma once

#include "render/DcTable.h"
#include "render/DisplayList.h"
#include "render/ObjectTables.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace tarvel::render {

struct RecordingState {
    RecordingState() = default;
    // Deletes the printer DC, the pending memory device contexts, the list
    // and every object copy.
    ~RecordingState();
    RecordingState(const RecordingState&) = delete;
    RecordingState& operator=(const RecordingState&) = delete;

    DisplayList list;
    DcTable dcs;
    ObjectTables tables;

    // How each memory device context stood when the page first used it;
    // every band starts it from there, as one bitmap of the page would
    // have seen it. The bitmap is a copy of what it held (null when the
    // page selects a bitmap first, or it held only the stock bitmap).
    struct SlotStart {
        bool seen = false;
        HBITMAP bitmap = nullptr;
        COLORREF textColor = 0, bkColor = 0;
        int bkMode = 0, rop2 = 0;
    };
    std::array<SlotStart, kDcSlots> starts{};
};

// Notes how the memory device context in slot stands before the page's
// first call on it (isBitmapSelection: that call selects a bitmap, so the
// one it holds now is not needed). Nothing for the printer DC or a slot
// already seen this page.
void NoteFirstUse(RecordingState& state, int slot, HDC dc, bool isBitmapSelection);

// Empties the page: frees the records, deletes the device contexts pending
// deletion (freeing their slots) and clears the four object tables.
void ClearPage(RecordingState& state);

// What confirming the print or page-setup dialog does to the recording
// state: the old printer DC is deleted through the page clear (dropping what
// was recorded) and a new one, compatible with the display, takes slot 0.
// True when the new printer DC was created.
bool ReplacePrinterDc(RecordingState& state);

// The printer DC: slot 0, null before the first confirmed dialog.
HDC PrinterDc(const RecordingState& state);

// The recorded calls. Results are those of the platform call of the same
// name, or its failure value for an unknown device context or bad arguments.
COLORREF RecordSetTextColor(RecordingState& state, HDC dc, COLORREF color);
COLORREF RecordSetBkColor(RecordingState& state, HDC dc, COLORREF color);
int RecordSetBkMode(RecordingState& state, HDC dc, int mode);
int RecordSetROP2(RecordingState& state, HDC dc, int mode);
HGDIOBJ RecordSelectObject(RecordingState& state, HDC dc, HGDIOBJ object);
BOOL RecordEllipse(RecordingState& state, HDC dc, int left, int top, int right, int bottom);
BOOL RecordRectangle(RecordingState& state, HDC dc, int left, int top, int right, int bottom);
BOOL RecordRoundRect(RecordingState& state, HDC dc, int left, int top, int right, int bottom, int width, int height);
BOOL RecordPolyline(RecordingState& state, HDC dc, const POINT* points, int count);
int RecordDrawText(RecordingState& state, HDC dc, LPCWSTR text, int count, RECT* rect, UINT format);
BOOL RecordExtTextOut(RecordingState& state, HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text,
                      UINT count, const int* spacing);
BOOL RecordBitBlt(RecordingState& state, HDC dc, int x, int y, int width, int height, HDC source, int sourceX,
                  int sourceY, DWORD rop);
BOOL RecordStretchBlt(RecordingState& state, HDC dc, int x, int y, int width, int height, HDC source, int sourceX,
                      int sourceY, int sourceWidth, int sourceHeight, DWORD rop);

// Device contexts and measuring; not recorded.
HDC RecordCreateCompatibleDC(RecordingState& state, HDC dc);
BOOL RecordDeleteDC(RecordingState& state, HDC dc);
BOOL MeasureTextMetrics(RecordingState& state, HDC dc, TEXTMETRICW* metrics);
BOOL MeasureTextExtent(RecordingState& state, HDC dc, LPCWSTR text, int count, SIZE* size);
BOOL MeasureTextExtentEx(RecordingState& state, HDC dc, LPCWSTR text, int count, int maxExtent, int* fit,
                         int* extents, SIZE* size);

// Longest text a call may pass; longer counts are refused as absurd.
inline constexpr std::int64_t kMaxTextLength = 1 << 20;
// Most points a polyline may have.
inline constexpr std::int64_t kMaxPolylinePoints = 1 << 22;

// Page coordinates worked out in 64 bits, held to the 32 bits a record keeps.
inline std::int32_t Clamp32(std::int64_t value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace tarvel::render
