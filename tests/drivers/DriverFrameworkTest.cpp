#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "drivers/CommandBuffer.h"
#include "drivers/DriverTestSupport.h"
#include "drivers/PrinterDriver.h"

using namespace tarvel::drivers;
using namespace tarvel::testing;

TEST(PrinterModels, AnyDraftFlagMeansDraftAndUnknownIndexesHaveNoModel)
{
    for (int i = 0; i < kPrinterModelCount; ++i) {
        const PrinterModel* model = GetPrinterModel(i);
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(ModelResolution(i, 0), model->resolution) << i;
        EXPECT_EQ(ModelResolution(i, 7), model->draftResolution) << i;
        EXPECT_NE(CreateDriver(i), nullptr);
    }
    for (int bad : {-1, 7, 1000, INT32_MIN}) {
        EXPECT_EQ(GetPrinterModel(bad), nullptr);
        EXPECT_EQ(ModelResolution(bad, 0), 0);
        EXPECT_EQ(CreateDriver(bad), nullptr);
    }
}

TEST(PrinterDriverUse, EveryDriverRefusesMisuseWithoutWriting)
{
    for (int model = 0; model < kPrinterModelCount; ++model) {
        auto driver = CreateDriver(model);
        CollectingWriter port;
        Row inked = WhiteRow(64);
        Paint(inked, 3, 9, kBlack);
        // Not open yet, or freed twice: no buffers to separate into.
        driver->FreeBuffers();
        EXPECT_FALSE(driver->SendRow(&port, inked.data())) << model;

        ASSERT_TRUE(driver->Open(1, 64, 0, 1, 0)) << model;
        EXPECT_FALSE(driver->SendRow(nullptr, inked.data())) << model;
        EXPECT_FALSE(driver->SendRow(&port, nullptr)) << model;
        EXPECT_FALSE(driver->BeginPage(nullptr)) << model;
        EXPECT_FALSE(driver->EjectPage(nullptr)) << model;
        EXPECT_FALSE(driver->SkipRows(nullptr, 3)) << model;
        EXPECT_TRUE(driver->SkipRows(&port, 0)) << model;
        EXPECT_TRUE(port.data.empty()) << model;

        // Too wide for the 16-bit fields of the languages.
        EXPECT_FALSE(driver->Open(1, kMaxRowWidth + 1, 0, 1, 0)) << model;
        EXPECT_FALSE(driver->Open(1, UINT32_MAX, 0, 1, 0)) << model;
        EXPECT_FALSE(driver->SendRow(&port, inked.data())) << model;
        driver->FreeBuffers();
        driver->FreeBuffers();

        // The raster languages take one, three or four planes.
        if (model == 3 || model == 4) continue;
        for (std::uint32_t planes : {0u, 2u, 3u, 4u, 5u, 0xFFFFFFFFu})
            EXPECT_EQ(driver->Open(planes, 64, 0, 1, 0), planes == 3 || planes == 4) << model << " " << planes;
        EXPECT_TRUE(driver->Open(1, 64, 0, 1, 0)) << model;
    }
}

TEST(PrinterDriverUse, ReopeningForANewWidthPrintsTheNewWidth)
{
    auto driver = CreateDriver(1);
    ASSERT_TRUE(driver->Open(1, 8, 0, 0, 0));
    ASSERT_TRUE(driver->Open(1, 800, 0, 0, 0));
    Row row = WhiteRow(800);
    Paint(row, 799, 800, kBlack);
    CollectingWriter port;
    ASSERT_TRUE(driver->SendRow(&port, row.data()));
    // ESC r, ESC . with 800 columns, then 100 raw bytes.
    ASSERT_GE(port.data.size(), 11u + 100u);
    EXPECT_EQ(port.data[9], 800 & 0xFF);
    EXPECT_EQ(port.data[10], 800 >> 8);
    EXPECT_EQ(port.data[11 + 99], 0x01);
}

TEST(PrinterDriverUse, SkipsTakeEachLanguagesShortestFormsInOneWrite)
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
        {2, 1, Hex("61")},
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
