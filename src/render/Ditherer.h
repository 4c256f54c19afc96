// Reduction of 24-bit pixel rows to pure ink colours by error diffusion.
//
// The page pipeline hands each rendered row (blue, green, red bytes per
// pixel, no padding) to the Ditherer, which brightens it through a gamma
// table and replaces every pixel by the nearest of the eight pure colours
// (or of black and white in monochrome), carrying the difference to the
// right-hand neighbour and down into the next row. The drivers then split
// the dithered row into one-bit ink planes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

namespace tarvel::render {

struct PaletteColour {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

// The pure colours a dithered row may hold. Their order decides ties in the
// nearest-colour search; monochrome uses the first two only.
inline constexpr std::array<PaletteColour, 8> DitherPalette{{
    {255, 255, 255},  // white
    {0, 0, 0},        // black
    {255, 0, 0},      // red
    {0, 255, 0},      // green
    {0, 0, 255},      // blue
    {255, 255, 0},    // yellow
    {255, 0, 255},    // magenta
    {0, 255, 255},    // cyan
}};

// Index into DitherPalette of the colour nearest (by squared distance) to a
// target whose components are already clamped to 0..255; the lower index
// wins a tie. Colour searches all eight entries, monochrome white and black.
int NearestPaletteIndex(int red, int green, int blue, bool monochrome);

class Ditherer {
public:
    static constexpr double kDefaultGamma = 0.5;
    // Far wider than any page at any printer resolution (over 8 m at 300
    // dpi); a wider request is a caller's mistake, not a page.
    static constexpr int kMaxWidth = 1 << 20;

    // No error arrays yet, width 0, gamma table for kDefaultGamma.
    Ditherer();
    ~Ditherer();
    Ditherer(const Ditherer&) = delete;
    Ditherer& operator=(const Ditherer&) = delete;

    // Starts a page of `width` pixels per row: fresh zeroed error arrays and,
    // when the gamma changed, a rebuilt gamma table. Returns false, changing
    // nothing, for a width outside 1..kMaxWidth or a gamma that is not a
    // finite number; returns false with no arrays left when memory runs out.
    bool Prepare(int width, double gamma);

    // Forgets all pending error (after blank rows); nothing when no arrays.
    void ResetErrors();

    // Dithers one row of width x 3 bytes in place. Does nothing for a null
    // row, width 0 or missing error arrays.
    void DitherRow(std::uint8_t* row, bool monochrome);

    // Frees the error arrays at the end of a page; width becomes 0.
    void Release();

    int width() const { return width_; }
    double gamma() const { return gamma_; }
    bool errorsClear() const { return errorsClear_; }
    const std::array<std::int32_t, 256>& gammaTable() const { return gammaTable_; }
    // The error carried into the row last dithered and the error it passes
    // down, width x 3 values in the order red, green, blue; null when no
    // arrays exist.
    const std::int32_t* currentErrors() const { return currentErrors_.get(); }
    const std::int32_t* nextErrors() const { return nextErrors_.get(); }

private:
    void BuildGammaTable();
    bool RowIsPure(const std::uint8_t* row, bool monochrome) const;
    // The columns a row's dithering must visit: from the first that is not
    // white or has error waiting, on until both have ended and no error is
    // carried. Elsewhere a white pixel stays white and passes no error on,
    // as visiting it would find; a page's pictures and shapes rarely span
    // the paper, so this is most of a row's width.
    struct Span {
        int from = 0, to = 0;
    };
    Span StartRow(const std::uint8_t* row);
    // Zeroes entries from..to - 1 of the next array.
    void ClearErrors(int from, int to);
    // Each dithers from span.from on and returns the column it stopped at.
    int DitherColour(std::uint8_t* row, Span span);
    int DitherMonochrome(std::uint8_t* row, Span span);

    // Entries of each error array outside its span are zero.
    Span currentSpan_, nextSpan_;

    std::unique_ptr<std::int32_t[]> currentErrors_;
    std::unique_ptr<std::int32_t[]> nextErrors_;
    int width_ = 0;
    bool errorsClear_ = false;
    double gamma_ = kDefaultGamma;
    std::array<std::int32_t, 256> gammaTable_{};
    // Gamma-corrected value times its luminance weight, per byte value, so a
    // monochrome pixel costs three loads and two additions.
    std::array<double, 256> lumaRed_{};
    std::array<double, 256> lumaGreen_{};
    std::array<double, 256> lumaBlue_{};
};

}  // namespace tarvel::render
