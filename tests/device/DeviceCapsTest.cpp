#include "device/DeviceCaps.h"
#include "device/PrinterTables.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarvel::device;

namespace {

class DeviceCaps : public ::testing::Test {
protected:
    // The store goes before the device is made, so that it starts from the
    // defaults whatever an earlier test saved.
    std::uintmax_t forgotten = std::filesystem::remove_all(std::getenv("XDG_CONFIG_HOME"));
    PrinterDevice device;
};

TEST_F(DeviceCaps, EveryPaperAt300DotsPerInchMatchesTheReferenceInBothOrientations)
{
    // Paper, then PHYSICALWIDTH, PHYSICALHEIGHT, HORZRES, VERTRES in portrait.
    const int references[][5] = {
        {0, 2480, 3507, 2400, 3469},
        {1, 1748, 2480, 1667, 2441},
        {2, 2078, 2952, 1998, 2914},
        {3, 2550, 3300, 2469, 3261},
        {4, 2550, 4200, 2469, 4161},
        {5, 2174, 3150, 2094, 3111},
    };
    for (const auto& r : references) {
        device.settings.paperSize = r[0];
        for (int portrait : {1, 0}) {
            SCOPED_TRACE(::testing::Message() << "paper " << r[0] << (portrait ? " portrait" : " landscape"));
            device.settings.portrait = portrait;
            EXPECT_EQ(DeviceCapability(device, PHYSICALWIDTH), r[portrait ? 1 : 2]);
            EXPECT_EQ(DeviceCapability(device, PHYSICALHEIGHT), r[portrait ? 2 : 1]);
            EXPECT_EQ(DeviceCapability(device, HORZRES), r[portrait ? 3 : 4]);
            EXPECT_EQ(DeviceCapability(device, VERTRES), r[portrait ? 4 : 3]);
            // Orientation exchanges the paper, never the offsets or resolutions.
            EXPECT_EQ(DeviceCapability(device, PHYSICALOFFSETX), 37);
            EXPECT_EQ(DeviceCapability(device, PHYSICALOFFSETY), 23);
            EXPECT_EQ(DeviceCapability(device, LOGPIXELSX), 300);
        }
    }
}

TEST_F(DeviceCaps, ModelsDraftCustomPaperAndColourModesAnswerTheirOwn)
{
    struct Case {
        int printer, draft, paper, colorMode, index, expected;
    } const cases[] = {
        {1, 0, 0, 1, PHYSICALWIDTH, 2976},  // Epson ESC/P 2, 360 dpi
        {1, 0, 0, 1, PHYSICALHEIGHT, 4209},
        {4, 0, 3, 1, PHYSICALWIDTH, 1700},  // PocketJet 200 on Letter
        {4, 0, 3, 1, PHYSICALHEIGHT, 2200},
        {0, 1, 0, 1, LOGPIXELSX, 150},  // HP PCL in draft
        {0, 1, 0, 1, LOGPIXELSY, 150},
        {0, 1, 0, 1, PHYSICALWIDTH, 1240},
        {0, 1, 0, 1, PHYSICALHEIGHT, 1753},
        // An empty custom paper has no area and a negative printable area.
        {0, 0, kCustomPaper, 1, PHYSICALWIDTH, 0},
        {0, 0, kCustomPaper, 1, PHYSICALHEIGHT, 0},
        {0, 0, kCustomPaper, 1, HORZRES, -80},
        {0, 0, kCustomPaper, 1, VERTRES, -38},
        {0, 0, 0, 1, NUMCOLORS, 16777216},
        {0, 0, 0, 0, NUMCOLORS, 1},
        {0, 0, 0, 0, BITSPIXEL, 24},
        {0, 0, 0, 0, PLANES, 1},
    };
    for (const Case& c : cases) {
        device.settings.printer = c.printer;
        device.settings.draftMode = c.draft;
        device.xResolution = device.yResolution = ModelResolution(c.printer, c.draft);
        device.settings.paperSize = c.paper;
        device.settings.colorMode = c.colorMode;
        EXPECT_EQ(DeviceCapability(device, c.index), c.expected)
            << "printer " << c.printer << " draft " << c.draft << " paper " << c.paper << " index " << c.index;
    }
    for (int index : {-1, 0, 9, 11, 89, 109, 114, 1 << 30})
        EXPECT_EQ(DeviceCapability(device, index), 0) << index;
}

TEST(Dots, MultipliesBeforeScalingAndTruncatesTowardZero)
{
    EXPECT_EQ(Dots(21000, 300), 2480);  // 2480.31...
    EXPECT_EQ(Dots(2540, 300), 300);    // exact: the product is scaled, not the length
    EXPECT_EQ(Dots(-680, 300), -80);    // -80.31 truncates toward zero
    EXPECT_EQ(Dots(0, 360), 0);
    EXPECT_EQ(Dots(INT32_MAX, INT32_MAX), INT32_MAX);  // clamped, never undefined
    EXPECT_EQ(Dots(INT32_MIN, INT32_MAX), INT32_MIN);
}

}  // namespace
