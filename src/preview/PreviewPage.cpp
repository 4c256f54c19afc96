#include "preview/PreviewPage.h"

#include <cairo.h>

#include <limits>
#include <new>

namespace tarvel::preview {

namespace {

const std::vector<std::uint8_t> kEmptyRow;

// The picture is held in memory once as RGB and once as a cairo surface;
// beyond this many pixels that is more than a preview is worth.
constexpr std::uint64_t kMaxPicturePixels = 1ull << 28;

}  // namespace

bool PreviewPage::Extend(std::uint32_t width, std::uint32_t height)
{
    if (width > kMaxPageDots || height > kMaxPageDots) return false;
    if (width > width_) width_ = width;
    if (height > height_) height_ = height;
    return true;
}

bool PreviewPage::PutBits(Ink ink, std::uint32_t x, std::uint32_t y, const std::uint8_t* bits,
                          std::size_t bitCount)
{
    if (!bits && bitCount) return false;
    const int plane = static_cast<int>(ink);
    if (plane < 0 || plane >= kInkCount) return false;
    if (y >= kMaxPageDots || x > kMaxPageDots || bitCount > kMaxPageDots - x) return false;
    // A transfer without dots still moves the page as far as the printer
    // went.
    if (!Extend(static_cast<std::uint32_t>(x + bitCount), y + 1)) return false;
    if (bitCount == 0) return true;

    // Find the last set bit first, so that empty tails allocate nothing.
    std::size_t last = bitCount;
    while (last > 0 && !(bits[(last - 1) / 8] & (0x80 >> ((last - 1) % 8)))) --last;
    if (last == 0) return true;

    auto& rows = planes_[plane];
    if (rows.size() <= y) {
        // The row headers count against the page's memory bound too, so this
        // is the size of one vector object, not of its contents.
        // NOLINTNEXTLINE(bugprone-sizeof-container)
        storedBytes_ += (y + 1 - rows.size()) * sizeof(rows[0]);
        rows.resize(y + 1);
    }
    auto& row = rows[y];
    const std::size_t needBytes = (x + last + 7) / 8;
    if (row.size() < needBytes) {
        storedBytes_ += needBytes - row.size();
        row.resize(needBytes, 0);
    }
    if (x % 8 == 0) {
        const std::size_t base = x / 8;
        const std::size_t fullBytes = last / 8;
        for (std::size_t i = 0; i < fullBytes; ++i) row[base + i] |= bits[i];
        if (last % 8) {
            const std::uint8_t mask = static_cast<std::uint8_t>(0xFF00 >> (last % 8));
            row[base + fullBytes] |= bits[fullBytes] & mask;
        }
        return true;
    }
    for (std::size_t i = 0; i < last; ++i) {
        if (bits[i / 8] & (0x80 >> (i % 8))) {
            const std::size_t dot = x + i;
            row[dot / 8] |= static_cast<std::uint8_t>(0x80 >> (dot % 8));
        }
    }
    return true;
}

bool PreviewPage::Dot(Ink ink, std::uint32_t x, std::uint32_t y) const
{
    const std::vector<std::uint8_t>& row = PlaneRow(ink, y);
    const std::size_t byte = x / 8;
    return byte < row.size() && (row[byte] & (0x80 >> (x % 8)));
}

bool PreviewPage::HasInk(Ink ink) const
{
    const int plane = static_cast<int>(ink);
    if (plane < 0 || plane >= kInkCount) return false;
    for (const auto& row : planes_[plane])
        for (std::uint8_t b : row)
            if (b) return true;
    return false;
}

const std::vector<std::uint8_t>& PreviewPage::PlaneRow(Ink ink, std::uint32_t y) const
{
    const int plane = static_cast<int>(ink);
    if (plane < 0 || plane >= kInkCount || y >= planes_[plane].size()) return kEmptyRow;
    return planes_[plane][y];
}

std::vector<std::uint8_t> RenderRgb(const PreviewPage& page)
{
    const std::uint64_t pixels = static_cast<std::uint64_t>(page.width()) * page.height();
    if (pixels == 0 || pixels > kMaxPicturePixels) return {};
    std::vector<std::uint8_t> rgb;
    try {
        rgb.assign(static_cast<std::size_t>(pixels) * 3, 255);
    } catch (const std::bad_alloc&) {
        return {};
    }
    const std::size_t stride = static_cast<std::size_t>(page.width()) * 3;
    for (std::uint32_t y = 0; y < page.height(); ++y) {
        std::uint8_t* line = rgb.data() + y * stride;
        // Each ink removes the primary it absorbs; black absorbs all.
        static constexpr struct {
            Ink ink;
            bool r, g, b;
        } kAbsorbs[] = {{Ink::Cyan, true, false, false},
                        {Ink::Magenta, false, true, false},
                        {Ink::Yellow, false, false, true},
                        {Ink::Black, true, true, true}};
        for (const auto& a : kAbsorbs) {
            const auto& row = page.PlaneRow(a.ink, y);
            for (std::size_t byte = 0; byte < row.size(); ++byte) {
                if (!row[byte]) continue;
                for (int bit = 0; bit < 8; ++bit) {
                    if (!(row[byte] & (0x80 >> bit))) continue;
                    const std::size_t x = byte * 8 + bit;
                    if (x >= page.width()) break;
                    std::uint8_t* p = line + 3 * x;
                    if (a.r) p[0] = 0;
                    if (a.g) p[1] = 0;
                    if (a.b) p[2] = 0;
                }
            }
        }
    }
    return rgb;
}

bool WritePng(const PreviewPage& page, const char* path)
{
    if (!path || !*path) return false;
    if (page.width() > static_cast<std::uint32_t>(std::numeric_limits<int>::max()) || page.height() > static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
        return false;
    const std::vector<std::uint8_t> rgb = RenderRgb(page);
    if (rgb.empty()) return false;
    const int w = static_cast<int>(page.width());
    const int h = static_cast<int>(page.height());
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return false;
    }
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < h; ++y) {
        auto* out = reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
        const std::uint8_t* in = rgb.data() + static_cast<std::size_t>(y) * w * 3;
        for (int x = 0; x < w; ++x, in += 3)
            out[x] = (static_cast<std::uint32_t>(in[0]) << 16) | (in[1] << 8) | in[2];
    }
    cairo_surface_mark_dirty(surface);
    const bool ok = cairo_surface_write_to_png(surface, path) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok;
}

}  // namespace tarvel::preview
