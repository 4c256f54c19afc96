// Helpers shared by the recording and playback tests: a recording state
// with a printer DC, and band bitmaps whose pixels can be read back.
#pragma once

#include "render/BandPlayer.h"
#include "render/RecordingState.h"

#include <tarvel/gdi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace tarvel::render::testing {

// A recording state with a fresh printer DC for each test.
class PageFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ReplacePrinterDc(state));
        printer = PrinterDc(state);
    }

    RecordingState state;
    HDC printer = nullptr;
};

// A top-down 24-bit bitmap selected into its own memory device context.
class BandBitmap {
public:
    BandBitmap(int width, int height)
        : width(width)
        , height(height)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
        kept = SelectObject(dc, bitmap);
        stride = ((width * 3) + 3) & ~3;
        std::memset(bits, 255, static_cast<std::size_t>(stride) * height);
    }
    ~BandBitmap()
    {
        SelectObject(dc, kept);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    BandBitmap(const BandBitmap&) = delete;
    BandBitmap& operator=(const BandBitmap&) = delete;

    // BGR of pixel (x, y).
    const std::uint8_t* Pixel(int x, int y) const { return bits + static_cast<std::size_t>(y) * stride + x * 3; }
    COLORREF Color(int x, int y) const
    {
        const std::uint8_t* p = Pixel(x, y);
        return RGB(p[2], p[1], p[0]);
    }

    int width, height, stride = 0;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ kept = nullptr;
    std::uint8_t* bits = nullptr;
};

// A page of width x height rendered in bands of the given height (portrait:
// bands of rows; turned: bands of columns), assembled into rows of BGR.
inline std::vector<std::uint8_t> RenderInBands(RecordingState& state, int width, int height, int bandSize, bool turned)
{
    std::vector<std::uint8_t> page(static_cast<std::size_t>(width) * height * 3, 0);
    const int extent = turned ? width : height;
    for (int start = 0; start < extent; start += bandSize) {
        const int n = std::min(bandSize, extent - start);
        BandBitmap band(turned ? n : width, turned ? height : n);
        const RECT area = {0, 0, width, height};
        if (turned)
            PlayBand(state, band.dc, area, RECT{start, 0, start + n, height});
        else
            PlayBand(state, band.dc, area, RECT{0, start, width, start + n});
        for (int y = 0; y < band.height; ++y) {
            for (int x = 0; x < band.width; ++x) {
                const int pageX = turned ? start + x : x;
                const int pageY = turned ? y : start + y;
                std::memcpy(&page[(static_cast<std::size_t>(pageY) * width + pageX) * 3], band.Pixel(x, y), 3);
            }
        }
    }
    return page;
}

// Where two renderings of a page first differ, for a failure message.
inline std::string FirstDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, int width)
{
    const auto at = static_cast<std::size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin()) / 3;
    return "first difference at (" + std::to_string(at % width) + ", " + std::to_string(at / width) + ")";
}

}  // namespace tarvel::render::testing
