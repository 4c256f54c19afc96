#include <gtest/gtest.h>

#include "drivers/DriverTestSupport.h"
#include "drivers/PocketJetDriver.h"

using namespace tarvel::drivers;
using namespace tarvel::testing;

TEST(PocketJetDriver, PageWithOneInkedRowIsSentAsWorkedOut)
{
    auto rows = BlankPage(2400, 6);
    Paint(rows[5], 0, 100, kBlack);
    EXPECT_EQ(PageHex(PocketJetDriver(PocketJetModel::PocketJetII), {1, 2400, 0, 1, 0}, rows),
              HexOf("1B 40 1B 7E 71 01 1B 7E 64 AF 00 1B 7E 66 01 1B 7E 77 2C 01 1B 7E 68 E4 0C"
                    "1B 7E 4A 05"
                    "1B 7E 2A 0D 00  FF FF FF FF FF FF FF FF FF FF FF FF F0"
                    "1B 7E 4A 01"
                    "1B 7E 2A 00 00 1B 7E 0C 1B 40"));
}

TEST(PocketJetDriver, ColoursOtherThanBlackPrintNothingAndLongWhiteGapsSplitARow)
{
    PocketJetDriver driver(PocketJetModel::PocketJetII);
    ASSERT_TRUE(driver.Open(1, 400, 0, 0, 0));
    Row colours = WhiteRow(400);
    Paint(colours, 0, 16, kRed);
    Paint(colours, 16, 17, kBlack);
    EXPECT_EQ(RowHex(driver, colours), HexOf("1B 7E 2A 03 00 00 00 80  1B 7E 4A 01"));
    // Segments of ink with their start columns.
    Row row = WhiteRow(400);
    Paint(row, 100, 116, kBlack);
    Paint(row, 216, 232, kBlack);
    EXPECT_EQ(RowHex(driver, row),
              HexOf("1B 7E 24 60 00  1B 7E 2A 03 00  0F FF F0"
                    "1B 7E 24 D8 00  1B 7E 2A 02 00  FF FF"
                    "1B 7E 4A 01"));
}

TEST(PocketJetDriver, GapOf47StaysInTheSegmentAndColumnIsKeptAcrossRows)
{
    PocketJetDriver driver(PocketJetModel::PocketJet200);
    ASSERT_TRUE(driver.Open(1, 200, 0, 0, 0));
    Row narrowGap = WhiteRow(200);
    Paint(narrowGap, 0, 8, kBlack);
    Paint(narrowGap, 55, 63, kBlack);  // 47 white pixels between
    const Bytes oneSegment = Hex("1B 7E 2A 08 00  FF 00 00 00 00 00 01 FE  1B 7E 4A 01");
    // Column 0 is where a page starts: no start-column command.
    EXPECT_EQ(RowHex(driver, narrowGap), ToHex(oneSegment));

    Row wideGap = WhiteRow(200);
    Paint(wideGap, 0, 8, kBlack);
    Paint(wideGap, 56, 64, kBlack);  // 48 white pixels between
    EXPECT_EQ(RowHex(driver, wideGap),
              HexOf("1B 7E 2A 01 00 FF  1B 7E 24 38 00  1B 7E 2A 01 00 FF  1B 7E 4A 01"));
    // The printer is now at column 56, so the next row must go back to 0.
    EXPECT_EQ(RowHex(driver, narrowGap),
              ToHex(Concat({Hex("1B 7E 24 00 00"), oneSegment})));

    // A new page starts at column 0 again.
    EXPECT_EQ(RowHex(driver, wideGap),
              HexOf("1B 7E 2A 01 00 FF  1B 7E 24 38 00  1B 7E 2A 01 00 FF  1B 7E 4A 01"));
    CollectingWriter port;
    ASSERT_TRUE(driver.BeginPage(&port));
    EXPECT_EQ(RowHex(driver, narrowGap), ToHex(oneSegment));
}

TEST(PocketJetDriver, PaperChoosesLineWidthAndPageLength)
{
    struct Case {
        PocketJetModel model;
        std::uint32_t paper;
        const char* widthAndLength;
    };
    const Case cases[] = {
        {PocketJetModel::PocketJetII, 0, "2C 01 E4 0C"},
        {PocketJetModel::PocketJetII, 3, "34 01 80 0C"},
        {PocketJetModel::PocketJetII, 4, "34 01 04 10"},
        {PocketJetModel::PocketJetII, 6, "34 01 E4 0C"},
        {PocketJetModel::PocketJet200, 0, "C8 00 98 08"},
        {PocketJetModel::PocketJet200, 3, "CC 00 55 08"},
        {PocketJetModel::PocketJet200, 4, "CC 00 AD 0A"},
        {PocketJetModel::PocketJet200, 1, "CC 00 98 08"},
        {PocketJetModel::PocketJet200, 99, "CC 00 98 08"},
    };
    for (const Case& c : cases) {
        PocketJetDriver driver(c.model);
        ASSERT_TRUE(driver.Open(1, 100, 0, 0, c.paper));
        CollectingWriter port;
        ASSERT_TRUE(driver.BeginPage(&port));
        const Bytes wl = Hex(c.widthAndLength);
        EXPECT_EQ(ToHex(port.data),
                  ToHex(Concat({Hex("1B 40 1B 7E 71 01 1B 7E 64 AF 00 1B 7E 66 01 1B 7E 77"),
                                Bytes(wl.begin(), wl.begin() + 2), Hex("1B 7E 68"),
                                Bytes(wl.begin() + 2, wl.end())})))
            << c.paper;
    }
}
