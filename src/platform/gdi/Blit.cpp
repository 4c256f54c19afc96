// Block transfers under the 256 ternary raster operations, between bitmaps
// of any two formats.
//
// Colour conversion follows the platform: a monochrome device-dependent
// source turns its 0 bits into the destination's text colour and its 1 bits
// into its background colour; a colour source copied into a monochrome
// bitmap becomes white where it equals the source's background colour and
// black elsewhere. A monochrome DIB section keeps its own colour table.
#include "platform/gdi/Compositor.h"
#include "platform/gdi/GdiObjects.h"
#include "platform/gdi/RecordingSupport.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace tarvel::gdi {
namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

struct Span {
    long long start;   // first device coordinate
    long long length;  // > 0
};

// A signed extent from an origin: negative sizes run the other way.
Span Normalise(long long origin, long long size)
{
    return size < 0 ? Span{origin + size, -size} : Span{origin, size};
}

// Source coordinate of each destination position, sampling pixel centres,
// mirrored when the two sizes have opposite signs.
long long MapPosition(long long i, const Span& dst, const Span& src, bool mirror)
{
    // 128-bit products: both lengths may approach 2^32.
    long long offset = (long long)(((__int128)(2 * i + 1) * src.length) / (2 * (__int128)dst.length));
    return mirror ? src.start + src.length - 1 - offset : src.start + offset;
}

// The destination positions (0 .. d.length-1) that land inside the
// destination bitmap and, through the mapping, inside the source bitmap
// (srcLimit < 0: no source). The mapping is monotonic, so those positions
// form one run whose ends are found by bisection.
void VisibleRun(const Span& d, const Span& s, bool mirror, int dstLimit, int srcLimit,
                long long& first, long long& last)
{
    first = std::max<long long>(0, -d.start);
    last = std::min<long long>(d.length, dstLimit - d.start);
    if (srcLimit < 0 || first >= last) return;
    auto firstTrue = [](long long lo, long long hi, auto pred) {
        while (lo < hi) {
            long long mid = lo + (hi - lo) / 2;
            if (pred(mid)) {
                hi = mid;
            } else {
                lo = mid + 1;
            }
        }
        return lo;
    };
    auto aboveZero = [&](long long i) { return MapPosition(i, d, s, mirror) >= 0; };
    auto belowLimit = [&](long long i) { return MapPosition(i, d, s, mirror) < srcLimit; };
    if (!mirror) {
        first = firstTrue(first, last, aboveZero);
        last = firstTrue(first, last, [&](long long i) { return !belowLimit(i); });
    } else {
        first = firstTrue(first, last, belowLimit);
        last = firstTrue(first, last, [&](long long i) { return !aboveZero(i); });
    }
}

// Rows first..last-1 of a bitmap as a bitmap of their own.
std::shared_ptr<Bitmap> SnapshotRows(const Bitmap& bitmap, int first, int last)
{
    auto copy = AllocateBitmap(bitmap.width, last - first, bitmap.bpp, true, 4);
    if (!copy) return nullptr;
    copy->palette = bitmap.palette;
    copy->isDib = bitmap.isDib;
    std::size_t rowBytes = (std::size_t(bitmap.width) * bitmap.bpp + 7) / 8;
    for (int y = first; y < last; ++y) std::memcpy(copy->Row(y - first), bitmap.Row(y), rowBytes);
    return copy;
}

class SourceConverter {
public:
    SourceConverter(const Bitmap& src, const Dc& srcDc, const Bitmap& dst, const Dc& dstDc)
        : src_(src)
        , dst_(dst)
        , wb_(WorkBytes(dst.bpp))
        , srcBk_(srcDc.bkColor)
    {
        if (src.bpp <= 8) {
            int entries = 1 << src.bpp;
            lut_.resize(std::size_t(entries));
            for (int i = 0; i < entries; ++i) {
                if (src.bpp == 1 && dst.bpp == 1) {
                    lut_[std::size_t(i)].b[0] = i ? 0xFF : 0x00;
                } else if (src.bpp == 1 && !src.isDib) {
                    lut_[std::size_t(i)] = PixelFor(dst, i ? dstDc.bkColor : dstDc.textColor);
                } else {
                    lut_[std::size_t(i)] = Convert(ColorOfIndex(src, i));
                }
            }
        }
        sameFormat_ = src.bpp == dst.bpp && src.bpp > 1 && (src.bpp != 8 || std::equal(src.palette.begin(), src.palette.end(), dst.palette.begin(), dst.palette.end(), [](const RGBQUAD& a, const RGBQUAD& b) {
                                                                return std::memcmp(&a, &b, 3) == 0;
                                                            }));
    }

    bool SameFormat() const { return sameFormat_; }

    // Converts source row sy at the given columns into working pixels.
    void Row(int sy, const int* columns, int n, std::uint8_t* out)
    {
        const std::uint8_t* row = src_.Row(sy);
        switch (src_.bpp) {
        case 1:
            for (int i = 0; i < n; ++i) {
                int x = columns[i];
                Put(out, i, lut_[(row[x >> 3] >> (7 - (x & 7))) & 1]);
            }
            break;
        case 8:
            for (int i = 0; i < n; ++i) Put(out, i, lut_[row[columns[i]]]);
            break;
        default: {
            int sb = src_.bpp / 8;
            for (int i = 0; i < n; ++i) {
                const std::uint8_t* px = row + std::size_t(columns[i]) * sb;
                if (dst_.bpp >= 24) {
                    out[i * wb_] = px[0];
                    out[i * wb_ + 1] = px[1];
                    out[i * wb_ + 2] = px[2];
                    if (wb_ == 4) out[i * wb_ + 3] = 0;
                } else {
                    Put(out, i, Convert(RGB(px[2], px[1], px[0])));
                }
            }
            break;
        }
        }
    }

private:
    WorkPixel Convert(COLORREF color)
    {
        if (dst_.bpp == 1) {
            WorkPixel px;
            px.b[0] = color == srcBk_ ? 0xFF : 0x00;
            return px;
        }
        if (dst_.bpp == 8 && color == cachedColor_) return cachedPixel_;
        cachedColor_ = color;
        cachedPixel_ = PixelFor(dst_, color);
        return cachedPixel_;
    }

    void Put(std::uint8_t* out, int i, const WorkPixel& px)
    {
        std::memcpy(out + std::size_t(i) * wb_, px.b, std::size_t(wb_));
    }

    const Bitmap& src_;
    const Bitmap& dst_;
    int wb_;
    COLORREF srcBk_;
    std::vector<WorkPixel> lut_;
    bool sameFormat_ = false;
    COLORREF cachedColor_ = CLR_INVALID;
    WorkPixel cachedPixel_;
};

// dst/src: logical rectangles; the source is ignored when the operation
// does not read it.
BOOL Transfer(Dc& dstDc, long long x, long long y, long long w, long long h, Dc* srcDc,
              long long sx, long long sy, long long sw, long long sh, DWORD code)
{
    std::uint8_t rop = Rop3Of(code);
    bool usesSource = RopUsesSource(rop);
    if (usesSource && !srcDc) return FALSE;
    if (w == 0 || h == 0) return TRUE;
    if (usesSource && (sw == 0 || sh == 0)) return FALSE;
    Bitmap& dst = *dstDc.bitmap;
    if (dst.readOnly) return TRUE;

    Span dx = Normalise(x + dstDc.viewportOrg.x, w);
    Span dy = Normalise(y + dstDc.viewportOrg.y, h);
    Span srcX{0, 1}, srcY{0, 1};
    bool mirrorX = false, mirrorY = false;
    std::shared_ptr<Bitmap> sourceHolder;
    const Bitmap* src = nullptr;
    if (usesSource) {
        srcX = Normalise(sx + srcDc->viewportOrg.x, sw);
        srcY = Normalise(sy + srcDc->viewportOrg.y, sh);
        mirrorX = (w < 0) != (sw < 0);
        mirrorY = (h < 0) != (sh < 0);
        src = srcDc->bitmap.get();
        if (src == &dst) {
            // Copies within one bitmap read from a snapshot of the source
            // rows, so overlapping rectangles see the pixels as they were
            // before the copy.
            long long first = std::max<long long>(0, srcY.start);
            long long last = std::min<long long>(dst.height, srcY.start + srcY.length);
            if (first >= last) return TRUE;
            sourceHolder = SnapshotRows(dst, int(first), int(last));
            if (!sourceHolder) return FALSE;
            src = sourceHolder.get();
            srcY.start -= first;
        }
    }

    long long c0, c1, r0, r1;
    VisibleRun(dx, srcX, mirrorX, dst.width, src ? src->width : -1, c0, c1);
    VisibleRun(dy, srcY, mirrorY, dst.height, src ? src->height : -1, r0, r1);
    if (c0 >= c1 || r0 >= r1) return TRUE;

    int n = int(c1 - c0);
    int wb = WorkBytes(dst.bpp);
    int left = int(dx.start + c0);
    std::vector<int> columns(static_cast<std::size_t>(n));
    bool contiguous = !mirrorX && srcX.length == dx.length;
    for (int i = 0; i < n; ++i) columns[std::size_t(i)] = int(MapPosition(c0 + i, dx, srcX, mirrorX));

    Paint paint;
    bool usesPattern = RopUsesPattern(rop);
    if (usesPattern && !BrushPaint(dst, *dstDc.brush, dstDc, paint)) return TRUE;
    std::vector<std::uint8_t> pattern;
    std::vector<std::uint8_t> source;
    if (usesPattern) pattern.resize(std::size_t(n) * wb);
    if (usesPattern && paint.solid) {
        for (int i = 0; i < n; ++i) std::memcpy(&pattern[std::size_t(i) * wb], paint.pixel.b, std::size_t(wb));
    }
    std::optional<SourceConverter> converter;
    if (usesSource) {
        converter.emplace(*src, *srcDc, dst, dstDc);
        source.resize(std::size_t(n) * wb);
    }

    for (long long r = r0; r < r1; ++r) {
        int yDev = int(dy.start + r);
        const std::uint8_t* s = nullptr;
        if (usesSource) {
            int srcRow = int(MapPosition(r, dy, srcY, mirrorY));
            if (contiguous && converter->SameFormat()) {
                s = src->Row(srcRow) + std::size_t(columns[0]) * wb;
            } else {
                converter->Row(srcRow, columns.data(), n, source.data());
                s = source.data();
            }
        }
        if (usesPattern && !paint.solid) PatternRow(paint, wb, yDev, left, left + n, pattern.data());
        WorkRow row(dst, yDev, left, left + n);
        ApplyRop3(row.Data(), usesPattern ? pattern.data() : nullptr, s, std::size_t(n) * wb, rop);
        row.Commit();
    }
    return TRUE;
}

}  // namespace

BOOL CopyBitmapPixels(HDC target, HBITMAP source)
{
    Guard guard(GdiLock());
    auto dst = LookupDc(target);
    auto bitmap = LookupAs<Bitmap>(source, OBJ_BITMAP);
    if (!dst || !bitmap) return FALSE;
    // A device context of our own that nobody can reach holds the bitmap,
    // so wherever the application has it selected does not matter.
    Dc holder;
    holder.bitmap = bitmap;
    return Transfer(*dst, 0, 0, bitmap->width, bitmap->height, &holder, 0, 0, bitmap->width,
                    bitmap->height, SRCCOPY);
}

}  // namespace tarvel::gdi

using namespace tarvel::gdi;

extern "C" {

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop)
{
    Guard guard(GdiLock());
    auto dst = LookupDc(hdc);
    if (!dst) return FALSE;
    auto src = LookupDc(hdcSrc);
    if (hdcSrc && !src) return FALSE;
    return Transfer(*dst, x, y, cx, cy, src.get(), x1, y1, cx, cy, rop);
}

BOOL StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc,
                int ySrc, int wSrc, int hSrc, DWORD rop)
{
    Guard guard(GdiLock());
    auto dst = LookupDc(hdcDest);
    if (!dst) return FALSE;
    auto src = LookupDc(hdcSrc);
    if (hdcSrc && !src) return FALSE;
    return Transfer(*dst, xDest, yDest, wDest, hDest, src.get(), xSrc, ySrc, wSrc, hSrc, rop);
}

BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop)
{
    Guard guard(GdiLock());
    auto dst = LookupDc(hdc);
    if (!dst || RopUsesSource(Rop3Of(rop))) return FALSE;
    return Transfer(*dst, x, y, w, h, nullptr, 0, 0, w, h, rop);
}

}  // extern "C"
