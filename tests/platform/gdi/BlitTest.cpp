#include "platform/gdi/GdiTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using gditest::Canvas;
using gditest::kWhite;

namespace {

// The reference: each result bit looks up the truth table at the index
// formed by the pattern, source and destination bits.
COLORREF Reference(int code, COLORREF p, COLORREF s, COLORREF d)
{
    COLORREF out = 0;
    for (int bit = 0; bit < 24; ++bit) out |= COLORREF((code >> ((p >> bit & 1) << 2 | (s >> bit & 1) << 1 | (d >> bit & 1))) & 1) << bit;
    return out;
}

// An 8 x 8 top-down 24-bit packed DIB.
struct PackedPattern {
    BITMAPINFOHEADER header{sizeof(BITMAPINFOHEADER), 8, -8, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::uint8_t bits[8 * 24];
};

// Random source, destination and pattern, every code: a colour DIB pattern
// on 24 bits, a one-bit bitmap pattern (set bits white) on one bit.
TEST(GdiBlit, All256TernaryCodesMatchTheTruthTableOnColourAndMonochrome)
{
    std::mt19937 random(7);
    for (int depth : {24, 1}) {
        const int w = depth == 1 ? 19 : 13, h = 9;
        Canvas src(w, h, depth), dst(w, h, depth);
        std::vector<COLORREF> s0, d0;
        for (int i = 0; i < w * h; ++i) {
            src.Set(i % w, i / w, random() & 0xFFFFFF), dst.Set(i % w, i / w, random() & 0xFFFFFF);
            s0.push_back(src.At(i % w, i / w)), d0.push_back(dst.At(i % w, i / w));
        }
        PackedPattern packed;
        for (auto& b : packed.bits) b = std::uint8_t(random());
        HBITMAP monoPattern = CreateBitmap(8, 8, 1, 1, packed.bits);  // rows of two bytes
        HBRUSH brush = depth == 1 ? CreatePatternBrush(monoPattern) : CreateDIBPatternBrushPt(&packed, DIB_RGB_COLORS);
        ASSERT_NE(brush, nullptr);
        gditest::Selected selected(dst.dc, brush);
        auto pattern = [&](int x, int y) {
            const std::uint8_t* p = packed.bits + y % 8 * 24 + x % 8 * 3;
            return depth == 1 ? ((packed.bits[y % 8 * 2] >> (7 - x % 8)) & 1) ? kWhite : RGB(0, 0, 0) : RGB(p[2], p[1], p[0]);
        };
        for (int code = 0; code < 256; ++code) {
            for (int i = 0; i < w * h; ++i) dst.Set(i % w, i / w, d0[std::size_t(i)]);
            ASSERT_TRUE(BitBlt(dst.dc, 0, 0, w, h, src.dc, 0, 0, DWORD(code) << 16)) << code;
            for (int i = 0; i < w * h; ++i)
                ASSERT_EQ(dst.At(i % w, i / w), Reference(code, pattern(i % w, i / w), s0[std::size_t(i)], d0[std::size_t(i)])) << "depth " << depth << " code " << code << " at " << i % w << "," << i / w;
        }
        DeleteObject(monoPattern);
    }
}

TEST(GdiBlit, ColourConversionsBetweenMonochromeColourAndPalettes)
{
    // A one-bit device bitmap takes the destination's text colour for 0
    // and its background colour for 1.
    std::uint8_t bits[2] = {0x50, 0};  // .#.#....
    HBITMAP mono = CreateBitmap(4, 1, 1, 1, bits), into = CreateBitmap(4, 1, 1, 1, nullptr);
    HDC monoDc = CreateCompatibleDC(nullptr);
    HGDIOBJ oldMono = SelectObject(monoDc, mono);
    for (int depth : {24, 32, 8}) {
        Canvas dst(4, 1, depth);
        const COLORREF text = depth == 8 ? RGB(0, 0, 0) : RGB(200, 0, 0), back = depth == 8 ? kWhite : RGB(0, 0, 90);
        SetTextColor(dst.dc, text);
        SetBkColor(dst.dc, back);
        ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 4, 1, monoDc, 0, 0, SRCCOPY));
        EXPECT_EQ(std::vector({dst.At(0, 0), dst.At(1, 0), dst.At(2, 0), dst.At(3, 0)}), std::vector({text, back, text, back})) << depth;
    }
    // Colour into one bit: white where the source shows its background
    // colour, black elsewhere, even where the source was white.
    Canvas src(3, 1);
    const COLORREF key = RGB(10, 20, 30);
    src.Set(0, 0, key), src.Set(2, 0, RGB(0, 0, 0));
    SetBkColor(src.dc, key);
    SelectObject(monoDc, into);
    ASSERT_TRUE(BitBlt(monoDc, 0, 0, 3, 1, src.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(std::vector({GetPixel(monoDc, 0, 0), GetPixel(monoDc, 1, 0), GetPixel(monoDc, 2, 0)}), std::vector({kWhite, RGB(0, 0, 0), RGB(0, 0, 0)}));
    SelectObject(monoDc, oldMono);
    DeleteDC(monoDc);
    for (HBITMAP b : {mono, into}) DeleteObject(b);

    // A one-bit DIB section draws with its own colour table, whatever the
    // destination's colours.
    Canvas dibMono(2, 1, 1), dst(2, 1);
    dibMono.Set(0, 0, RGB(0, 0, 0));
    SetTextColor(dst.dc, RGB(200, 0, 0));
    SetBkColor(dst.dc, RGB(0, 0, 90));
    ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 2, 1, dibMono.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(dst.Picture(), "#.\n");

    // Grey palette: colour in, nearest grey out, and back again.
    Canvas colour(3, 1), grey(3, 1, 8), back(3, 1, 32);
    colour.Set(0, 0, RGB(100, 100, 100)), colour.Set(1, 0, RGB(0, 0, 0)), colour.Set(2, 0, RGB(250, 252, 251));
    BitBlt(grey.dc, 0, 0, 3, 1, colour.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(std::string(grey.Row(0), grey.Row(0) + 3), std::string({100, 0, char(251)}));
    BitBlt(back.dc, 0, 0, 3, 1, grey.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(back.At(2, 0), RGB(251, 251, 251));
}

// Clipping to both bitmaps and the viewport origins on either side are the
// band playback's property test: each band is such a copy.
// Negative and zero sizes are the band playback's: its random copies have
// both, and the recorder works out on its own where they land.
TEST(GdiBlit, SourcelessAndAbsurdCopies)
{
    Canvas src(4, 1), dst(4, 1);
    // A source operation without a source fails; one without needs none.
    EXPECT_FALSE(BitBlt(dst.dc, 0, 0, 4, 1, nullptr, 0, 0, SRCCOPY));
    EXPECT_TRUE(BitBlt(dst.dc, 0, 0, 1, 1, nullptr, 0, 0, BLACKNESS));
    EXPECT_EQ(dst.Picture(), "#...\n");
    EXPECT_FALSE(StretchBlt(dst.dc, 0, 0, 4, 1, src.dc, 0, 0, 0, 1, SRCCOPY));
    // Absurd extents are clipped, not walked or overflowed.
    EXPECT_TRUE(StretchBlt(dst.dc, -2000000000, 0, 2100000000, 1, src.dc, 2000000000, 0, -2100000000, 1, SRCCOPY));
    EXPECT_TRUE(BitBlt(dst.dc, 2147483000, 2147483000, 2147483647, 2147483647, src.dc, -2147483647, 0, SRCCOPY));
}

TEST(GdiBlit, StretchSamplesPixelCentresAndMirrors)
{
    Canvas src(4, 1), dst(8, 2);
    src.Set(0, 0, 0);
    src.Set(3, 0, RGB(255, 0, 0));
    // Enlarging is on the reference page. Opposite signs mirror: the
    // destination runs left from x = 8.
    ASSERT_TRUE(StretchBlt(dst.dc, 8, 0, -8, 1, src.dc, 0, 0, 4, 1, SRCCOPY));
    EXPECT_EQ(dst.Picture(), "??....##\n........\n");
    dst.Fill(kWhite);
    // Shrinking picks the pixel under each destination centre: 1 and 3.
    ASSERT_TRUE(StretchBlt(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, 4, 1, SRCCOPY));
    EXPECT_EQ(dst.Picture(), ".?......\n........\n");
}

// Copies within one bitmap read the old pixels: the band playback's whole
// page makes its nested copies of the page onto itself so, and the banded
// page, which reads each copy's source apart, must equal it.

// That patterns tile from the viewport origin in every band, and that a
// bitmap's pattern brush rebuilt from its description draws as the
// original, is the band playback's property test; one-bit patterns take
// the text colour on the reference page and in the ternary codes above.
TEST(GdiBlit, DibPatternBrushesKeepTheirOwnCopyAndRebuildFromTheirDescription)
{
    PackedPattern packed;
    for (int i = 0; i < 8 * 24; ++i) packed.bits[i] = std::uint8_t(i * 37);
    HBRUSH original = CreateDIBPatternBrushPt(&packed, DIB_RGB_COLORS);
    std::memset(packed.bits, 0, sizeof packed.bits);  // the brush holds its own copy
    LOGBRUSH lb{};
    ASSERT_EQ(GetObjectW(original, sizeof lb, &lb), int(sizeof lb));
    HBRUSH rebuilt = CreateDIBPatternBrushPt(reinterpret_cast<const void*>(lb.lbHatch), lb.lbColor);
    ASSERT_NE(rebuilt, nullptr);
    Canvas a(11, 9), b(11, 9);
    gditest::Selected withOriginal(a.dc, original), withRebuilt(b.dc, rebuilt);
    PatBlt(a.dc, 0, 0, 11, 9, PATCOPY);
    PatBlt(b.dc, 0, 0, 11, 9, PATCOPY);
    EXPECT_EQ(a.Count(RGB(37 * 5 & 0xFF, 37 * 4 & 0xFF, 37 * 3 & 0xFF)), 4);  // pixel 1 of the 8 x 8 tile
    EXPECT_EQ(std::memcmp(a.bits, b.bits, std::size_t(a.stride) * 9), 0);
}

}  // namespace
