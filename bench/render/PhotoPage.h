// A synthetic photo for the render benchmarks: an A4 page at 300 dpi of
// smooth colour fields with grain, so that no row is pure and every pixel
// takes the full dithering path.
#pragma once

#include <cstdint>
#include <vector>

namespace tarvel::bench {

inline constexpr int kPageWidth = 2480;
inline constexpr int kPageHeight = 3507;

// kPageHeight rows of kPageWidth blue, green, red pixels, top row first.
std::vector<std::uint8_t> MakePhotoPage();

}  // namespace tarvel::bench
