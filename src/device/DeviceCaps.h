// The device capabilities of the printer page: resolution, paper size in
// dots, printable area, offsets, colour depth. Computed on every call from
// the current settings and the one paper table; nothing is cached.
#pragma once

#include "device/PrinterDevice.h"

#include <cstdint>

namespace tarvel::device {

// A length in hundredths of a millimetre as dots at a resolution: the
// product first, then times the double nearest to 1/2540, truncated.
std::int32_t Dots(std::int32_t length, std::int32_t resolution);

// The answer for one capability index (HORZRES, PHYSICALWIDTH, ...); 0 for
// an index the printer page does not describe.
std::int32_t DeviceCapability(const PrinterDevice& device, int index);

// The library version times 1000.
inline constexpr int kVersion = 1000;

}  // namespace tarvel::device
