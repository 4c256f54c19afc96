// Lengths as the dialogs show and read them, and the unit conversions of
// the request structures' margins.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvel::device {

enum class LengthUnit { Inch,
                        Centimetre };

// A length in hundredths of a millimetre as "%.3f" inches or centimetres,
// trailing zeros and a trailing point dropped, with the inch sign or "cm":
// 21000 -> "21cm", 21590 -> "8.5\"".
std::u16string FormatLength(std::int32_t hundredthsMm, LengthUnit unit);

// The leading number of text, in the unit, as hundredths of a millimetre,
// truncated toward zero. Whatever follows the number (a unit) is ignored;
// text that is no number reads as 0. Saturates at the 32-bit range.
std::int32_t ParseLength(std::u16string_view text, LengthUnit unit);

// Margin conversions of the request structures, rounding half up.
std::int32_t ThousandthsInchToHundredthsMm(std::int32_t value);
std::int32_t HundredthsMmToThousandthsInch(std::int32_t value);

}  // namespace tarvel::device
