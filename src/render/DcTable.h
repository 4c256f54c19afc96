// The device contexts the library records for: slot 0 holds the printer DC,
// slots 1 to 99 the memory device contexts the application made from it.
#pragma once

#include <tarvel/win32.h>

#include <array>
#include <cstdint>

namespace tarvel::render {

inline constexpr int kDcSlots = 100;

struct DcTable {
    std::array<HDC, kDcSlots> handles{};
    // Nonzero: the slot's device context is deleted at the next page clear.
    std::array<std::uint32_t, kDcSlots> deletePending{};
};

// The slot of the device context, or -1 for null or a handle in no slot.
// A slot pending deletion is still found.
int LookupDc(const DcTable& table, HDC dc);

// Puts the device context into the first free slot from 1 on; false when
// all 99 are taken. Slot 0 is never given out here.
bool RegisterDc(DcTable& table, HDC dc);

}  // namespace tarvel::render
