// Lengths as the dialogs write and read them, and the request margins'
// unit conversions. The dialog tests show the everyday values (the unit
// typed ignored, 3.937" shown for 10 cm and read back as 9999); these hold
// the other rounding, truncation and the text that is no number.
#include "device/ui/LengthText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

namespace {

using namespace tarvel::device;

constexpr auto kCm = LengthUnit::Centimetre;
constexpr auto kInch = LengthUnit::Inch;
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(LengthText, FormatsThreeDecimalsAndParsesTheLeadingNumberTruncatedAndSaturated)
{
    // Trailing zeros and the point go; zeros before the point stay.
    EXPECT_EQ(FormatLength(100000, kCm), u"100cm");
    EXPECT_EQ(FormatLength(1, kCm), u"0.001cm");
    EXPECT_EQ(FormatLength(-500, kCm), u"-0.5cm");
    EXPECT_EQ(FormatLength(kMax, kCm), u"2147483.647cm");
    EXPECT_EQ(ParseLength(u"1e1", kCm), 10000);
    EXPECT_EQ(ParseLength(u".5", kCm), 500);
    // Truncated toward zero, not rounded.
    EXPECT_EQ(ParseLength(u"-1.9999", kCm), -1999);
    // Text that is no number reads as zero; huge numbers saturate.
    for (std::u16string_view text : {u"", u"cm", u"\u00bd", u"nan"}) EXPECT_EQ(ParseLength(text, kCm), 0);
    EXPECT_EQ(ParseLength(u"1e30", kCm), kMax);
    EXPECT_EQ(ParseLength(u"-1e30", kInch), kMin);
    EXPECT_EQ(ParseLength(u"inf", kInch), kMax);
    EXPECT_EQ(ParseLength(std::u16string_view(u"7\0 9", 4), kCm), 7000) << "an embedded zero ends the text";
}

TEST(LengthText, FormatsAndParsesWithAPointWhateverTheApplicationsLocale)
{
    // An application may switch to a locale with a decimal comma; the
    // dialogs' texts must not follow it.
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
        std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
    EXPECT_EQ(FormatLength(29700, kCm), u"29.7cm");
    EXPECT_EQ(ParseLength(u"1.5cm", kCm), 1500);
    std::setlocale(LC_NUMERIC, "C");
}

TEST(LengthText, MarginConversionsRoundHalfUpAndSaturate)
{
    // 2.54 and 7.62 hundredths of a millimetre, then 39.37 and 1.57
    // thousandths of an inch, round half up.
    EXPECT_EQ((std::vector{ThousandthsInchToHundredthsMm(1), ThousandthsInchToHundredthsMm(3), ThousandthsInchToHundredthsMm(kMax), ThousandthsInchToHundredthsMm(kMin)}),
              (std::vector{3, 8, kMax, kMin}));
    EXPECT_EQ((std::vector{HundredthsMmToThousandthsInch(9999), HundredthsMmToThousandthsInch(4), HundredthsMmToThousandthsInch(kMax)}), (std::vector{3937, 2, 845466003}));
}

}  // namespace
