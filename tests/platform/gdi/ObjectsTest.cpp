#include "platform/gdi/GdiTestSupport.h"

#include <gtest/gtest.h>

using gditest::Canvas;

namespace {

// Pens, brushes and fonts are read back by the recorder, which proves their
// descriptions; here only what it never asks.
TEST(GdiObjects, DescriptionsNeedRoomAndStockObjectsSurviveDeletion)
{
    HPEN pen = CreatePen(PS_DASH, 3, RGB(1, 2, 3));
    LOGPEN lp{}, lp2{};
    EXPECT_EQ(GetObjectW(pen, 0, nullptr), int(sizeof(LOGPEN)));
    EXPECT_EQ(GetObjectW(pen, sizeof(lp), &lp), int(sizeof(LOGPEN)));
    HPEN copy = CreatePenIndirect(&lp);
    GetObjectW(copy, sizeof(lp2), &lp2);
    EXPECT_EQ(std::memcmp(&lp, &lp2, sizeof lp), 0);
    HFONT font = gditest::MakeFont(u"Arial", -20);
    LOGFONTW back{};
    EXPECT_EQ(GetObjectW(font, 0, nullptr), int(sizeof(LOGFONTW)));
    EXPECT_EQ(GetObjectW(font, 10, &back), 0);  // too small for the description: nothing
    HBRUSH brush = CreateSolidBrush(RGB(9, 8, 7));
    const std::pair<HGDIOBJ, DWORD> kinds[] = {{pen, OBJ_PEN}, {copy, OBJ_PEN}, {brush, OBJ_BRUSH}, {font, OBJ_FONT}};
    for (auto [object, kind] : kinds) {
        EXPECT_EQ(GetObjectType(object), kind);
        EXPECT_TRUE(DeleteObject(object));
    }
    LOGBRUSH lb{};
    ASSERT_EQ(GetObjectW(GetStockObject(NULL_BRUSH), sizeof lb, &lb), int(sizeof lb));
    EXPECT_EQ(lb.lbStyle, UINT(BS_NULL));
    EXPECT_TRUE(DeleteObject(GetStockObject(NULL_BRUSH)));
    EXPECT_EQ(GetObjectType(GetStockObject(NULL_BRUSH)), DWORD(OBJ_BRUSH));
}

TEST(GdiObjects, BitmapsDescribeThemselves)
{
    HBITMAP ddb = CreateBitmap(10, 3, 1, 1, nullptr);
    BITMAP bm{};
    EXPECT_EQ(GetObjectW(ddb, sizeof(bm), &bm), int(sizeof(BITMAP)));
    EXPECT_EQ(bm.bmWidth, 10);
    EXPECT_EQ(bm.bmHeight, 3);
    EXPECT_EQ(bm.bmWidthBytes, 2);  // device bitmaps pad rows to 16 bits
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(bm.bmBits, nullptr);

    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 5, -4, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(dib, nullptr);
    ASSERT_NE(bits, nullptr);
    DIBSECTION ds{};
    EXPECT_EQ(GetObjectW(dib, 0, nullptr), int(sizeof(DIBSECTION)));
    EXPECT_EQ(GetObjectW(dib, sizeof(ds), &ds), int(sizeof(DIBSECTION)));
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 16);  // 15 bytes padded to 4
    EXPECT_EQ(ds.dsBm.bmBits, bits);
    EXPECT_EQ(ds.dsBmih.biHeight, -4);
    EXPECT_EQ(ds.dsBmih.biSizeImage, 64u);
    // With only room for a BITMAP, a DIB section describes itself as one.
    EXPECT_EQ(GetObjectW(dib, sizeof(bm), &bm), int(sizeof(BITMAP)));
    EXPECT_EQ(bm.bmBits, bits);
    EXPECT_EQ(bm.bmHeight, 4);
    EXPECT_EQ(GetObjectType(dib), DWORD(OBJ_BITMAP));
    DeleteObject(ddb);
    DeleteObject(dib);
}

TEST(GdiObjects, BadDescriptionsSizesAndArgumentsGetFailureValues)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 100000, 100000, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    info.bmiHeader.biWidth = 4;
    info.bmiHeader.biHeight = 4;
    info.bmiHeader.biBitCount = 16;
    EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biSize = 12;
    EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(CreateBitmap(-1, 5, 1, 24, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(5, 5, 2, 24, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(5, 5, 1, 7, nullptr), nullptr);
    EXPECT_EQ(CreatePen(99, 1, 0), nullptr);
    EXPECT_EQ(CreatePenIndirect(nullptr), nullptr);
    EXPECT_EQ(CreateFontIndirectW(nullptr), nullptr);
    EXPECT_EQ(CreatePatternBrush(nullptr), nullptr);
    EXPECT_EQ(CreateDIBPatternBrushPt(nullptr, DIB_RGB_COLORS), nullptr);

    Canvas canvas(4, 4);
    POINT one{1, 1};
    EXPECT_FALSE(Polyline(canvas.dc, nullptr, 2));
    EXPECT_FALSE(Polyline(canvas.dc, &one, 1));
    EXPECT_FALSE(Polyline(canvas.dc, &one, -5));
    EXPECT_FALSE(ExtTextOutW(canvas.dc, 0, 0, 0, nullptr, nullptr, 3, nullptr));
    EXPECT_FALSE(ExtTextOutW(canvas.dc, 0, 0, 0, nullptr, u"abc", 0x80000000u, nullptr));
    SIZE size;
    EXPECT_FALSE(GetTextExtentExPointW(canvas.dc, u"abc", -1, 0, nullptr, nullptr, &size));
    EXPECT_FALSE(GetTextExtentExPointW(canvas.dc, u"abc", 3, 0, nullptr, nullptr, nullptr));
    EXPECT_EQ(DrawTextW(canvas.dc, nullptr, 3, nullptr, 0), 0);
    EXPECT_EQ(SetBkMode(canvas.dc, 7), 0);
    EXPECT_EQ(SetROP2(canvas.dc, 0), 0);
    EXPECT_EQ(SetROP2(canvas.dc, 17), 0);
    EXPECT_EQ(GetObjectW(GetStockObject(BLACK_PEN), -4, nullptr), 0);
    for (int stock : {-1, 9, 1000}) EXPECT_EQ(GetStockObject(stock), nullptr) << stock;
}

TEST(GdiObjects, StaleForeignAndNullHandlesFailCleanly)
{
    HBRUSH brush = CreateSolidBrush(RGB(1, 1, 1));
    ASSERT_TRUE(DeleteObject(brush));
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_TRUE(DeleteDC(dc));
    int local = 0;
    HGDIOBJ foreign = &local;

    for (HGDIOBJ bad : {HGDIOBJ(brush), HGDIOBJ(dc), foreign, HGDIOBJ(nullptr)}) {
        EXPECT_FALSE(DeleteObject(bad));
        EXPECT_EQ(GetObjectType(bad), 0u);
        EXPECT_EQ(GetObjectW(bad, 0, nullptr), 0);
        HDC asDc = static_cast<HDC>(bad);
        EXPECT_FALSE(DeleteDC(asDc));
        EXPECT_EQ(SelectObject(asDc, GetStockObject(BLACK_PEN)), nullptr);
        EXPECT_EQ(GetCurrentObject(asDc, OBJ_PEN), nullptr);
        EXPECT_EQ(SetTextColor(asDc, 0), CLR_INVALID);
        EXPECT_EQ(SetBkColor(asDc, 0), CLR_INVALID);
        EXPECT_EQ(SetBkMode(asDc, OPAQUE), 0);
        EXPECT_EQ(SetROP2(asDc, R2_XORPEN), 0);
        EXPECT_EQ(SetTextAlign(asDc, TA_RIGHT), GDI_ERROR);
        EXPECT_FALSE(SetViewportOrgEx(asDc, 1, 1, nullptr));
        EXPECT_EQ(GetDeviceCaps(asDc, LOGPIXELSX), 0);
        EXPECT_FALSE(Rectangle(asDc, 0, 0, 5, 5));
        EXPECT_FALSE(Ellipse(asDc, 0, 0, 5, 5));
        EXPECT_FALSE(RoundRect(asDc, 0, 0, 5, 5, 2, 2));
        POINT pts[2] = {{0, 0}, {3, 3}};
        EXPECT_FALSE(Polyline(asDc, pts, 2));
        EXPECT_FALSE(BitBlt(asDc, 0, 0, 1, 1, nullptr, 0, 0, BLACKNESS));
        EXPECT_FALSE(ExtTextOutW(asDc, 0, 0, 0, nullptr, u"a", 1, nullptr));
        RECT r{0, 0, 10, 10};
        EXPECT_EQ(DrawTextW(asDc, u"a", 1, &r, 0), 0);
        TEXTMETRICW tm;
        EXPECT_FALSE(GetTextMetricsW(asDc, &tm));
        SIZE size;
        EXPECT_FALSE(GetTextExtentExPointW(asDc, u"a", 1, 0, nullptr, nullptr, &size));
    }
    Canvas canvas(4, 4);
    EXPECT_EQ(SelectObject(canvas.dc, brush), nullptr);
    EXPECT_EQ(SelectObject(canvas.dc, foreign), nullptr);
    EXPECT_FALSE(BitBlt(canvas.dc, 0, 0, 1, 1, dc, 0, 0, SRCCOPY));
    // A device context is not deleted through DeleteObject.
    EXPECT_FALSE(DeleteObject(canvas.dc));
}

TEST(GdiDeviceContext, FreshDcHoldsOnePixelMonochromeBitmapThatKeepsNothing)
{
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetObjectType(dc), DWORD(OBJ_MEMDC));
    HGDIOBJ stock = GetCurrentObject(dc, OBJ_BITMAP);
    BITMAP bm{};
    ASSERT_EQ(GetObjectW(stock, sizeof bm, &bm), int(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 1);
    EXPECT_EQ(bm.bmHeight, 1);
    EXPECT_EQ(bm.bmBitsPixel, 1);

    COLORREF before = GetPixel(dc, 0, 0);
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    EXPECT_TRUE(Rectangle(dc, -10, -10, 10, 10));
    EXPECT_TRUE(Ellipse(dc, -10, -10, 10, 10));
    EXPECT_TRUE(ExtTextOutW(dc, 0, 0, ETO_OPAQUE, nullptr, u"Hi", 2, nullptr));
    EXPECT_TRUE(PatBlt(dc, 0, 0, 1, 1, BLACKNESS));
    EXPECT_EQ(GetPixel(dc, 0, 0), before);

    // A second fresh DC shares the stock bitmap and sees it unchanged.
    HDC other = CreateCompatibleDC(dc);
    EXPECT_EQ(GetCurrentObject(other, OBJ_BITMAP), stock);
    EXPECT_TRUE(PatBlt(other, 0, 0, 1, 1, WHITENESS));
    EXPECT_EQ(GetPixel(dc, 0, 0), before);
    // A bitmap created compatible with such a DC is monochrome.
    HBITMAP mono = CreateCompatibleBitmap(dc, 8, 8);
    GetObjectW(mono, sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    DeleteObject(mono);
    DeleteDC(other);
    DeleteDC(dc);
}

TEST(GdiDeviceContext, SelectionReturnsWhatItDisplaces)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HPEN pen = CreatePen(PS_SOLID, 2, RGB(1, 2, 3));
    HBRUSH brush = CreateSolidBrush(RGB(4, 5, 6));
    LOGFONTW lf{};
    lf.lfHeight = -12;
    HFONT font = CreateFontIndirectW(&lf);
    HBITMAP bmp = CreateBitmap(4, 4, 1, 24, nullptr);

    EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
    EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(dc, font), GetStockObject(SYSTEM_FONT));
    HGDIOBJ stockBitmap = SelectObject(dc, bmp);
    EXPECT_NE(stockBitmap, nullptr);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), bmp);
    EXPECT_EQ(GetCurrentObject(dc, 99), nullptr);

    // A bitmap lives in one DC at a time and cannot be deleted while there.
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, bmp), nullptr);
    EXPECT_FALSE(DeleteObject(bmp));
    EXPECT_EQ(SelectObject(dc, stockBitmap), bmp);
    EXPECT_NE(SelectObject(other, bmp), nullptr);
    // Deleting the DC releases it.
    DeleteDC(other);
    EXPECT_TRUE(DeleteObject(bmp));

    // A selected pen can be deleted; the DC keeps drawing with it.
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_TRUE(Rectangle(dc, 0, 0, 2, 2));
    DeleteDC(dc);
    DeleteObject(brush);
    DeleteObject(font);
}

TEST(GdiRects, FollowThePlatformArithmetic)
{
    const RECT a{0, 0, 10, 10}, b{5, 5, 20, 20}, touching{10, 0, 20, 10}, empty{50, 50, 50, 60}, inverted{10, 10, 0, 0}, zero{0, 0, 0, 0};
    RECT r;
    EXPECT_TRUE(SetRect(&r, 1, 2, 3, 4));
    EXPECT_EQ(r, (RECT{1, 2, 3, 4}));
    EXPECT_FALSE(SetRect(nullptr, 0, 0, 1, 1));
    EXPECT_TRUE(IntersectRect(&r, &a, &b));
    EXPECT_EQ(r, (RECT{5, 5, 10, 10}));
    EXPECT_TRUE(UnionRect(&r, &a, &b));
    EXPECT_EQ(r, (RECT{0, 0, 20, 20}));
    // Touching rectangles do not intersect; the result is all zeroes.
    EXPECT_FALSE(IntersectRect(&r, &a, &touching));
    EXPECT_EQ(r, zero);
    // Empty inputs: a union ignores them, an intersection with one is empty.
    EXPECT_TRUE(UnionRect(&r, &a, &empty));
    EXPECT_EQ(r, a);
    EXPECT_FALSE(IntersectRect(&r, &empty, &a));
    r = RECT{1, 2, 3, 4};
    EXPECT_FALSE(UnionRect(&r, &inverted, &empty));
    EXPECT_EQ(r, zero);
    EXPECT_FALSE(IntersectRect(nullptr, &a, &b));
    EXPECT_FALSE(UnionRect(&r, nullptr, &b));
}

}  // namespace
