#include "platform/gdi/GdiTestSupport.h"

#include <gtest/gtest.h>

#include <random>

using gditest::Canvas;

namespace {

// The reference: each result bit looks up the truth table at the index
// formed by the pattern, source and destination bits.
std::uint8_t Reference(std::uint8_t code, std::uint8_t p, std::uint8_t s, std::uint8_t d)
{
    std::uint8_t out = 0;
    for (int bit = 0; bit < 8; ++bit) {
        int index = (((p >> bit) & 1) << 2) | (((s >> bit) & 1) << 1) | ((d >> bit) & 1);
        out |= std::uint8_t(((code >> index) & 1) << bit);
    }
    return out;
}

// An 8 x 8 top-down 24-bit packed DIB.
struct PackedPattern {
    BITMAPINFOHEADER header{sizeof(BITMAPINFOHEADER), 8, -8, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::uint8_t bits[8 * 24];
};

TEST(GdiBlit, All256TernaryCodesMatchTheReferenceOnColourBitmaps)
{
    std::mt19937 random(7);
    Canvas src(13, 9), dst(13, 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 13; ++x) {
            src.Set(x, y, random() & 0xFFFFFF);
            dst.Set(x, y, random() & 0xFFFFFF);
        }
    std::vector<std::uint8_t> original(dst.bits, dst.bits + dst.stride * 9);
    PackedPattern packed;
    for (auto& b : packed.bits) b = std::uint8_t(random());
    HBRUSH brush = CreateDIBPatternBrushPt(&packed, DIB_RGB_COLORS);
    ASSERT_NE(brush, nullptr);
    SelectObject(dst.dc, brush);

    for (int code = 0; code < 256; ++code) {
        std::copy(original.begin(), original.end(), dst.bits);
        ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 13, 9, src.dc, 0, 0, DWORD(code) << 16)) << code;
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 13; ++x)
                for (int c = 0; c < 3; ++c) {
                    std::uint8_t p = packed.bits[y % 8 * 24 + x % 8 * 3 + c];
                    std::uint8_t s = src.Row(y)[x * 3 + c];
                    std::uint8_t d = original[std::size_t(y) * dst.stride + x * 3 + c];
                    ASSERT_EQ(dst.Row(y)[x * 3 + c], Reference(std::uint8_t(code), p, s, d))
                        << "code " << code << " at " << x << "," << y << " channel " << c;
                }
    }
    SelectObject(dst.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(brush);
}

TEST(GdiBlit, All256TernaryCodesMatchTheReferenceOnMonochromeBitmaps)
{
    std::mt19937 random(11);
    Canvas src(19, 5, 1), dst(19, 5, 1);
    std::uint8_t patternBits[16];
    for (auto& b : patternBits) b = std::uint8_t(random());
    HBITMAP patternBitmap = CreateBitmap(8, 8, 1, 1, patternBits);
    HBRUSH brush = CreatePatternBrush(patternBitmap);
    SelectObject(dst.dc, brush);
    std::vector<int> d0(19 * 5), s0(19 * 5);
    for (int i = 0; i < 19 * 5; ++i) {
        s0[i] = random() & 1;
        d0[i] = random() & 1;
        src.Set(i % 19, i / 19, s0[i] ? RGB(255, 255, 255) : 0);
    }
    for (int code = 0; code < 256; ++code) {
        for (int i = 0; i < 19 * 5; ++i) dst.Set(i % 19, i / 19, d0[i] ? RGB(255, 255, 255) : 0);
        ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 19, 5, src.dc, 0, 0, DWORD(code) << 16));
        for (int i = 0; i < 19 * 5; ++i) {
            int x = i % 19, y = i / 19;
            int p = (patternBits[y * 2] >> (7 - x % 8)) & 1;
            int expected = Reference(std::uint8_t(code), std::uint8_t(p), std::uint8_t(s0[i]),
                                     std::uint8_t(d0[i]))
                & 1;
            ASSERT_EQ(dst.At(x, y) == RGB(255, 255, 255), expected == 1)
                << "code " << code << " at " << x << "," << y;
        }
    }
    SelectObject(dst.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(brush);
    DeleteObject(patternBitmap);
}

TEST(GdiBlit, MonochromeSourceTakesTheDestinationTextAndBackgroundColours)
{
    std::uint8_t bits[2] = {0x50, 0};  // .#.#.... (0 bits first)
    HBITMAP mono = CreateBitmap(4, 1, 1, 1, bits);
    HDC monoDc = CreateCompatibleDC(nullptr);
    SelectObject(monoDc, mono);
    for (int depth : {24, 32, 8}) {
        Canvas dst(4, 1, depth);
        const COLORREF text = depth == 8 ? RGB(0, 0, 0) : RGB(200, 0, 0);
        const COLORREF back = depth == 8 ? RGB(255, 255, 255) : RGB(0, 0, 90);
        SetTextColor(dst.dc, text);
        SetBkColor(dst.dc, back);
        ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 4, 1, monoDc, 0, 0, SRCCOPY));
        EXPECT_EQ(dst.At(0, 0), text) << depth;
        EXPECT_EQ(dst.At(1, 0), back) << depth;
        EXPECT_EQ(dst.At(2, 0), text) << depth;
        EXPECT_EQ(dst.At(3, 0), back) << depth;
    }
    DeleteDC(monoDc);
    DeleteObject(mono);
}

TEST(GdiBlit, ColourToMonochromeKeysOnTheSourceBackgroundColour)
{
    Canvas src(4, 1);
    src.Set(0, 0, RGB(10, 20, 30));
    src.Set(1, 0, RGB(255, 255, 255));
    src.Set(2, 0, RGB(0, 0, 0));
    src.Set(3, 0, RGB(10, 20, 30));
    SetBkColor(src.dc, RGB(10, 20, 30));
    HDC monoDc = CreateCompatibleDC(nullptr);
    HBITMAP mono = CreateCompatibleBitmap(monoDc, 4, 1);
    SelectObject(monoDc, mono);
    ASSERT_TRUE(BitBlt(monoDc, 0, 0, 4, 1, src.dc, 0, 0, SRCCOPY));
    // White where the source showed its background colour, black elsewhere,
    // even where the source was white.
    EXPECT_EQ(GetPixel(monoDc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(monoDc, 1, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(monoDc, 2, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(monoDc, 3, 0), RGB(255, 255, 255));
    DeleteDC(monoDc);
    DeleteObject(mono);
}

TEST(GdiBlit, DibColourTablesAndPalettesConvert)
{
    // A 1-bit DIB section draws with its own colour table.
    struct {
        BITMAPINFOHEADER h{sizeof(BITMAPINFOHEADER), 2, -1, 1, 1, BI_RGB, 0, 0, 0, 2, 0};
        RGBQUAD colours[2] = {{0, 0, 255, 0}, {255, 0, 0, 0}};
    } info;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                   &bits, nullptr, 0);
    static_cast<std::uint8_t*>(bits)[0] = 0x40;  // 0 1
    HDC dibDc = CreateCompatibleDC(nullptr);
    SelectObject(dibDc, dib);
    Canvas dst(2, 1);
    BitBlt(dst.dc, 0, 0, 2, 1, dibDc, 0, 0, SRCCOPY);
    EXPECT_EQ(dst.At(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(dst.At(1, 0), RGB(0, 0, 255));
    DeleteDC(dibDc);
    DeleteObject(dib);

    // Grey palette: colour in, nearest grey out, and back again.
    Canvas colour(3, 1), grey(3, 1, 8);
    colour.Set(0, 0, RGB(100, 100, 100));
    colour.Set(1, 0, RGB(0, 0, 0));
    colour.Set(2, 0, RGB(250, 252, 251));
    BitBlt(grey.dc, 0, 0, 3, 1, colour.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(grey.Row(0)[0], 100);
    EXPECT_EQ(grey.Row(0)[1], 0);
    EXPECT_EQ(grey.Row(0)[2], 251);
    Canvas back(3, 1, 32);
    BitBlt(back.dc, 0, 0, 3, 1, grey.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(back.At(0, 0), RGB(100, 100, 100));
    EXPECT_EQ(back.At(2, 0), RGB(251, 251, 251));
}

TEST(GdiBlit, ClipsToBothBitmapsAndHonoursViewportOrigins)
{
    Canvas src(4, 4), dst(6, 6);
    src.Fill(RGB(0, 0, 0));
    // Destination hangs over the left and top edges, source over its right.
    ASSERT_TRUE(BitBlt(dst.dc, -1, -2, 4, 4, src.dc, 2, 0, SRCCOPY));
    EXPECT_EQ(dst.Picture(), gditest::Rows({"#.....", "#.....", "......", "......", "......", "......"}));
    dst.Fill(RGB(255, 255, 255));
    SetViewportOrgEx(dst.dc, 2, 1, nullptr);
    SetViewportOrgEx(src.dc, -3, 0, nullptr);  // logical 3 is source pixel 0
    ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 2, 2, src.dc, 3, 0, SRCCOPY));
    EXPECT_EQ(dst.Picture(), gditest::Rows({"......", "..##..", "..##..", "......", "......", "......"}));
}

TEST(GdiBlit, NegativeAndZeroSizes)
{
    Canvas src(4, 1), dst(4, 1);
    src.Set(2, 0, 0);
    // A negative width extends left of x on both sides: no mirroring.
    ASSERT_TRUE(BitBlt(dst.dc, 4, 0, -2, 1, src.dc, 4, 0, SRCCOPY));
    EXPECT_EQ(dst.Picture(), "..#.\n");
    // Zero sizes succeed and draw nothing.
    EXPECT_TRUE(BitBlt(dst.dc, 0, 0, 0, 1, src.dc, 0, 0, BLACKNESS));
    EXPECT_TRUE(StretchBlt(dst.dc, 0, 0, 4, 0, src.dc, 0, 0, 4, 1, BLACKNESS));
    EXPECT_EQ(dst.Picture(), "..#.\n");
    // A source operation without a source fails; one without needs none.
    EXPECT_FALSE(BitBlt(dst.dc, 0, 0, 4, 1, nullptr, 0, 0, SRCCOPY));
    EXPECT_TRUE(BitBlt(dst.dc, 0, 0, 1, 1, nullptr, 0, 0, BLACKNESS));
    EXPECT_EQ(dst.Picture(), "#.#.\n");
    EXPECT_FALSE(StretchBlt(dst.dc, 0, 0, 4, 1, src.dc, 0, 0, 0, 1, SRCCOPY));
    // Absurd extents are clipped, not walked or overflowed.
    EXPECT_TRUE(StretchBlt(dst.dc, -2000000000, 0, 2100000000, 1, src.dc, 2000000000, 0,
                           -2100000000, 1, SRCCOPY));
    EXPECT_TRUE(BitBlt(dst.dc, 2147483000, 2147483000, 2147483647, 2147483647, src.dc,
                       -2147483647, 0, SRCCOPY));
}

TEST(GdiBlit, StretchSamplesPixelCentresAndMirrors)
{
    Canvas src(4, 1), dst(8, 2);
    src.Set(0, 0, 0);
    src.Set(3, 0, RGB(255, 0, 0));
    ASSERT_TRUE(StretchBlt(dst.dc, 0, 0, 8, 2, src.dc, 0, 0, 4, 1, SRCCOPY));
    EXPECT_EQ(dst.Picture(), "##....??\n##....??\n");
    dst.Fill(RGB(255, 255, 255));
    // Opposite signs mirror: the destination runs left from x = 8.
    ASSERT_TRUE(StretchBlt(dst.dc, 8, 0, -8, 1, src.dc, 0, 0, 4, 1, SRCCOPY));
    EXPECT_EQ(dst.Picture(), "??....##\n........\n");
    dst.Fill(RGB(255, 255, 255));
    // Shrinking picks the pixel under each destination centre: 1 and 3.
    ASSERT_TRUE(StretchBlt(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, 4, 1, SRCCOPY));
    EXPECT_EQ(dst.At(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(dst.At(1, 0), RGB(255, 0, 0));
}

TEST(GdiBlit, OverlappingCopiesWithinOneBitmapReadTheOldPixels)
{
    Canvas c(5, 3);
    for (int x = 0; x < 5; ++x) c.Set(x, 0, RGB(x * 50, 0, 0));
    ASSERT_TRUE(BitBlt(c.dc, 1, 0, 4, 1, c.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(c.At(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(c.At(1, 0), RGB(0, 0, 0));
    EXPECT_EQ(c.At(4, 0), RGB(150, 0, 0));
    ASSERT_TRUE(BitBlt(c.dc, 0, 1, 5, 2, c.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(c.At(4, 1), RGB(150, 0, 0));
    EXPECT_EQ(c.At(4, 2), RGB(255, 255, 255));
    // Upwards from a lower row, stretched: the source rows are offset right.
    c.Set(3, 2, RGB(0, 0, 9));
    ASSERT_TRUE(StretchBlt(c.dc, 0, 0, 10, 1, c.dc, 0, 2, 5, 1, SRCCOPY));
    EXPECT_EQ(c.At(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(c.At(3, 0), RGB(255, 255, 255));
    EXPECT_EQ(c.At(4, 0), RGB(255, 255, 255));  // clipped at the bitmap's width of 5
    EXPECT_EQ(c.At(1, 1), RGB(0, 0, 0));
    ASSERT_TRUE(StretchBlt(c.dc, 0, 0, 5, 1, c.dc, 2, 2, 2, 1, SRCCOPY));
    EXPECT_EQ(c.At(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(c.At(4, 0), RGB(0, 0, 9));
}

TEST(GdiBlit, PatternBrushesTileFromTheViewportOrigin)
{
    // All bits set but the first: rows of two bytes, as device bitmaps pad.
    std::uint8_t bits[16] = {0x7F, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0};
    HBITMAP pattern = CreateBitmap(8, 8, 1, 1, bits);
    HBRUSH brush = CreatePatternBrush(pattern);
    DeleteObject(pattern);  // the brush keeps its own copy
    Canvas whole(12, 12);
    SelectObject(whole.dc, brush);
    SetBkColor(whole.dc, RGB(255, 255, 255));
    SetTextColor(whole.dc, RGB(0, 0, 0));
    PatBlt(whole.dc, 0, 0, 12, 12, PATCOPY);
    // The one clear bit is black (text colour) at every eighth pixel.
    EXPECT_EQ(whole.Count(RGB(0, 0, 0)), 4);
    EXPECT_EQ(whole.At(8, 8), RGB(0, 0, 0));
    EXPECT_EQ(whole.At(1, 0), RGB(255, 255, 255));
    Canvas band(12, 5);
    SelectObject(band.dc, brush);
    SetViewportOrgEx(band.dc, 0, -6, nullptr);
    PatBlt(band.dc, 0, 6, 12, 5, PATCOPY);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 12; ++x) ASSERT_EQ(band.At(x, y), whole.At(x, y + 6));
    SelectObject(whole.dc, GetStockObject(WHITE_BRUSH));
    SelectObject(band.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(brush);
}

TEST(GdiBlit, PatternBrushesRebuiltFromTheirDescriptionDrawTheSame)
{
    PackedPattern packed;
    for (int i = 0; i < 8 * 24; ++i) packed.bits[i] = std::uint8_t(i * 37);
    HBRUSH original = CreateDIBPatternBrushPt(&packed, DIB_RGB_COLORS);
    std::memset(packed.bits, 0, sizeof packed.bits);  // the brush holds its own copy
    LOGBRUSH lb{};
    ASSERT_EQ(GetObjectW(original, sizeof lb, &lb), int(sizeof lb));
    EXPECT_EQ(lb.lbStyle, UINT(BS_DIBPATTERNPT));
    EXPECT_EQ(lb.lbColor, UINT(DIB_RGB_COLORS));
    HBRUSH rebuilt = CreateDIBPatternBrushPt(reinterpret_cast<const void*>(lb.lbHatch), lb.lbColor);
    ASSERT_NE(rebuilt, nullptr);
    Canvas a(11, 9), b(11, 9);
    SelectObject(a.dc, original);
    SelectObject(b.dc, rebuilt);
    PatBlt(a.dc, 0, 0, 11, 9, PATCOPY);
    PatBlt(b.dc, 0, 0, 11, 9, PATCOPY);
    EXPECT_EQ(std::memcmp(a.bits, b.bits, std::size_t(a.stride) * 9), 0);
    EXPECT_EQ(a.At(1, 0), RGB(37 * 5 & 0xFF, 37 * 4 & 0xFF, 37 * 3 & 0xFF));
    SelectObject(a.dc, GetStockObject(WHITE_BRUSH));
    SelectObject(b.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(original);
    DeleteObject(rebuilt);

    // A bitmap pattern brush names its bitmap.
    HBITMAP bitmap = CreateBitmap(8, 8, 1, 1, nullptr);
    HBRUSH fromBitmap = CreatePatternBrush(bitmap);
    GetObjectW(fromBitmap, sizeof lb, &lb);
    EXPECT_EQ(lb.lbStyle, UINT(BS_PATTERN));
    EXPECT_EQ(reinterpret_cast<HBITMAP>(lb.lbHatch), bitmap);
    DeleteObject(fromBitmap);
    DeleteObject(bitmap);
}

}  // namespace
