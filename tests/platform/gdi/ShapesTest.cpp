#include "platform/gdi/GdiTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

using gditest::Canvas;
using gditest::kWhite;
using gditest::Rows;
using gditest::Selected;

namespace {

TEST(GdiShapes, RectanglesAndPolylinesCoverExactlyTheirPixels)
{
    const POINT corner[] = {{0, 0}, {4, 0}, {4, 3}}, diag[] = {{0, 0}, {3, 3}}, back[] = {{3, 3}, {0, 0}};
    struct Case {
        const char* what;
        int w, h;
        std::function<void(HDC)> draw;
        std::initializer_list<const char*> rows;
    } cases[] = {
        {"pen inside, right and bottom excluded", 6, 5, [](HDC dc) { ASSERT_TRUE(Rectangle(dc, 1, 1, 5, 4)); }, {"......", ".####.", ".#..#.", ".####.", "......"}},
        {"reversed corners", 6, 5, [](HDC dc) { Rectangle(dc, 5, 4, 1, 1); }, {"......", ".####.", ".#..#.", ".####.", "......"}},
        {"corner sizes of zero make a round rectangle square", 6, 5, [](HDC dc) { RoundRect(dc, 1, 1, 5, 4, 0, 0); }, {"......", ".####.", ".#..#.", ".####.", "......"}},
        {"no pen shrinks by one", 6, 5, [](HDC dc) {
             SelectObject(dc, GetStockObject(NULL_PEN));
             SelectObject(dc, GetStockObject(BLACK_BRUSH));
             Rectangle(dc, 1, 1, 5, 4);
         },
         {"......", ".###..", ".###..", "......", "......"}},
        {"wide pen stays inside", 7, 7, [](HDC dc) {
             Selected t(dc, CreatePen(PS_SOLID, 2, 0));
             SelectObject(dc, GetStockObject(NULL_BRUSH));
             Rectangle(dc, 0, 0, 6, 6);
         },
         {"######.", "######.", "##..##.", "##..##.", "######.", "######.", "......."}},
        {"pen wider than half fills", 5, 5, [](HDC dc) {
             Selected t(dc, CreatePen(PS_SOLID, 9, 0));
             Rectangle(dc, 1, 1, 4, 3);
         },
         {".....", ".###.", ".###.", ".....", "....."}},
        {"polyline leaves out its last pixel", 5, 4, [&](HDC dc) { ASSERT_TRUE(Polyline(dc, corner, 3)); }, {"#####", "....#", "....#", "....."}},
        {"diagonal", 5, 4, [&](HDC dc) { Polyline(dc, diag, 2); }, {"#....", ".#...", "..#..", "....."}},
        {"steep line drawn backwards", 5, 4, [&](HDC dc) { Polyline(dc, back, 2); }, {".....", ".#...", "..#..", "...#."}},
    };
    for (const auto& k : cases) {
        Canvas c(k.w, k.h);
        k.draw(c.dc);
        EXPECT_EQ(c.Picture(), Rows(k.rows)) << k.what;
    }
}

TEST(GdiShapes, FarAwayGeometryIsClippedOrRefusedNeverWalked)
{
    Canvas c(8, 3);
    POINT pts[] = {{-2000000000, 1}, {2000000000, 1}};
    ASSERT_TRUE(Polyline(c.dc, pts, 2));
    EXPECT_EQ(c.Picture(), Rows({"........", "########", "........"}));
    POINT steep[] = {{-2000000000, -2100000000}, {2000000000, 2100000000}};
    ASSERT_TRUE(Polyline(c.dc, steep, 2));
    std::string lines = c.Picture();
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
        EXPECT_EQ(c.Picture(), Rows({"########", "########", "########"}));
    }
    ASSERT_TRUE(Rectangle(c.dc, -2000000000, -2000000000, 2000000000, 2000000000));
    Selected wide(c.dc, CreatePen(PS_SOLID, 2000000000, 0));
    ASSERT_TRUE(Polyline(c.dc, steep, 2));
}

TEST(GdiShapes, StyledPensFillTheirGapsOnlyInOpaqueMode)
{
    Canvas c(14, 2);
    Selected t(c.dc, CreatePen(PS_DOT, 0, 0));
    SetBkColor(c.dc, RGB(255, 0, 0));
    POINT a[] = {{0, 0}, {13, 0}};
    Polyline(c.dc, a, 2);
    SetBkMode(c.dc, TRANSPARENT);
    POINT b[] = {{0, 1}, {13, 1}};
    Polyline(c.dc, b, 2);
    EXPECT_EQ(c.Picture(), Rows({"###???###???#.", "###...###...#."}));
    // The style runs on around the corners: 3 on, 3 off from the top left,
    // clockwise.
    Canvas d(5, 5);
    Selected u(d.dc, CreatePen(PS_DOT, 1, 0));
    SetBkMode(d.dc, TRANSPARENT);
    SelectObject(d.dc, GetStockObject(NULL_BRUSH));
    Rectangle(d.dc, 0, 0, 5, 5);
    EXPECT_EQ(d.Picture(), Rows({"###..", ".....", "#...#", "#...#", "#...#"}));
}

TEST(GdiShapes, WidePolylinesAreCentredOnThePath)
{
    Canvas c(13, 11);
    Selected t(c.dc, CreatePen(PS_SOLID, 3, 0));
    POINT pts[] = {{2, 5}, {10, 5}};
    Polyline(c.dc, pts, 2);
    for (int x = 2; x <= 10; ++x)
        for (int y = 3; y <= 7; ++y) EXPECT_EQ(c.At(x, y), y == 3 || y == 7 ? kWhite : RGB(0, 0, 0)) << x << "," << y;
}

bool Symmetric(const Canvas& c, const RECT& box)
{
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x) {
            int mx = box.left + box.right - 1 - x, my = box.top + box.bottom - 1 - y;
            if (c.At(x, y) != c.At(mx, y) || c.At(x, y) != c.At(x, my)) return false;
        }
    return true;
}

TEST(GdiShapes, EllipsesAndRoundRectsFillTheirBoxSymmetrically)
{
    const COLORREF green = RGB(0, 255, 0), red = RGB(255, 0, 0);
    for (int w : {1, 3}) {
        Canvas c(14, 12);
        c.Fill(green);
        Selected pen(c.dc, CreatePen(PS_SOLID, w, 0)), brush(c.dc, CreateSolidBrush(red));
        ASSERT_TRUE(Ellipse(c.dc, 1, 2, 12, 11));
        RECT ink = c.Ink(green);
        EXPECT_EQ(ink, (RECT{1, 2, 12, 11})) << w;
        EXPECT_TRUE(Symmetric(c, ink)) << c.Picture();
        EXPECT_EQ(c.At(6, 6), red);
        EXPECT_EQ(c.At(1, 6), RGB(0, 0, 0));
        EXPECT_EQ(c.At(w, 6), RGB(0, 0, 0));
        EXPECT_EQ(c.At(1 + w, 6), red);
        EXPECT_EQ(c.At(1, 2), green);  // the corner stays out
    }
    Canvas n(10, 10);
    SelectObject(n.dc, GetStockObject(NULL_PEN));
    SelectObject(n.dc, GetStockObject(BLACK_BRUSH));
    Ellipse(n.dc, 0, 0, 9, 9);
    EXPECT_EQ(n.Ink(), (RECT{0, 0, 8, 8}));  // no pen: one smaller, as rectangles

    Canvas c(16, 12);
    SelectObject(c.dc, GetStockObject(NULL_BRUSH));
    ASSERT_TRUE(RoundRect(c.dc, 0, 0, 16, 12, 8, 6));
    EXPECT_EQ(c.Ink(), (RECT{0, 0, 16, 12}));
    EXPECT_TRUE(Symmetric(c, c.Ink())) << c.Picture();
    for (int x = 4; x < 12; ++x) EXPECT_EQ(c.At(x, 0), RGB(0, 0, 0)) << x;
    for (int y = 3; y < 9; ++y) EXPECT_EQ(c.At(0, y), RGB(0, 0, 0)) << y;
    EXPECT_EQ(c.At(0, 0), kWhite);
    EXPECT_EQ(c.At(8, 6), kWhite);  // null brush: inside untouched
}

std::uint8_t Rop2Reference(int mode, std::uint8_t p, std::uint8_t d)
{
    std::uint8_t out = 0;
    for (int bit = 0; bit < 8; ++bit) {
        int index = (((p >> bit) & 1) << 1) | ((d >> bit) & 1);
        out |= std::uint8_t((((mode - 1) >> index) & 1) << bit);
    }
    return out;
}

// Pen on the border, brush inside, over random pixels; on one bit a white
// pen and a black brush.
TEST(GdiShapes, AllSixteenMixModesApplyToPenAndBrushPixels)
{
    for (int depth : {24, 1}) {
        const COLORREF penColour = depth == 1 ? kWhite : RGB(0x35, 0xC6, 0x0F);
        const COLORREF brushColour = depth == 1 ? RGB(0, 0, 0) : RGB(0xA9, 0x5C, 0xF0);
        for (int mode = R2_BLACK; mode <= R2_WHITE; ++mode) {
            Canvas c(6, 5, depth);
            std::mt19937 random{unsigned(mode)};
            std::vector<COLORREF> before;
            for (int i = 0; i < 30; ++i) {
                c.Set(i % 6, i / 6, random() & 0xFFFFFF);
                before.push_back(c.At(i % 6, i / 6));
            }
            Selected pen(c.dc, CreatePen(PS_SOLID, 1, penColour)), brush(c.dc, CreateSolidBrush(brushColour));
            SetROP2(c.dc, mode);
            Rectangle(c.dc, 0, 0, 5, 4);
            for (int i = 0; i < 30; ++i) {
                const int x = i % 6, y = i / 6;
                const COLORREF d = before[std::size_t(i)];
                const bool inside = x < 5 && y < 4, border = inside && (x == 0 || x == 4 || y == 0 || y == 3);
                const COLORREF p = border ? penColour : brushColour;
                const COLORREF expected = inside ? RGB(Rop2Reference(mode, GetRValue(p), GetRValue(d)), Rop2Reference(mode, GetGValue(p), GetGValue(d)), Rop2Reference(mode, GetBValue(p), GetBValue(d))) : d;
                ASSERT_EQ(c.At(x, y), expected) << "depth " << depth << " mode " << mode << " at " << x << "," << y;
            }
        }
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

TEST(GdiShapes, AWidePolylineIsTheSameInEveryColumnBand)
{
    // Cut to a one-column mask, a zigzag stroked as one path once filled
    // the area beside it instead of outlining it.
    auto zigzag = [](HDC dc) {
        const POINT points[] = {{2, 85}, {30, 50}, {60, 88}, {90, 45}, {118, 80}};
        Selected t(dc, CreatePen(PS_SOLID, 3, 0));
        Polyline(dc, points, 5);
    };
    EXPECT_EQ(gditest::BandDifference(120, 90, 1, 90, zigzag, false), "");
}

}  // namespace
