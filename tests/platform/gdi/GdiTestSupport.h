// Small bitmaps to draw on and read back in the graphics tests.
#ifndef TARVEL_TESTS_GDI_SUPPORT_H
#define TARVEL_TESTS_GDI_SUPPORT_H

#include <tarvel/gdi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

// Rectangles compare and print whole, so a test states the box it expects.
inline bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline std::ostream& operator<<(std::ostream& out, const RECT& r)
{
    return out << '{' << r.left << ',' << r.top << ',' << r.right << ',' << r.bottom << '}';
}

namespace gditest {

constexpr COLORREF kWhite = RGB(255, 255, 255);

// A memory DC with a DIB section of the given depth selected, filled white.
// One- and eight-bit sections get a black-to-white palette.
struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    std::uint8_t* bits = nullptr;
    int width = 0, height = 0, bpp = 0, stride = 0;
    bool topDown = true;

    Canvas(int w, int h, int depth = 24, bool top = true)
    {
        width = w, height = h, bpp = depth, stride = ((w * depth + 31) / 32) * 4, topDown = top;
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colours[256];
        } info{};
        info.header = {sizeof(BITMAPINFOHEADER), w, top ? -h : h, 1, WORD(depth), BI_RGB, 0, 0, 0, 0, 0};
        for (int i = 0; i < 256; ++i) info.colours[i] = depth == 1 ? RGBQUAD{BYTE(i ? 255 : 0), BYTE(i ? 255 : 0), BYTE(i ? 255 : 0), 0} : RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
        dc = CreateCompatibleDC(nullptr);
        void* pixels = nullptr;
        bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels, nullptr, 0);
        bits = static_cast<std::uint8_t*>(pixels);
        old = SelectObject(dc, bitmap);
        Fill(kWhite);
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
        const std::uint8_t *r = Row(y), *p = r + x * (bpp / 8);
        if (bpp == 1) return ((r[x >> 3] >> (7 - (x & 7))) & 1) ? kWhite : RGB(0, 0, 0);
        return bpp == 8 ? RGB(r[x], r[x], r[x]) : RGB(p[2], p[1], p[0]);
    }

    // One bit: white where the channels add up to at least half; eight
    // bits: the red channel as the grey.
    void Set(int x, int y, COLORREF c)
    {
        std::uint8_t *r = Row(y), *p = r + x * (bpp / 8);
        const auto bit = std::uint8_t(0x80 >> (x & 7));
        if (bpp == 1) r[x >> 3] = GetRValue(c) + GetGValue(c) + GetBValue(c) >= 384 ? r[x >> 3] | bit : r[x >> 3] & ~bit;
        if (bpp == 8) r[x] = GetRValue(c);
        if (bpp > 8) p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c);
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
        for (int y = 0; y < height; ++y, out += '\n')
            for (int x = 0; x < width; ++x) out += At(x, y) == kWhite ? '.' : "?#"[At(x, y) == RGB(0, 0, 0)];
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
    RECT Ink(COLORREF background = kWhite) const
    {
        RECT r{width, height, 0, 0};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (At(x, y) != background) r = {std::min<LONG>(r.left, x), std::min<LONG>(r.top, y), std::max<LONG>(r.right, x + 1), std::max<LONG>(r.bottom, y + 1)};
        if (r.right == 0) r = RECT{0, 0, 0, 0};
        return r;
    }
};

// Selects an object into a DC for the life of a scope, then puts back what
// it displaced and deletes it.
struct Selected {
    HDC dc = nullptr;
    HGDIOBJ object = nullptr, old = nullptr;
    Selected(HDC d, HGDIOBJ o) { dc = d, object = o, old = SelectObject(d, o); }
    ~Selected()
    {
        SelectObject(dc, old);
        DeleteObject(object);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;
};

// A font description, and a font made from one; the caller deletes it.
inline LOGFONTW Describe(const char16_t* face, LONG height, LONG weight = FW_NORMAL, bool italic = false,
                         bool underline = false, bool strike = false, LONG escapement = 0)
{
    LOGFONTW lf{height, 0, escapement, 0, weight, BYTE(italic), BYTE(underline), BYTE(strike), 0, 0, 0, 0, 0, {}};
    for (int i = 0; face[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = face[i];
    return lf;
}
template <typename... Rest>
HFONT MakeFont(const char16_t* face, LONG height, Rest... rest)
{
    const LOGFONTW lf = Describe(face, height, rest...);
    return CreateFontIndirectW(&lf);
}

}  // namespace gditest

#endif
