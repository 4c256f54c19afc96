// Exported calls given the coordinates and sizes at the ends of their
// ranges: they answer as for ordinary values, or with their failure value.
#include "render/BandPlayer.h"
#include "render/RecordingState.h"

#include <tarvel/gdi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

namespace {

// A 32-bit DIB section of the given size selected into its own DC.
struct Canvas {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = nullptr;
    std::uint32_t* pixels = nullptr;

    Canvas(int width, int height)
    {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<std::uint32_t*>(bits);
        SelectObject(dc, bitmap);
    }
    ~Canvas()
    {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
};

TEST(ExportedCalls, PatternBrushTilesFromOriginsBeyondThirtyTwoBits)
{
    // Three columns, so that an origin wrapped to 32 bits lands on another one.
    Canvas tile(3, 1);
    tile.pixels[0] = 0xFF0000;
    tile.pixels[1] = 0x00FF00;
    tile.pixels[2] = 0x0000FF;
    HBRUSH brush = CreatePatternBrush(tile.bitmap);
    ASSERT_NE(brush, nullptr);
    Canvas target(3, 1);
    HGDIOBJ old = SelectObject(target.dc, brush);

    // Viewport 1 and brush origin INT_MAX put the tile's first column at
    // device x = 2^31, which is 2 modulo 3: device x 0 shows column 1.
    SetViewportOrgEx(target.dc, 1, 0, nullptr);
    SetBrushOrgEx(target.dc, INT_MAX, 0, nullptr);
    EXPECT_TRUE(PatBlt(target.dc, -1, 0, 3, 1, PATCOPY));
    SetViewportOrgEx(target.dc, 0, 0, nullptr);
    EXPECT_EQ(std::vector<COLORREF>({GetPixel(target.dc, 0, 0), GetPixel(target.dc, 1, 0), GetPixel(target.dc, 2, 0)}),
              std::vector<COLORREF>({RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 0, 0)}));

    // The lowest origins wrap the other way.
    SetViewportOrgEx(target.dc, INT_MIN, 0, nullptr);
    SetBrushOrgEx(target.dc, INT_MIN, 0, nullptr);
    EXPECT_TRUE(PatBlt(target.dc, INT_MAX, 0, 3, 1, PATCOPY));
    SetViewportOrgEx(target.dc, 0, 0, nullptr);
    // The tile starts at device x = -2^32, which is 2 modulo 3.
    EXPECT_EQ(GetPixel(target.dc, 0, 0), RGB(0, 255, 0));

    SelectObject(target.dc, old);
    DeleteObject(brush);
}

TEST(ExportedCalls, AFontAsWideAsItMayBeIsMadeAndMeasured)
{
    Canvas canvas(40, 20);
    LOGFONTW wide{};
    wide.lfHeight = INT_MIN;  // the largest em there is
    wide.lfWidth = INT_MAX;
    HFONT font = CreateFontIndirectW(&wide);
    HGDIOBJ old = SelectObject(canvas.dc, font);
    TEXTMETRICW metrics{};
    ASSERT_TRUE(GetTextMetricsW(canvas.dc, &metrics));
    EXPECT_GT(metrics.tmHeight, 1000);
    SIZE size{};
    EXPECT_TRUE(GetTextExtentPoint32W(canvas.dc, u"xx", 2, &size));
    EXPECT_GT(size.cx, 0);
    SelectObject(canvas.dc, old);
    DeleteObject(font);
}

// A band of white paper from page (0, 0), 16 x 8 pixels.
struct WhiteBand : Canvas {
    WhiteBand()
        : Canvas(16, 8)
    {
        std::fill(pixels, pixels + 16 * 8, 0xFFFFFFu);
    }
};

class ExportedCallsPlayback : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tarvel::render::ReplacePrinterDc(state)); }
    void TearDown() override { tarvel::render::ClearPage(state); }
    tarvel::render::RecordingState state;
};

TEST_F(ExportedCallsPlayback, CopiesWhoseSourceLiesBeyondThirtyTwoBitsLeaveTheBandAlone)
{
    using namespace tarvel::render;
    HDC printer = PrinterDc(state);
    HDC memory = RecordCreateCompatibleDC(state, printer);
    HBITMAP black = CreateDib24(memory, 5, 4);
    RecordSelectObject(state, memory, black);
    // The band starts 2^30 + 1 pixels into the copy, whose source starts
    // at INT_MAX: the band's source position is past 2^31.
    RecordBitBlt(state, printer, -(1 << 30) - 1, 0, INT_MAX, 4, memory, INT_MAX, 0, SRCCOPY);
    WhiteBand band;
    PlayBand(state, band.dc, 0, 0, 16, 8, -1);
    EXPECT_TRUE(std::all_of(band.pixels, band.pixels + 16 * 8, [](std::uint32_t p) { return p == 0xFFFFFFu; }));
    RecordSelectObject(state, memory, GetStockObject(BLACK_PEN));
    DeleteObject(black);
}

// The source lies wholly off the page, where one bitmap of the page has
// nothing to read: the copy leaves the destination as it was.
TEST_F(ExportedCallsPlayback, AStretchFromTheFarLeftOfThePageLeavesTheDestinationAlone)
{
    using namespace tarvel::render;
    HDC printer = PrinterDc(state);
    RecordSelectObject(state, printer, GetStockObject(BLACK_BRUSH));
    RecordRectangle(state, printer, 0, 0, 16, 8);
    RecordStretchBlt(state, printer, 0, 0, 5, 5, printer, INT_MIN, INT_MIN, 3, 3, SRCCOPY);
    WhiteBand band;
    PlayBand(state, band.dc, 0, 0, 16, 8, -1);
    EXPECT_TRUE(std::all_of(band.pixels, band.pixels + 16 * 8, [](std::uint32_t p) { return p == 0; }));
}

}  // namespace
