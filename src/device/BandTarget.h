// A top-down band bitmap selected into a memory device context, on which
// the page pipeline plays the recorded page one band at a time: 24 bits per
// pixel, or one (0 black, 1 white) for a bilevel page.
#pragma once

#include <tarvel/gdi.h>

#include <cstdint>

namespace tarvel::device {

// Everything it made is released when it goes.
class BandTarget {
public:
    BandTarget(HDC printer, std::int32_t width, std::int32_t height, bool bilevel)
        : width(width)
        , height(height)
        , bilevel(bilevel)
    {
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colors[2];
        } info{};
        info.header.biSize = sizeof(BITMAPINFOHEADER);
        info.header.biWidth = width;
        info.header.biHeight = -height;
        info.header.biPlanes = 1;
        info.header.biBitCount = bilevel ? 1 : 24;
        info.header.biCompression = BI_RGB;
        info.header.biClrUsed = bilevel ? 2 : 0;
        info.colors[1] = RGBQUAD{255, 255, 255, 0};
        void* pixels = nullptr;
        bitmap = CreateDIBSection(printer, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels,
                                  nullptr, 0);
        bits = static_cast<std::uint8_t*>(pixels);
        const std::int64_t rowBits = static_cast<std::int64_t>(width) * (bilevel ? 1 : 24);
        stride = (rowBits + 31) / 32 * 4;
    }
    ~BandTarget()
    {
        if (kept)
            SelectObject(dc, kept);
        if (dc)
            DeleteDC(dc);
        if (bitmap)
            DeleteObject(bitmap);
    }
    BandTarget(const BandTarget&) = delete;
    BandTarget& operator=(const BandTarget&) = delete;

    bool Created() const { return bitmap && bits; }
    bool Select()
    {
        dc = CreateCompatibleDC(nullptr);
        kept = dc ? SelectObject(dc, bitmap) : nullptr;
        return kept != nullptr;
    }

    std::int32_t width, height;
    bool bilevel;
    HBITMAP bitmap = nullptr;
    std::uint8_t* bits = nullptr;
    std::int64_t stride = 0;
    HDC dc = nullptr;
    HGDIOBJ kept = nullptr;
};

}  // namespace tarvel::device
