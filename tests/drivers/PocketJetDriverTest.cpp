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
              ToHex(Hex("1B 40 1B 7E 71 01 1B 7E 64 AF 00 1B 7E 66 01 1B 7E 77 2C 01 1B 7E 68 E4 0C"
                        "1B 7E 4A 05"
                        "1B 7E 2A 0D 00  FF FF FF FF FF FF FF FF FF FF FF FF F0"
                        "1B 7E 4A 01"
                        "1B 7E 2A 00 00 1B 7E 0C 1B 40")));
}

TEST(PocketJetDriver, TheColumnIsKeptFromRowToRowButNotFromPageToPage)
{
    PocketJetDriver driver(PocketJetModel::PocketJet200);
    ASSERT_TRUE(driver.Open(1, 200, 0, 0, 0));
    Row row = WhiteRow(200);
    Paint(row, 0, 8, kBlack);
    Paint(row, 56, 64, kBlack);  // 48 white pixels between: two segments
    // Column 0 is where a page starts: no start-column command.
    const std::string split = ToHex(Hex("1B 7E 2A 01 00 FF  1B 7E 24 38 00  1B 7E 2A 01 00 FF  1B 7E 4A 01"));
    EXPECT_EQ(RowHex(driver, row), split);
    // The printer is left at column 56, so the next row must go back to 0...
    EXPECT_EQ(RowHex(driver, row), ToHex(Hex("1B 7E 24 00 00")) + " " + split);
    // ...but a new page is at column 0 again.
    CollectingWriter port;
    ASSERT_TRUE(driver.BeginPage(&port));
    EXPECT_EQ(RowHex(driver, row), split);
}

TEST(PocketJetDriver, PaperChoosesLineWidthAndPageLength)
{
    struct Case {
        PocketJetModel model;
        std::uint32_t paper;
        const char* widthAndLength;  // ESC ~ w and ESC ~ h, the last two commands
    };
    const Case cases[] = {
        {PocketJetModel::PocketJetII, 0, "2C 01  1B 7E 68  E4 0C"},
        {PocketJetModel::PocketJetII, 3, "34 01  1B 7E 68  80 0C"},
        {PocketJetModel::PocketJetII, 6, "34 01  1B 7E 68  E4 0C"},
        {PocketJetModel::PocketJet200, 0, "C8 00  1B 7E 68  98 08"},
        {PocketJetModel::PocketJet200, 4, "CC 00  1B 7E 68  AD 0A"},
        {PocketJetModel::PocketJet200, 99, "CC 00  1B 7E 68  98 08"},
    };
    for (const Case& c : cases) {
        PocketJetDriver driver(c.model);
        ASSERT_TRUE(driver.Open(1, 100, 0, 0, c.paper));
        CollectingWriter port;
        ASSERT_TRUE(driver.BeginPage(&port));
        ASSERT_EQ(port.data.size(), 25u);
        EXPECT_EQ(ToHex(Bytes(port.data.begin() + 18, port.data.end())), ToHex(Hex(c.widthAndLength))) << c.paper;
    }
}
