// Picture files to bitmaps: whatever the installed gdk-pixbuf loaders read
// (PNG, JPEG, BMP, GIF, TIFF and more) becomes a 24-bit DIB section.
#pragma once

#include <tarvel/win32.h>

#include <cstdint>
#include <filesystem>

namespace tarvel::platform {

// The largest picture kept at its own size, on either side; a larger one is
// read scaled down to fit, keeping its proportions.
inline constexpr int kMaxPictureSide = 10000;

// Decodes the file into a new top-down 24-bit DIB section of the picture's
// size (or of the reduced size above), transparent pixels laid over white;
// the caller deletes it. Null for a missing or unreadable file, a directory,
// a file no loader recognises, a truncated or damaged picture, and a picture
// whose decoding would take more memory than the largest picture kept at its
// own size (a small file claiming a huge size).
HBITMAP DecodePicture(const std::filesystem::path& file);

// The size a picture of width x height is read at: its own when both sides
// fit kMaxPictureSide, else the largest size of the same proportions that
// fits (at least one pixel on each side).
void FitPictureSize(std::int32_t width, std::int32_t height, std::int32_t* fitWidth, std::int32_t* fitHeight);

}  // namespace tarvel::platform
