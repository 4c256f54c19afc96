#include <gtest/gtest.h>

#include "drivers/DriverTestSupport.h"
#include "drivers/EscP2Driver.h"
#include "drivers/StylusColorDriver.h"

using namespace tarvel::drivers;
using namespace tarvel::testing;

namespace {

// Ink in every column from 0 to 99: 13 plane bytes, FF x 12 and F0, which
// PackBits sends as a run of twelve and a literal of one.
Row InkTo99(int width)
{
    Row row = WhiteRow(width);
    Paint(row, 0, 100, kBlack);
    return row;
}

}  // namespace

TEST(EscP2Driver, MonochromePagesWithOneInkedRowAreSentAsWorkedOut)
{
    // Normal mode: ten white rows skipped first. Draft: the unit and the
    // densities go to 180 dpi, and the inked row is the first.
    struct Case {
        int width, rows;
        std::uint32_t draft;
        const char* expected;
    };
    const Case cases[] = {
        {2880, 11, 0,
         "1B 40 1B 28 47 01 00 01 1B 28 55 01 00 0A"
         "1B 28 76 02 00 0A 00"
         "1B 72 00 1B 2E 01 0A 0A 01 64 00  F5 FF 00 F0  0D"
         "1B 28 76 02 00 01 00"
         "0C 1B 40"},
        {1440, 1, 1,
         "1B 40 1B 28 47 01 00 01 1B 28 55 01 00 14"
         "1B 72 00 1B 2E 01 14 14 01 64 00  F5 FF 00 F0  0D"
         "1B 28 76 02 00 01 00"
         "0C 1B 40"},
    };
    for (const Case& c : cases) {
        auto rows = BlankPage(c.width, c.rows);
        rows.back() = InkTo99(c.width);
        EXPECT_EQ(PageHex(EscP2Driver(), {1, static_cast<std::uint32_t>(c.width), c.draft, 1, 0}, rows), ToHex(Hex(c.expected))) << "draft " << c.draft;
    }
}

TEST(StylusColorDriver, MonochromePageWithFirstRowInkedIsSentAsWorkedOut)
{
    const Bytes expected = Hex(
        "1B 40 1B 28 47 01 00 01 1B 28 55 01 00 0A 1B 2E 02 0A 0A 01 00 00"
        "80 24 F5 FF 00 F0 E2"
        "61"
        "E3 0C 1B 40");
    // The compression setting makes no difference: always PackBits.
    for (std::uint32_t compression : {1u, 0u}) {
        auto rows = BlankPage(2880, 3);
        rows[0] = InkTo99(2880);
        EXPECT_EQ(PageHex(StylusColorDriver(), {1, 2880, 0, compression, 0}, rows), ToHex(expected))
            << compression;
    }
}
