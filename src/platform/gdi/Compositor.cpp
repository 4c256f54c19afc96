#include "platform/gdi/Compositor.h"

#include "platform/system/Words.h"

#include <algorithm>
#include <cstring>

namespace tarvel::gdi {

using tarvel::platform::Load64;
namespace {

int Distance(const RGBQUAD& q, COLORREF c)
{
    int dr = int(q.rgbRed) - GetRValue(c);
    int dg = int(q.rgbGreen) - GetGValue(c);
    int db = int(q.rgbBlue) - GetBValue(c);
    return dr * dr + dg * dg + db * db;
}

int NearestIndex(const Bitmap& bitmap, COLORREF color)
{
    int best = 0;
    int bestDistance = 1 << 30;
    for (std::size_t i = 0; i < bitmap.palette.size(); ++i) {
        int d = Distance(bitmap.palette[i], color);
        // Ties go to the later entry, so mid-grey on a black-and-white
        // bitmap becomes white.
        if (d <= bestDistance) {
            best = int(i);
            bestDistance = d;
            if (d == 0) break;
        }
    }
    return best;
}

inline std::uint64_t EvalRop(std::uint8_t rop, std::uint64_t p, std::uint64_t s, std::uint64_t d)
{
    std::uint64_t r = 0;
    for (int i = 0; i < 8; ++i) {
        if ((rop >> i) & 1) {
            r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
        }
    }
    return r;
}

inline void Store64(std::uint8_t* p, std::uint64_t v)
{
    std::memcpy(p, &v, 8);
}

inline int Mod(long long a, int m)
{
    long long r = a % m;
    return int(r < 0 ? r + m : r);
}

}  // namespace

WorkPixel PixelFor(const Bitmap& bitmap, COLORREF color)
{
    WorkPixel px;
    switch (bitmap.bpp) {
    case 1: px.b[0] = NearestIndex(bitmap, color) ? 0xFF : 0x00; break;
    case 8: px.b[0] = std::uint8_t(NearestIndex(bitmap, color)); break;
    default:
        px.b[0] = GetBValue(color);
        px.b[1] = GetGValue(color);
        px.b[2] = GetRValue(color);
        px.b[3] = 0;
        break;
    }
    return px;
}

COLORREF ColorOfIndex(const Bitmap& bitmap, int index)
{
    if (index < 0 || std::size_t(index) >= bitmap.palette.size()) return RGB(0, 0, 0);
    const RGBQUAD& q = bitmap.palette[std::size_t(index)];
    return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

COLORREF ReadColor(const Bitmap& bitmap, int x, int y)
{
    const std::uint8_t* row = bitmap.Row(y);
    switch (bitmap.bpp) {
    case 1: return ColorOfIndex(bitmap, (row[x >> 3] >> (7 - (x & 7))) & 1);
    case 8: return ColorOfIndex(bitmap, row[x]);
    case 24: return RGB(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
    default: return RGB(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]);
    }
}

std::uint8_t Rop3FromRop2(int rop2)
{
    int table = (rop2 - 1) & 15;  // bit (P << 1 | D)
    std::uint8_t rop = 0;
    for (int i = 0; i < 8; ++i) {
        int p = (i >> 2) & 1;
        int d = i & 1;
        if ((table >> (p * 2 + d)) & 1) rop |= std::uint8_t(1 << i);
    }
    return rop;
}

void ApplyRop3(std::uint8_t* d, const std::uint8_t* p, const std::uint8_t* s, std::size_t n,
               std::uint8_t rop)
{
    switch (rop) {
    case 0xAA: return;
    case 0x00: std::memset(d, 0x00, n); return;
    case 0xFF: std::memset(d, 0xFF, n); return;
    case 0xCC: std::memcpy(d, s, n); return;
    case 0xF0: std::memcpy(d, p, n); return;
    default: break;
    }
    static const std::uint8_t zeros[8] = {};
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t pv = p ? Load64(p + i) : 0;
        std::uint64_t sv = s ? Load64(s + i) : 0;
        Store64(d + i, EvalRop(rop, pv, sv, Load64(d + i)));
    }
    for (; i < n; ++i) {
        std::uint64_t pv = p ? p[i] : zeros[0];
        std::uint64_t sv = s ? s[i] : zeros[0];
        d[i] = std::uint8_t(EvalRop(rop, pv, sv, d[i]));
    }
}

Paint SolidPaint(const Bitmap& target, COLORREF color)
{
    Paint paint;
    paint.solid = true;
    paint.pixel = PixelFor(target, color);
    return paint;
}

bool BrushPaint(const Bitmap& target, const Brush& brush, const Dc& dc, Paint& out)
{
    if (brush.log.lbStyle == BS_NULL) return false;
    if (!brush.pattern) {
        out = SolidPaint(target, brush.log.lbColor);
        return true;
    }
    const Bitmap& pattern = *brush.pattern;
    int wb = WorkBytes(target.bpp);
    out = Paint{};
    out.solid = false;
    out.tileWidth = pattern.width;
    out.tileHeight = pattern.height;
    out.tile.resize(std::size_t(pattern.width) * pattern.height * wb);
    out.originX = (long long)dc.viewportOrg.x + dc.brushOrg.x;
    out.originY = (long long)dc.viewportOrg.y + dc.brushOrg.y;
    WorkPixel fore = PixelFor(target, dc.textColor);
    WorkPixel back = PixelFor(target, dc.bkColor);
    bool monoToMono = pattern.bpp == 1 && target.bpp == 1;
    for (int y = 0; y < pattern.height; ++y) {
        const std::uint8_t* row = pattern.Row(y);
        for (int x = 0; x < pattern.width; ++x) {
            WorkPixel px;
            if (pattern.bpp == 1 && (brush.patternUsesDcColours || monoToMono)) {
                int bit = (row[x >> 3] >> (7 - (x & 7))) & 1;
                if (monoToMono) {
                    px.b[0] = bit ? 0xFF : 0x00;
                } else {
                    px = bit ? back : fore;
                }
            } else {
                px = PixelFor(target, ReadColor(pattern, x, y));
            }
            std::memcpy(&out.tile[(std::size_t(y) * pattern.width + x) * wb], px.b, wb);
        }
    }
    return true;
}

WorkRow::WorkRow(Bitmap& bitmap, int y, int x0, int x1)
    : bitmap_(bitmap)
    , y_(y)
    , x0_(x0)
    , x1_(x1)
{
    std::uint8_t* row = bitmap.Row(y);
    if (bitmap.bpp == 1) {
        scratch_.resize(std::size_t(x1 - x0));
        for (int x = x0; x < x1; ++x) {
            scratch_[std::size_t(x - x0)] = ((row[x >> 3] >> (7 - (x & 7))) & 1) ? 0xFF : 0x00;
        }
        data_ = scratch_.data();
    } else {
        data_ = row + std::size_t(x0) * WorkBytes(bitmap.bpp);
    }
}

void WorkRow::Commit()
{
    if (bitmap_.bpp != 1) return;
    std::uint8_t* row = bitmap_.Row(y_);
    for (int x = x0_; x < x1_; ++x) {
        std::uint8_t bit = std::uint8_t(0x80 >> (x & 7));
        if (scratch_[std::size_t(x - x0_)] & 1) {
            row[x >> 3] |= bit;
        } else {
            row[x >> 3] &= std::uint8_t(~bit);
        }
    }
}

void PatternRow(const Paint& paint, int wb, int y, int x0, int x1, std::uint8_t* out)
{
    int ty = Mod((long long)y - paint.originY, paint.tileHeight);
    int tx = Mod((long long)x0 - paint.originX, paint.tileWidth);
    const std::uint8_t* tileRow = paint.tile.data() + std::size_t(ty) * paint.tileWidth * wb;
    std::size_t tileBytes = std::size_t(paint.tileWidth) * wb;
    std::size_t n = std::size_t(x1 - x0) * wb;
    std::size_t pos = std::size_t(tx) * wb;
    std::size_t done = 0;
    while (done < n) {
        std::size_t chunk = std::min(tileBytes - pos, n - done);
        std::memcpy(out + done, tileRow + pos, chunk);
        done += chunk;
        pos = 0;
    }
}

void FillSpan(Bitmap& bitmap, int y, int x0, int x1, const Paint& paint, std::uint8_t rop)
{
    if (x1 <= x0 || bitmap.readOnly) return;
    int wb = WorkBytes(bitmap.bpp);
    if (!paint.solid) {
        thread_local std::vector<std::uint8_t> pattern;
        pattern.resize(std::size_t(x1 - x0) * wb);
        PatternRow(paint, wb, y, x0, x1, pattern.data());
        WorkRow row(bitmap, y, x0, x1);
        ApplyRop3(row.Data(), pattern.data(), nullptr, pattern.size(), rop);
        row.Commit();
        return;
    }
    // With a constant pattern every byte becomes a ^ (d & x), where a is
    // the result over a clear destination byte and x flips it where the
    // destination bit is set. The setup is the same for every span of a
    // shape, so the last one is kept. 24 bytes hold a whole number of 3-
    // and 4-byte pixels and of 8-byte words.
    struct SolidOp {
        std::uint8_t pixel[4];
        int wb;
        std::uint8_t rop;
        bool plain;
        std::uint8_t aa[24], xx[24];
        std::uint64_t a64[3], x64[3];
    };
    // Text alternates between the pen and the background from run to run,
    // so a few setups are kept, not just the last one.
    constexpr int kKeptOps = 4;
    thread_local SolidOp ops[kKeptOps] = {};
    thread_local int nextOp = 0;
    SolidOp* found = nullptr;
    for (SolidOp& candidate : ops) {
        if (candidate.wb == wb && candidate.rop == rop && std::memcmp(candidate.pixel, paint.pixel.b, 4) == 0) {
            found = &candidate;
            break;
        }
    }
    SolidOp& op = found ? *found : ops[nextOp];
    if (!found) {
        nextOp = (nextOp + 1) % kKeptOps;
        op.wb = wb;
        op.rop = rop;
        std::memcpy(op.pixel, paint.pixel.b, 4);
        op.plain = true;
        for (int i = 0; i < 24; ++i) {
            std::uint8_t p = paint.pixel.b[i % wb];
            op.aa[i] = std::uint8_t(EvalRop(rop, p, 0, 0x00));
            op.xx[i] = std::uint8_t(op.aa[i] ^ EvalRop(rop, p, 0, 0xFF));
            op.plain = op.plain && op.xx[i] == 0;
        }
        std::memcpy(op.a64, op.aa, 24);
        std::memcpy(op.x64, op.xx, 24);
    }
    const std::uint8_t* aa = op.aa;
    const std::uint8_t* xx = op.xx;
    std::uint8_t* row = bitmap.Row(y);
    if (bitmap.bpp == 1) {
        // Whole bytes between the ends, when the result does not depend on
        // what is there (the cells and boxes behind text).
        if (op.plain && x1 - x0 >= 16) {
            const int firstWhole = (x0 + 7) >> 3, endWhole = x1 >> 3;
            std::memset(row + firstWhole, aa[0], std::size_t(endWhole - firstWhole));
            FillSpan(bitmap, y, x0, firstWhole * 8, paint, rop);
            FillSpan(bitmap, y, endWhole * 8, x1, paint, rop);
            return;
        }
        for (int px = x0; px < x1;) {
            int byteIndex = px >> 3;
            int first = px & 7;
            int last = std::min(8, first + (x1 - px));
            std::uint8_t mask = std::uint8_t((0xFF >> first) & (0xFF << (8 - last)));
            std::uint8_t v = row[byteIndex];
            std::uint8_t result = std::uint8_t(aa[0] ^ (v & xx[0]));
            row[byteIndex] = std::uint8_t((v & ~mask) | (result & mask));
            px += last - first;
        }
        return;
    }
    std::uint8_t* out = row + std::size_t(x0) * wb;
    std::size_t n = std::size_t(x1 - x0) * wb;
    if (wb == 1) {
        if (op.plain) {
            std::memset(out, aa[0], n);
        } else {
            for (std::size_t i = 0; i < n; ++i) out[i] = std::uint8_t(aa[0] ^ (out[i] & xx[0]));
        }
        return;
    }
    std::size_t i = 0;
    if (op.plain) {
        for (; i + 24 <= n; i += 24) {
            Store64(out + i, op.a64[0]);
            Store64(out + i + 8, op.a64[1]);
            Store64(out + i + 16, op.a64[2]);
        }
    } else {
        for (; i + 24 <= n; i += 24) {
            for (int k = 0; k < 3; ++k) {
                std::uint8_t* q = out + i + k * 8;
                Store64(q, op.a64[k] ^ (Load64(q) & op.x64[k]));
            }
        }
    }
    for (; i < n; ++i) out[i] = std::uint8_t(aa[i % 24] ^ (out[i] & xx[i % 24]));
}

void FillRect(Bitmap& bitmap, int left, int top, int right, int bottom, const Paint& paint,
              std::uint8_t rop)
{
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, bitmap.width);
    bottom = std::min(bottom, bitmap.height);
    if (left >= right || top >= bottom || bitmap.readOnly) return;
    bool copyable = paint.solid && bitmap.bpp != 1 && (rop == 0xF0 || rop == 0x00 || rop == 0xFF);
    if (copyable && bottom - top > 1) {
        // A plain fill repeats its first row.
        FillSpan(bitmap, top, left, right, paint, rop);
        int wb = WorkBytes(bitmap.bpp);
        const std::uint8_t* first = bitmap.Row(top) + std::size_t(left) * wb;
        std::size_t n = std::size_t(right - left) * wb;
        for (int y = top + 1; y < bottom; ++y) {
            std::memcpy(bitmap.Row(y) + std::size_t(left) * wb, first, n);
        }
        return;
    }
    for (int y = top; y < bottom; ++y) FillSpan(bitmap, y, left, right, paint, rop);
}

}  // namespace tarvel::gdi
