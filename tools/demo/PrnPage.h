// The page the demo prints through the prn interface alone: positions in
// centimetres from the margins, the library's own pen, brush and font.
#pragma once

#include <filesystem>

namespace demo {

// Writes the demo's picture, a 240 x 160 PNG with a transparent ring, so
// that the demo needs no file of its own; false when it cannot be written.
bool WriteDemoPicture(const std::filesystem::path& file);

// Draws the page on the prn page in progress: text at every alignment,
// shapes, and the picture (a device path) at its own size, at a given size
// with the scale flag, and stretched.
void DrawPrnPage(const char16_t* picture);

}  // namespace demo
