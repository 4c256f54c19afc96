// Rectangles, ellipses, rounded rectangles and polylines with the pixel
// rules of the platform: a shape given by (l, t, r, b) covers columns l to
// r-1 and rows t to b-1 with its pen inside; without a pen it shrinks by
// one pixel on the right and at the bottom. Lines leave out their last
// pixel. One-pixel pens are styled (dash, dot) and fill their gaps with the
// background colour in opaque mode.
#include "platform/gdi/CoverageMask.h"
#include "platform/gdi/GdiObjects.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>

namespace tarvel::gdi {
namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

struct ShapeState {
    Bitmap* target = nullptr;
    std::uint8_t rop = 0xF0;
    bool hasPen = false;
    bool styled = false;
    int penWidth = 1;
    Paint pen;
    bool hasBackground = false;
    Paint background;
    bool hasBrush = false;
    Paint brush;
    std::vector<int> dashes;   // on, off, on, off ... in pixels
    long long ox = 0, oy = 0;  // viewport origin
};

ShapeState Prepare(Dc& dc)
{
    ShapeState s;
    s.target = dc.bitmap.get();
    s.rop = Rop3FromRop2(dc.rop2);
    s.ox = dc.viewportOrg.x;
    s.oy = dc.viewportOrg.y;
    const LOGPEN& pen = dc.pen->log;
    s.hasPen = pen.lopnStyle != PS_NULL;
    s.penWidth = std::max<LONG>(1, pen.lopnWidth.x);
    if (s.hasPen) s.pen = SolidPaint(*s.target, pen.lopnColor);
    if (s.penWidth == 1) {
        switch (pen.lopnStyle) {
        case PS_DASH: s.dashes = {18, 6}; break;
        case PS_DOT: s.dashes = {3, 3}; break;
        case 3: s.dashes = {9, 6, 3, 6}; break;        // dash-dot
        case 4: s.dashes = {9, 3, 3, 3, 3, 3}; break;  // dash-dot-dot
        default: break;
        }
    }
    s.styled = !s.dashes.empty();
    s.hasBackground = s.styled && dc.bkMode == OPAQUE;
    if (s.hasBackground) s.background = SolidPaint(*s.target, dc.bkColor);
    s.hasBrush = BrushPaint(*s.target, *dc.brush, dc, s.brush);
    return s;
}

// Cosmetic lines, one pixel wide, stepped exactly: pixel i of a segment
// whose major axis is x lies at x0 + i*sx, y0 + round(i*dy/dx). The style
// position runs on across the segments of one figure.
class ThinLine {
public:
    explicit ThinLine(ShapeState& s)
        : s_(s)
    {
        for (int d : s.dashes) period_ += d;
    }
    ~ThinLine() { Flush(); }

    // Draws from (x0, y0) towards (x1, y1), leaving out (x1, y1).
    void Segment(long long x0, long long y0, long long x1, long long y1)
    {
        long long dx = std::llabs(x1 - x0), dy = std::llabs(y1 - y0);
        long long steps = std::max(dx, dy);
        if (steps == 0) return;
        int sx = x1 > x0 ? 1 : -1, sy = y1 > y0 ? 1 : -1;
        bool xMajor = dx >= dy;
        long long major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
        auto at = [&](long long i, long long& x, long long& y) {
            long long m = (long long)((2 * (__int128)i * minor + major) / (2 * (__int128)major));
            x = x0 + sx * (xMajor ? i : m);
            y = y0 + sy * (xMajor ? m : i);
        };
        // Only the steps inside the bitmap are visited; both coordinates
        // move monotonically, so each bound is found by bisection.
        const Bitmap& t = *s_.target;
        auto insideFrom = [&](auto pred) {
            long long lo = 0, hi = steps;
            while (lo < hi) {
                long long mid = lo + (hi - lo) / 2;
                if (pred(mid))
                    hi = mid;
                else
                    lo = mid + 1;
            }
            return lo;
        };
        auto coord = [&](long long i, bool wantX) {
            long long x, y;
            at(i, x, y);
            return wantX ? x : y;
        };
        long long first = 0, last = steps;
        auto clipAxis = [&](bool isX, int dir, long long limit) {
            // Positions along this axis run in direction dir.
            if (dir > 0) {
                first = std::max(first, insideFrom([&](long long i) { return coord(i, isX) >= 0; }));
                last = std::min(last, insideFrom([&](long long i) { return coord(i, isX) >= limit; }));
            } else {
                first = std::max(first, insideFrom([&](long long i) { return coord(i, isX) < limit; }));
                last = std::min(last, insideFrom([&](long long i) { return coord(i, isX) < 0; }));
            }
        };
        clipAxis(true, sx, t.width);
        clipAxis(false, sy, t.height);
        for (long long i = first; i < last; ++i) {
            long long x, y;
            at(i, x, y);
            Plot(int(x), int(y), StyleOn(position_ + i));
        }
        position_ += steps;
    }

private:
    bool StyleOn(long long pos) const
    {
        if (!period_) return true;
        long long p = pos % period_;
        for (std::size_t k = 0; k < s_.dashes.size(); ++k) {
            if (p < s_.dashes[k]) return k % 2 == 0;
            p -= s_.dashes[k];
        }
        return true;
    }

    void Plot(int x, int y, bool on)
    {
        int cls = on ? 1 : 2;
        if (cls == 2 && !s_.hasBackground) cls = 0;
        if (runLength_ && y == runY_ && cls == runClass_ && x == runX_ + runLength_) {
            ++runLength_;
            return;
        }
        if (runLength_ && y == runY_ && cls == runClass_ && x == runX_ - 1) {
            runX_ = x;
            ++runLength_;
            return;
        }
        Flush();
        runX_ = x;
        runY_ = y;
        runClass_ = cls;
        runLength_ = 1;
    }

    void Flush()
    {
        if (runLength_ && runClass_) {
            const Paint& paint = runClass_ == 1 ? s_.pen : s_.background;
            FillSpan(*s_.target, runY_, runX_, runX_ + runLength_, paint, s_.rop);
        }
        runLength_ = 0;
    }

    ShapeState& s_;
    long long position_ = 0;
    int period_ = 0;
    int runX_ = 0, runY_ = 0, runClass_ = 0, runLength_ = 0;
};

DeviceRect Normalised(const ShapeState& s, int left, int top, int right, int bottom)
{
    long long l = left + s.ox, r = right + s.ox, t = top + s.oy, b = bottom + s.oy;
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    return {l, t, r, b};
}

void AddEllipse(cairo_t* cr, double l, double t, double r, double b)
{
    double rx = (r - l) / 2, ry = (b - t) / 2;
    if (rx <= 0 || ry <= 0) return;
    cairo_save(cr);
    cairo_translate(cr, l + rx, t + ry);
    cairo_scale(cr, rx, ry);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_close_path(cr);
    cairo_restore(cr);
}

void AddRoundRect(cairo_t* cr, double l, double t, double r, double b, double rx, double ry)
{
    if (r <= l || b <= t) return;
    rx = std::min(rx, (r - l) / 2);
    ry = std::min(ry, (b - t) / 2);
    if (rx <= 0 || ry <= 0) {
        cairo_rectangle(cr, l, t, r - l, b - t);
        return;
    }
    auto corner = [&](double cx, double cy, double a0) {
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_scale(cr, rx, ry);
        cairo_arc(cr, 0, 0, 1, a0, a0 + M_PI / 2);
        cairo_restore(cr);
    };
    cairo_new_sub_path(cr);
    corner(r - rx, t + ry, -M_PI / 2);
    corner(r - rx, b - ry, 0);
    corner(l + rx, b - ry, M_PI / 2);
    corner(l + rx, t + ry, M_PI);
    cairo_close_path(cr);
}

// Flattens what addLocal draws in a figure's own coordinates: the same
// points in every band, wherever the figure lies on the page.
template <class AddLocal>
cairo_path_t* FlatOutline(AddLocal addLocal)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* local = cairo_create(surface);
    addLocal(local);
    cairo_path_t* path = cairo_copy_path_flat(local);
    cairo_destroy(local);
    cairo_surface_destroy(surface);
    return path;
}

// Marks in cover (one byte per pixel of area, row by row) the pixels whose
// centres lie in the convex quadrilateral q, given relative to (ox, oy).
// The centres are taken in those same coordinates, with half-open rules on
// both axes: a band decides each pixel exactly as the whole page does.
// Cairo did not: it takes a path of only level and upright edges as boxes
// and rounds their ties one way, and any other path by its samples the
// other, so a dash edge on a pixel centre changed with the band's mix.
void MarkQuad(std::vector<std::uint8_t>& cover, const DeviceRect& area, double ox, double oy,
              const std::array<std::pair<double, double>, 4>& q)
{
    double top = q[0].second, bottom = q[0].second;
    for (const auto& [x, y] : q) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    const long long width = area.right - area.left;
    // A pixel more on each side than the bounds say: the exact test below,
    // in the quadrilateral's own coordinates, decides.
    const long long firstRow = std::max(area.top, (long long)std::floor(top + oy) - 1);
    const long long endRow = std::min(area.bottom, (long long)std::ceil(bottom + oy) + 1);
    for (long long row = firstRow; row < endRow; ++row) {
        const double yc = double(row) + 0.5 - oy;
        double from = 0, to = 0;
        int crossings = 0;
        for (std::size_t i = 0; i < q.size(); ++i) {
            const auto [x0, y0] = q[i];
            const auto [x1, y1] = q[(i + 1) % q.size()];
            if ((y0 <= yc && yc < y1) || (y1 <= yc && yc < y0)) {
                const double x = x0 + (yc - y0) * (x1 - x0) / (y1 - y0);
                from = crossings == 0 ? x : std::min(from, x);
                to = crossings == 0 ? x : std::max(to, x);
                ++crossings;
            }
        }
        if (crossings < 2) continue;
        const long long first = std::max(area.left, (long long)std::floor(from + ox) - 1);
        const long long end = std::min(area.right, (long long)std::ceil(to + ox) + 1);
        std::uint8_t* out = cover.data() + (row - area.top) * width;
        for (long long x = first; x < end; ++x) {
            if (double(x) + 0.5 - ox >= from && double(x) + 0.5 - ox < to) out[x - area.left] = 1;
        }
    }
}

// Marks in cover, as areas two pixels wide, the "on" pieces of the dash
// pattern laid along the outline that addLocal draws relative to (ox, oy).
// Only the edges of the outline near area are walked: the pattern's phase
// at the start of an edge follows from the length of the outline before
// it, so a band sees the same dashes whatever else of the outline it
// skips, in time that grows with the outline near it rather than with the
// whole perimeter.
template <class AddLocal>
void MarkDashes(std::vector<std::uint8_t>& cover, const DeviceRect& area, double ox, double oy,
                const std::vector<int>& pattern, AddLocal addLocal)
{
    cairo_path_t* path = FlatOutline(addLocal);
    const double nearLeft = double(area.left) - ox - 3, nearRight = double(area.right) - ox + 3;
    const double nearTop = double(area.top) - oy - 3, nearBottom = double(area.bottom) - oy + 3;
    std::vector<std::pair<double, double>> piece;
    auto extend = [&](double x, double y) { piece.emplace_back(x, y); };
    auto finish = [&] {
        for (std::size_t i = 1; i < piece.size(); ++i) {
            const auto [ax, ay] = piece[i - 1];
            const auto [bx, by] = piece[i];
            const double length = std::hypot(bx - ax, by - ay);
            if (length == 0) continue;
            const double nx = -(by - ay) / length, ny = (bx - ax) / length;
            MarkQuad(cover, area, ox, oy,
                     {{{ax + nx, ay + ny}, {bx + nx, by + ny}, {bx - nx, by - ny}, {ax - nx, ay - ny}}});
        }
        piece.clear();
    };
    double period = 0;
    for (int d : pattern) period += d;
    std::size_t k = 0;         // current entry of the pattern
    double left = pattern[0];  // of it
    // The pattern's entry, and what is left of it, at distance along from
    // the outline's start.
    auto phaseAt = [&](double along) {
        double p = std::fmod(along, period);
        k = 0;
        while (k + 1 < pattern.size() && p >= pattern[k]) p -= pattern[k++];
        left = std::max(0.0, pattern[k] - p);
    };
    double along = 0;  // length of the outline before the current point
    double x = 0, y = 0, startX = 0, startY = 0;
    auto walkTo = [&](double tx, double ty) {
        const double length = std::hypot(tx - x, ty - y);
        if (std::max(x, tx) < nearLeft || std::min(x, tx) > nearRight || std::max(y, ty) < nearTop || std::min(y, ty) > nearBottom) {
            finish();
        } else {
            phaseAt(along);
            if (k % 2 != 0) {
                finish();
            } else if (piece.empty()) {
                extend(x, y);
            }
            double done = 0;
            while (length - done > left) {
                done += left;
                double px = x + (tx - x) * done / length, py = y + (ty - y) * done / length;
                extend(px, py);
                if (k % 2 == 0) finish();
                k = (k + 1) % pattern.size();
                left = pattern[k];
            }
            if (k % 2 == 0) extend(tx, ty);
        }
        along += length;
        x = tx;
        y = ty;
    };
    if (path->status == CAIRO_STATUS_SUCCESS) {
        for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
            const cairo_path_data_t* d = &path->data[i];
            switch (d->header.type) {
            case CAIRO_PATH_MOVE_TO:
                finish();
                x = startX = d[1].point.x;
                y = startY = d[1].point.y;
                break;
            case CAIRO_PATH_LINE_TO: walkTo(d[1].point.x, d[1].point.y); break;
            case CAIRO_PATH_CLOSE_PATH: walkTo(startX, startY); break;
            default: break;
            }
        }
    }
    finish();
    cairo_path_destroy(path);
}

// Closed figures up to this size on each side are filled whole, on a
// surface that holds them. Larger ones are filled from their outline,
// flattened in their own coordinates, cut where its edges cross the lines
// of a fixed grid of those coordinates and clipped to a box on that grid
// around the area, which the surface holds. Cairo cuts a path where it
// leaves the surface and rounds the cut to its fixed point; along a long,
// nearly level edge that rounding decides which pixel centres lie inside,
// so a large figure came out differently in every band. Cut at the grid,
// every band hands cairo the same edges near its area, and the clip points
// are grid crossings that the neighbouring bands use as well.
constexpr long long kWholeFigure = 512;
constexpr double kFigureGrid = 16;

// A box of figure coordinates whose sides lie on grid lines.
struct GridBox {
    double left, top, right, bottom;
};

double ToCairoFixed(double v)
{
    return std::round(v * 256) / 256;
}

// Adds the outline path (figure coordinates), flattened and clipped to box,
// to cr with the figure's origin at (ox, oy). What lies outside the box is
// moved onto its nearest point of the box; the box's sides lie on grid
// lines, so that is a straight piece for every piece between two grid
// crossings, and the winding inside the box stays what it was. A curve
// wholly beyond one side of the box comes to lie along that side, as its
// chord does, so only the curves near the box are flattened (each on its
// own, as cairo flattens them in a path): a band of a huge figure costs
// what the outline near it costs.
void AddGridClipped(cairo_t* cr, const cairo_path_t* path, double ox, double oy, const GridBox& box)
{
    if (path->status != CAIRO_STATUS_SUCCESS) return;
    auto point = [&](double px, double py, bool move) {
        px = std::clamp(px, box.left, box.right) + ox;
        py = std::clamp(py, box.top, box.bottom) + oy;
        if (move) {
            cairo_move_to(cr, px, py);
        } else {
            cairo_line_to(cr, px, py);
        }
    };
    auto beyond = [&](std::initializer_list<cairo_path_data_t> points) {
        auto all = [&](auto pred) { return std::all_of(points.begin(), points.end(), pred); };
        return all([&](const cairo_path_data_t& p) { return p.point.x <= box.left; })
            || all([&](const cairo_path_data_t& p) { return p.point.x >= box.right; })
            || all([&](const cairo_path_data_t& p) { return p.point.y <= box.top; })
            || all([&](const cairo_path_data_t& p) { return p.point.y >= box.bottom; });
    };
    struct Cut {
        double t, x, y;
    };
    std::vector<Cut> cuts;
    // Every crossing of the edge from a to b with a grid line is computed
    // from a and b alone, rounded to cairo's fixed point, so that every
    // band that needs it places it on the same spot.
    auto edge = [&](double ax, double ay, double bx, double by) {
        cairo_path_data_t a, b;
        a.point = {ax, ay};
        b.point = {bx, by};
        if (!beyond({a, b})) {
            cuts.clear();
            auto crossings = [&](double a0, double a1, double lo, double hi, bool vertical) {
                if (a0 == a1) return;
                const double from = std::max(std::min(a0, a1), lo), to = std::min(std::max(a0, a1), hi);
                for (double g = std::ceil(from / kFigureGrid) * kFigureGrid; g <= to; g += kFigureGrid) {
                    if (g <= std::min(a0, a1) || g >= std::max(a0, a1)) continue;
                    const double t = (g - a0) / (a1 - a0);
                    if (vertical) {
                        cuts.push_back({t, g, ToCairoFixed(ay + t * (by - ay))});
                    } else {
                        cuts.push_back({t, ToCairoFixed(ax + t * (bx - ax)), g});
                    }
                }
            };
            crossings(ax, bx, box.left, box.right, true);
            crossings(ay, by, box.top, box.bottom, false);
            std::sort(cuts.begin(), cuts.end(), [](const Cut& p, const Cut& q) { return p.t < q.t; });
            for (const Cut& c : cuts) point(c.x, c.y, false);
        }
        point(bx, by, false);
    };
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* local = cairo_create(surface);
    double x = 0, y = 0, startX = 0, startY = 0;
    for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
        const cairo_path_data_t* d = &path->data[i];
        switch (d->header.type) {
        case CAIRO_PATH_MOVE_TO:
            x = startX = d[1].point.x;
            y = startY = d[1].point.y;
            point(x, y, true);
            break;
        case CAIRO_PATH_LINE_TO:
            edge(x, y, d[1].point.x, d[1].point.y);
            x = d[1].point.x;
            y = d[1].point.y;
            break;
        case CAIRO_PATH_CURVE_TO: {
            cairo_path_data_t from;
            from.point = {x, y};
            if (beyond({from, d[1], d[2], d[3]})) {
                point(d[3].point.x, d[3].point.y, false);
            } else {
                cairo_new_path(local);
                cairo_move_to(local, x, y);
                cairo_curve_to(local, d[1].point.x, d[1].point.y, d[2].point.x, d[2].point.y, d[3].point.x, d[3].point.y);
                cairo_path_t* flat = cairo_copy_path_flat(local);
                if (flat->status == CAIRO_STATUS_SUCCESS) {
                    for (int j = 0; j < flat->num_data; j += flat->data[j].header.length) {
                        const cairo_path_data_t* f = &flat->data[j];
                        if (f->header.type != CAIRO_PATH_LINE_TO) continue;
                        edge(x, y, f[1].point.x, f[1].point.y);
                        x = f[1].point.x;
                        y = f[1].point.y;
                    }
                }
                cairo_path_destroy(flat);
                if (x != d[3].point.x || y != d[3].point.y) edge(x, y, d[3].point.x, d[3].point.y);
            }
            x = d[3].point.x;
            y = d[3].point.y;
            break;
        }
        case CAIRO_PATH_CLOSE_PATH:
            edge(x, y, startX, startY);
            cairo_close_path(cr);
            x = startX;
            y = startY;
            break;
        }
    }
    cairo_destroy(local);
    cairo_surface_destroy(surface);
}

// A closed figure inside box, drawn by addPath(cr, box inset by d).
// Returns false for a box too far out to draw.
template <class AddPath>
bool DrawClosedFigure(ShapeState& s, DeviceRect box, AddPath addPath)
{
    if (!s.hasPen) {
        box.right -= 1;
        box.bottom -= 1;
    }
    if (box.Empty()) return true;
    DeviceRect area = box.Intersect(BoundsOf(*s.target));
    if (area.Empty() || s.target->readOnly) return true;
    if (!WithinReach(area, double(box.left), double(box.top)) || !WithinReach(area, double(box.right), double(box.bottom))) {
        return false;
    }
    double l = double(box.left), t = double(box.top), r = double(box.right),
           b = double(box.bottom);
    // The choice between whole and cut depends on the figure alone, so
    // every band makes the same one. A cut figure's own coordinates start
    // at its middle, which keeps them within cairo's fixed point.
    const bool whole = box.right - box.left <= kWholeFigure && box.bottom - box.top <= kWholeFigure;
    const long long cx = box.left + (box.right - box.left) / 2, cy = box.top + (box.bottom - box.top) / 2;
    auto onGrid = [](long long v, bool up) {
        return (up ? std::ceil(double(v) / kFigureGrid) : std::floor(double(v) / kFigureGrid)) * kFigureGrid;
    };
    const GridBox grid{onGrid(area.left - cx - 2, false), onGrid(area.top - cy - 2, false),
                       onGrid(area.right - cx + 2, true), onGrid(area.bottom - cy + 2, true)};
    const DeviceRect holds = whole ? DeviceRect{box.left - 2, box.top - 2, box.right + 2, box.bottom + 2}
                                   : DeviceRect{cx + (long long)grid.left - 1, cy + (long long)grid.top - 1,
                                                cx + (long long)grid.right + 1, cy + (long long)grid.bottom + 1};
    // Adds the figure inset by d.
    auto addFigure = [&](cairo_t* cr, double d) {
        if (whole) {
            addPath(cr, l + d, t + d, r - d, b - d, d);
            return;
        }
        const double fx = double(cx), fy = double(cy);
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
        cairo_t* local = cairo_create(surface);
        addPath(local, l - fx + d, t - fy + d, r - fx - d, b - fy - d, d);
        cairo_path_t* outline = cairo_copy_path(local);
        AddGridClipped(cr, outline, fx, fy, grid);
        cairo_path_destroy(outline);
        cairo_destroy(local);
        cairo_surface_destroy(surface);
    };
    CoverageMask mask(area, holds);
    if (!mask.Ok()) return true;
    cairo_t* cr = mask.Context();
    if (!s.hasPen) {
        mask.SetLevel(Level::Brush);
        addFigure(cr, 0.0);
        cairo_fill(cr);
    } else {
        double w = s.penWidth;
        mask.SetLevel(s.styled ? Level::Background : Level::Pen);
        addFigure(cr, 0.0);
        cairo_fill(cr);
        mask.SetLevel(s.hasBrush ? Level::Brush : Level::None);
        addFigure(cr, w);
        cairo_fill(cr);
        if (s.styled) {
            // The dashes run along the middle of the one-pixel ring, two
            // pixels wide, and only the ring's own pixels take them. The
            // outline is flattened and dashed from the shape's own start,
            // in the shape's own coordinates: cairo's dasher, given the
            // mask's bounds, shortcuts curves that lie outside them and so
            // phased the dashes differently in every band. The ring is
            // taken pixel by pixel from fills, which do not depend on the
            // mask's bounds, rather than through a clip path.
            CoverageMask ring(area, holds);
            if (ring.Ok()) {
                addFigure(ring.Context(), 0.0);
                cairo_fill(ring.Context());
                ring.SetLevel(Level::None);
                addFigure(ring.Context(), 1.0);
                cairo_fill(ring.Context());
                std::vector<std::uint8_t> dashes(std::size_t(area.right - area.left) * std::size_t(area.bottom - area.top));
                MarkDashes(dashes, area, l, t, s.dashes, [&](cairo_t* local) {
                    addPath(local, 0.5, 0.5, r - l - 0.5, b - t - 0.5, 0.5);
                });
                mask.Raise(ring, dashes.data(), Level::Pen);
            }
        }
    }
    mask.Composite(*s.target, s.hasPen ? &s.pen : nullptr,
                   s.hasBackground ? &s.background : nullptr, s.hasBrush ? &s.brush : nullptr,
                   s.rop);
    return true;
}

void DrawRectangle(ShapeState& s, DeviceRect box)
{
    Bitmap& bm = *s.target;
    if (!s.hasPen) {
        box.right -= 1;
        box.bottom -= 1;
        if (s.hasBrush) FillDeviceRect(bm, box, s.brush, s.rop);
        return;
    }
    if (box.Empty()) return;
    if (s.styled) {
        if (s.hasBrush) {
            FillDeviceRect(bm, {box.left + 1, box.top + 1, box.right - 1, box.bottom - 1},
                           s.brush, s.rop);
        }
        ThinLine line(s);
        long long r = box.right - 1, b = box.bottom - 1;
        if (r == box.left || b == box.top) {
            // A one-pixel-wide box is a single line, drawn once.
            line.Segment(box.left, box.top, r + (r == box.left ? 0 : 1),
                         b + (r == box.left ? 1 : 0));
            return;
        }
        line.Segment(box.left, box.top, r, box.top);
        line.Segment(r, box.top, r, b);
        line.Segment(r, b, box.left, b);
        line.Segment(box.left, b, box.left, box.top);
        return;
    }
    long long w = s.penWidth;
    long long inL = box.left + w, inR = box.right - w, inT = box.top + w, inB = box.bottom - w;
    if (inL >= inR || inT >= inB) {
        FillDeviceRect(bm, box, s.pen, s.rop);
        return;
    }
    FillDeviceRect(bm, {box.left, box.top, box.right, inT}, s.pen, s.rop);
    FillDeviceRect(bm, {box.left, inB, box.right, box.bottom}, s.pen, s.rop);
    FillDeviceRect(bm, {box.left, inT, inL, inB}, s.pen, s.rop);
    FillDeviceRect(bm, {inR, inT, box.right, inB}, s.pen, s.rop);
    if (s.hasBrush) FillDeviceRect(bm, {inL, inT, inR, inB}, s.brush, s.rop);
}

// Half the side of the box of logical space inside which the segments of
// a very wide pen keep their exact ends; a quarter of cairo's reach, so that a cut
// end still lies within it from any mask on a page.
constexpr long long kLogicalReach = kCairoReach / 4;

// The part of the target a pen w pixels wide can reach along the points.
DeviceRect PenReach(const ShapeState& s, const POINT* pts, int count, long long w)
{
    long long minX = LLONG_MAX, minY = LLONG_MAX, maxX = LLONG_MIN, maxY = LLONG_MIN;
    for (int i = 0; i < count; ++i) {
        minX = std::min(minX, pts[i].x + s.ox);
        maxX = std::max(maxX, pts[i].x + s.ox);
        minY = std::min(minY, pts[i].y + s.oy);
        maxY = std::max(maxY, pts[i].y + s.oy);
    }
    return DeviceRect{minX - w, minY - w, maxX + w + 1, maxY + w + 1}.Intersect(BoundsOf(*s.target));
}

void DrawVeryWidePolyline(ShapeState& s, const POINT* pts, int count)
{
    long long w = s.penWidth;
    if (w > kCairoReach / 4) return;  // wider than any page by far
    DeviceRect area = PenReach(s, pts, count, w);
    if (area.Empty()) return;
    CoverageMask mask(area);
    if (!mask.Ok()) return;
    cairo_t* cr = mask.Context();
    // Geometric pens are centred on the path through pixel centres, with
    // round ends and joins.
    cairo_set_line_width(cr, double(w));
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    auto point = [&](int i) {
        return std::pair<double, double>{double(pts[i].x + s.ox) + 0.5, double(pts[i].y + s.oy) + 0.5};
    };
    // With round ends and joins a polyline is the union of its capped
    // segments, and each segment is stroked on its own: cairo's stroker,
    // given a whole path that reaches far outside a small mask, can fill
    // the area beside the path instead of outlining it, which made a band
    // differ from the same page drawn whole. Segments too far out for cairo
    // are cut to the mask's neighbourhood; the cut ends lie beyond the pen's
    // reach.
    const double margin = double(w) + 2;
    const double x0 = double(area.left) - margin, x1 = double(area.right) + margin;
    const double y0 = double(area.top) - margin, y1 = double(area.bottom) + margin;
    for (int i = 1; i < count; ++i) {
        auto [ax, ay] = point(i - 1);
        auto [bx, by] = point(i);
        double t0 = 0, t1 = 1, dx = bx - ax, dy = by - ay;
        auto clip = [&](double p, double q) {
            if (p == 0) return q >= 0;
            double t = q / p;
            if (p < 0) {
                t0 = std::max(t0, t);
            } else {
                t1 = std::min(t1, t);
            }
            return t0 <= t1;
        };
        // Cutting moves the ends by rounding, so only segments that reach
        // beyond a fixed box of logical space are cut, and they are cut at
        // that box: the cut ends then lie at the same logical places for
        // every band a page is drawn in, and come out the same whatever the
        // mask. Only a mask that the box's cut ends would not reach (an
        // origin far out) falls back to cutting at the mask's neighbourhood.
        const double lx0 = double(-kLogicalReach) + double(s.ox), lx1 = double(kLogicalReach) + double(s.ox);
        const double ly0 = double(-kLogicalReach) + double(s.oy), ly1 = double(kLogicalReach) + double(s.oy);
        auto inBox = [&](double x, double y) { return x >= lx0 && x <= lx1 && y >= ly0 && y <= ly1; };
        if (inBox(ax, ay) && inBox(bx, by) && WithinReach(area, ax, ay) && WithinReach(area, bx, by)) {
            cairo_move_to(cr, ax, ay);
            cairo_line_to(cr, bx, by);
            cairo_stroke(cr);
            continue;
        }
        if (!(clip(-dx, ax - lx0) && clip(dx, lx1 - ax) && clip(-dy, ay - ly0) && clip(dy, ly1 - ay)))
            continue;  // the segment passes outside the box, far from any page
        const double cax = ax + t0 * dx, cay = ay + t0 * dy, cbx = ax + t1 * dx, cby = ay + t1 * dy;
        const bool boxHoldsArea = double(area.left) - margin > lx0 && double(area.right) + margin<lx1&& double(area.top) - margin> ly0 && double(area.bottom) + margin < ly1;
        if (boxHoldsArea && WithinReach(area, cax, cay) && WithinReach(area, cbx, cby)) {
            cairo_move_to(cr, cax, cay);
            cairo_line_to(cr, cbx, cby);
            cairo_stroke(cr);
            continue;
        }
        t0 = 0;
        t1 = 1;
        if (clip(-dx, ax - x0) && clip(dx, x1 - ax) && clip(-dy, ay - y0) && clip(dy, y1 - ay)) {
            cairo_move_to(cr, ax + t0 * dx, ay + t0 * dy);
            cairo_line_to(cr, ax + t1 * dx, ay + t1 * dy);
            cairo_stroke(cr);
        }
    }
    mask.Composite(*s.target, &s.pen, nullptr, nullptr, s.rop);
}

// Wide segments are stroked in pieces at most this long along their longer
// axis, cut where they cross the lines of a fixed grid of logical space, and
// each piece lies wholly on the mask's surface. Cairo cuts a path where it
// leaves the surface and rounds the cut to its fixed point; along a long,
// nearly level edge that rounding decides which pixel centres lie inside,
// so the same segment came out differently in every band. A piece that
// never leaves the surface is rasterised the same wherever the mask lies,
// and the pieces are the same ones in every band.
constexpr long long kPieceLength = 16;
// Segments up to this long along their longer axis are stroked whole, on a
// surface that holds all of them; only longer ones are cut into pieces.
constexpr long long kWholeLength = 512;
// Pens up to this width are drawn in pieces; the mask then reaches this far
// beyond the area, which is too much for wider pens.
constexpr long long kPiecedPenLimit = 256;

void DrawWidePolyline(ShapeState& s, const POINT* pts, int count)
{
    const long long w = s.penWidth;
    if (w > kPiecedPenLimit) {
        DrawVeryWidePolyline(s, pts, count);
        return;
    }
    DeviceRect area = PenReach(s, pts, count, w);
    if (area.Empty()) return;
    // A piece matters when its pen comes near the area; the area in logical
    // coordinates, widened by that much.
    const double reach = double(w) / 2 + 2;
    const double near[2][2] = {{double(area.left - s.ox) - reach, double(area.right - s.ox) + reach},
                               {double(area.top - s.oy) - reach, double(area.bottom - s.oy) + reach}};
    auto isNear = [&](const POINT& a, const POINT& b) {
        return double(std::max(a.x, b.x)) + 0.5 >= near[0][0] && double(std::min(a.x, b.x)) + 0.5 <= near[0][1]
            && double(std::max(a.y, b.y)) + 0.5 >= near[1][0] && double(std::min(a.y, b.y)) + 0.5 <= near[1][1];
    };
    auto isWhole = [](const POINT& a, const POINT& b) {
        return std::max(std::llabs(static_cast<long long>(b.x) - a.x), std::llabs(static_cast<long long>(b.y) - a.y)) <= kWholeLength;
    };
    // The surface holds every piece and every whole segment near the area.
    long long margin = kPieceLength + w + 4;
    for (int i = 1; i < count; ++i) {
        if (!isWhole(pts[i - 1], pts[i]) || !isNear(pts[i - 1], pts[i])) continue;
        for (const POINT& p : {pts[i - 1], pts[i]}) {
            const long long x = p.x + s.ox, y = p.y + s.oy;
            const long long out = std::max({area.left - x, x - area.right, area.top - y, y - area.bottom});
            margin = std::max(margin, out + w + 4);
        }
    }
    CoverageMask mask(area, margin);
    if (!mask.Ok()) return;
    cairo_t* cr = mask.Context();
    // Geometric pens are centred on the path through pixel centres, with
    // round ends and joins: the union of the capped segments, each stroked
    // on its own.
    cairo_set_line_width(cr, double(w));
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (int i = 1; i < count; ++i) {
        if (!isNear(pts[i - 1], pts[i])) continue;
        if (isWhole(pts[i - 1], pts[i])) {
            cairo_move_to(cr, double(pts[i - 1].x + s.ox) + 0.5, double(pts[i - 1].y + s.oy) + 0.5);
            cairo_line_to(cr, double(pts[i].x + s.ox) + 0.5, double(pts[i].y + s.oy) + 0.5);
            cairo_stroke(cr);
            continue;
        }
        // Logical coordinates of pixel centres: exact, and the same in
        // every band.
        const double a[2] = {double(pts[i - 1].x) + 0.5, double(pts[i - 1].y) + 0.5};
        const double b[2] = {double(pts[i].x) + 0.5, double(pts[i].y) + 0.5};
        const int major = std::abs(b[0] - a[0]) >= std::abs(b[1] - a[1]) ? 0 : 1, minor = 1 - major;
        // The point of the segment at major coordinate m, its minor
        // coordinate rounded to cairo's fixed point in logical space, so
        // that every band places it on the same spot.
        auto at = [&](double m, double point[2]) {
            point[major] = m;
            if (m == a[major]) {
                point[minor] = a[minor];
            } else if (m == b[major]) {
                point[minor] = b[minor];
            } else {
                const double t = (m - a[major]) / (b[major] - a[major]);
                point[minor] = std::round((a[minor] + t * (b[minor] - a[minor])) * 256) / 256;
            }
        };
        const double lo = std::min(a[major], b[major]), hi = std::max(a[major], b[major]);
        const double from = std::max(lo, near[major][0]), to = std::min(hi, near[major][1]);
        if (from > to) continue;
        const auto piece = double(kPieceLength);
        for (double k = std::floor(from / piece); k * piece <= to; ++k) {
            double p[2], q[2];
            at(std::max(lo, k * piece), p);
            at(std::min(hi, (k + 1) * piece), q);
            if (std::max(p[minor], q[minor]) < near[minor][0] || std::min(p[minor], q[minor]) > near[minor][1])
                continue;
            cairo_move_to(cr, p[0] + double(s.ox), p[1] + double(s.oy));
            cairo_line_to(cr, q[0] + double(s.ox), q[1] + double(s.oy));
            cairo_stroke(cr);
        }
    }
    mask.Composite(*s.target, &s.pen, nullptr, nullptr, s.rop);
}

}  // namespace
}  // namespace tarvel::gdi

using namespace tarvel::gdi;

extern "C" {

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc) return FALSE;
    ShapeState s = Prepare(*dc);
    if (!s.target->readOnly) DrawRectangle(s, Normalised(s, left, top, right, bottom));
    return TRUE;
}

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc) return FALSE;
    ShapeState s = Prepare(*dc);
    bool drawn = DrawClosedFigure(s, Normalised(s, left, top, right, bottom),
                                  [](cairo_t* cr, double l, double t, double r, double b, double) {
                                      AddEllipse(cr, l, t, r, b);
                                  });
    return drawn ? TRUE : FALSE;
}

BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc) return FALSE;
    ShapeState s = Prepare(*dc);
    double rx = std::abs(double(width)) / 2, ry = std::abs(double(height)) / 2;
    bool drawn = DrawClosedFigure(
        s, Normalised(s, left, top, right, bottom),
        [rx, ry](cairo_t* cr, double l, double t, double r, double b, double inset) {
            AddRoundRect(cr, l, t, r, b, std::max(0.0, rx - inset), std::max(0.0, ry - inset));
        });
    return drawn ? TRUE : FALSE;
}

BOOL Polyline(HDC hdc, const POINT* apt, int cpt)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc || !apt || cpt < 2) return FALSE;
    ShapeState s = Prepare(*dc);
    if (!s.hasPen || s.target->readOnly) return TRUE;
    if (s.penWidth <= 1) {
        ThinLine line(s);
        for (int i = 1; i < cpt; ++i) {
            line.Segment(apt[i - 1].x + s.ox, apt[i - 1].y + s.oy, apt[i].x + s.ox,
                         apt[i].y + s.oy);
        }
    } else {
        DrawWidePolyline(s, apt, cpt);
    }
    return TRUE;
}

}  // extern "C"
