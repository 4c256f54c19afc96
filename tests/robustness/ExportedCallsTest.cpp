// Exported calls given the coordinates and sizes at the ends of their
// ranges: they answer as for ordinary values, or with their failure value.
#include <tarvel/gdi.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace {

// A 32-bit DIB section of the given size selected into its own DC.
struct Canvas {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = nullptr;
    std::uint32_t* pixels = nullptr;

    Canvas(int width, int height)
    {
        BITMAPINFO info {};
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
    EXPECT_EQ(GetPixel(target.dc, 0, 0), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(target.dc, 1, 0), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(target.dc, 2, 0), RGB(255, 0, 0));

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

}  // namespace
