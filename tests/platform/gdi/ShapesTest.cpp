#include "platform/gdi/GdiTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>
#include <string>

using gditest::Canvas;
using gditest::kWhite;
using gditest::Selected;

namespace {

TEST(GdiShapes, RectanglesAndPolylinesCoverExactlyTheirPixels)
{
    const POINT corner[] = {{0, 0}, {4, 0}, {4, 3}}, diag[] = {{0, 0}, {3, 3}}, back[] = {{3, 3}, {0, 0}};
    const char* const box = "......\n.####.\n.#..#.\n.####.\n......\n";
    struct Case {
        const char* what;
        int w, h, pen, brush;  // pen width (0: none), stock brush
        std::function<void(HDC)> draw;
        const char* picture;  // rows of '.' for white and '#' for black
    } cases[] = {
        {"pen inside, right and bottom excluded", 6, 5, 1, WHITE_BRUSH, [](HDC dc) { ASSERT_TRUE(Rectangle(dc, 1, 1, 5, 4)); }, box},
        {"reversed corners", 6, 5, 1, WHITE_BRUSH, [](HDC dc) { Rectangle(dc, 5, 4, 1, 1); }, box},
        {"corner sizes of zero make a round rectangle square", 6, 5, 1, WHITE_BRUSH, [](HDC dc) { RoundRect(dc, 1, 1, 5, 4, 0, 0); }, box},
        {"no pen shrinks by one", 6, 5, 0, BLACK_BRUSH, [](HDC dc) { Rectangle(dc, 1, 1, 5, 4); }, "......\n.###..\n.###..\n......\n......\n"},
        {"wide pen stays inside", 7, 7, 2, NULL_BRUSH, [](HDC dc) { Rectangle(dc, 0, 0, 6, 6); }, "######.\n######.\n##..##.\n##..##.\n######.\n######.\n.......\n"},
        {"pen wider than half fills", 5, 5, 9, WHITE_BRUSH, [](HDC dc) { Rectangle(dc, 1, 1, 4, 3); }, ".....\n.###.\n.###.\n.....\n.....\n"},
        {"polyline leaves out its last pixel", 5, 4, 1, WHITE_BRUSH, [&](HDC dc) { ASSERT_TRUE(Polyline(dc, corner, 3)); }, "#####\n....#\n....#\n.....\n"},
        {"diagonal", 5, 4, 1, WHITE_BRUSH, [&](HDC dc) { Polyline(dc, diag, 2); }, "#....\n.#...\n..#..\n.....\n"},
        {"steep line drawn backwards", 5, 4, 1, WHITE_BRUSH, [&](HDC dc) { Polyline(dc, back, 2); }, ".....\n.#...\n..#..\n...#.\n"},
    };
    for (const auto& k : cases) {
        Canvas c(k.w, k.h);
        Selected pen(c.dc, k.pen ? CreatePen(PS_SOLID, k.pen, 0) : GetStockObject(NULL_PEN));
        SelectObject(c.dc, GetStockObject(k.brush));
        k.draw(c.dc);
        EXPECT_EQ(c.Picture(), k.picture) << k.what;
    }
}

TEST(GdiShapes, FarAwayGeometryIsClippedOrRefusedNeverWalked)
{
    Canvas c(8, 3);
    POINT pts[] = {{-2000000000, 1}, {2000000000, 1}};
    ASSERT_TRUE(Polyline(c.dc, pts, 2));
    EXPECT_EQ(c.Picture(), "........\n########\n........\n");
    POINT steep[] = {{-2000000000, -2100000000}, {2000000000, 2100000000}};
    ASSERT_TRUE(Polyline(c.dc, steep, 2));
    const std::string lines = c.Picture();
    // Curves that large cannot be rasterised exactly: refused, nothing drawn.
    EXPECT_FALSE(Ellipse(c.dc, -2000000000, -2000000000, 2000000000, 2000000000));
    EXPECT_FALSE(RoundRect(c.dc, -2000000000, -2000000000, 2000000000, 2000000000, -5, 2000000000));
    EXPECT_EQ(c.Picture(), lines);
    // A wide line from far away still shows where it crosses the bitmap.
    {
        Selected t(c.dc, CreatePen(PS_SOLID, 3, 0));
        POINT across[] = {{-2000000000, 1}, {2000000000, 1}, {2000000000, 900000000}};
        c.Fill(kWhite);
        ASSERT_TRUE(Polyline(c.dc, across, 3));
        EXPECT_EQ(c.Picture(), "########\n########\n########\n");
    }
    ASSERT_TRUE(Rectangle(c.dc, -2000000000, -2000000000, 2000000000, 2000000000));
    Selected wide(c.dc, CreatePen(PS_SOLID, 2000000000, 0));
    ASSERT_TRUE(Polyline(c.dc, steep, 2));
}

// The shape of ellipses and round rectangles is held pixel for pixel by
// the reference page; here the box they fill and the pen's width in it.
TEST(GdiShapes, EllipsesFillTheirBox)
{
    const COLORREF green = RGB(0, 255, 0), red = RGB(255, 0, 0);
    for (int w : {1, 3}) {
        Canvas c(14, 12);
        c.Fill(green);
        Selected pen(c.dc, CreatePen(PS_SOLID, w, 0)), brush(c.dc, CreateSolidBrush(red));
        ASSERT_TRUE(Ellipse(c.dc, 1, 2, 12, 11));
        EXPECT_EQ(c.Ink(green), (RECT{1, 2, 12, 11})) << w;
        // The pen is w wide on the left edge, then the brush; the corner stays out.
        EXPECT_EQ(c.At(w, 6), RGB(0, 0, 0));
        EXPECT_EQ(c.At(1 + w, 6), red);
        EXPECT_EQ(c.At(1, 2), green);
    }
    Canvas n(10, 10);
    SelectObject(n.dc, GetStockObject(NULL_PEN));
    SelectObject(n.dc, GetStockObject(BLACK_BRUSH));
    Ellipse(n.dc, 0, 0, 9, 9);
    EXPECT_EQ(n.Ink(), (RECT{0, 0, 8, 8}));  // no pen: one smaller, as rectangles
}

// Paper of 0xAA under ink of 0xCC holds all four ink-and-paper bit pairs
// in each nibble, so a mode turns it into its own truth table twice over.
// On one bit, a white pen and a black brush over white and black paper
// give the same four pairs.
TEST(GdiShapes, AllSixteenMixModesFollowTheirTruthTables)
{
    for (int mode = R2_BLACK; mode <= R2_WHITE; ++mode) {
        const int table = mode - 1;
        const COLORREF ink = RGB(0xCC, 0xCC, 0xCC), paper = RGB(0xAA, 0xAA, 0xAA), result = RGB(table * 0x11, table * 0x11, table * 0x11);
        Canvas grey(5, 4);
        grey.Fill(paper);
        Selected pen(grey.dc, CreatePen(PS_SOLID, 1, ink)), brush(grey.dc, CreateSolidBrush(ink));
        SetROP2(grey.dc, mode);
        Rectangle(grey.dc, 0, 0, 4, 3);
        EXPECT_EQ(std::vector({grey.At(0, 0), grey.At(1, 1), grey.At(4, 3)}), std::vector({result, result, paper})) << mode;

        Canvas mono(4, 4, 1);
        for (int i = 0; i < 8; ++i) mono.Set(2 + i % 2, i / 2, RGB(0, 0, 0));
        Selected white(mono.dc, CreatePen(PS_SOLID, 1, kWhite)), black(mono.dc, CreateSolidBrush(RGB(0, 0, 0)));
        SetROP2(mono.dc, mode);
        Rectangle(mono.dc, 0, 0, 4, 4);
        auto bit = [table](int p, int d) { return (table >> (p * 2 + d)) & 1 ? kWhite : RGB(0, 0, 0); };
        EXPECT_EQ(std::vector({mono.At(0, 0), mono.At(3, 0), mono.At(1, 1), mono.At(2, 1)}), std::vector({bit(1, 1), bit(1, 0), bit(0, 1), bit(0, 0)})) << mode;
    }
}

// Draws a mix of shapes; used to compare formats.
void DrawScene(HDC dc)
{
    HPEN dash = CreatePen(PS_DASH, 1, 0);
    HPEN wide = CreatePen(PS_SOLID, 4, 0);
    std::uint8_t bits[16] = {0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0};
    HBITMAP checker = CreateBitmap(8, 8, 1, 1, bits);
    HBRUSH pattern = CreatePatternBrush(checker);
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    Ellipse(dc, 3, 4, 40, 30);
    SelectObject(dc, dash);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    RoundRect(dc, 20, 10, 60, 45, 12, 9);
    Rectangle(dc, 2, 35, 30, 50);
    SelectObject(dc, wide);
    POINT pts[] = {{5, 5}, {55, 20}, {30, 48}, {58, 48}};
    Polyline(dc, pts, 4);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, pattern);
    Ellipse(dc, 35, 25, 62, 52);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    for (HGDIOBJ h : {HGDIOBJ(dash), HGDIOBJ(wide), HGDIOBJ(pattern), HGDIOBJ(checker)}) DeleteObject(h);
}

// Eight bits are drawn bottom-up, so row order is checked too.
TEST(GdiShapes, EveryFormatDrawsTheSameBlackAndWhiteScene)
{
    Canvas reference(64, 54);
    DrawScene(reference.dc);
    for (int depth : {1, 8, 32}) {
        Canvas c(64, 54, depth, depth != 8);
        DrawScene(c.dc);
        EXPECT_EQ(c.Picture(), reference.Picture()) << depth;
    }
}

// Draws once on a whole canvas and again column by column, each column a
// bottom-up canvas one pixel wide with its viewport moved onto it, as the
// page renderer draws a turned page. Returns the first column that differs,
// or -1.
template <typename Draw>
int ColumnDifference(int width, int height, Draw draw)
{
    Canvas whole(width, height);
    draw(whole.dc);
    for (int left = 0; left < width; ++left) {
        Canvas band(1, height, 24, false);
        SetViewportOrgEx(band.dc, -left, 0, nullptr);
        draw(band.dc);
        for (int y = 0; y < height; ++y)
            if (band.At(0, y) != whole.At(left, y)) return left;
    }
    return -1;
}

TEST(GdiShapes, AWidePolylineIsTheSameInEveryColumnBand)
{
    // Cut to a one-column mask, a zigzag stroked as one path once filled
    // the area beside it instead of outlining it.
    auto zigzag = [](HDC dc) {
        const POINT points[] = {{2, 85}, {30, 50}, {60, 88}, {90, 45}, {118, 80}};
        Selected t(dc, CreatePen(PS_SOLID, 3, 0));
        Polyline(dc, points, 5);
    };
    EXPECT_EQ(ColumnDifference(120, 90, zigzag), -1);
}

}  // namespace
