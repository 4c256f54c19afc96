// One line of text: laid out with whole-pixel advances, drawn aliased.
#ifndef TARVEL_PLATFORM_GDI_TEXTRUN_H
#define TARVEL_PLATFORM_GDI_TEXTRUN_H

#include "platform/gdi/CoverageMask.h"
#include "platform/gdi/FontFace.h"

#include <vector>

namespace tarvel::gdi {

// Consecutive glyphs of a layout that come from one face: the selected
// face or one of its fallback faces.
struct GlyphRun {
    FontFace* face;
    int first, count;
};

struct TextLayout {
    // In visual order, left to right. x: pen position along the baseline;
    // y: below the baseline (marks placed by shaping), whole pixels both.
    std::vector<cairo_glyph_t> glyphs;
    std::vector<GlyphRun> runs;  // covers glyphs in order
    std::vector<int> extents;    // per UTF-16 unit in logical order: pen position after it
    int width = 0;
};

// count UTF-16 units; dx, when given, holds the advance of each unit (a
// shaped cluster takes the sum of its units' advances). Characters the face
// lacks come from its fallback faces; complex scripts are shaped, and
// right-to-left text is put in visual order with the paragraph's direction
// taken from its first strong character, or from `direction` when that is
// not TextDirection::Auto.
enum class TextDirection { Auto,
                           LeftToRight,
                           RightToLeft };
TextLayout LayoutText(FontFace& face, const char16_t* text, int count, const INT* dx,
                      TextDirection direction = TextDirection::Auto);

// The direction of a paragraph: that of its first strong character.
TextDirection ParagraphDirection(const char16_t* text, int count);

// The logical advance of each unit of a text laid out whole: what its
// extents grow by at that unit (0 for all but the first unit of a cluster).
// Empty for plain text, where each unit advances by its own glyph.
std::vector<INT> UnitAdvances(FontFace& face, const char16_t* text, int count,
                              TextDirection direction = TextDirection::Auto);

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
inline DeviceRect Union(const DeviceRect& a, const DeviceRect& b)
{
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
