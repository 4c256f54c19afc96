#include "platform/gdi/GdiTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <random>

using gditest::Canvas;
using gditest::Rows;

namespace {

// Selects a pen and brush for the life of a test and deletes them after.
struct Tools {
    HDC dc;
    HPEN pen;
    HBRUSH brush;
    Tools(HDC d, HPEN p, HBRUSH b)
        : dc(d)
        , pen(p)
        , brush(b)
    {
        if (pen) SelectObject(dc, pen);
        if (brush) SelectObject(dc, brush);
    }
    ~Tools()
    {
        SelectObject(dc, GetStockObject(BLACK_PEN));
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        if (pen) DeleteObject(pen);
        if (brush) DeleteObject(brush);
    }
};

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
        {"no pen shrinks by one", 6, 5, [](HDC dc) {
             SelectObject(dc, GetStockObject(NULL_PEN));
             SelectObject(dc, GetStockObject(BLACK_BRUSH));
             Rectangle(dc, 1, 1, 5, 4);
         },
         {"......", ".###..", ".###..", "......", "......"}},
        {"wide pen stays inside", 7, 7, [](HDC dc) {
             Tools t(dc, CreatePen(PS_SOLID, 2, 0), nullptr);
             SelectObject(dc, GetStockObject(NULL_BRUSH));
             Rectangle(dc, 0, 0, 6, 6);
         },
         {"######.", "######.", "##..##.", "##..##.", "######.", "######.", "......."}},
        {"pen wider than half fills", 5, 5, [](HDC dc) {
             Tools t(dc, CreatePen(PS_SOLID, 9, 0), nullptr);
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
    HPEN thick = CreatePen(PS_SOLID, 3, 0);
    SelectObject(c.dc, thick);
    POINT across[] = {{-2000000000, 1}, {2000000000, 1}, {2000000000, 900000000}};
    c.Fill(RGB(255, 255, 255));
    ASSERT_TRUE(Polyline(c.dc, across, 3));
    EXPECT_EQ(c.Picture(), Rows({"########", "########", "########"}));
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(thick);
    ASSERT_TRUE(Rectangle(c.dc, -2000000000, -2000000000, 2000000000, 2000000000));
    HPEN wide = CreatePen(PS_SOLID, 2000000000, 0);
    SelectObject(c.dc, wide);
    ASSERT_TRUE(Polyline(c.dc, steep, 2));
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(wide);
}

TEST(GdiShapes, StyledPensFillTheirGapsOnlyInOpaqueMode)
{
    Canvas c(14, 2);
    Tools t(c.dc, CreatePen(PS_DOT, 0, 0), nullptr);
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
    Tools u(d.dc, CreatePen(PS_DOT, 1, 0), nullptr);
    SetBkMode(d.dc, TRANSPARENT);
    SelectObject(d.dc, GetStockObject(NULL_BRUSH));
    Rectangle(d.dc, 0, 0, 5, 5);
    EXPECT_EQ(d.Picture(), Rows({"###..", ".....", "#...#", "#...#", "#...#"}));
}

TEST(GdiShapes, WidePolylinesAreCentredOnThePath)
{
    Canvas c(13, 11);
    Tools t(c.dc, CreatePen(PS_SOLID, 3, 0), nullptr);
    POINT pts[] = {{2, 5}, {10, 5}};
    Polyline(c.dc, pts, 2);
    for (int x = 2; x <= 10; ++x) {
        for (int y = 4; y <= 6; ++y) EXPECT_EQ(c.At(x, y), RGB(0, 0, 0)) << x << "," << y;
        EXPECT_EQ(c.At(x, 3), RGB(255, 255, 255));
        EXPECT_EQ(c.At(x, 7), RGB(255, 255, 255));
    }
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

TEST(GdiShapes, EllipsesFillTheirBoxSymmetrically)
{
    for (int w : {1, 3}) {
        Canvas c(14, 12);
        c.Fill(RGB(0, 255, 0));
        Tools t(c.dc, CreatePen(PS_SOLID, w, 0), CreateSolidBrush(RGB(255, 0, 0)));
        ASSERT_TRUE(Ellipse(c.dc, 1, 2, 12, 11));
        RECT ink = c.Ink(RGB(0, 255, 0));
        EXPECT_EQ(ink.left, 1);
        EXPECT_EQ(ink.top, 2);
        EXPECT_EQ(ink.right, 12);
        EXPECT_EQ(ink.bottom, 11);
        EXPECT_TRUE(Symmetric(c, ink)) << c.Picture();
        EXPECT_EQ(c.At(6, 6), RGB(255, 0, 0));
        EXPECT_EQ(c.At(1, 6), RGB(0, 0, 0));
        EXPECT_EQ(c.At(w, 6), RGB(0, 0, 0));
        EXPECT_EQ(c.At(1 + w, 6), RGB(255, 0, 0));
        EXPECT_EQ(c.At(1, 2), RGB(0, 255, 0));  // the corner stays out
    }
    Canvas n(10, 10);
    SelectObject(n.dc, GetStockObject(NULL_PEN));
    SelectObject(n.dc, GetStockObject(BLACK_BRUSH));
    Ellipse(n.dc, 0, 0, 9, 9);
    RECT ink = n.Ink();
    EXPECT_EQ(ink.right, 8);
    EXPECT_EQ(ink.bottom, 8);
}

TEST(GdiShapes, RoundRectsHaveStraightSidesAndRoundCorners)
{
    Canvas c(16, 12);
    SelectObject(c.dc, GetStockObject(NULL_BRUSH));
    ASSERT_TRUE(RoundRect(c.dc, 0, 0, 16, 12, 8, 6));
    RECT ink = c.Ink();
    EXPECT_EQ(ink.right, 16);
    EXPECT_EQ(ink.bottom, 12);
    EXPECT_TRUE(Symmetric(c, ink)) << c.Picture();
    for (int x = 4; x < 12; ++x) EXPECT_EQ(c.At(x, 0), RGB(0, 0, 0));
    for (int y = 3; y < 9; ++y) EXPECT_EQ(c.At(0, y), RGB(0, 0, 0));
    EXPECT_EQ(c.At(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(c.At(8, 6), RGB(255, 255, 255));  // null brush: inside untouched
    // Corner sizes of zero make it a rectangle.
    Canvas r(6, 5), q(6, 5);
    RoundRect(r.dc, 1, 1, 5, 4, 0, 0);
    Rectangle(q.dc, 1, 1, 5, 4);
    EXPECT_EQ(r.Picture(), q.Picture());
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

TEST(GdiShapes, AllSixteenMixModesApplyToPenAndBrushPixels)
{
    const COLORREF penColour = RGB(0x35, 0xC6, 0x0F);
    const COLORREF brushColour = RGB(0xA9, 0x5C, 0xF0);
    for (int mode = R2_BLACK; mode <= R2_WHITE; ++mode) {
        Canvas c(6, 5);
        std::mt19937 random{unsigned(mode)};
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) c.Set(x, y, random() & 0xFFFFFF);
        std::vector<COLORREF> before;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) before.push_back(c.At(x, y));
        Tools t(c.dc, CreatePen(PS_SOLID, 1, penColour), CreateSolidBrush(brushColour));
        SetROP2(c.dc, mode);
        Rectangle(c.dc, 0, 0, 5, 4);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) {
                COLORREF d = before[std::size_t(y * 6 + x)];
                bool inside = x < 5 && y < 4;
                bool border = inside && (x == 0 || x == 4 || y == 0 || y == 3);
                COLORREF p = border ? penColour : brushColour;
                COLORREF expected = inside ? RGB(Rop2Reference(mode, GetRValue(p), GetRValue(d)),
                                                 Rop2Reference(mode, GetGValue(p), GetGValue(d)),
                                                 Rop2Reference(mode, GetBValue(p), GetBValue(d)))
                                           : d;
                ASSERT_EQ(c.At(x, y), expected) << "mode " << mode << " at " << x << "," << y;
            }
    }
}

TEST(GdiShapes, MixModesOnMonochromeBitmaps)
{
    for (int mode = R2_BLACK; mode <= R2_WHITE; ++mode) {
        Canvas c(8, 2, 1);
        for (int x = 0; x < 8; ++x) c.Set(x, 0, (x & 1) ? RGB(255, 255, 255) : 0);
        for (int x = 0; x < 8; ++x) c.Set(x, 1, (x & 1) ? RGB(255, 255, 255) : 0);
        SelectObject(c.dc, GetStockObject(WHITE_PEN));
        SetROP2(c.dc, mode);
        POINT a[] = {{0, 0}, {8, 0}};
        Polyline(c.dc, a, 2);
        SelectObject(c.dc, GetStockObject(BLACK_PEN));
        POINT b[] = {{0, 1}, {8, 1}};
        Polyline(c.dc, b, 2);
        for (int x = 0; x < 8; ++x) {
            int d = x & 1;
            EXPECT_EQ(c.At(x, 0) == RGB(255, 255, 255), ((mode - 1) >> (2 + d)) & 1) << mode;
            EXPECT_EQ(c.At(x, 1) == RGB(255, 255, 255), ((mode - 1) >> d) & 1) << mode;
        }
    }
}

// Draws a mix of shapes; used to compare formats and bands.
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
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(dash);
    DeleteObject(wide);
    DeleteObject(pattern);
    DeleteObject(checker);
}

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
        HPEN wide = CreatePen(PS_SOLID, 3, 0);
        SelectObject(dc, wide);
        Polyline(dc, points, 5);
        SelectObject(dc, GetStockObject(BLACK_PEN));
        DeleteObject(wide);
    };
    EXPECT_EQ(gditest::BandDifference(120, 90, 1, 90, zigzag, false), "");
}

}  // namespace
