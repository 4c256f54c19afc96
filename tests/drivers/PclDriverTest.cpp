#include <gtest/gtest.h>

#include "drivers/DriverTestSupport.h"
#include "drivers/PclDriver.h"

using namespace tarvel::drivers;
using namespace tarvel::testing;

namespace {

const Bytes kStartOnePlane = Hex(
    "1B 25 2D 31 32 33 34 35 58  1B 45  1B 26 6C 30 4F  1B 26 6C 30 45"
    "1B 2A 70 30 59  1B 2A 70 30 58  1B 2A 72 31 55  1B 2A 74 33 30 30 52  1B 2A 72 31 41");
const Bytes kEnd = Hex("1B 2A 72 43  0C  1B 45  1B 25 2D 31 32 33 34 35 58");

}  // namespace

TEST(PclDriver, OnePlanePageWithOneInkedRowIsSentAsWorkedOut)
{
    // Row 100: 100 bytes of ink, ten distinct bytes, then paper white. PackBits
    // beats run-length (22 bytes), unencoded (110) and delta row here.
    Bytes bits(300, 0x00);
    for (int i = 0; i < 100; ++i) bits[i] = 0xFF;
    for (int i = 0; i < 10; ++i) bits[100 + i] = static_cast<std::uint8_t>(i + 1);
    auto rows = BlankPage(2400, 101);
    rows[100] = RowFromBits(bits, 2400);

    const Bytes expected = Concat({kStartOnePlane, Esc("*b100Y"), Esc("*b2m17W"),
                                   Hex("9D FF  09 01 02 03 04 05 06 07 08 09 0A  81 00  C3 00"), kEnd});
    EXPECT_EQ(PageHex(PclDriver(), {1, 2400, 0, 1, 0}, rows), ToHex(expected));
}

TEST(PclDriver, UncompressedPlanesGoCyanMagentaYellowThenBlackWithoutTrailingZeros)
{
    PclDriver driver;
    ASSERT_TRUE(driver.Open(4, 24, 0, 0, 0));
    Row row = WhiteRow(24);
    Paint(row, 0, 8, kBlack);
    Paint(row, 8, 16, kRed);
    // No method change is ever announced with only method 0.
    EXPECT_EQ(RowHex(driver, row), ToHex(Concat({Esc("*b0V"), Esc("*b2V"), Hex("00 FF"), Esc("*b2V"), Hex("00 FF"), Esc("*b1W"), Hex("FF")})));
}

TEST(PclDriver, RepeatedRowsUseDeltaRowAndAnnounceOnlyChanges)
{
    PclDriver driver;
    ASSERT_TRUE(driver.Open(1, 16, 0, 1, 0));
    Row row = WhiteRow(16);
    Paint(row, 0, 4, kBlack);
    Paint(row, 12, 16, kBlack);  // plane bytes F0 0F
    CollectingWriter port;
    ASSERT_TRUE(driver.SendRow(&port, row.data()));  // unencoded is smallest: no change
    ASSERT_TRUE(driver.SendRow(&port, row.data()));  // equal to its seed: delta row, 0 bytes
    ASSERT_TRUE(driver.SendRow(&port, row.data()));  // still delta row: no announcement
    ASSERT_TRUE(driver.SkipRows(&port, 1));
    // The skip zeroed the seed: delta row now costs 3 bytes, unencoded 2.
    ASSERT_TRUE(driver.SendRow(&port, row.data()));
    EXPECT_EQ(ToHex(port.data), ToHex(Concat({Esc("*b2W"), Hex("F0 0F"), Esc("*b3m0W"), Esc("*b0W"), Esc("*b1Y"), Esc("*b0m2W"), Hex("F0 0F")})));
}
