// A dithered A4 page for the driver and decoder benchmarks: a smooth,
// photo-like picture reduced to the pure colours by simple error diffusion,
// so the planes look like real dithered output rather than random noise.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "ports/PortWriter.h"

namespace tarvel::bench {

struct DitheredPage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // rows of blue, green, red
    const std::uint8_t* Row(int y) const { return pixels.data() + static_cast<std::size_t>(y) * width * 3; }
    bool RowIsWhite(int y) const
    {
        const std::uint8_t* row = Row(y);
        for (int i = 0; i < width * 3; ++i)
            if (row[i] != 255) return false;
        return true;
    }
};

// A4 (210 x 297 mm) at `dpi`, with a white margin of a quarter inch all
// round and a white band across the middle, as a page with a picture and
// some space would have.
inline DitheredPage MakeA4Page(int dpi, bool monochrome)
{
    DitheredPage page;
    page.width = static_cast<int>(21000.0 * dpi / 2540.0);
    page.height = static_cast<int>(29700.0 * dpi / 2540.0);
    page.pixels.assign(static_cast<std::size_t>(page.width) * page.height * 3, 255);
    const int margin = dpi / 4;
    std::vector<int> carry(static_cast<std::size_t>(page.width) * 3, 0);
    for (int y = margin; y < page.height - margin; ++y) {
        if (y > page.height * 45 / 100 && y < page.height * 55 / 100) continue;
        std::uint8_t* row = page.pixels.data() + static_cast<std::size_t>(y) * page.width * 3;
        int right[3] = {0, 0, 0};
        for (int x = margin; x < page.width - margin; ++x) {
            const double fx = x * 300.0 / dpi, fy = y * 300.0 / dpi;
            double v[3] = {128 + 120 * std::sin(fx / 170.0 + fy / 410.0),
                           128 + 120 * std::sin(fy / 230.0 - fx / 520.0),
                           128 + 120 * std::cos((fx + fy) / 300.0)};
            if (monochrome) v[0] = v[1] = v[2] = (v[0] * 0.299 + v[1] * 0.587 + v[2] * 0.114);
            for (int c = 0; c < 3; ++c) {
                const int target = static_cast<int>(v[c]) + carry[3 * x + c] + right[c];
                const int out = target >= 128 ? 255 : 0;
                const int error = target - out;
                right[c] = error / 2;
                carry[3 * x + c] = error / 2;
                row[3 * x + (2 - c)] = static_cast<std::uint8_t>(out);
            }
            if (monochrome) row[3 * x] = row[3 * x + 1] = row[3 * x + 2];
        }
    }
    return page;
}

class CountingWriter : public ports::PortWriter {
public:
    int Write(const std::uint8_t*, int length) override
    {
        bytes += static_cast<std::uint64_t>(length);
        return length;
    }
    std::uint64_t bytes = 0;
};

}  // namespace tarvel::bench
