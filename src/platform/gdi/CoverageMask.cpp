#include "platform/gdi/CoverageMask.h"

#include <cstring>

namespace tarvel::gdi {

CoverageMask::CoverageMask(const DeviceRect& area, long long margin)
    : area_(area)
    , drawn_{area.left - margin, area.top - margin, area.right + margin, area.bottom + margin}
{
    Create();
}

CoverageMask::CoverageMask(const DeviceRect& area, const DeviceRect& holds)
    : area_(area)
    , drawn_{std::min(area.left - kMargin, holds.left), std::min(area.top - kMargin, holds.top),
             std::max(area.right + kMargin, holds.right), std::max(area.bottom + kMargin, holds.bottom)}
{
    Create();
}

void CoverageMask::Create()
{
    if (area_.Empty()) return;
    // Cairo's image surfaces are at most 32767 pixels on a side.
    if (drawn_.right - drawn_.left > 32767 || drawn_.bottom - drawn_.top > 32767) return;
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_A8, int(drawn_.right - drawn_.left),
                                          int(drawn_.bottom - drawn_.top));
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface_);
        surface_ = nullptr;
        return;
    }
    cr_ = cairo_create(surface_);
    if (cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(cr_);
        cr_ = nullptr;
        return;
    }
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
    cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
    cairo_translate(cr_, double(-drawn_.left), double(-drawn_.top));
    SetLevel(Level::Pen);
}

CoverageMask::~CoverageMask()
{
    if (cr_) cairo_destroy(cr_);
    if (surface_) cairo_surface_destroy(surface_);
}

void CoverageMask::SetLevel(Level level)
{
    if (cr_) cairo_set_source_rgba(cr_, 0, 0, 0, double(std::uint8_t(level)) / 255.0);
}

unsigned char* CoverageMask::Data(int y)
{
    return cairo_image_surface_get_data(surface_) + std::size_t(y + area_.top - drawn_.top) * std::size_t(cairo_image_surface_get_stride(surface_)) + std::size_t(area_.left - drawn_.left);
}

const unsigned char* CoverageMask::Row(int y)
{
    if (!cr_) return nullptr;
    cairo_surface_flush(surface_);
    return Data(y);
}

void CoverageMask::Raise(CoverageMask& a, const std::uint8_t* b, Level level)
{
    if (!cr_ || !a.cr_) return;
    cairo_surface_flush(surface_);
    const int width = int(area_.right - area_.left), height = int(area_.bottom - area_.top);
    for (int y = 0; y < height; ++y) {
        const unsigned char* ra = a.Row(y);
        const std::uint8_t* rb = b + std::size_t(y) * std::size_t(width);
        unsigned char* out = Data(y);
        for (int x = 0; x < width; ++x) {
            if (ra[x] && rb[x]) out[x] = std::uint8_t(level);
        }
    }
    cairo_surface_mark_dirty(surface_);
}

namespace {

const Paint* PaintFor(std::uint8_t v, const Paint* pen, const Paint* background,
                      const Paint* brush)
{
    if (v >= 213) return pen;
    if (v >= 128) return background;
    if (v >= 43) return brush;
    return nullptr;
}

}  // namespace

void CoverageMask::Composite(Bitmap& target, const Paint* pen, const Paint* background,
                             const Paint* brush, std::uint8_t rop)
{
    if (!cr_ || target.readOnly) return;
    cairo_surface_flush(surface_);
    int width = int(area_.right - area_.left);
    int height = int(area_.bottom - area_.top);
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = Data(y);
        int x = 0;
        while (x < width) {
            // Aliased fills leave exact levels, so a run is a stretch of
            // equal bytes; long runs are skipped eight bytes at a time.
            unsigned char v = row[x];
            int start = x++;
            std::uint64_t word = 0x0101010101010101ull * v;
            while (x + 8 <= width) {
                std::uint64_t chunk;
                std::memcpy(&chunk, row + x, 8);
                if (chunk != word) break;
                x += 8;
            }
            while (x < width && row[x] == v) ++x;
            const Paint* paint = PaintFor(v, pen, background, brush);
            if (paint && v >= 43) {
                FillSpan(target, int(area_.top) + y, int(area_.left) + start, int(area_.left) + x,
                         *paint, rop);
            }
        }
    }
}

void FillDeviceRect(Bitmap& target, const DeviceRect& rect, const Paint& paint, std::uint8_t rop)
{
    DeviceRect r = rect.Intersect(BoundsOf(target));
    if (r.Empty()) return;
    FillRect(target, int(r.left), int(r.top), int(r.right), int(r.bottom), paint, rop);
}

}  // namespace tarvel::gdi
