// An aliased coverage mask drawn by cairo over one device rectangle.
//
// Paths are filled with CAIRO_ANTIALIAS_NONE and the SOURCE operator at one
// of three levels, so a single mask says for each pixel whether the pen,
// the background (the gaps of a styled pen, a text box) or the brush owns
// it. Composite then writes runs of equal level through the compositor.
#ifndef TARVEL_PLATFORM_GDI_COVERAGEMASK_H
#define TARVEL_PLATFORM_GDI_COVERAGEMASK_H

#include "platform/gdi/Compositor.h"

#include <cairo.h>

namespace tarvel::gdi {

// Device rectangle in 64-bit coordinates, so sums of 32-bit inputs cannot
// overflow before clipping.
struct DeviceRect {
    long long left, top, right, bottom;
    bool Empty() const { return right <= left || bottom <= top; }
    DeviceRect Intersect(const DeviceRect& o) const
    {
        return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                std::min(bottom, o.bottom)};
    }
};

inline DeviceRect BoundsOf(const Bitmap& bitmap)
{
    return {0, 0, bitmap.width, bitmap.height};
}

// Cairo keeps coordinates in 24.8 fixed point. Geometry sent to it stays
// within this distance of the mask; what lies farther is refused or cut.
constexpr long long kCairoReach = 1 << 22;

inline bool WithinReach(const DeviceRect& area, double x, double y)
{
    return x > double(area.left - kCairoReach) && x < double(area.right + kCairoReach) && y > double(area.top - kCairoReach) && y < double(area.bottom + kCairoReach);
}

enum class Level : std::uint8_t { None = 0,
                                  Brush = 85,
                                  Background = 170,
                                  Pen = 255 };

class CoverageMask {
public:
    // area must already be clipped to the target bitmap. Cairo draws a
    // little beyond it: where a path leaves cairo's surface its edges are
    // cut with rounding, which changed the pixels next to the cut, and a
    // band's edge must not change what is drawn there. A wider margin lets
    // a caller keep whole pieces of a path on the surface.
    explicit CoverageMask(const DeviceRect& area, long long margin = kMargin);
    // The surface reaches at least kMargin beyond the area and holds all of
    // holds, for a caller that keeps a whole figure on it.
    CoverageMask(const DeviceRect& area, const DeviceRect& holds);
    ~CoverageMask();
    CoverageMask(const CoverageMask&) = delete;
    CoverageMask& operator=(const CoverageMask&) = delete;

    bool Ok() const { return cr_ != nullptr; }
    // A context whose user space is device space.
    cairo_t* Context() { return cr_; }
    void SetLevel(Level level);

    // The levels of one row of the mask (y from the area's top), once the
    // drawing is done; null when the mask could not be made.
    const unsigned char* Row(int y);

    // Sets the level of every pixel that both a (a mask of the same area)
    // and b (a byte per pixel of the area, row by row) cover.
    void Raise(CoverageMask& a, const std::uint8_t* b, Level level);

    // Null paints leave their pixels alone.
    void Composite(Bitmap& target, const Paint* pen, const Paint* background, const Paint* brush,
                   std::uint8_t rop);

    static constexpr long long kMargin = 2;

private:
    unsigned char* Data(int y);

    void Create();

    DeviceRect area_;
    DeviceRect drawn_;  // area_ with the margin: the surface
    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
};

// Fills a device rectangle given in 64-bit coordinates, clipped.
void FillDeviceRect(Bitmap& target, const DeviceRect& rect, const Paint& paint, std::uint8_t rop);

}  // namespace tarvel::gdi

#endif
