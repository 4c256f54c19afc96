// One line of text: laid out with whole-pixel advances, drawn aliased.
#ifndef TARVEL_PLATFORM_GDI_TEXTRUN_H
#define TARVEL_PLATFORM_GDI_TEXTRUN_H

#include "platform/gdi/CoverageMask.h"
#include "platform/gdi/FontFace.h"

#include <vector>

namespace tarvel::gdi {

struct TextLayout {
    std::vector<cairo_glyph_t> glyphs;  // x: pen position along the baseline
    std::vector<int> extents;           // per UTF-16 unit: pen position after it
    int width = 0;
};

// count UTF-16 units; dx, when given, holds the advance of each unit.
TextLayout LayoutText(FontFace& face, const char16_t* text, int count, const INT* dx);

struct TextDrawing {
    long long originX = 0;  // device position of the baseline's left end
    long long originY = 0;
    const DeviceRect* clip = nullptr;
    bool opaqueBox = false;  // fill the text cell with the background colour
    // Extra underlines (start, end pen positions), for prefix characters.
    std::vector<std::pair<int, int>> marks;
};

void DrawTextRun(Dc& dc, FontFace& face, const TextLayout& layout, const TextDrawing& how);

// The device area DrawTextRun can touch, whatever the target's size.
DeviceRect TextRunArea(FontFace& face, const TextLayout& layout, const TextDrawing& how);

// The smallest rectangle holding both; an empty one adds nothing.
inline DeviceRect Union(const DeviceRect& a, const DeviceRect& b) {
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

// A device area in dc's logical coordinates, held to 32 bits.
RECT LogicalRect(const Dc& dc, const DeviceRect& area);

// Upright text is normally drawn from the faces' glyph images; switched
// off, every run goes through a cairo mask. The two must agree pixel for
// pixel, and the tests compare them.
void UseGlyphImages(bool on);

// Returns the number of UTF-16 units in a zero-terminated string, up to max.
int TextLength(const char16_t* text, int max);

}  // namespace tarvel::gdi

#endif
