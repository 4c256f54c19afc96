#include "device/ui/LengthText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale.h>

namespace tarvel::device {
namespace {

constexpr double kInchPerHundredthMm = 1.0 / 2540.0;

std::int32_t Saturate(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);  // toward zero
}

// Numbers are read and written with a point whatever locale the
// application has chosen; the texts are the dialogs', not the user's prose.
locale_t ClassicLocale()
{
    static locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}

}  // namespace

std::u16string FormatLength(std::int32_t hundredthsMm, LengthUnit unit)
{
    double value = unit == LengthUnit::Inch ? hundredthsMm * kInchPerHundredthMm : hundredthsMm * 0.001;
    char text[48];
    locale_t previous = uselocale(ClassicLocale());
    std::snprintf(text, sizeof text, "%.3f", value);
    uselocale(previous);
    std::string digits = text;
    if (digits.find('.') != std::string::npos) {
        while (digits.size() > 1 && digits.back() == '0')
            digits.pop_back();
        if (digits.back() == '.')
            digits.pop_back();
    }
    std::u16string result(digits.begin(), digits.end());
    result += unit == LengthUnit::Inch ? u"\"" : u"cm";
    return result;
}

std::int32_t ParseLength(std::u16string_view text, LengthUnit unit)
{
    // The number is plain ASCII; the first other character ends it, as it
    // would end the conversion anyway.
    std::string narrow;
    for (char16_t c : text) {
        if (c == 0 || c > 0x7F)
            break;
        narrow += static_cast<char>(c);
    }
    double number = strtod_l(narrow.c_str(), nullptr, ClassicLocale());
    return Saturate(number * (unit == LengthUnit::Inch ? 2540.0 : 1000.0));
}

std::int32_t ThousandthsInchToHundredthsMm(std::int32_t value)
{
    return Saturate(value * 2.54 + 0.5);
}

std::int32_t HundredthsMmToThousandthsInch(std::int32_t value)
{
    return Saturate(value * 0.39370078740157477 + 0.5);
}

}  // namespace tarvel::device
