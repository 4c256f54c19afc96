#include "device/DeviceCaps.h"

#include "device/PrinterTables.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace tarvel::device {
namespace {

// 1/2540 rounds to the double 0.0003937007874015748; the division below is
// done once, in double precision, and gives exactly that value.
constexpr double kPerHundredthMillimetre = 1.0 / 2540.0;

}  // namespace

std::int32_t Dots(std::int32_t length, std::int32_t resolution)
{
    double dots = std::trunc((static_cast<double>(length) * static_cast<double>(resolution)) * kPerHundredthMillimetre);
    // Settings are range-checked when loaded, so this only guards against a
    // caller with absurd numbers.
    if (dots >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (dots <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(dots);
}

std::int32_t DeviceCapability(const PrinterDevice& device, int index)
{
    const PrinterSettings& s = device.settings;
    if (s.paperSize < 0 || s.paperSize >= kPaperCount)
        return 0;
    const PaperSize& paper = Papers()[static_cast<std::size_t>(s.paperSize)];
    const RECT& hard = device.hardMargins;
    const bool portrait = s.portrait != 0;
    const std::int32_t x = device.xResolution;
    const std::int32_t y = device.yResolution;
    // Lengths are formed in 64 bits: paper and margins are range-checked,
    // but the subtraction must not be the place where that assumption breaks.
    auto narrow = [](std::int64_t length) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(length, INT32_MIN, INT32_MAX));
    };
    const std::int32_t printableWidth = narrow(std::int64_t(paper.width) - hard.left - hard.right);
    const std::int32_t printableHeight = narrow(std::int64_t(paper.height) - hard.top - hard.bottom);

    switch (index) {
    case HORZRES:
        return portrait ? Dots(printableWidth, x) : Dots(printableHeight, y);
    case VERTRES:
        return portrait ? Dots(printableHeight, y) : Dots(printableWidth, x);
    case BITSPIXEL:
        return 24;
    case PLANES:
        return 1;
    case NUMCOLORS:
        return s.colorMode == 0 ? 1 : 16777216;
    case LOGPIXELSX:
        return x;
    case LOGPIXELSY:
        return y;
    case PHYSICALWIDTH:
        return portrait ? Dots(paper.width, x) : Dots(paper.height, y);
    case PHYSICALHEIGHT:
        return portrait ? Dots(paper.height, y) : Dots(paper.width, x);
    case PHYSICALOFFSETX:
        return Dots(hard.left, x);
    case PHYSICALOFFSETY:
        return Dots(hard.top, y);
    default:
        return 0;
    }
}

}  // namespace tarvel::device
