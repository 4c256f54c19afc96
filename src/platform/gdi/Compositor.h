// Writes pixels into bitmaps of every supported format, row by row and span
// by span, under the raster operations.
//
// Every format is handled through one working representation: a pixel is
// one byte for 1 bpp (0x00 or 0xFF) and 8 bpp (the palette index), three
// bytes (blue, green, red) for 24 bpp and four for 32 bpp. Raster operations
// are bitwise, so they work on these bytes without knowing the format.
#ifndef TARVEL_PLATFORM_GDI_COMPOSITOR_H
#define TARVEL_PLATFORM_GDI_COMPOSITOR_H

#include "platform/gdi/GdiObjects.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvel::gdi {

inline int WorkBytes(int bpp)
{
    return bpp <= 8 ? 1 : bpp / 8;
}

// The working pixel that stands for a colour in a bitmap (nearest palette
// entry for 1 and 8 bpp).
struct WorkPixel {
    std::uint8_t b[4] = {0, 0, 0, 0};
};
WorkPixel PixelFor(const Bitmap& bitmap, COLORREF color);
COLORREF ColorOfIndex(const Bitmap& bitmap, int index);
COLORREF ReadColor(const Bitmap& bitmap, int x, int y);

// The truth table of a ternary operation as it stands in bits 16 to 23 of
// the raster code; bit (P<<2 | S<<1 | D) gives the result.
inline std::uint8_t Rop3Of(DWORD rop)
{
    return std::uint8_t((rop >> 16) & 0xFF);
}
// The SetROP2 modes as ternary operations over pattern and destination.
std::uint8_t Rop3FromRop2(int rop2);
inline bool RopUsesSource(std::uint8_t rop)
{
    return ((rop >> 2) ^ rop) & 0x33;
}
inline bool RopUsesPattern(std::uint8_t rop)
{
    return ((rop >> 4) ^ rop) & 0x0F;
}

// d[i] = rop(p[i], s[i], d[i]) for n bytes; p or s may be null when the
// operation does not read them.
void ApplyRop3(std::uint8_t* d, const std::uint8_t* p, const std::uint8_t* s, std::size_t n,
               std::uint8_t rop);

// What fills a span: one colour, or a pattern tiled from an origin, both
// already in the destination's working representation.
struct Paint {
    bool solid = true;
    WorkPixel pixel;
    std::vector<std::uint8_t> tile;  // tileWidth * tileHeight working pixels
    int tileWidth = 0;
    int tileHeight = 0;
    // Device position of the tile's pixel (0, 0): the viewport and brush
    // origins together may lie beyond 32 bits.
    long long originX = 0;
    long long originY = 0;
};

Paint SolidPaint(const Bitmap& target, COLORREF color);
// A brush for a target: null brushes give no paint (returns false).
bool BrushPaint(const Bitmap& target, const Brush& brush, const Dc& dc, Paint& out);

// Reads and writes a row segment in the working representation. For 8, 24
// and 32 bpp the bytes are the bitmap's own; for 1 bpp they are unpacked
// into a scratch row and packed back by Commit.
class WorkRow {
public:
    WorkRow(Bitmap& bitmap, int y, int x0, int x1);
    std::uint8_t* Data() { return data_; }
    void Commit();

private:
    Bitmap& bitmap_;
    int y_, x0_, x1_;
    std::uint8_t* data_;
    std::vector<std::uint8_t> scratch_;
};

// Fills columns x0..x1-1 of row y (device coordinates, already clipped).
void FillSpan(Bitmap& bitmap, int y, int x0, int x1, const Paint& paint, std::uint8_t rop);
// Fills a device rectangle, clipped to the bitmap.
void FillRect(Bitmap& bitmap, int left, int top, int right, int bottom, const Paint& paint,
              std::uint8_t rop);

// The pattern bytes of span x0..x1-1 of row y.
void PatternRow(const Paint& paint, int bytesPerPixel, int y, int x0, int x1, std::uint8_t* out);

}  // namespace tarvel::gdi

#endif
