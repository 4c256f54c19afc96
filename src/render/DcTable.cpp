#include "render/DcTable.h"

namespace tarvel::render {

int LookupDc(const DcTable& table, HDC dc)
{
    if (!dc)
        return -1;
    for (int slot = 0; slot < kDcSlots; ++slot) {
        if (table.handles[slot] == dc)
            return slot;
    }
    return -1;
}

bool RegisterDc(DcTable& table, HDC dc)
{
    for (int slot = 1; slot < kDcSlots; ++slot) {
        if (!table.handles[slot]) {
            table.handles[slot] = dc;
            return true;
        }
    }
    return false;
}

}  // namespace tarvel::render
