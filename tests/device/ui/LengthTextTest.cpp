// Lengths as the dialogs write and read them, and the request margins'
// unit conversions.
#include "device/ui/LengthText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <limits>

namespace {

using tarvel::device::FormatLength;
using tarvel::device::HundredthsMmToThousandthsInch;
using tarvel::device::LengthUnit;
using tarvel::device::ParseLength;
using tarvel::device::ThousandthsInchToHundredthsMm;

constexpr auto kCm = LengthUnit::Centimetre;
constexpr auto kInch = LengthUnit::Inch;
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(LengthText, FormatsWithThreeDecimalsAndDropsTrailingZerosAndPoint)
{
    EXPECT_EQ(FormatLength(21000, kCm), u"21cm");
    EXPECT_EQ(FormatLength(29700, kCm), u"29.7cm");
    EXPECT_EQ(FormatLength(0, kCm), u"0cm");
    EXPECT_EQ(FormatLength(0, kInch), u"0\"");
    EXPECT_EQ(FormatLength(21590, kInch), u"8.5\"");
    EXPECT_EQ(FormatLength(100000, kCm), u"100cm") << "zeros before the point stay";
    EXPECT_EQ(FormatLength(1, kCm), u"0.001cm");
    EXPECT_EQ(FormatLength(-500, kCm), u"-0.5cm");
    // The default margins in inches round at the third decimal.
    EXPECT_EQ(FormatLength(6400, kInch), u"2.52\"");
    EXPECT_EQ(FormatLength(3200, kInch), u"1.26\"");
    EXPECT_EQ(FormatLength(10000, kInch), u"3.937\"");
    EXPECT_EQ(FormatLength(kMax, kCm), u"2147483.647cm");
}

TEST(LengthText, FormatsWithAPointWhateverTheApplicationsLocale)
{
    // An application may switch to a locale with a decimal comma; the
    // dialogs' texts must not follow it.
    const char* chosen = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    if (chosen == nullptr)
        chosen = std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
    EXPECT_EQ(FormatLength(29700, kCm), u"29.7cm");
    EXPECT_EQ(ParseLength(u"1.5cm", kCm), 1500);
    std::setlocale(LC_NUMERIC, "C");
}

TEST(LengthText, ParsesTheLeadingNumberAndIgnoresTheUnitAfterIt)
{
    EXPECT_EQ(ParseLength(u"1.5cm", kCm), 1500);
    EXPECT_EQ(ParseLength(u"1.5cm", kInch), 3810) << "the unit typed is not the unit read";
    EXPECT_EQ(ParseLength(u"8.5\"", kInch), 21590);
    EXPECT_EQ(ParseLength(u"  2.5", kCm), 2500);
    EXPECT_EQ(ParseLength(u"10", kCm), 10000);
    EXPECT_EQ(ParseLength(u"1e1", kCm), 10000);
    EXPECT_EQ(ParseLength(u".5", kCm), 500);
    // Truncated toward zero, not rounded.
    EXPECT_EQ(ParseLength(u"3.937", kInch), 9999);
    EXPECT_EQ(ParseLength(u"1.26", kInch), 3200);
    EXPECT_EQ(ParseLength(u"-1.9999", kCm), -1999);
}

TEST(LengthText, TextThatIsNoNumberReadsAsZeroAndHugeOnesSaturate)
{
    EXPECT_EQ(ParseLength(u"", kCm), 0);
    EXPECT_EQ(ParseLength(u"cm", kCm), 0);
    EXPECT_EQ(ParseLength(u"\u00bd", kCm), 0);
    EXPECT_EQ(ParseLength(u"nan", kCm), 0);
    EXPECT_EQ(ParseLength(u"1e30", kCm), kMax);
    EXPECT_EQ(ParseLength(u"-1e30", kInch), kMin);
    EXPECT_EQ(ParseLength(u"inf", kInch), kMax);
    EXPECT_EQ(ParseLength(std::u16string_view(u"7\0 9", 4), kCm), 7000) << "an embedded zero ends the text";
}

TEST(LengthText, MarginConversionsRoundHalfUp)
{
    EXPECT_EQ(ThousandthsInchToHundredthsMm(1000), 2540);
    EXPECT_EQ(ThousandthsInchToHundredthsMm(1), 3);  // 2.54 + 0.5
    EXPECT_EQ(ThousandthsInchToHundredthsMm(3), 8);  // 7.62 + 0.5
    EXPECT_EQ(HundredthsMmToThousandthsInch(2540), 1000);
    EXPECT_EQ(HundredthsMmToThousandthsInch(6400), 2520);
    EXPECT_EQ(HundredthsMmToThousandthsInch(3200), 1260);
    EXPECT_EQ(HundredthsMmToThousandthsInch(10000), 3937);
    EXPECT_EQ(HundredthsMmToThousandthsInch(9999), 3937);
    EXPECT_EQ(HundredthsMmToThousandthsInch(4), 2);  // 1.57 + 0.5
    EXPECT_EQ(ThousandthsInchToHundredthsMm(kMax), kMax);
    EXPECT_EQ(ThousandthsInchToHundredthsMm(kMin), kMin);
    EXPECT_EQ(HundredthsMmToThousandthsInch(kMax), 845466003);
}

}  // namespace
