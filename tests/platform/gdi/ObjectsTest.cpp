#include "platform/gdi/GdiTestSupport.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using gditest::Canvas;

namespace {

// Pens, brushes and fonts are told apart, read back and made again from
// their descriptions by the recorder, which proves those; here only what
// it never asks.
TEST(GdiObjects, DescriptionsNeedRoomAndStockObjectsSurviveDeletion)
{
    HPEN pen = CreatePen(PS_DASH, 3, RGB(1, 2, 3));
    LOGPEN lp{};
    HFONT font = gditest::MakeFont(u"Arial", -20);
    EXPECT_EQ(GetObjectW(font, 10, &lp), 0);  // too small for the description: nothing
    // Device bitmaps pad rows to 16 bits, DIB sections to 32; with only room
    // for a BITMAP, a DIB section describes itself as one.
    HBITMAP ddb = CreateBitmap(10, 3, 1, 1, nullptr);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 5, -4, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bits, nullptr);
    BITMAP bm{}, dm{};
    DIBSECTION ds{};
    EXPECT_EQ(std::tuple(GetObjectW(ddb, sizeof(bm), &bm), GetObjectW(dib, sizeof(ds), &ds), GetObjectW(dib, sizeof(dm), &dm)), std::tuple(int(sizeof(BITMAP)), int(sizeof(DIBSECTION)), int(sizeof(BITMAP))));
    EXPECT_EQ(std::tuple(bm.bmWidthBytes, ds.dsBm.bmWidthBytes, ds.dsBmih.biSizeImage, dm.bmBits), std::tuple(LONG(2), LONG(16), DWORD(64), bits));
    for (HGDIOBJ object : {HGDIOBJ(pen), HGDIOBJ(font), HGDIOBJ(ddb), HGDIOBJ(dib)}) EXPECT_TRUE(DeleteObject(object));
    // A stock object "deleted" stays.
    LOGBRUSH lb{};
    EXPECT_TRUE(DeleteObject(GetStockObject(NULL_BRUSH)));
    ASSERT_EQ(GetObjectW(GetStockObject(NULL_BRUSH), sizeof lb, &lb), int(sizeof lb));
    EXPECT_EQ(lb.lbStyle, UINT(BS_NULL));
}

TEST(GdiObjects, BadDescriptionsSizesAndArgumentsGetFailureValues)
{
    BITMAPINFO info{};
    // Too big, a depth not drawn on, a header of the wrong size, none.
    void* bits = reinterpret_cast<void*>(1);
    for (BITMAPINFOHEADER header : {BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 100000, 100000, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {sizeof(BITMAPINFOHEADER), 4, 4, 1, 16, BI_RGB, 0, 0, 0, 0, 0}, {12, 4, 4, 1, 24, BI_RGB, 0, 0, 0, 0, 0}}) {
        info.bmiHeader = header;
        EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
        EXPECT_EQ(bits, nullptr);
    }
    EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    for (HGDIOBJ made : {HGDIOBJ(CreateBitmap(-1, 5, 1, 24, nullptr)), HGDIOBJ(CreateBitmap(5, 5, 2, 24, nullptr)),
                         HGDIOBJ(CreateBitmap(5, 5, 1, 7, nullptr)), HGDIOBJ(CreatePen(99, 1, 0)),
                         HGDIOBJ(CreatePenIndirect(nullptr)), HGDIOBJ(CreateFontIndirectW(nullptr)),
                         HGDIOBJ(CreatePatternBrush(nullptr)), HGDIOBJ(CreateDIBPatternBrushPt(nullptr, DIB_RGB_COLORS))})
        EXPECT_EQ(made, nullptr);

    Canvas canvas(4, 4);
    HDC dc = canvas.dc;
    POINT one{1, 1};
    SIZE size;
    const std::vector<long long> zeroes = {Polyline(dc, nullptr, 2), Polyline(dc, &one, 1), Polyline(dc, &one, -5),
                                           ExtTextOutW(dc, 0, 0, 0, nullptr, nullptr, 3, nullptr),
                                           ExtTextOutW(dc, 0, 0, 0, nullptr, u"abc", 0x80000000u, nullptr),
                                           GetTextExtentExPointW(dc, u"abc", -1, 0, nullptr, nullptr, &size),
                                           GetTextExtentExPointW(dc, u"abc", 3, 0, nullptr, nullptr, nullptr),
                                           DrawTextW(dc, nullptr, 3, nullptr, 0), SetBkMode(dc, 7), SetROP2(dc, 0), SetROP2(dc, 17),
                                           GetObjectW(GetStockObject(BLACK_PEN), -4, nullptr)};
    EXPECT_EQ(zeroes, std::vector<long long>(zeroes.size(), 0));
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

    POINT pts[2] = {{0, 0}, {3, 3}};
    RECT r{0, 0, 10, 10};
    TEXTMETRICW tm;
    SIZE size;
    for (HGDIOBJ bad : {HGDIOBJ(brush), HGDIOBJ(dc), foreign, HGDIOBJ(nullptr)}) {
        HDC asDc = static_cast<HDC>(bad);
        // Each call's own failure value: zero, false or a null handle ...
        const std::vector<long long> zeroes = {DeleteObject(bad), GetObjectType(bad), GetObjectW(bad, 0, nullptr), DeleteDC(asDc),
                                               SetBkMode(asDc, OPAQUE), SetROP2(asDc, R2_XORPEN), SetViewportOrgEx(asDc, 1, 1, nullptr),
                                               GetDeviceCaps(asDc, LOGPIXELSX), Rectangle(asDc, 0, 0, 5, 5), Ellipse(asDc, 0, 0, 5, 5),
                                               RoundRect(asDc, 0, 0, 5, 5, 2, 2), Polyline(asDc, pts, 2),
                                               BitBlt(asDc, 0, 0, 1, 1, nullptr, 0, 0, BLACKNESS),
                                               ExtTextOutW(asDc, 0, 0, 0, nullptr, u"a", 1, nullptr), DrawTextW(asDc, u"a", 1, &r, 0),
                                               GetTextMetricsW(asDc, &tm), GetTextExtentExPointW(asDc, u"a", 1, 0, nullptr, nullptr, &size),
                                               SelectObject(asDc, GetStockObject(BLACK_PEN)) != nullptr, GetCurrentObject(asDc, OBJ_PEN) != nullptr};
        EXPECT_EQ(zeroes, std::vector<long long>(zeroes.size(), 0));
        // ... or the invalid colour and the error value.
        EXPECT_EQ(std::vector({SetTextColor(asDc, 0), SetBkColor(asDc, 0), COLORREF(SetTextAlign(asDc, TA_RIGHT))}), std::vector({CLR_INVALID, CLR_INVALID, COLORREF(GDI_ERROR)}));
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
    EXPECT_EQ(GetObjectType(dc), DWORD(OBJ_MEMDC));
    COLORREF before = GetPixel(dc, 0, 0);
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    EXPECT_TRUE(Rectangle(dc, -10, -10, 10, 10));
    EXPECT_TRUE(ExtTextOutW(dc, 0, 0, ETO_OPAQUE, nullptr, u"Hi", 2, nullptr));
    EXPECT_TRUE(PatBlt(dc, 0, 0, 1, 1, BLACKNESS));
    EXPECT_EQ(GetPixel(dc, 0, 0), before);

    // A bitmap created compatible with such a DC is monochrome.
    HBITMAP mono = CreateCompatibleBitmap(dc, 8, 8);
    BITMAP bm{};
    GetObjectW(mono, sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    DeleteObject(mono);
    DeleteDC(dc);
}

TEST(GdiDeviceContext, SelectionReturnsWhatItDisplaces)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HPEN pen = CreatePen(PS_SOLID, 2, RGB(1, 2, 3));
    HBRUSH brush = CreateSolidBrush(RGB(4, 5, 6));
    HFONT font = gditest::MakeFont(u"", -12);
    HBITMAP bmp = CreateBitmap(4, 4, 1, 24, nullptr);
    const std::vector<HGDIOBJ> stock = {SelectObject(dc, pen), SelectObject(dc, brush), SelectObject(dc, font)};
    EXPECT_EQ(stock, (std::vector{GetStockObject(BLACK_PEN), GetStockObject(WHITE_BRUSH), GetStockObject(SYSTEM_FONT)}));
    HGDIOBJ stockBitmap = SelectObject(dc, bmp);
    const std::vector<HGDIOBJ> current = {GetCurrentObject(dc, OBJ_PEN), GetCurrentObject(dc, OBJ_BRUSH), GetCurrentObject(dc, OBJ_FONT), GetCurrentObject(dc, OBJ_BITMAP)};
    EXPECT_EQ(current, (std::vector<HGDIOBJ>{pen, brush, font, bmp}));
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

// Rectangle arithmetic is the band playback's: a union or an intersection
// gone wrong sends records to the wrong bands, and the banded pages then
// differ from the page drawn whole.

}  // namespace
