// Text output and measurement with the selected font. Advances are whole
// pixels, so a text measured on one device context draws exactly as wide on
// another.
#include "platform/gdi/GdiObjects.h"
#include "platform/gdi/RecordingSupport.h"
#include "platform/gdi/TextRun.h"
#include "platform/system/Words.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace tarvel::gdi {

using tarvel::platform::Load64;
using tarvel::platform::LoadBig64;
using tarvel::platform::StoreBig64;
namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// Longer strings than this are refused rather than read.
constexpr UINT kMaxTextUnits = 1u << 24;

}  // namespace

int TextLength(const char16_t* text, int max)
{
    int n = 0;
    while (n < max && text[n]) ++n;
    return n;
}

namespace {

// Device positions of points given along the baseline (u) and downwards
// from it (v), for text turned by its escapement.
struct TextFrame {
    double ox, oy, cs, sn;
    double X(double u, double v) const { return ox + u * cs + v * sn; }
    double Y(double u, double v) const { return oy - u * sn + v * cs; }
    double U(double x, double y) const { return (x - ox) * cs - (y - oy) * sn; }
    double V(double x, double y) const { return (x - ox) * sn + (y - oy) * cs; }
};

// The device area the text can touch: its cell, its underline and the
// glyphs' own ink, which may reach past the cell (overhangs, accents).
DeviceRect InkArea(const TextFrame& f, FontFace& face, const TextLayout& layout,
                   const std::vector<cairo_glyph_t>& glyphs)
{
    const TEXTMETRICW& tm = face.Metrics();
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    double v1 = tm.tmDescent + face.UnderlineThickness() + 1;
    for (double u : {std::min(0, layout.width), std::max(0, layout.width)}) {
        for (double v : {double(-tm.tmAscent), v1}) {
            minX = std::min(minX, f.X(u, v));
            maxX = std::max(maxX, f.X(u, v));
            minY = std::min(minY, f.Y(u, v));
            maxY = std::max(maxY, f.Y(u, v));
        }
    }
    // Each face measures its own glyphs: fallback faces have other shapes.
    for (const GlyphRun& run : layout.runs) {
        if (run.count <= 0 || std::size_t(run.first) + std::size_t(run.count) > glyphs.size()) continue;
        const cairo_glyph_t* first = glyphs.data() + run.first;
        cairo_text_extents_t ink;
        cairo_scaled_font_glyph_extents(run.face->DrawingFont(), first, run.count, &ink);
        if (ink.width > 0 && ink.height > 0) {
            // Bearings are measured from the first glyph's origin.
            double left = first->x + ink.x_bearing, top = first->y + ink.y_bearing;
            minX = std::min(minX, left - 2);
            minY = std::min(minY, top - 2);
            maxX = std::max(maxX, left + ink.width + 2);
            maxY = std::max(maxY, top + ink.height + 2);
        }
    }
    constexpr double kLimit = 1e15;
    return {(long long)std::floor(std::max(minX, -kLimit)), (long long)std::floor(std::max(minY, -kLimit)),
            (long long)std::ceil(std::min(maxX, kLimit)) + 1,
            (long long)std::ceil(std::min(maxY, kLimit)) + 1};
}

// Text that reaches far beyond the mask (huge spacing, far origins) is cut
// to the stretch of baseline that can touch the mask, so cairo never sees
// coordinates it cannot hold. Returns false when nothing can show.
bool CutToReach(const TextFrame& f, const TEXTMETRICW& tm, const DeviceRect& area,
                const TextLayout& layout, std::vector<cairo_glyph_t>& glyphs,
                std::vector<FontFace*>& faces, double& uLo, double& uHi, bool& far)
{
    far = !WithinReach(area, f.ox, f.oy) || !WithinReach(area, f.X(layout.width, 0), f.Y(layout.width, 0));
    for (std::size_t i = 0; i < glyphs.size() && !far; ++i) {
        far = !WithinReach(area, glyphs[i].x, glyphs[i].y);
    }
    if (!far) return true;
    double vLo = 1e300, vHi = -1e300;
    uLo = 1e300;
    uHi = -1e300;
    for (double x : {double(area.left), double(area.right)}) {
        for (double y : {double(area.top), double(area.bottom)}) {
            uLo = std::min(uLo, f.U(x, y));
            uHi = std::max(uHi, f.U(x, y));
            vLo = std::min(vLo, f.V(x, y));
            vHi = std::max(vHi, f.V(x, y));
        }
    }
    double reach = 2.0 * tm.tmHeight + tm.tmMaxCharWidth + 4;
    if (vHi < -tm.tmAscent - reach || vLo > tm.tmDescent + reach) return false;
    uLo -= reach;
    uHi += reach;
    std::vector<cairo_glyph_t> kept;
    std::vector<FontFace*> keptFaces;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        double u = layout.glyphs[i].x;
        if (u >= uLo && u <= uHi) {
            kept.push_back(glyphs[i]);
            keptFaces.push_back(faces[i]);
        }
    }
    glyphs.swap(kept);
    faces.swap(keptFaces);
    return true;
}

bool glyphImagesOn = true;

constexpr std::uint64_t kByteOnes = 0x0101010101010101ull;

// Index, in memory order, of the first byte of a word loaded from memory
// that is not zero; the word must not be zero.
inline int FirstNonZeroByte(std::uint64_t word)
{
    if constexpr (std::endian::native == std::endian::little) {
        return std::countr_zero(word) >> 3;
    } else {
        return std::countl_zero(word) >> 3;
    }
}

// One stretch of pen along a row, in device columns.
struct PenBar {
    long long left, top, right, bottom;
};

// Upright text whose glyphs all sit on whole pixels, drawn from the face's
// glyph images: the cell in the background colour as one rectangle, then
// the pen row by row. Gives what the mask gives (text is always written
// with the copy mode, so painting the cell first and the pen over it is the
// same as painting each pixel once). False, having drawn nothing, when some
// glyph has no image; the caller then takes the mask.
struct Placed {
    long long left, top;
    const FontFace::GlyphImage* image;
};

// Glyphs on a one-bit bitmap straight from their packed bits. Ink takes the
// text's bit whatever was there, as the copy mode writes a byte cover.
void DrawBitsOnOneBit(Bitmap& target, const std::vector<Placed>& placed, const DeviceRect& area, bool set)
{
    // The bits of bitmap byte index that lie inside the area's columns.
    const auto inside = [&](long long index) {
        const long long from = std::max(area.left - index * 8, 0LL), to = std::min(area.right - index * 8, 8LL);
        return from >= to ? std::uint8_t(0) : std::uint8_t((0xFF >> from) & (0xFF << (8 - to)));
    };
    const auto apply = [set](std::uint64_t word, std::uint64_t mask) { return set ? word | mask : word & ~mask; };
    for (const Placed& p : placed) {
        const FontFace::GlyphImage& image = *p.image;
        const long long firstRow = std::max(p.top, area.top), endRow = std::min(p.top + image.height, area.bottom);
        const long long firstByte = p.left >> 3;  // floor, also for negative columns
        const int shift = int(p.left - firstByte * 8);
        const int stride = image.BitStride();
        const int used = (image.width + 7) / 8;
        const std::uint8_t* glyphBits = image.Bits();
        // The ends of the area are masked only for a glyph that crosses
        // them; the bits past a glyph's width are clear.
        const bool clipped = p.left < area.left || p.left + image.width > area.right;
        if (!clipped && firstByte + stride <= static_cast<long long>(target.stride)) {
            // A word of glyph row lands on two bitmap words; the glyph's
            // padding keeps every bitmap byte past its ink as it was.
            for (long long y = firstRow; y < endRow; ++y) {
                std::uint8_t* out = target.Row(int(y)) + firstByte;
                const std::uint8_t* bits = glyphBits + std::size_t(y - p.top) * std::size_t(stride);
                std::uint64_t carry = 0;
                for (int j = 0; j < stride; j += 8) {
                    const std::uint64_t word = LoadBig64(bits + j);
                    StoreBig64(out + j, apply(LoadBig64(out + j), word >> shift | carry));
                    carry = shift ? word << (64 - shift) : 0;
                }
                // Ink spilled past the last word lies within the glyph's
                // width, so inside the area.
                if (carry) out[stride] = std::uint8_t(apply(out[stride], carry >> 56));
            }
            continue;
        }
        for (long long y = firstRow; y < endRow; ++y) {
            std::uint8_t* row = target.Row(int(y));
            const std::uint8_t* bits = glyphBits + std::size_t(y - p.top) * std::size_t(stride);
            for (int j = 0; j <= used; ++j) {
                const int high = j < used ? bits[j] >> shift : 0;
                const int low = j > 0 && shift ? (bits[j - 1] << (8 - shift)) & 0xFF : 0;
                auto mask = std::uint8_t(high | low);
                if (clipped) mask = std::uint8_t(mask & inside(firstByte + j));
                if (!mask) continue;
                std::uint8_t& out = row[firstByte + j];
                out = std::uint8_t(apply(out, mask));
            }
        }
    }
}

bool DrawFromImages(Dc& dc, FontFace& face, const TextLayout& layout, const TextDrawing& how,
                    const std::vector<cairo_glyph_t>& glyphs, const std::vector<FontFace*>& faces,
                    const DeviceRect& area)
{
    // The mask would be refused at these sizes; so is the shortcut.
    if (area.right - area.left > 32767 || area.bottom - area.top > 32767) return false;
    for (const auto& mark : how.marks) {
        if (mark.first > mark.second) return false;  // would wind against the underline
    }
    thread_local std::vector<Placed> placed;
    placed.clear();
    // Every face trims before any image is taken: trimming drops images.
    for (const GlyphRun& run : layout.runs) run.face->TrimImages();
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const cairo_glyph_t& g = glyphs[i];
        const FontFace::GlyphImage* image = faces[i]->Image(g.index);
        if (!image) return false;
        if (image->width == 0) continue;
        long long left = std::llround(g.x) + image->left, top = std::llround(g.y) + image->top;
        if (left >= area.right || top >= area.bottom || left + image->width <= area.left || top + image->height <= area.top) {
            continue;
        }
        placed.push_back({left, top, image});
    }
    Bitmap& target = *dc.bitmap;
    const TEXTMETRICW& tm = face.Metrics();
    const long long ox = how.originX, oy = how.originY;
    const long long uA = std::min(0, layout.width), uB = std::max(0, layout.width);
    if (how.opaqueBox) {
        DeviceRect cell = DeviceRect{ox + uA, oy - tm.tmAscent, ox + uB, oy + tm.tmDescent}.Intersect(area);
        if (!cell.Empty()) {
            FillRect(target, int(cell.left), int(cell.top), int(cell.right), int(cell.bottom),
                     SolidPaint(target, dc.bkColor), 0xF0);
        }
    }
    thread_local std::vector<PenBar> bars;
    bars.clear();
    auto bar = [&](long long u0, long long u1, long long v0, long long v1) {
        DeviceRect r = DeviceRect{ox + u0, oy + v0, ox + u1, oy + v1}.Intersect(area);
        if (!r.Empty()) bars.push_back({r.left, r.top, r.right, r.bottom});
    };
    const long long up = face.UnderlinePosition(), ut = face.UnderlineThickness();
    if (face.Underline()) bar(uA, uB, up, up + ut);
    if (face.StrikeOut()) {
        bar(uA, uB, -face.StrikeOutPosition(), -face.StrikeOutPosition() + face.StrikeOutThickness());
    }
    for (const auto& mark : how.marks) bar(mark.first, mark.second, up, up + ut);
    if (placed.empty() && bars.empty()) return true;

    const Paint text = SolidPaint(target, dc.textColor);
    if (target.bpp == 1 && bars.empty()) {
        DrawBitsOnOneBit(target, placed, area, text.pixel.b[0] != 0);
        if (placed.capacity() > (std::size_t(1) << 16)) placed = {};
        return true;
    }
    const int wb = WorkBytes(target.bpp);
    const int x0 = int(area.left), width = int(area.right - area.left);
    thread_local std::vector<std::uint8_t> cover;
    // A word of room on both sides: one-bit rows read whole bytes of pixels
    // from before the area's first column.
    cover.assign(std::size_t(width) + 16, 0);
    std::uint8_t* c = cover.data() + 8;
    for (long long y = area.top; y < area.bottom; ++y) {
        int lo = width, hi = 0;  // columns touched in this row
        for (const Placed& p : placed) {
            if (y < p.top || y >= p.top + p.image->height) continue;
            int from = int(std::max(p.left, area.left) - x0);
            int to = int(std::min(p.left + p.image->width, area.right) - x0);
            const std::uint8_t* ink = p.image->ink.data() + std::size_t(y - p.top) * std::size_t(p.image->width) + std::size_t(from - (p.left - x0));
            for (int x = from; x < to; ++x) c[x] |= ink[x - from];
            lo = std::min(lo, from);
            hi = std::max(hi, to);
        }
        for (const PenBar& b : bars) {
            if (y < b.top || y >= b.bottom) continue;
            int from = int(b.left - x0), to = int(b.right - x0);
            std::memset(c + from, 1, std::size_t(to - from));
            lo = std::min(lo, from);
            hi = std::max(hi, to);
        }
        // Text is written with the copy mode, so a run of pen is the text
        // pixel repeated. One-bit rows take the cover eight pixels a byte.
        if (target.bpp == 1) {
            if (lo < hi) {
                std::uint8_t* bits = target.Row(int(y));
                const bool set = text.pixel.b[0] != 0;
                for (int byte = (x0 + lo) >> 3; byte <= (x0 + hi - 1) >> 3; ++byte) {
                    // Eight cover bytes of 0 or 1, the first pixel lowest,
                    // gathered into the top byte with the first pixel in
                    // its high bit.
                    const auto mask = std::uint8_t((Load64(c + byte * 8 - x0) * 0x8040201008040201u) >> 56);
                    bits[byte] = std::uint8_t(set ? bits[byte] | mask : bits[byte] & ~mask);
                }
                std::memset(c + lo, 0, std::size_t(hi - lo));
            }
            continue;
        }
        std::uint8_t* line = target.Row(int(y));
        // The row holds 0 and 1 only, is zero outside lo..hi and has room
        // for a word past its end, so gaps and runs are found a word at a
        // time.
        for (int x = lo; x < hi;) {
            std::uint64_t word = Load64(c + x);
            if (word == 0) {
                x += 8;
                continue;
            }
            x += FirstNonZeroByte(word);
            int start = x;
            while ((word = Load64(c + x) ^ kByteOnes) == 0) x += 8;
            x += FirstNonZeroByte(word);
            std::uint8_t* out = line + std::size_t(x0 + start) * std::size_t(wb);
            const std::size_t count = std::size_t(x - start);
            const std::uint8_t* px = text.pixel.b;
            if (wb == 1) {
                std::memset(out, px[0], count);
            } else if (wb == 3) {
                for (std::size_t k = 0; k < count; ++k, out += 3) {
                    out[0] = px[0];
                    out[1] = px[1];
                    out[2] = px[2];
                }
            } else {
                for (std::size_t k = 0; k < count; ++k, out += 4) std::memcpy(out, px, 4);
            }
        }
        if (lo < hi) std::memset(c + lo, 0, std::size_t(hi - lo));
    }
    // One enormous run must not leave its list behind for good.
    if (placed.capacity() > (std::size_t(1) << 16)) placed = {};
    return true;
}

}  // namespace

void UseGlyphImages(bool on)
{
    glyphImagesOn = on;
}

namespace {

std::vector<cairo_glyph_t> PlacedGlyphs(const TextFrame& f, const TextLayout& layout)
{
    std::vector<cairo_glyph_t> glyphs(layout.glyphs);
    for (auto& g : glyphs) {
        double u = g.x, v = g.y;
        g.x = f.X(u, v);
        g.y = f.Y(u, v);
    }
    return glyphs;
}

TextFrame FrameOf(const FontFace& face, const TextDrawing& how)
{
    double angle = face.Escapement();
    return TextFrame{double(how.originX), double(how.originY), std::cos(angle), std::sin(angle)};
}

}  // namespace

DeviceRect TextRunArea(FontFace& face, const TextLayout& layout, const TextDrawing& how)
{
    TextFrame f = FrameOf(face, how);
    DeviceRect area = InkArea(f, face, layout, PlacedGlyphs(f, layout));
    if (how.clip) area = area.Intersect(*how.clip);
    return area;
}

RECT LogicalRect(const Dc& dc, const DeviceRect& area)
{
    if (area.Empty()) return RECT{};
    auto held = [](long long v) { return LONG(std::clamp<long long>(v, INT32_MIN, INT32_MAX)); };
    return RECT{held(area.left - dc.viewportOrg.x), held(area.top - dc.viewportOrg.y),
                held(area.right - dc.viewportOrg.x), held(area.bottom - dc.viewportOrg.y)};
}

void DrawTextRun(Dc& dc, FontFace& face, const TextLayout& layout, const TextDrawing& how)
{
    Bitmap& target = *dc.bitmap;
    if (target.readOnly) return;
    const TEXTMETRICW& tm = face.Metrics();
    double angle = face.Escapement();
    TextFrame f = FrameOf(face, how);
    auto deviceX = [&](double u, double v) { return f.X(u, v); };
    auto deviceY = [&](double u, double v) { return f.Y(u, v); };
    std::vector<cairo_glyph_t> glyphs = PlacedGlyphs(f, layout);
    std::vector<FontFace*> faces;
    faces.reserve(glyphs.size());
    for (const GlyphRun& run : layout.runs) faces.insert(faces.end(), std::size_t(run.count), run.face);
    DeviceRect area = InkArea(f, face, layout, glyphs).Intersect(BoundsOf(target));
    if (how.clip) area = area.Intersect(*how.clip);
    if (area.Empty()) return;
    double uLimitLo = -1e300, uLimitHi = 1e300;
    bool far = false;
    if (!CutToReach(f, tm, area, layout, glyphs, faces, uLimitLo, uLimitHi, far)) return;
    // Unturned text near the page has its glyphs on whole pixels.
    if (glyphImagesOn && !far && angle == 0 && DrawFromImages(dc, face, layout, how, glyphs, faces, area)) return;
    CoverageMask mask(area);
    if (!mask.Ok()) return;
    cairo_t* cr = mask.Context();

    auto band = [&](double ua, double ub, double va, double vb) {
        ua = std::clamp(ua, uLimitLo, uLimitHi);
        ub = std::clamp(ub, uLimitLo, uLimitHi);
        cairo_move_to(cr, deviceX(ua, va), deviceY(ua, va));
        cairo_line_to(cr, deviceX(ub, va), deviceY(ub, va));
        cairo_line_to(cr, deviceX(ub, vb), deviceY(ub, vb));
        cairo_line_to(cr, deviceX(ua, vb), deviceY(ua, vb));
        cairo_close_path(cr);
    };
    if (how.opaqueBox) {
        mask.SetLevel(Level::Background);
        band(std::min(0, layout.width), std::max(0, layout.width), -tm.tmAscent, tm.tmDescent);
        cairo_fill(cr);
    }
    mask.SetLevel(Level::Pen);
    for (std::size_t i = 0; i < glyphs.size();) {
        std::size_t end = i + 1;
        while (end < glyphs.size() && faces[end] == faces[i]) ++end;
        cairo_set_scaled_font(cr, faces[i]->DrawingFont());
        cairo_show_glyphs(cr, glyphs.data() + i, int(end - i));
        i = end;
    }
    double uA = std::min(0, layout.width), uB = std::max(0, layout.width);
    if (face.Underline()) {
        band(uA, uB, face.UnderlinePosition(), face.UnderlinePosition() + face.UnderlineThickness());
    }
    if (face.StrikeOut()) {
        band(uA, uB, -face.StrikeOutPosition(),
             -face.StrikeOutPosition() + face.StrikeOutThickness());
    }
    for (const auto& mark : how.marks) {
        band(mark.first, mark.second, face.UnderlinePosition(),
             face.UnderlinePosition() + face.UnderlineThickness());
    }
    cairo_fill(cr);
    Paint text = SolidPaint(target, dc.textColor);
    Paint back = SolidPaint(target, dc.bkColor);
    // Text is written as it is: the mix mode applies to pens and brushes.
    mask.Composite(target, &text, &back, nullptr, 0xF0);
}

namespace {

// Where ExtTextOutW puts a text: its baseline's left end for the device
// context's text alignment, and the cell in the background colour in
// opaque mode.
TextDrawing PlaceText(const Dc& dc, FontFace& face, const TextLayout& layout, int x, int y)
{
    const TEXTMETRICW& tm = face.Metrics();
    UINT align = dc.textAlign;
    long long u = 0, v = tm.tmAscent;
    if ((align & TA_CENTER) == TA_CENTER) {
        u = -(layout.width / 2);
    } else if (align & TA_RIGHT) {
        u = -layout.width;
    }
    if ((align & TA_BASELINE) == TA_BASELINE) {
        v = 0;
    } else if (align & TA_BOTTOM) {
        v = -tm.tmDescent;
    }
    double angle = face.Escapement();
    long long vx = dc.viewportOrg.x, vy = dc.viewportOrg.y;
    TextDrawing how;
    how.originX = x + vx + std::llround(double(u) * std::cos(angle) + double(v) * std::sin(angle));
    how.originY = y + vy + std::llround(-double(u) * std::sin(angle) + double(v) * std::cos(angle));
    how.opaqueBox = dc.bkMode == OPAQUE;
    return how;
}

DeviceRect DeviceRectOf(const Dc& dc, const RECT& r)
{
    long long vx = dc.viewportOrg.x, vy = dc.viewportOrg.y;
    return {r.left + vx, r.top + vy, r.right + vx, r.bottom + vy};
}

}  // namespace

RECT ExtTextOutArea(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCWSTR text, UINT c,
                    const INT* dx)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc || c > kMaxTextUnits || (c && !text)) return RECT{};
    auto face = FaceOf(*dc->font);
    if (!face) return RECT{};
    DeviceRect area{0, 0, 0, 0};
    DeviceRect rect{0, 0, 0, 0};
    if (lprect) {
        rect = DeviceRectOf(*dc, *lprect);
        if (options & ETO_OPAQUE) area = rect;
    }
    if (c) {
        TextLayout layout = LayoutText(*face, text, int(c), dx);
        TextDrawing how = PlaceText(*dc, *face, layout, x, y);
        how.clip = (lprect && (options & ETO_CLIPPED)) ? &rect : nullptr;
        area = Union(area, TextRunArea(*face, layout, how));
    }
    return LogicalRect(*dc, area);
}

}  // namespace tarvel::gdi

using namespace tarvel::gdi;

extern "C" {

BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCWSTR lpString,
                 UINT c, const INT* lpDx)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc || c > kMaxTextUnits || (c && !lpString)) return FALSE;
    auto face = FaceOf(*dc->font);
    if (!face) return FALSE;
    Bitmap& target = *dc->bitmap;
    long long vx = dc->viewportOrg.x, vy = dc->viewportOrg.y;
    DeviceRect rect{};
    if (lprect) {
        rect = {lprect->left + vx, lprect->top + vy, lprect->right + vx, lprect->bottom + vy};
        if (options & ETO_OPAQUE) {
            FillDeviceRect(target, rect, SolidPaint(target, dc->bkColor), 0xF0);
        }
    }
    // Nothing shows on a bitmap that takes no drawing (the printer DC's):
    // the text need not be laid out.
    if (c == 0 || target.readOnly) return TRUE;
    TextLayout layout = LayoutText(*face, lpString, int(c), lpDx);
    TextDrawing how = PlaceText(*dc, *face, layout, x, y);
    how.clip = (lprect && (options & ETO_CLIPPED)) ? &rect : nullptr;
    DrawTextRun(*dc, *face, layout, how);
    return TRUE;
}

BOOL GetTextMetricsW(HDC hdc, TEXTMETRICW* lptm)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc || !lptm) return FALSE;
    auto face = FaceOf(*dc->font);
    if (!face) return FALSE;
    *lptm = face->Metrics();
    return TRUE;
}

BOOL GetTextExtentExPointW(HDC hdc, LPCWSTR lpszString, int cchString, int nMaxExtent,
                           INT* lpnFit, INT* lpnDx, SIZE* lpSize)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc || !lpSize || cchString < 0 || UINT(cchString) > kMaxTextUnits || (cchString && !lpszString)) {
        return FALSE;
    }
    auto face = FaceOf(*dc->font);
    if (!face) return FALSE;
    TextLayout layout = LayoutText(*face, lpszString, cchString, nullptr);
    int fit = cchString;
    if (lpnFit) {
        if (nMaxExtent >= 0) {
            fit = 0;
            while (fit < cchString && layout.extents[std::size_t(fit)] <= nMaxExtent) ++fit;
        }
        *lpnFit = fit;
    }
    if (lpnDx) std::copy(layout.extents.begin(), layout.extents.begin() + fit, lpnDx);
    lpSize->cx = layout.width;
    lpSize->cy = face->Metrics().tmHeight;
    return TRUE;
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, SIZE* psizl)
{
    return GetTextExtentExPointW(hdc, lpString, c, 0, nullptr, nullptr, psizl);
}

}  // extern "C"
