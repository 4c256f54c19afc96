// Picture files to bitmaps: whatever the installed gdk-pixbuf loaders read
// (PNG, JPEG, BMP, GIF, TIFF and more) becomes a 24-bit DIB section.
#pragma once

#include <tarvel/win32.h>

#include <cstddef>
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

// Decodes as DecodePicture does, but keeps the pixels of the last picture
// decoded, when they take at most kCachedPictureBytes, with the identity of
// its file (device, inode, size, modification and change times): the same
// unchanged file is then copied instead of decoded again, so a logo on every
// page is decoded once. A changed, replaced or removed file is read anew.
inline constexpr std::size_t kCachedPictureBytes = 64u << 20;
HBITMAP LoadPicture(const std::filesystem::path& file);

// The size a picture of width x height is read at: its own when both sides
// fit kMaxPictureSide, else the largest size of the same proportions that
// fits (at least one pixel on each side).
void FitPictureSize(std::int32_t width, std::int32_t height, std::int32_t* fitWidth, std::int32_t* fitHeight);

}  // namespace tarvel::platform
