// The exported PDC_ functions on the one PrinterDevice: each forwards to the
// device and answers for unknown device contexts with its failure value.
#include "device/PrinterDevice.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using tarvel::device::PrinterDevice;

class PdcExports : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::filesystem::remove_all(std::getenv("XDG_CONFIG_HOME")); }
    PrinterDevice device;
};

TEST_F(PdcExports, CapabilitiesAnswerForThePrinterDcAndItsMemoryDcsOnly)
{
    // There is no printer DC before a dialog is confirmed.
    EXPECT_EQ(PDC_GetPrinterDC(), nullptr);
    EXPECT_EQ(PDC_GetDeviceCaps(nullptr, LOGPIXELSX), 0);
    EXPECT_EQ(PDC_GetVersion(), 1000);
    ASSERT_TRUE(tarvel::render::ReplacePrinterDc(device.recording));
    HDC printer = PDC_GetPrinterDC();
    ASSERT_NE(printer, nullptr);
    EXPECT_EQ(PDC_GetDeviceCaps(printer, PHYSICALWIDTH), 2480);
    EXPECT_EQ(PDC_GetDeviceCaps(printer, HORZRES), 2400);
    EXPECT_EQ(PDC_GetDeviceCaps(printer, 12345), 0);
    HDC memory = PDC_CreateCompatibleDC(printer);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(PDC_GetDeviceCaps(memory, VERTRES), 3469);

    HDC stranger = CreateCompatibleDC(nullptr);
    EXPECT_EQ(PDC_GetDeviceCaps(stranger, LOGPIXELSX), 0);
    EXPECT_EQ(PDC_GetDeviceCaps(reinterpret_cast<HDC>(0x5), LOGPIXELSX), 0);
    DeleteDC(stranger);
}

TEST_F(PdcExports, DrawingCallsRecordOnKnownDcsAndFailOnOthers)
{
    ASSERT_TRUE(tarvel::render::ReplacePrinterDc(device.recording));
    HDC printer = PDC_GetPrinterDC();
    const auto& list = device.recording.list;

    EXPECT_EQ(PDC_SetTextColor(printer, RGB(1, 2, 3)), RGB(0, 0, 0));  // the previous colour
    EXPECT_EQ(PDC_SetTextColor(nullptr, 0), CLR_INVALID);
    EXPECT_EQ(PDC_SetBkMode(printer, TRANSPARENT), OPAQUE);
    EXPECT_EQ(PDC_SetROP2(printer, R2_NOT), R2_COPYPEN);
    EXPECT_EQ(PDC_SetBkColor(printer, 0), RGB(255, 255, 255));
    EXPECT_EQ(list.size(), 4u);

    EXPECT_TRUE(PDC_DrawLine(printer, 10, 20, 30, 5));
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list.back().kind, tarvel::render::RecordKind::Polyline);
    EXPECT_EQ(list.back().bounds.left, 9);
    EXPECT_EQ(list.back().bounds.bottom, 21);
    EXPECT_FALSE(PDC_DrawLine(nullptr, 0, 0, 1, 1));
    EXPECT_TRUE(PDC_Rectangle(printer, 0, 0, 10, 10));
    EXPECT_TRUE(PDC_Ellipse(printer, 0, 0, 10, 10));
    EXPECT_TRUE(PDC_RoundRect(printer, 0, 0, 10, 10, 3, 3));
    EXPECT_EQ(list.size(), 8u);

    TEXTMETRICW metrics{};
    EXPECT_TRUE(PDC_GetTextMetrics(printer, &metrics));
    EXPECT_GT(metrics.tmHeight, 0);
    SIZE size{};
    EXPECT_TRUE(PDC_GetTextExtentPoint(printer, u"abc", 3, &size));
    int fit = -1;
    int extents[3] = {};
    SIZE exSize{};
    EXPECT_TRUE(PDC_GetTextExtentExPoint(printer, u"abc", 3, 1000, &fit, extents, &exSize));
    EXPECT_EQ(fit, 3);
    EXPECT_EQ(extents[2], size.cx);
    EXPECT_EQ(exSize.cx, size.cx);
    EXPECT_FALSE(PDC_GetTextExtentPoint(nullptr, u"abc", 3, &size));
    EXPECT_EQ(list.size(), 8u);  // measuring is not recorded

    HDC memory = PDC_CreateCompatibleDC(printer);
    EXPECT_TRUE(PDC_BitBlt(printer, 0, 0, 1, 1, memory, 0, 0, SRCCOPY));
    EXPECT_TRUE(PDC_StretchBlt(printer, 0, 0, 2, 2, memory, 0, 0, 1, 1, SRCCOPY));
    EXPECT_FALSE(PDC_BitBlt(memory, 0, 0, 1, 1, printer, 0, 0, SRCCOPY));
    EXPECT_EQ(PDC_SelectObject(printer, nullptr), nullptr);
    EXPECT_NE(PDC_SelectObject(printer, GetStockObject(BLACK_BRUSH)), nullptr);
    EXPECT_TRUE(PDC_DeleteDC(memory));
    EXPECT_FALSE(PDC_DeleteDC(printer));
    EXPECT_EQ(list.size(), 11u);
}

}  // namespace
