// Small bitmaps to draw on and read back in the graphics tests.
#ifndef TARVEL_TESTS_GDI_SUPPORT_H
#define TARVEL_TESTS_GDI_SUPPORT_H

#include <tarvel/gdi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace gditest {

// A memory DC with a DIB section of the given depth selected, filled white.
struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    std::uint8_t* bits = nullptr;
    int width = 0, height = 0, bpp = 0, stride = 0;
    bool topDown = true;

    Canvas(int w, int h, int depth = 24, bool top = true)
        : width(w)
        , height(h)
        , bpp(depth)
        , topDown(top)
    {
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colours[256];
        } info{};
        info.header.biSize = sizeof(BITMAPINFOHEADER);
        info.header.biWidth = w;
        info.header.biHeight = top ? -h : h;
        info.header.biPlanes = 1;
        info.header.biBitCount = WORD(depth);
        info.header.biCompression = BI_RGB;
        if (depth == 1) {
            info.colours[0] = RGBQUAD{0, 0, 0, 0};
            info.colours[1] = RGBQUAD{255, 255, 255, 0};
        } else if (depth == 8) {
            for (int i = 0; i < 256; ++i) info.colours[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
        }
        dc = CreateCompatibleDC(nullptr);
        void* pixels = nullptr;
        bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels,
                                  nullptr, 0);
        bits = static_cast<std::uint8_t*>(pixels);
        stride = ((w * depth + 31) / 32) * 4;
        old = SelectObject(dc, bitmap);
        Fill(RGB(255, 255, 255));
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    std::uint8_t* Row(int y) const { return bits + std::size_t(topDown ? y : height - 1 - y) * stride; }

    COLORREF At(int x, int y) const
    {
        const std::uint8_t* r = Row(y);
        switch (bpp) {
        case 1: return ((r[x >> 3] >> (7 - (x & 7))) & 1) ? RGB(255, 255, 255) : RGB(0, 0, 0);
        case 8: return RGB(r[x], r[x], r[x]);
        case 24: return RGB(r[x * 3 + 2], r[x * 3 + 1], r[x * 3]);
        default: return RGB(r[x * 4 + 2], r[x * 4 + 1], r[x * 4]);
        }
    }

    void Set(int x, int y, COLORREF c)
    {
        std::uint8_t* r = Row(y);
        switch (bpp) {
        case 1: {
            std::uint8_t bit = std::uint8_t(0x80 >> (x & 7));
            if (GetRValue(c) + GetGValue(c) + GetBValue(c) >= 384) {
                r[x >> 3] |= bit;
            } else {
                r[x >> 3] &= std::uint8_t(~bit);
            }
            break;
        }
        case 8: r[x] = GetRValue(c); break;
        case 24:
            r[x * 3] = GetBValue(c);
            r[x * 3 + 1] = GetGValue(c);
            r[x * 3 + 2] = GetRValue(c);
            break;
        default:
            r[x * 4] = GetBValue(c);
            r[x * 4 + 1] = GetGValue(c);
            r[x * 4 + 2] = GetRValue(c);
            r[x * 4 + 3] = 0;
            break;
        }
    }

    void Fill(COLORREF c)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) Set(x, y, c);
    }

    // One character per pixel: '.' for white, '#' for black, '?' otherwise.
    std::string Picture() const
    {
        std::string out;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                COLORREF c = At(x, y);
                out += c == RGB(255, 255, 255) ? '.' : c == RGB(0, 0, 0) ? '#'
                                                                         : '?';
            }
            out += '\n';
        }
        return out;
    }

    int Count(COLORREF c) const
    {
        int n = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) n += At(x, y) == c;
        return n;
    }

    // Bounding box of pixels that are not `background`; empty if none.
    RECT Ink(COLORREF background = RGB(255, 255, 255)) const
    {
        RECT r{width, height, 0, 0};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (At(x, y) != background) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x + 1);
                    r.bottom = std::max<LONG>(r.bottom, y + 1);
                }
        if (r.right == 0) r = RECT{0, 0, 0, 0};
        return r;
    }
};

// A font of the given description; the caller deletes it.
inline HFONT MakeFont(const char16_t* face, LONG height, LONG weight = FW_NORMAL, bool italic = false,
                      bool underline = false, bool strike = false, LONG escapement = 0)
{
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    lf.lfUnderline = underline;
    lf.lfStrikeOut = strike;
    lf.lfEscapement = escapement;
    for (int i = 0; face[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = face[i];
    return CreateFontIndirectW(&lf);
}

// Joins picture rows written one per line in a test.
inline std::string Rows(std::initializer_list<const char*> rows)
{
    std::string out;
    for (const char* r : rows) {
        out += r;
        out += '\n';
    }
    return out;
}

// Draws once on a whole canvas and again band by band, each band a canvas
// of bandWidth x bandHeight with its viewport moved onto it, as the page
// renderer draws. Returns where the first band differs, or "" if none does.
template <typename Draw>
std::string BandDifference(int width, int height, int bandWidth, int bandHeight, Draw draw,
                           bool bandsTopDown = true)
{
    Canvas whole(width, height);
    draw(whole.dc);
    for (int top = 0; top < height; top += bandHeight)
        for (int left = 0; left < width; left += bandWidth) {
            Canvas band(bandWidth, bandHeight, 24, bandsTopDown);
            SetViewportOrgEx(band.dc, -left, -top, nullptr);
            draw(band.dc);
            for (int y = 0; y < bandHeight && top + y < height; ++y)
                for (int x = 0; x < bandWidth && left + x < width; ++x)
                    if (band.At(x, y) != whole.At(left + x, top + y))
                        return "band " + std::to_string(bandWidth) + "x" + std::to_string(bandHeight) + " differs at " + std::to_string(left + x) + "," + std::to_string(top + y);
        }
    return "";
}

}  // namespace gditest

#endif
