// Text output and measurement with the selected font. Advances are whole
// pixels, so a text measured on one device context draws exactly as wide on
// another.
#include "platform/gdi/GdiObjects.h"
#include "platform/gdi/TextRun.h"

#include <algorithm>
#include <cmath>

namespace tarvel::gdi {
namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// Longer strings than this are refused rather than read.
constexpr UINT kMaxTextUnits = 1u << 24;

}  // namespace

int TextLength(const char16_t* text, int max) {
    int n = 0;
    while (n < max && text[n]) ++n;
    return n;
}

TextLayout LayoutText(FontFace& face, const char16_t* text, int count, const INT* dx) {
    TextLayout layout;
    layout.extents.resize(std::size_t(std::max(count, 0)));
    layout.glyphs.reserve(std::size_t(std::max(count, 0)));
    long long pen = 0;
    for (int i = 0; i < count; ++i) {
        char32_t c = text[i];
        bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 &&
                    text[i + 1] < 0xE000;
        if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
        FontFace::Glyph glyph = face.GlyphFor(c);
        layout.glyphs.push_back(cairo_glyph_t{glyph.index, double(pen), 0});
        // A surrogate pair advances once, on its first unit, unless the
        // caller's spacing array says otherwise.
        pen += dx ? dx[i] : glyph.advance;
        layout.extents[std::size_t(i)] = int(std::clamp<long long>(pen, INT32_MIN, INT32_MAX));
        if (pair) {
            ++i;
            if (dx) pen += dx[i];
            layout.extents[std::size_t(i)] = int(std::clamp<long long>(pen, INT32_MIN, INT32_MAX));
        }
    }
    layout.width = int(std::clamp<long long>(pen, INT32_MIN, INT32_MAX));
    return layout;
}

void DrawTextRun(Dc& dc, FontFace& face, const TextLayout& layout, const TextDrawing& how) {
    Bitmap& target = *dc.bitmap;
    if (target.readOnly) return;
    const TEXTMETRICW& tm = face.Metrics();
    double angle = face.Escapement();
    double cs = std::cos(angle), sn = std::sin(angle);
    double ox = double(how.originX), oy = double(how.originY);
    // (u, v): along the baseline and downwards from it.
    auto deviceX = [&](double u, double v) { return ox + u * cs + v * sn; };
    auto deviceY = [&](double u, double v) { return oy - u * sn + v * cs; };

    // The mask covers the text cell and the glyphs' own ink, which may
    // reach past the cell (italic overhangs, accents).
    std::vector<cairo_glyph_t> glyphs(layout.glyphs);
    for (auto& g : glyphs) {
        double u = g.x;
        g.x = deviceX(u, 0);
        g.y = deviceY(u, 0);
    }
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    double u0 = std::min(0, layout.width), u1 = std::max(0, layout.width);
    double v0 = -tm.tmAscent, v1 = tm.tmDescent + face.UnderlineThickness() + 1;
    for (double u : {u0, u1}) {
        for (double v : {v0, v1}) {
            minX = std::min(minX, deviceX(u, v));
            maxX = std::max(maxX, deviceX(u, v));
            minY = std::min(minY, deviceY(u, v));
            maxY = std::max(maxY, deviceY(u, v));
        }
    }
    if (!glyphs.empty()) {
        cairo_text_extents_t ink;
        cairo_scaled_font_glyph_extents(face.DrawingFont(), glyphs.data(), int(glyphs.size()), &ink);
        if (ink.width > 0 && ink.height > 0) {
            // Bearings are measured from the first glyph's origin.
            double left = glyphs[0].x + ink.x_bearing, top = glyphs[0].y + ink.y_bearing;
            minX = std::min(minX, left - 2);
            minY = std::min(minY, top - 2);
            maxX = std::max(maxX, left + ink.width + 2);
            maxY = std::max(maxY, top + ink.height + 2);
        }
    }
    constexpr double kLimit = 1e15;
    DeviceRect area{(long long)std::floor(std::max(minX, -kLimit)),
                    (long long)std::floor(std::max(minY, -kLimit)),
                    (long long)std::ceil(std::min(maxX, kLimit)) + 1,
                    (long long)std::ceil(std::min(maxY, kLimit)) + 1};
    area = area.Intersect(BoundsOf(target));
    if (how.clip) area = area.Intersect(*how.clip);
    if (area.Empty()) return;

    // Text that reaches far beyond the mask (huge spacing, far origins) is
    // cut to the part along the baseline that can touch the mask, so cairo
    // never sees coordinates it cannot hold.
    double uLimitLo = -1e300, uLimitHi = 1e300;
    bool far = !WithinReach(area, ox, oy) || !WithinReach(area, deviceX(layout.width, 0), deviceY(layout.width, 0));
    for (std::size_t i = 0; i < glyphs.size() && !far; ++i) far = !WithinReach(area, glyphs[i].x, glyphs[i].y);
    if (far) {
        double uLo = 1e300, uHi = -1e300, vLo = 1e300, vHi = -1e300;
        for (double X : {double(area.left), double(area.right)}) {
            for (double Y : {double(area.top), double(area.bottom)}) {
                double u = (X - ox) * cs - (Y - oy) * sn, v = (X - ox) * sn + (Y - oy) * cs;
                uLo = std::min(uLo, u);
                uHi = std::max(uHi, u);
                vLo = std::min(vLo, v);
                vHi = std::max(vHi, v);
            }
        }
        double reach = 2.0 * tm.tmHeight + tm.tmMaxCharWidth + 4;
        if (vHi < -tm.tmAscent - reach || vLo > tm.tmDescent + reach) return;
        uLimitLo = uLo - reach;
        uLimitHi = uHi + reach;
        std::vector<cairo_glyph_t> kept;
        for (std::size_t i = 0; i < glyphs.size(); ++i) {
            double u = layout.glyphs[i].x;
            if (u >= uLimitLo && u <= uLimitHi) kept.push_back(glyphs[i]);
        }
        glyphs.swap(kept);
    }
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
    if (!glyphs.empty()) {
        cairo_set_scaled_font(cr, face.DrawingFont());
        cairo_show_glyphs(cr, glyphs.data(), int(glyphs.size()));
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

}  // namespace tarvel::gdi

using namespace tarvel::gdi;

extern "C" {

BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCWSTR lpString,
                 UINT c, const INT* lpDx) {
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
    if (c == 0) return TRUE;
    TextLayout layout = LayoutText(*face, lpString, int(c), lpDx);
    const TEXTMETRICW& tm = face->Metrics();
    UINT align = dc->textAlign;
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
    double angle = face->Escapement();
    TextDrawing how;
    how.originX = x + vx + std::llround(double(u) * std::cos(angle) + double(v) * std::sin(angle));
    how.originY = y + vy + std::llround(-double(u) * std::sin(angle) + double(v) * std::cos(angle));
    how.clip = (lprect && (options & ETO_CLIPPED)) ? &rect : nullptr;
    how.opaqueBox = dc->bkMode == OPAQUE;
    DrawTextRun(*dc, *face, layout, how);
    return TRUE;
}

BOOL GetTextMetricsW(HDC hdc, TEXTMETRICW* lptm) {
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc || !lptm) return FALSE;
    auto face = FaceOf(*dc->font);
    if (!face) return FALSE;
    *lptm = face->Metrics();
    return TRUE;
}

BOOL GetTextExtentExPointW(HDC hdc, LPCWSTR lpszString, int cchString, int nMaxExtent,
                           INT* lpnFit, INT* lpnDx, SIZE* lpSize) {
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc || !lpSize || cchString < 0 || UINT(cchString) > kMaxTextUnits ||
        (cchString && !lpszString)) {
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

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, SIZE* psizl) {
    return GetTextExtentExPointW(hdc, lpString, c, 0, nullptr, nullptr, psizl);
}

}  // extern "C"
