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

// A monochrome row whose plane bytes are `count` bytes cycling through
// 1..255: no two neighbours equal, so PackBits can only use literals.
Row LiteralRow(int count)
{
    Bytes bits(count);
    for (int i = 0; i < count; ++i) bits[i] = static_cast<std::uint8_t>(i % 255 + 1);
    return RowFromBits(bits, count * 8);
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
        EXPECT_EQ(PageHex(EscP2Driver(), {1, static_cast<std::uint32_t>(c.width), c.draft, 1, 0}, rows), HexOf(c.expected)) << "draft " << c.draft;
    }
}

TEST(EscP2Driver, RawPlanesKeepEveryByteAndBlackInkDependsOnPlaneCount)
{
    Row row = WhiteRow(20);
    Paint(row, 0, 10, kBlack);  // ten columns: FF C0
    {
        EscP2Driver driver;
        ASSERT_TRUE(driver.Open(3, 20, 0, 0, 0));
        EXPECT_EQ(RowHex(driver, row),
                  HexOf("1B 72 04 1B 2E 00 0A 0A 01 0A 00 FF C0 0D"
                        "1B 72 02 1B 2E 00 0A 0A 01 0A 00 FF C0 0D"
                        "1B 72 01 1B 2E 00 0A 0A 01 0A 00 FF C0 0D"
                        "1B 28 76 02 00 01 00"));
    }
    {
        EscP2Driver driver;
        ASSERT_TRUE(driver.Open(4, 20, 0, 0, 0));
        // The colour planes have no ink but still carry both bytes.
        EXPECT_EQ(RowHex(driver, row),
                  HexOf("1B 72 04 1B 2E 00 0A 0A 01 0A 00 00 00 0D"
                        "1B 72 02 1B 2E 00 0A 0A 01 0A 00 00 00 0D"
                        "1B 72 01 1B 2E 00 0A 0A 01 0A 00 00 00 0D"
                        "1B 72 00 1B 2E 00 0A 0A 01 0A 00 FF C0 0D"
                        "1B 28 76 02 00 01 00"));
        // A row that dithered to white only advances.
        EXPECT_EQ(RowHex(driver, WhiteRow(20)), HexOf("1B 28 76 02 00 01 00"));
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

TEST(StylusColorDriver, DraftModeSetsUnitAndBothDensities)
{
    StylusColorDriver driver;
    ASSERT_TRUE(driver.Open(3, 100, 1, 1, 0));
    CollectingWriter port;
    ASSERT_TRUE(driver.BeginPage(&port));
    EXPECT_EQ(port.data, Hex("1B 40 1B 28 47 01 00 01 1B 28 55 01 00 14 1B 2E 02 14 14 01 00 00"));
}

TEST(StylusColorDriver, TransferHeaderTakesTheShortestOfThreeForms)
{
    struct Case {
        int planeBytes;  // literal bytes; PackBits adds one control byte per 128
        Bytes header;
    };
    const Case cases[] = {
        {14, Hex("2F")},         // 15 bytes of data
        {15, Hex("31 10")},      // 16
        {297, Hex("32 2C 01")},  // 129 + 129 + 42 = 300
    };
    for (const Case& c : cases) {
        const Row row = LiteralRow(c.planeBytes);
        StylusColorDriver driver;
        ASSERT_TRUE(driver.Open(1, c.planeBytes * 8, 0, 1, 0));
        CollectingWriter port;
        ASSERT_TRUE(driver.SendRow(&port, row.data()));
        ASSERT_GT(port.data.size(), 1 + c.header.size());
        EXPECT_EQ(port.data[0], 0x80);
        EXPECT_EQ(Bytes(port.data.begin() + 1, port.data.begin() + 1 + c.header.size()), c.header)
            << c.planeBytes;
        // Colour, header, data, E2, then the one-row advance.
        const std::size_t dataSize = port.data.size() - 1 - c.header.size() - 2;
        EXPECT_EQ(dataSize, static_cast<std::size_t>(c.planeBytes + (c.planeBytes + 127) / 128));
        EXPECT_EQ(port.data[port.data.size() - 2], 0xE2);
        EXPECT_EQ(port.data.back(), 0x61);
    }
}
