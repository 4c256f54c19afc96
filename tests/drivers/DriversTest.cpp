// The drivers' own rules: whole pages against streams worked out by hand
// (the golden streams), the shortest skips, misuse, and what each language
// keeps from row to row. That any page decodes back to its dots is the
// preview round trip's to prove.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "drivers/CommandBuffer.h"
#include "drivers/DriverTestSupport.h"
#include "drivers/PocketJetDriver.h"
#include "drivers/PrinterDriver.h"

using namespace tarvel::drivers;
using namespace tarvel::testing;

namespace {

struct InkRun {
    int from, to;
    Bgr colour;
};

}  // namespace

TEST(Drivers, OneInkedRowPagesGiveTheWorkedOutStreams)
{
    // PCL row 100: 100 bytes of ink, ten distinct bytes, then paper white;
    // PackBits beats run-length (22 bytes), unencoded (110) and delta row.
    Bytes pclBits(300, 0x00);
    for (int i = 0; i < 100; ++i) pclBits[i] = 0xFF;
    for (int i = 0; i < 10; ++i) pclBits[100 + i] = static_cast<std::uint8_t>(i + 1);
    const Bytes pcl = Concat({Hex("1B 25 2D 31 32 33 34 35 58  1B 45  1B 26 6C 30 4F  1B 26 6C 30 45"
                                  "1B 2A 70 30 59  1B 2A 70 30 58  1B 2A 72 31 55  1B 2A 74 33 30 30 52  1B 2A 72 31 41"),
                              Esc("*b100Y"), Esc("*b2m17W"), Hex("9D FF  09 01 02 03 04 05 06 07 08 09 0A  81 00  C3 00"),
                              Hex("1B 2A 72 43  0C  1B 45  1B 25 2D 31 32 33 34 35 58")});
    // Columns 0 to 99 inked are 13 plane bytes, FF x 12 and F0: a PackBits
    // run of twelve and a literal of one.
    const InkRun to99{0, 100, kBlack};
    struct Case {
        int model;
        PageSetup setup;
        int height, inkedRow;
        std::vector<InkRun> runs;
        Bytes expected;
    };
    const Case cases[] = {
        {0, {1, 2400, 0, 1, 0}, 101, 100, {}, pcl},
        // ESC/P 2, normal: ten white rows skipped first. Draft: the unit and
        // the densities go to 180 dpi, and the inked row is the first.
        {1, {1, 2880, 0, 1, 0}, 11, 10, {to99}, Hex("1B 40 1B 28 47 01 00 01 1B 28 55 01 00 0A  1B 28 76 02 00 0A 00"
                                                    "1B 72 00 1B 2E 01 0A 0A 01 64 00  F5 FF 00 F0  0D  1B 28 76 02 00 01 00  0C 1B 40")},
        {1, {1, 1440, 1, 1, 0}, 1, 0, {to99}, Hex("1B 40 1B 28 47 01 00 01 1B 28 55 01 00 14"
                                                  "1B 72 00 1B 2E 01 14 14 01 64 00  F5 FF 00 F0  0D  1B 28 76 02 00 01 00  0C 1B 40")},
        // The Stylus COLOR always compresses, whatever the setting.
        {2, {1, 2880, 0, 0, 0}, 3, 0, {to99}, Hex("1B 40 1B 28 47 01 00 01 1B 28 55 01 00 0A 1B 2E 02 0A 0A 01 00 00  80 24 F5 FF 00 F0 E2  61  E3 0C 1B 40")},
        {3, {1, 2400, 0, 1, 0}, 6, 5, {to99}, Hex("1B 40 1B 7E 71 01 1B 7E 64 AF 00 1B 7E 66 01 1B 7E 77 2C 01 1B 7E 68 E4 0C  1B 7E 4A 05"
                                                  "1B 7E 2A 0D 00  FF FF FF FF FF FF FF FF FF FF FF FF F0  1B 7E 4A 01  1B 7E 2A 00 00 1B 7E 0C 1B 40")},
        // Canon BJ, eight red pixels then eight blue: yellow FF 00, cyan
        // 00 FF, magenta FF FF.
        {6, {3, 64, 0, 1, 0}, 3, 2, {{0, 8, kRed}, {8, 16, kBlue}}, Hex("1B 5B 4B 02 00 00 0F 1B 28 64 02 00 01 68 1B 28 62 01 00 01  1B 28 65 02 00 00 02"
                                                                        "1B 28 41 04 00 59  01 FF 00  0D  1B 28 41 04 00 43  01 00 FF  0D  1B 28 41 03 00 4D  FF FF  0D"
                                                                        "1B 28 65 02 00 00 01  0C 1B 5B 4B 02 00 00 0F")},
    };
    for (const Case& c : cases) {
        auto rows = BlankPage(static_cast<int>(c.setup.width), c.height);
        if (c.model == 0) rows[c.inkedRow] = RowFromBits(pclBits, 2400);
        for (const InkRun& r : c.runs) Paint(rows[c.inkedRow], r.from, r.to, r.colour);
        EXPECT_EQ(PageHex(std::move(*CreateDriver(c.model)), c.setup, rows), ToHex(c.expected)) << "model " << c.model;
    }
}

TEST(Drivers, UnknownModelsAndMisuseAreRefusedWithoutWriting)
{
    for (int bad : {-1, 7, 1000, INT32_MIN}) {
        EXPECT_EQ(GetPrinterModel(bad), nullptr);
        EXPECT_EQ(ModelResolution(bad, 0), 0);
        EXPECT_EQ(CreateDriver(bad), nullptr);
    }
    for (int model = 0; model < kPrinterModelCount; ++model) {
        ASSERT_NE(GetPrinterModel(model), nullptr);
        EXPECT_EQ(ModelResolution(model, 7), GetPrinterModel(model)->draftResolution) << "any draft flag is draft";
        auto driver = CreateDriver(model);
        CollectingWriter port;
        Row inked = WhiteRow(64);
        Paint(inked, 3, 9, kBlack);
        // Not open yet, or freed twice: no buffers to separate into.
        driver->FreeBuffers();
        EXPECT_FALSE(driver->SendRow(&port, inked.data())) << model;

        ASSERT_TRUE(driver->Open(1, 64, 0, 1, 0)) << model;
        EXPECT_FALSE(driver->SendRow(nullptr, inked.data()) || driver->SendRow(&port, nullptr)) << model;
        EXPECT_FALSE(driver->BeginPage(nullptr) || driver->EjectPage(nullptr) || driver->SkipRows(nullptr, 3)) << model;
        EXPECT_TRUE(driver->SkipRows(&port, 0)) << model;
        EXPECT_TRUE(port.data.empty()) << model;

        // Too wide for the 16-bit fields of the languages.
        EXPECT_FALSE(driver->Open(1, kMaxRowWidth + 1, 0, 1, 0) || driver->Open(1, UINT32_MAX, 0, 1, 0)) << model;
        EXPECT_FALSE(driver->SendRow(&port, inked.data())) << model;
        driver->FreeBuffers();
        driver->FreeBuffers();

        // The raster languages take one, three or four planes.
        if (model == 3 || model == 4) continue;
        for (std::uint32_t planes : {0u, 2u, 3u, 4u, 5u, 0xFFFFFFFFu})
            EXPECT_EQ(driver->Open(planes, 64, 0, 1, 0), planes == 3 || planes == 4) << model << " " << planes;
    }
}

TEST(Drivers, ReopeningForANewWidthPrintsTheNewWidth)
{
    auto driver = CreateDriver(1);
    ASSERT_TRUE(driver->Open(1, 8, 0, 0, 0) && driver->Open(1, 800, 0, 0, 0));
    Row row = WhiteRow(800);
    Paint(row, 799, 800, kBlack);
    // ESC r, ESC . with 800 columns, then 100 raw bytes.
    const Bytes sent = Hex(RowHex(*driver, row));
    ASSERT_GE(sent.size(), 11u + 100u);
    EXPECT_EQ(sent[9] | sent[10] << 8, 800);
    EXPECT_EQ(sent[11 + 99], 0x01);
}

TEST(Drivers, SkipsTakeEachLanguagesShortestFormsInOneWrite)
{
    struct Case {
        int model;
        std::uint32_t rows;
        Bytes expected;
    };
    const Case cases[] = {
        // PCL: one decimal command, however long.
        {0, 3508, Esc("*b3508Y")},
        {0, 4000000000u, Esc("*b4000000000Y")},
        // ESC/P 2: little-endian relative moves, split beyond one, never truncated.
        {1, 300, Hex("1B 28 76 02 00 2C 01")},
        {1, 65535, Hex("1B 28 76 02 00 FF FF")},
        {1, 65536, Hex("1B 28 76 02 00 FF FF 1B 28 76 02 00 01 00")},
        // Stylus COLOR: the shortest of three forms.
        {2, 15, Hex("6F")},
        {2, 16, Hex("71 10")},
        {2, 255, Hex("71 FF")},
        {2, 256, Hex("72 00 01")},
        {2, 70000, Hex("72 FF FF 72 71 11")},
        // PocketJet: advances of at most 255 rows.
        {3, 600, Hex("1B 7E 4A FF 1B 7E 4A FF 1B 7E 4A 5A")},
        {4, 510, Hex("1B 7E 4A FF 1B 7E 4A FF")},
        // Canon BJ: high byte first.
        {5, 300, Hex("1B 28 65 02 00 01 2C")},
    };
    for (const Case& c : cases) {
        auto driver = CreateDriver(c.model);
        ASSERT_TRUE(driver->Open(1, 16, 0, 1, 0)) << c.model;
        CollectingWriter port;
        ASSERT_TRUE(driver->SkipRows(&port, c.rows));
        EXPECT_EQ(ToHex(port.data), ToHex(c.expected)) << c.model << " skip " << c.rows;
        EXPECT_EQ(port.writes, 1) << c.model << " skip " << c.rows;
    }
}

TEST(Drivers, PclRepeatedRowsUseDeltaRowAndAnnounceOnlyChanges)
{
    auto driver = CreateDriver(0);
    ASSERT_TRUE(driver->Open(1, 16, 0, 1, 0));
    Row row = WhiteRow(16);
    Paint(row, 0, 4, kBlack);
    Paint(row, 12, 16, kBlack);  // plane bytes F0 0F
    CollectingWriter port;
    ASSERT_TRUE(driver->SendRow(&port, row.data()));  // unencoded is smallest: no change
    ASSERT_TRUE(driver->SendRow(&port, row.data()));  // equal to its seed: delta row, 0 bytes
    ASSERT_TRUE(driver->SendRow(&port, row.data()));  // still delta row: no announcement
    ASSERT_TRUE(driver->SkipRows(&port, 1));
    // The skip zeroed the seed: delta row now costs 3 bytes, unencoded 2.
    ASSERT_TRUE(driver->SendRow(&port, row.data()));
    EXPECT_EQ(ToHex(port.data), ToHex(Concat({Esc("*b2W"), Hex("F0 0F"), Esc("*b3m0W"), Esc("*b0W"), Esc("*b1Y"), Esc("*b0m2W"), Hex("F0 0F")})));
}

TEST(Drivers, PocketJetKeepsTheColumnFromRowToRowButNotFromPageToPage)
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

TEST(CommandBuffer, ACommandThatDidNotFitIsNeverSentInPart)
{
    CommandBuffer cmd;
    cmd.Decimal(INT64_MIN);
    EXPECT_EQ(cmd.size(), 20u) << "-9223372036854775808";
    for (int i = 0; i < 300; ++i) cmd.Byte('x');
    CollectingWriter port;
    EXPECT_FALSE(cmd.WriteTo(&port));
    EXPECT_TRUE(port.data.empty());
}
