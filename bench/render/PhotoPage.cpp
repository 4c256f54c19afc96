#include "PhotoPage.h"

#include <algorithm>
#include <cmath>

namespace tarvel::bench {

std::vector<std::uint8_t> MakePhotoPage()
{
    std::vector<std::uint8_t> page(static_cast<std::size_t>(kPageWidth) * kPageHeight * 3);
    std::uint32_t noise = 12345;
    for (int y = 0; y < kPageHeight; ++y) {
        std::uint8_t* row = &page[static_cast<std::size_t>(y) * kPageWidth * 3];
        for (int x = 0; x < kPageWidth; ++x) {
            // Slow waves of colour like sky, skin and foliage, plus film grain.
            const double red = 128 + 90 * std::sin(x * 0.0031 + y * 0.0017);
            const double green = 120 + 80 * std::sin(x * 0.0023 - y * 0.0029 + 1.0);
            const double blue = 110 + 100 * std::cos((x + y) * 0.0013);
            noise = noise * 1664525u + 1013904223u;
            const int grain = static_cast<int>(noise >> 27) - 16;
            auto channel = [&](double v) {
                return static_cast<std::uint8_t>(std::clamp(static_cast<int>(v) + grain, 1, 254));
            };
            row[3 * x] = channel(blue);
            row[3 * x + 1] = channel(green);
            row[3 * x + 2] = channel(red);
        }
    }
    return page;
}

}  // namespace tarvel::bench
