// Separation of a dithered row into one-bit ink planes.
//
// A plane row holds one bit per pixel, most significant bit first; a set bit
// means a dot of ink. Each function writes ceil(n / 8) bytes into every plane
// it fills (the unused low bits of the last byte are 0) and nothing for n of
// 0 or less. The row is n pixels of blue, green, red.
#pragma once

#include <cstdint>

namespace tarvel::drivers {

// Black where blue, green and red are all 0.
void SplitBlack(const std::uint8_t* row, std::uint8_t* black, int n);

// Cyan where red is 0, magenta where green is 0, yellow where blue is 0,
// each independent of the others: black gives all three inks.
void SplitCmy(const std::uint8_t* row, std::uint8_t* cyan, std::uint8_t* magenta,
              std::uint8_t* yellow, int n);

// As SplitCmy, except that a black pixel gives only black ink.
void SplitCmyk(const std::uint8_t* row, std::uint8_t* cyan, std::uint8_t* magenta,
               std::uint8_t* yellow, std::uint8_t* black, int n);

}  // namespace tarvel::drivers
