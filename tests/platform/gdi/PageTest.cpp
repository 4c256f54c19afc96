// One page that exercises every drawing call, compared pixel for pixel with
// tests/data/gdi/page-ref.png. The fonts come from the fixed test font
// configuration, so the page does not change with the machine's fonts.
// After a deliberate change of the rendering, regenerate the reference with
// TARVEL_WRITE_REFERENCE=<path> and check the new picture by eye.
#include "platform/gdi/GdiTestSupport.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>

using gditest::Canvas;
using gditest::MakeFont;

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 360;

void DrawPage(HDC dc)
{
    HPEN thick = CreatePen(PS_SOLID, 5, RGB(0, 90, 160));
    HPEN dashed = CreatePen(PS_DASH, 1, RGB(160, 0, 0));
    HPEN dotted = CreatePen(PS_DOT, 0, RGB(0, 0, 0));
    HBRUSH yellow = CreateSolidBrush(RGB(250, 220, 40));
    HBRUSH teal = CreateSolidBrush(RGB(0, 150, 140));
    std::uint8_t hatch[16] = {0x81, 0, 0x42, 0, 0x24, 0, 0x18, 0, 0x18, 0, 0x24, 0, 0x42, 0, 0x81, 0};
    HBITMAP hatchBitmap = CreateBitmap(8, 8, 1, 1, hatch);
    HBRUSH pattern = CreatePatternBrush(hatchBitmap);

    SelectObject(dc, thick);
    SelectObject(dc, yellow);
    Rectangle(dc, 10, 10, 150, 90);
    SelectObject(dc, dashed);
    SelectObject(dc, teal);
    Ellipse(dc, 160, 10, 300, 90);
    SelectObject(dc, dotted);
    SetBkColor(dc, RGB(230, 230, 255));
    SelectObject(dc, pattern);
    SetTextColor(dc, RGB(120, 0, 120));
    RoundRect(dc, 310, 10, 470, 90, 30, 20);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));

    SelectObject(dc, thick);
    POINT zigzag[] = {{20, 110}, {80, 150}, {140, 110}, {200, 150}, {260, 110}};
    Polyline(dc, zigzag, 5);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    POINT fan[12];
    for (int i = 0; i < 12; ++i) fan[i] = POINT{280 + (i % 2) * 180, 100 + i * 5};
    Polyline(dc, fan, 12);

    SetROP2(dc, R2_XORPEN);
    SelectObject(dc, GetStockObject(WHITE_PEN));
    SelectObject(dc, teal);
    Rectangle(dc, 60, 40, 240, 130);
    SetROP2(dc, R2_COPYPEN);
    SelectObject(dc, GetStockObject(BLACK_PEN));

    HFONT sans = MakeFont(u"Arial", -22);
    HFONT serif = MakeFont(u"Times New Roman", -26, FW_BOLD, true);
    HFONT mono = MakeFont(u"Courier New", 18, FW_NORMAL, false, true);
    HFONT turned = MakeFont(u"Tahoma", -16, FW_NORMAL, false, false, false, 900);
    SelectObject(dc, sans);
    SetBkMode(dc, TRANSPARENT);
    ExtTextOutW(dc, 20, 170, 0, nullptr, u"Sans: the quick brown fox jumps", 31, nullptr);
    SelectObject(dc, serif);
    SetTextColor(dc, RGB(150, 30, 30));
    ExtTextOutW(dc, 20, 200, 0, nullptr, u"Serif bold italic \u00e9\u00e8\u00e0", 21, nullptr);
    SelectObject(dc, mono);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(220, 240, 220));
    SetTextColor(dc, RGB(0, 0, 0));
    RECT clip{20, 235, 200, 252};
    ExtTextOutW(dc, 20, 235, ETO_OPAQUE | ETO_CLIPPED, &clip, u"Mono underlined, clipped text", 29,
                nullptr);
    SelectObject(dc, turned);
    SetBkMode(dc, TRANSPARENT);
    ExtTextOutW(dc, 455, 340, 0, nullptr, u"Turned up", 9, nullptr);
    SelectObject(dc, sans);
    RECT box{220, 230, 440, 340};
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    SelectObject(dc, dotted);
    Rectangle(dc, box.left, box.top, box.right, box.bottom);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    DrawTextW(dc, u"Word wrapped, centred text in a dotted box with a &prefix.", -1, &box,
              DT_WORDBREAK | DT_CENTER);

    // A blit from a small bitmap, stretched, and a pattern-merging blit.
    Canvas tile(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) tile.Set(x, y, RGB(x * 80, y * 80, 200 - (x + y) * 20));
    StretchBlt(dc, 20, 270, 80, 60, tile.dc, 0, 0, 4, 4, SRCCOPY);
    SelectObject(dc, pattern);
    StretchBlt(dc, 110, 270, 80, 60, tile.dc, 0, 0, 4, 4, 0x00B8074Au);  // pattern where source set
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    SelectObject(dc, GetStockObject(SYSTEM_FONT));

    for (HGDIOBJ h : {HGDIOBJ(thick), HGDIOBJ(dashed), HGDIOBJ(dotted), HGDIOBJ(yellow),
                      HGDIOBJ(teal), HGDIOBJ(pattern), HGDIOBJ(hatchBitmap), HGDIOBJ(sans),
                      HGDIOBJ(serif), HGDIOBJ(mono), HGDIOBJ(turned)})
        DeleteObject(h);
}

TEST(GdiPage, MatchesTheReferencePicture)
{
    Canvas page(kWidth, kHeight);
    DrawPage(page.dc);
    // Thirty-two bits a pixel with the top byte unused is cairo's RGB24.
    Canvas padded(kWidth, kHeight, 32);
    BitBlt(padded.dc, 0, 0, kWidth, kHeight, page.dc, 0, 0, SRCCOPY);
    cairo_surface_t* actual = cairo_image_surface_create_for_data(padded.bits, CAIRO_FORMAT_RGB24, kWidth, kHeight, padded.stride);
    if (const char* out = std::getenv("TARVEL_WRITE_REFERENCE")) cairo_surface_write_to_png(actual, out);

    const char* data = std::getenv("TARVEL_TEST_DATA");
    ASSERT_NE(data, nullptr);
    std::string refPath = std::string(data) + "/gdi/page-ref.png";
    cairo_surface_t* ref = cairo_image_surface_create_from_png(refPath.c_str());
    ASSERT_EQ(cairo_surface_status(ref), CAIRO_STATUS_SUCCESS) << refPath;
    ASSERT_EQ(std::pair(cairo_image_surface_get_width(ref), cairo_image_surface_get_height(ref)), std::pair(kWidth, kHeight));
    int differences = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            auto at = [x, y](cairo_surface_t* s) { return reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s))[x] & 0xFFFFFFu; };
            differences += at(actual) != at(ref);
        }
    cairo_surface_destroy(ref);
    cairo_surface_destroy(actual);
    EXPECT_EQ(differences, 0) << "TARVEL_WRITE_REFERENCE=<path> writes the page as drawn, to look at";
}

}  // namespace
