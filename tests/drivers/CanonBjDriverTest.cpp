#include <gtest/gtest.h>

#include <random>

#include "drivers/CanonBjDriver.h"
#include "drivers/DriverTestSupport.h"

using namespace tarvel::drivers;
using namespace tarvel::testing;

TEST(CanonBjDriver, ThreePlanePageWithOneInkedRowIsSentAsWorkedOut)
{
    // Row 2: eight red pixels, then eight blue: yellow FF 00, cyan 00 FF,
    // magenta FF FF.
    auto rows = BlankPage(64, 3);
    Paint(rows[2], 0, 8, kRed);
    Paint(rows[2], 8, 16, kBlue);
    EXPECT_EQ(PageHex(CanonBjDriver(CanonBjModel::Dpi360), {3, 64, 0, 1, 0}, rows),
              HexOf("1B 5B 4B 02 00 00 0F 1B 28 64 02 00 01 68 1B 28 62 01 00 01"
                    "1B 28 65 02 00 00 02"
                    "1B 28 41 04 00 59  01 FF 00  0D"
                    "1B 28 41 04 00 43  01 00 FF  0D"
                    "1B 28 41 03 00 4D  FF FF  0D"
                    "1B 28 65 02 00 00 01"
                    "0C 1B 5B 4B 02 00 00 0F"));
}

TEST(CanonBjDriver, UncompressedPlaneWithoutInkHasOnlyItsColourLetter)
{
    Row row = WhiteRow(16);
    Paint(row, 0, 8, kRed);
    CanonBjDriver driver(CanonBjModel::Dpi300);
    ASSERT_TRUE(driver.Open(4, 16, 0, 0, 0));
    CollectingWriter port;
    ASSERT_TRUE(driver.BeginPage(&port));
    EXPECT_EQ(ToHex(port.data), HexOf("1B 5B 4B 02 00 00 0F 1B 28 64 02 00 01 2C 1B 28 62 01 00 00"));
    EXPECT_EQ(RowHex(driver, row),
              HexOf("1B 28 41 02 00 59 FF 0D"
                    "1B 28 41 01 00 43 0D"
                    "1B 28 41 02 00 4D FF 0D"
                    "1B 28 41 01 00 4B 0D"
                    "1B 28 65 02 00 00 01"));
}

TEST(CanonBjDriver, ModelsDifferOnlyInResolutionAndIgnoreDraft)
{
    std::mt19937 rng(7);
    std::vector<Row> rows;
    for (int y = 0; y < 40; ++y) rows.push_back(y % 5 == 0 ? WhiteRow(300) : RandomRow(rng, 300, false));
    for (std::uint32_t compression : {0u, 1u}) {
        CollectingWriter p300, p360, p360draft;
        CanonBjDriver d300(CanonBjModel::Dpi300), d360(CanonBjModel::Dpi360), d360draft(CanonBjModel::Dpi360);
        ASSERT_TRUE(PrintPage(d300, p300, {4, 300, 0, compression, 0}, rows));
        ASSERT_TRUE(PrintPage(d360, p360, {4, 300, 0, compression, 0}, rows));
        ASSERT_TRUE(PrintPage(d360draft, p360draft, {4, 300, 1, compression, 0}, rows));
        EXPECT_EQ(p360.data, p360draft.data);
        // Only the resolution word (01 2C against 01 68) tells them apart.
        ASSERT_EQ(ToHex(Bytes(p300.data.begin(), p300.data.begin() + 14)), HexOf("1B 5B 4B 02 00 00 0F 1B 28 64 02 00 01 2C"));
        Bytes patched = p300.data;
        patched[13] = 0x68;
        EXPECT_EQ(patched, p360.data);
    }
}
