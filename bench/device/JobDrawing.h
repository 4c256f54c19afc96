// The two job benchmark pages drawn through the PDC_ interface, shared by
// bench_pages and the whole-process comparison in bench/compare.
#pragma once

#include "JobPages.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>

#include <algorithm>
#include <string>

namespace jobpages {

inline HFONT MakeFont(int points, int weight = FW_NORMAL)
{
    LOGFONTW font{};
    font.lfHeight = -points * kDpi / 72;
    font.lfWeight = weight;
    const std::u16string face = kFace;
    std::copy(face.begin(), face.end(), font.lfFaceName);
    return CreateFontIndirectW(&font);
}

inline void PutText(HDC dc, POINT at, const std::u16string& text)
{
    PDC_ExtTextOut(dc, at.x, at.y, 0, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr);
}

inline void TextPage(HDC dc)
{
    HFONT font = MakeFont(kTextPoints);
    PDC_SelectObject(dc, font);
    for (int line = 0; line < kTextLines; ++line)
        PutText(dc, TextLineAt(line), TextLine(line));
    PDC_SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

inline HBITMAP Picture()
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), kPictureWidth, -kPictureHeight, 1, 24, BI_RGB, 0,
                      0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    FillPicture(static_cast<std::uint8_t*>(bits), (kPictureWidth * 3 + 3) & ~3);
    return bitmap;
}

inline void MixedPage(HDC dc, HBITMAP picture)
{
    HFONT title = MakeFont(kTitlePoints, FW_BOLD);
    PDC_SelectObject(dc, title);
    PutText(dc, kTitleAt, kTitle);
    HFONT body = MakeFont(kTextPoints);
    PDC_SelectObject(dc, body);
    for (int line = 0; line < kBodyLines; ++line)
        PutText(dc, BodyLineAt(line), kBodyLine);
    for (int i = 0; i < kShapes; ++i) {
        const Shape shape = ShapeAt(i);
        HBRUSH brush = CreateSolidBrush(shape.fill);
        PDC_SelectObject(dc, brush);
        const RECT& b = shape.box;
        if (shape.ellipse)
            PDC_Ellipse(dc, b.left, b.top, b.right, b.bottom);
        else
            PDC_Rectangle(dc, b.left, b.top, b.right, b.bottom);
        PDC_SelectObject(dc, GetStockObject(WHITE_BRUSH));
        DeleteObject(brush);
    }
    HDC memory = PDC_CreateCompatibleDC(dc);
    HGDIOBJ kept = PDC_SelectObject(memory, picture);
    PDC_BitBlt(dc, kPictureAt.x, kPictureAt.y, kPictureWidth, kPictureHeight,
               memory, 0, 0, SRCCOPY);
    PDC_SelectObject(memory, kept);
    PDC_DeleteDC(memory);
    PDC_SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(title);
    DeleteObject(body);
}

}  // namespace jobpages
