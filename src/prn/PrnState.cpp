#include "prn/PrnState.h"

#include <tarvel/gdi.h>

#include <cmath>
#include <limits>

namespace tarvel::prn {
namespace {

PrnState state;

}  // namespace

PrnState& State()
{
    return state;
}

void ResetPrnState()
{
    ReleaseObjects();
    state = PrnState{};
}

std::int32_t Truncate(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

// Truncated twice: the coordinate alone, then the sum with the margin, the
// sum formed in single precision.
std::int32_t DeviceX(float x)
{
    const float dots = static_cast<float>(Truncate(prnConvertValue(x, MeasureUnit(state.measureUnit), Pixels)));
    return Truncate(dots + prnConvertValue(state.leftMargin, Inches, Pixels));
}

std::int32_t DeviceY(float y)
{
    const float dots = static_cast<float>(Truncate(prnConvertValue(y, MeasureUnit(state.measureUnit), Pixels)));
    return Truncate(dots + prnConvertValue(state.topMargin, Inches, Pixels));
}

std::int32_t DeviceSize(float size)
{
    return Truncate(prnConvertValue(size, MeasureUnit(state.measureUnit), Pixels));
}

}  // namespace tarvel::prn
