// A printed page as the printer would put it on paper: one bit per dot and
// ink, rebuilt from a command stream by the decoders.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvel::preview {

enum class Ink { Black = 0,
                 Cyan = 1,
                 Magenta = 2,
                 Yellow = 3 };
inline constexpr int kInkCount = 4;

// No page dimension of any of our printers comes near this many dots; a
// stream that reaches beyond it is treated as damaged.
inline constexpr std::uint32_t kMaxPageDots = 1u << 17;

class PreviewPage {
public:
    // Dots per inch across and down; 0 when the stream does not say.
    int resolutionX = 0;
    int resolutionY = 0;

    // Sets the ink dots of row y from column x on, following `bitCount`
    // bits of `bits` (most significant bit first, set bit = ink). Dots are
    // only ever added, as ink on paper. False (and nothing changes) when
    // the dots would reach beyond kMaxPageDots or bits is null.
    bool PutBits(Ink ink, std::uint32_t x, std::uint32_t y, const std::uint8_t* bits,
                 std::size_t bitCount);

    // Makes the page at least this large (a printer's declared line width
    // or page length); false beyond kMaxPageDots.
    bool Extend(std::uint32_t width, std::uint32_t height);

    // True when dot (x, y) carries the ink.
    bool Dot(Ink ink, std::uint32_t x, std::uint32_t y) const;
    // True when any dot of the ink was printed.
    bool HasInk(Ink ink) const;

    // Dots across: the declared width or the furthest dot, whichever is more.
    std::uint32_t width() const { return width_; }
    // Dot rows down: the declared length or the lowest dot row reached.
    std::uint32_t height() const { return height_; }

    // Bytes the page holds for its dots: its plane rows and their bytes.
    std::size_t StoredBytes() const { return storedBytes_; }

    // The plane row y of an ink (ceil(width / 8) bytes at most; shorter
    // where the rest of the row is empty). Empty beyond the page.
    const std::vector<std::uint8_t>& PlaneRow(Ink ink, std::uint32_t y) const;

private:
    std::array<std::vector<std::vector<std::uint8_t>>, kInkCount> planes_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::size_t storedBytes_ = 0;
};

// The page as red, green, blue bytes, width x height pixels, top row first:
// cyan takes away red, magenta green, yellow blue, and black all three.
// Empty when the page is empty or the picture would be too large to hold.
std::vector<std::uint8_t> RenderRgb(const PreviewPage& page);

// Writes the picture of the page as a PNG file; false for an empty page, a
// null or empty path, or a file that cannot be written.
bool WritePng(const PreviewPage& page, const char* path);

}  // namespace tarvel::preview
