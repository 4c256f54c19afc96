#include "render/RecordingState.h"

#include "platform/gdi/RecordingSupport.h"

#include <tarvel/gdi.h>

namespace tarvel::render {

RecordingState::~RecordingState()
{
    dcs.deletePending[0] = 1;
    ClearPage(*this);
    Destroy(tables.bitmaps);
    Destroy(tables.fonts);
    Destroy(tables.pens);
    Destroy(tables.brushes);
}

void NoteFirstUse(RecordingState& state, int slot, HDC dc, bool isBitmapSelection)
{
    if (slot <= 0 || slot >= kDcSlots || state.starts[static_cast<std::size_t>(slot)].seen)
        return;
    RecordingState::SlotStart& start = state.starts[static_cast<std::size_t>(slot)];
    start.seen = true;
    start.textColor = GetTextColor(dc);
    start.bkColor = GetBkColor(dc);
    start.bkMode = GetBkMode(dc);
    start.rop2 = GetROP2(dc);
    if (isBitmapSelection)
        return;
    BITMAP info{};
    HGDIOBJ current = GetCurrentObject(dc, OBJ_BITMAP);
    if (!current || GetObjectW(current, sizeof info, &info) < static_cast<int>(sizeof info))
        return;
    // The one-pixel bitmap a memory DC starts with takes no drawing.
    if (info.bmWidth == 1 && info.bmHeight == 1 && info.bmBitsPixel == 1)
        return;
    HDC scratch = CreateCompatibleDC(dc);
    HBITMAP copy = scratch ? CreateDib24(scratch, info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight)
                           : nullptr;
    HGDIOBJ kept = copy ? SelectObject(scratch, copy) : nullptr;
    if (kept) {
        tarvel::gdi::CopyBitmapPixels(scratch, static_cast<HBITMAP>(current));
        SelectObject(scratch, kept);
        start.bitmap = copy;
    } else if (copy) {
        DeleteObject(copy);
    }
    if (scratch)
        DeleteDC(scratch);
}

void ClearPage(RecordingState& state)
{
    state.list.clear();
    for (RecordingState::SlotStart& start : state.starts) {
        if (start.bitmap)
            DeleteObject(start.bitmap);
        start = {};
    }
    // Device contexts go before the tables, so that no object of a table is
    // still selected into a device context when it is deleted.
    for (int slot = 0; slot < kDcSlots; ++slot) {
        if (!state.dcs.deletePending[slot])
            continue;
        if (HDC dc = state.dcs.handles[slot]) {
            DeleteDC(dc);
            state.dcs.handles[slot] = nullptr;
        }
        state.dcs.deletePending[slot] = 0;
    }
    Clear(state.tables.brushes);
    Clear(state.tables.pens);
    Clear(state.tables.fonts);
    Clear(state.tables.bitmaps);
}

bool ReplacePrinterDc(RecordingState& state)
{
    state.dcs.deletePending[0] = 1;
    ClearPage(state);
    state.dcs.handles[0] = CreateCompatibleDC(nullptr);
    return state.dcs.handles[0] != nullptr;
}

HDC PrinterDc(const RecordingState& state)
{
    return state.dcs.handles[0];
}

}  // namespace tarvel::render
