#include "device/DeviceCaps.h"
#include "device/PrinterTables.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarvel::device;

namespace {

class DeviceCaps : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::remove_all(std::getenv("XDG_CONFIG_HOME")); }

    // The resolution a confirmed dialog would set for the model and draft mode.
    void UseModel(PrinterDevice& device, int printer, int draft = 0)
    {
        device.settings.printer = printer;
        device.settings.draftMode = draft;
        device.xResolution = device.yResolution = ModelResolution(printer, draft);
    }
};

struct Reference {
    int paper;
    int width, height;     // PHYSICALWIDTH x PHYSICALHEIGHT
    int horzres, vertres;  // HORZRES x VERTRES
};

TEST_F(DeviceCaps, EveryPaperAt300DotsPerInchMatchesTheReferenceInBothOrientations)
{
    const Reference references[] = {
        {0, 2480, 3507, 2400, 3469},
        {1, 1748, 2480, 1667, 2441},
        {2, 2078, 2952, 1998, 2914},
        {3, 2550, 3300, 2469, 3261},
        {4, 2550, 4200, 2469, 4161},
        {5, 2174, 3150, 2094, 3111},
    };
    PrinterDevice device;
    for (const Reference& r : references) {
        SCOPED_TRACE(r.paper);
        device.settings.paperSize = r.paper;
        device.settings.portrait = 1;
        EXPECT_EQ(DeviceCapability(device, PHYSICALWIDTH), r.width);
        EXPECT_EQ(DeviceCapability(device, PHYSICALHEIGHT), r.height);
        EXPECT_EQ(DeviceCapability(device, HORZRES), r.horzres);
        EXPECT_EQ(DeviceCapability(device, VERTRES), r.vertres);
        EXPECT_EQ(DeviceCapability(device, PHYSICALOFFSETX), 37);
        EXPECT_EQ(DeviceCapability(device, PHYSICALOFFSETY), 23);

        device.settings.portrait = 0;
        EXPECT_EQ(DeviceCapability(device, PHYSICALWIDTH), r.height);
        EXPECT_EQ(DeviceCapability(device, PHYSICALHEIGHT), r.width);
        EXPECT_EQ(DeviceCapability(device, HORZRES), r.vertres);
        EXPECT_EQ(DeviceCapability(device, VERTRES), r.horzres);
        // Orientation exchanges the paper, never the offsets or resolutions.
        EXPECT_EQ(DeviceCapability(device, PHYSICALOFFSETX), 37);
        EXPECT_EQ(DeviceCapability(device, PHYSICALOFFSETY), 23);
        EXPECT_EQ(DeviceCapability(device, LOGPIXELSX), 300);
    }
}

TEST_F(DeviceCaps, OtherResolutionsFollowTheModel)
{
    PrinterDevice device;
    UseModel(device, 1);  // Epson ESC/P 2, 360 dpi
    EXPECT_EQ(DeviceCapability(device, PHYSICALWIDTH), 2976);
    EXPECT_EQ(DeviceCapability(device, PHYSICALHEIGHT), 4209);

    UseModel(device, 4);  // PocketJet 200
    device.settings.paperSize = 3;
    EXPECT_EQ(DeviceCapability(device, PHYSICALWIDTH), 1700);
    EXPECT_EQ(DeviceCapability(device, PHYSICALHEIGHT), 2200);

    UseModel(device, 0, 1);  // HP PCL in draft
    device.settings.paperSize = 0;
    EXPECT_EQ(DeviceCapability(device, LOGPIXELSX), 150);
    EXPECT_EQ(DeviceCapability(device, LOGPIXELSY), 150);
    EXPECT_EQ(DeviceCapability(device, PHYSICALWIDTH), 1240);
    EXPECT_EQ(DeviceCapability(device, PHYSICALHEIGHT), 1753);
}

TEST_F(DeviceCaps, EmptyCustomPaperHasNoAreaAndANegativePrintableArea)
{
    PrinterDevice device;
    device.settings.paperSize = kCustomPaper;
    EXPECT_EQ(DeviceCapability(device, PHYSICALWIDTH), 0);
    EXPECT_EQ(DeviceCapability(device, PHYSICALHEIGHT), 0);
    EXPECT_EQ(DeviceCapability(device, HORZRES), -80);
    EXPECT_EQ(DeviceCapability(device, VERTRES), -38);
}

TEST_F(DeviceCaps, ColourDepthAndUnlistedIndexes)
{
    PrinterDevice device;
    EXPECT_EQ(DeviceCapability(device, NUMCOLORS), 16777216);
    device.settings.colorMode = 0;
    EXPECT_EQ(DeviceCapability(device, NUMCOLORS), 1);
    EXPECT_EQ(DeviceCapability(device, BITSPIXEL), 24);
    EXPECT_EQ(DeviceCapability(device, PLANES), 1);
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
