#include "render/RecordingState.h"

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

void ClearPage(RecordingState& state)
{
    state.list.clear();
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
