#include "render/BandPlayer.h"

#include "platform/gdi/RecordingSupport.h"

#include <tarvel/gdi.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <memory>
#include <vector>

namespace tarvel::render {
namespace {

// How many records are drawn between two questions to keepPlaying.
constexpr std::int64_t kRecordsPerCheck = 32;
// Pixels of page state that copies of the page onto itself may keep for one
// band beyond the band itself; past it the band is drawn in parts.
constexpr std::int64_t kCanvasPixelBudget = std::int64_t(8) << 20;
std::optional<std::int64_t> canvasPixelLimit;

// Pixels of a rectangle; a 32-bit rectangle can hold more than 63 bits'
// worth, which saturates.
std::int64_t Area(const RECT& r)
{
    if (r.right <= r.left || r.bottom <= r.top)
        return 0;
    const auto area = static_cast<__int128>(std::int64_t(r.right) - r.left) * (std::int64_t(r.bottom) - r.top);
    return area > INT64_MAX ? INT64_MAX : static_cast<std::int64_t>(area);
}

RECT Joined(const RECT& a, const RECT& b)
{
    RECT joined;
    UnionRect(&joined, &a, &b);
    return joined;
}

RECT Overlap(const RECT& a, const RECT& b)
{
    RECT overlap{};
    IntersectRect(&overlap, &a, &b);
    return overlap;
}

bool Touches(const RECT& a, const RECT& b)
{
    RECT overlap;
    return IntersectRect(&overlap, &a, &b) != FALSE;
}

bool IsCopy(RecordKind kind)
{
    return kind == RecordKind::BitBlt || kind == RecordKind::StretchBlt;
}

// Whether a raster operation reads its source: its truth table differs
// between source 0 and source 1 somewhere.
bool UsesSource(DWORD rop)
{
    const unsigned table = (rop >> 16) & 0xFF;
    return (((table >> 2) ^ table) & 0x33) != 0;
}

// A copy from the page onto itself that needs the page's earlier state.
bool IsSelfCopy(const DisplayRecord& record)
{
    if (record.slot != 0 || !IsCopy(record.kind))
        return false;
    const BlitParams& blit = std::get<BlitParams>(record.params);
    return blit.sourceSlot == 0 && UsesSource(blit.rop);
}

// One axis of a stretched copy as the graphics layer maps it: destination
// position i (from the destination's lower end) reads the source pixel
// whose centre is nearest, mirrored when the two sizes differ in sign.
struct StretchAxis {
    std::int64_t dstStart, dstLength, srcStart, srcLength;
    bool mirror;

    StretchAxis(std::int64_t origin, std::int64_t size, std::int64_t srcOrigin, std::int64_t srcSize)
        : dstStart(size < 0 ? origin + size : origin)
        , dstLength(size < 0 ? -size : size)
        , srcStart(srcSize < 0 ? srcOrigin + srcSize : srcOrigin)
        , srcLength(srcSize < 0 ? -srcSize : srcSize)
        , mirror((size < 0) != (srcSize < 0))
    {
    }

    std::int64_t Map(std::int64_t i) const
    {
        const auto offset = static_cast<std::int64_t>(
            (static_cast<__int128>(2 * i + 1) * srcLength) / (2 * static_cast<__int128>(dstLength)));
        return mirror ? srcStart + srcLength - 1 - offset : srcStart + offset;
    }

    // The source pixels that destination positions from..to-1 (page
    // coordinates) read.
    std::pair<std::int64_t, std::int64_t> Sources(std::int64_t from, std::int64_t to) const
    {
        const std::int64_t a = Map(from - dstStart), b = Map(to - 1 - dstStart);
        return {std::min(a, b), std::max(a, b) + 1};
    }
};

// The part of the page a copy reads to draw into area; empty when it
// draws nothing there.
RECT SourceNeeded(const DisplayRecord& record, const RECT& area)
{
    const BlitParams& blit = std::get<BlitParams>(record.params);
    const RECT drawn = Overlap(record.bounds, area);
    if (Area(drawn) == 0)
        return {};
    if (record.kind == RecordKind::BitBlt) {
        // Both rectangles have the same size and sign, so the copy is a
        // shift from the destination's lower corner to the source's.
        const std::int64_t dx = std::int64_t(std::min<std::int64_t>(blit.sourceX, std::int64_t(blit.sourceX) + blit.width))
            - record.bounds.left;
        const std::int64_t dy = std::int64_t(std::min<std::int64_t>(blit.sourceY, std::int64_t(blit.sourceY) + blit.height))
            - record.bounds.top;
        return {Clamp32(drawn.left + dx), Clamp32(drawn.top + dy), Clamp32(drawn.right + dx), Clamp32(drawn.bottom + dy)};
    }
    if (blit.sourceWidth == 0 || blit.sourceHeight == 0)
        return {};
    const StretchAxis across(blit.x, blit.width, blit.sourceX, blit.sourceWidth);
    const StretchAxis down(blit.y, blit.height, blit.sourceY, blit.sourceHeight);
    const auto [left, right] = across.Sources(drawn.left, drawn.right);
    const auto [top, bottom] = down.Sources(drawn.top, drawn.bottom);
    return {Clamp32(left), Clamp32(top), Clamp32(right), Clamp32(bottom)};
}

HGDIOBJ SelectedHandle(const ObjectTables& tables, const SelectParams& select)
{
    switch (select.objectKind) {
    case OBJ_PEN:
        return GetHandle(tables.pens, select.index);
    case OBJ_BRUSH:
        return GetHandle(tables.brushes, select.index);
    case OBJ_FONT:
        return GetHandle(tables.fonts, select.index);
    case OBJ_BITMAP:
        return GetHandle(tables.bitmaps, select.index);
    default:
        return nullptr;
    }
}

void PlayState(HDC dc, const DisplayRecord& record)
{
    const std::uint32_t value = std::get<StateParams>(record.params).value;
    switch (record.kind) {
    case RecordKind::SetTextColor:
        SetTextColor(dc, value);
        break;
    case RecordKind::SetBkColor:
        SetBkColor(dc, value);
        break;
    case RecordKind::SetBkMode:
        SetBkMode(dc, static_cast<int>(value));
        break;
    default:
        SetROP2(dc, static_cast<int>(value));
        break;
    }
}

void PlayDrawing(HDC dc, const DisplayRecord& record)
{
    switch (record.kind) {
    case RecordKind::DrawText: {
        const auto& p = std::get<DrawTextParams>(record.params);
        RECT rect = p.rect;
        DrawTextW(dc, p.text.c_str(), p.count, &rect, p.format);
        break;
    }
    case RecordKind::Ellipse: {
        const auto& p = std::get<ShapeParams>(record.params);
        Ellipse(dc, p.left, p.top, p.right, p.bottom);
        break;
    }
    case RecordKind::Rectangle: {
        const auto& p = std::get<ShapeParams>(record.params);
        Rectangle(dc, p.left, p.top, p.right, p.bottom);
        break;
    }
    case RecordKind::RoundRect: {
        const auto& p = std::get<ShapeParams>(record.params);
        RoundRect(dc, p.left, p.top, p.right, p.bottom, p.cornerWidth, p.cornerHeight);
        break;
    }
    case RecordKind::ExtTextOut: {
        const auto& p = std::get<ExtTextOutParams>(record.params);
        ExtTextOutW(dc, p.x, p.y, p.options, p.clip ? &*p.clip : nullptr, p.text.c_str(), p.count,
                    p.spacing ? p.spacing->data() : nullptr);
        break;
    }
    case RecordKind::Polyline: {
        const auto& p = std::get<PolylineParams>(record.params);
        Polyline(dc, p.points.data(), p.count);
        break;
    }
    default:
        break;
    }
}

// A device context and a bitmap of our own, white like blank paper, whose
// viewport is set so that page coordinates land on it.
class Scratch {
public:
    Scratch(HDC compatible, const RECT& region)
        : region(region)
        , dc(CreateCompatibleDC(compatible))
        , bitmap(dc ? CreateDib24(dc, region.right - region.left, region.bottom - region.top) : nullptr)
        , kept(bitmap ? SelectObject(dc, bitmap) : nullptr)
    {
        if (!kept)
            return;
        PatBlt(dc, 0, 0, region.right - region.left, region.bottom - region.top, WHITENESS);
        SetViewportOrgEx(dc, -region.left, -region.top, nullptr);
    }
    ~Scratch()
    {
        if (kept)
            SelectObject(dc, kept);
        if (bitmap)
            DeleteObject(bitmap);
        if (dc)
            DeleteDC(dc);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    bool Ready() const { return kept != nullptr; }

    RECT region;
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ kept;
};

// A place the page is drawn into during one walk: the band itself, or an
// area of the page that copies of the page onto itself read. Every record
// is drawn into every place it touches, in order, so each place holds the
// page as it stands at any record, and a copy reads its source from there.
struct Canvas {
    RECT region;  // page area it holds
    HDC dc = nullptr;
    std::unique_ptr<Scratch> scratch;  // for all but the band
};

// The areas of the page that copies onto itself read for this band. Walking
// back from the end, a copy whose destination meets the band or an area
// already needed needs the part of the page it reads there; the copies
// before it then have to keep that part right too. Overlapping areas are
// joined, so nested copies of one area share one place and every record is
// drawn once per place, however deeply the copies nest.
std::vector<Canvas> PlanCanvases(const DisplayList& list, std::int64_t end, const RECT& page, const RECT& band)
{
    std::vector<Canvas> canvases;
    canvases.push_back({band, nullptr, nullptr});
    for (std::int64_t index = end - 1; index >= 0; --index) {
        const DisplayRecord& record = list[static_cast<std::size_t>(index)];
        if (!IsSelfCopy(record))
            continue;
        RECT needed{};
        for (const Canvas& canvas : canvases)
            needed = Joined(needed, SourceNeeded(record, canvas.region));
        needed = Overlap(needed, page);
        if (Area(needed) == 0)
            continue;
        // Joined with every area (but the band's own) it meets, until it
        // meets none.
        for (bool joined = true; joined;) {
            joined = false;
            for (std::size_t i = 1; i < canvases.size(); ++i) {
                if (Touches(canvases[i].region, needed)) {
                    needed = Joined(needed, canvases[i].region);
                    canvases.erase(canvases.begin() + static_cast<std::ptrdiff_t>(i));
                    joined = true;
                    break;
                }
            }
        }
        canvases.push_back({needed, nullptr, nullptr});
    }
    return canvases;
}

// A band cut in two across its longer side.
std::pair<RECT, RECT> Halves(const RECT& band)
{
    RECT first = band, second = band;
    if (std::int64_t(band.right) - band.left >= std::int64_t(band.bottom) - band.top)
        first.right = second.left = static_cast<LONG>(band.left + (std::int64_t(band.right) - band.left) / 2);
    else
        first.bottom = second.top = static_cast<LONG>(band.top + (std::int64_t(band.bottom) - band.top) / 2);
    return {first, second};
}

std::int64_t CanvasPixels(const std::vector<Canvas>& canvases)
{
    std::int64_t pixels = 0;
    for (std::size_t i = 1; i < canvases.size(); ++i)
        pixels = std::min<std::int64_t>(pixels, INT64_MAX - Area(canvases[i].region)) + Area(canvases[i].region);
    return pixels;
}

// The same bitmap again in a new bitmap of our own.
HBITMAP Duplicate(HDC scratch, HBITMAP original)
{
    BITMAP info{};
    if (GetObjectW(original, sizeof info, &info) < static_cast<int>(sizeof info))
        return nullptr;
    HBITMAP copy = CreateDib24(scratch, info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight);
    if (!copy)
        return nullptr;
    HGDIOBJ kept = SelectObject(scratch, copy);
    tarvel::gdi::CopyBitmapPixels(scratch, original);
    SelectObject(scratch, kept);
    return copy;
}

class Walk {
public:
    Walk(RecordingState& state, const RECT& page, std::int64_t end, const KeepPlaying& keepPlaying)
        : state(state)
        , page(page)
        , end(end)
        , keepPlaying(keepPlaying)
    {
    }

    // Draws the records into target, whose viewport maps page coordinates
    // onto the band's bitmap.
    bool Play(HDC target, const RECT& band);

private:
    bool PlayInParts(HDC target, const RECT& band);
    bool PlayWhole(HDC target);
    void PlayOnMemoryDc(const DisplayRecord& record, std::int64_t index);
    void PlayOnPage(const DisplayRecord& record);
    void PlayCopy(const DisplayRecord& record);
    void CopyInto(const Canvas& canvas, const DisplayRecord& record, HDC source);
    void MarkBitmapsDrawnOn();
    void StartMemoryDcs();
    void ReleaseWorkingCopies();

    RecordingState& state;
    RECT page;
    std::int64_t end;
    const KeepPlaying& keepPlaying;
    std::vector<Canvas> canvases;
    // Bitmap selections on memory device contexts whose bitmap is drawn on
    // afterwards: those get a working copy in every walk, so that the
    // library's copy stays as it was selected and a band never draws on
    // what an earlier band drew.
    std::vector<bool> drawnOn;
    std::array<bool, kDcSlots> drawnBeforeSelection{};
    std::array<HGDIOBJ, kDcSlots> heldBitmaps{};
    std::vector<std::pair<HBITMAP, HGDIOBJ>> workingCopies;  // copy, the table's bitmap
    HDC scratchDc = nullptr;
};

bool Walk::Play(HDC target, const RECT& band)
{
    canvases = PlanCanvases(state.list, end, page, band);
    const std::int64_t budget = canvasPixelLimit ? *canvasPixelLimit : std::max(kCanvasPixelBudget, Area(band));
    const std::int64_t pixels = CanvasPixels(canvases);
    if (pixels > budget && Area(band) > 1) {
        // Only worth it when the parts need clearly less: a copy that
        // shrinks the whole page into a few pixels needs the whole page
        // however small the part, and splitting on would only multiply
        // the walks. The page state then stays within the page.
        const auto [first, second] = Halves(band);
        const std::int64_t most = std::max(CanvasPixels(PlanCanvases(state.list, end, page, first)),
                                           CanvasPixels(PlanCanvases(state.list, end, page, second)));
        if (most <= pixels / 4 * 3)
            return PlayInParts(target, band);
    }
    canvases[0].dc = target;
    for (std::size_t i = 1; i < canvases.size(); ++i) {
        canvases[i].scratch = std::make_unique<Scratch>(target, canvases[i].region);
        canvases[i].dc = canvases[i].scratch->Ready() ? canvases[i].scratch->dc : nullptr;
        if (canvases[i].dc)
            ResetBandState(canvases[i].dc);
    }
    const bool finished = PlayWhole(target);
    canvases.clear();
    return finished;
}

// Too much earlier page state for one band: each half of it needs less.
// The halves are drawn on bitmaps of their own, so that no drawing
// reaches the target twice.
bool Walk::PlayInParts(HDC target, const RECT& band)
{
    canvases.clear();
    const auto [first, second] = Halves(band);
    for (const RECT& part : {first, second}) {
        Scratch piece(target, part);
        if (!piece.Ready())
            continue;
        const int w = part.right - part.left, h = part.bottom - part.top;
        BitBlt(piece.dc, part.left, part.top, w, h, target, part.left, part.top, SRCCOPY);
        ResetBandState(piece.dc);
        if (!Play(piece.dc, part))
            return false;
        BitBlt(target, part.left, part.top, w, h, piece.dc, part.left, part.top, SRCCOPY);
    }
    return true;
}

bool Walk::PlayWhole(HDC target)
{
    MarkBitmapsDrawnOn();
    scratchDc = CreateCompatibleDC(target);
    StartMemoryDcs();
    bool finished = true;
    for (std::int64_t index = 0; index < end; ++index) {
        if (keepPlaying && index % kRecordsPerCheck == 0 && !keepPlaying()) {
            finished = false;
            break;
        }
        const DisplayRecord& record = state.list[static_cast<std::size_t>(index)];
        if (record.slot >= static_cast<std::uint32_t>(kDcSlots))
            continue;
        if (record.slot != 0)
            PlayOnMemoryDc(record, index);
        else
            PlayOnPage(record);
    }
    ReleaseWorkingCopies();
    if (scratchDc)
        DeleteDC(scratchDc);
    scratchDc = nullptr;
    return finished;
}

// Every memory device context starts the walk as it stood when the page
// first used it; what it holds now (the application's bitmap, as the
// recording left it) it gets back at the end.
void Walk::StartMemoryDcs()
{
    for (int slot = 1; slot < kDcSlots; ++slot) {
        HDC dc = state.dcs.handles[slot];
        const RecordingState::SlotStart& start = state.starts[static_cast<std::size_t>(slot)];
        heldBitmaps[static_cast<std::size_t>(slot)] = dc ? GetCurrentObject(dc, OBJ_BITMAP) : nullptr;
        if (!dc || !start.seen)
            continue;
        SetTextColor(dc, start.textColor);
        SetBkColor(dc, start.bkColor);
        SetBkMode(dc, start.bkMode);
        SetROP2(dc, start.rop2);
        if (!start.bitmap)
            continue;
        HGDIOBJ bitmap = start.bitmap;
        if (drawnBeforeSelection[static_cast<std::size_t>(slot)] && scratchDc) {
            if (HBITMAP copy = Duplicate(scratchDc, start.bitmap)) {
                workingCopies.emplace_back(copy, bitmap);
                bitmap = copy;
            }
        }
        SelectObject(dc, bitmap);
    }
}

void Walk::MarkBitmapsDrawnOn()
{
    drawnOn.assign(static_cast<std::size_t>(end), false);
    drawnBeforeSelection.fill(false);
    std::vector<std::int64_t> lastBitmap(kDcSlots, -1);
    for (std::int64_t index = 0; index < end; ++index) {
        const DisplayRecord& record = state.list[static_cast<std::size_t>(index)];
        if (record.slot == 0 || record.slot >= static_cast<std::uint32_t>(kDcSlots))
            continue;
        if (record.kind == RecordKind::SelectObject) {
            if (std::get<SelectParams>(record.params).objectKind == OBJ_BITMAP)
                lastBitmap[record.slot] = index;
        } else if (IsDrawing(record.kind) && lastBitmap[record.slot] >= 0) {
            drawnOn[static_cast<std::size_t>(lastBitmap[record.slot])] = true;
        } else if (IsDrawing(record.kind)) {
            drawnBeforeSelection[record.slot] = true;
        }
    }
}

// Records on a memory device context draw in the bitmap's own coordinates,
// so the band never culls them: every band needs the bitmap as complete as
// it was when the page copied from it.
void Walk::PlayOnMemoryDc(const DisplayRecord& record, std::int64_t index)
{
    HDC dc = state.dcs.handles[record.slot];
    if (!dc)
        return;
    switch (record.kind) {
    case RecordKind::SetTextColor:
    case RecordKind::SetBkColor:
    case RecordKind::SetBkMode:
    case RecordKind::SetROP2:
        PlayState(dc, record);
        break;
    case RecordKind::SelectObject: {
        const auto& select = std::get<SelectParams>(record.params);
        HGDIOBJ object = SelectedHandle(state.tables, select);
        if (!object)
            break;
        if (select.objectKind == OBJ_BITMAP && drawnOn[static_cast<std::size_t>(index)] && scratchDc) {
            if (HBITMAP copy = Duplicate(scratchDc, static_cast<HBITMAP>(object))) {
                workingCopies.emplace_back(copy, object);
                object = copy;
            }
        }
        SelectObject(dc, object);
        break;
    }
    default:
        if (IsDrawing(record.kind) && !IsCopy(record.kind))
            PlayDrawing(dc, record);
        break;
    }
}

void Walk::PlayOnPage(const DisplayRecord& record)
{
    switch (record.kind) {
    case RecordKind::SetTextColor:
    case RecordKind::SetBkColor:
    case RecordKind::SetBkMode:
    case RecordKind::SetROP2:
        for (const Canvas& canvas : canvases) {
            if (canvas.dc)
                PlayState(canvas.dc, record);
        }
        break;
    case RecordKind::SelectObject:
        if (HGDIOBJ object = SelectedHandle(state.tables, std::get<SelectParams>(record.params))) {
            for (const Canvas& canvas : canvases) {
                if (canvas.dc)
                    SelectObject(canvas.dc, object);
            }
        }
        break;
    case RecordKind::BitBlt:
    case RecordKind::StretchBlt:
        PlayCopy(record);
        break;
    default:
        if (!IsDrawing(record.kind))
            break;
        for (const Canvas& canvas : canvases) {
            if (canvas.dc && Touches(record.bounds, canvas.region))
                PlayDrawing(canvas.dc, record);
        }
        break;
    }
}

void Walk::PlayCopy(const DisplayRecord& record)
{
    const BlitParams& blit = std::get<BlitParams>(record.params);
    if (blit.sourceSlot != 0 || !IsSelfCopy(record)) {
        HDC source = nullptr;
        if (blit.sourceSlot != 0 && blit.sourceSlot < static_cast<std::uint32_t>(kDcSlots))
            source = state.dcs.handles[blit.sourceSlot];
        for (const Canvas& canvas : canvases) {
            if (canvas.dc)
                CopyInto(canvas, record, source);
        }
        return;
    }
    // From the page onto itself: each place's source is gathered from the
    // places that hold it before any place is written, so every part reads
    // the page as it stood before the copy. Only the page's own area is
    // gathered; what the copy would read beyond it is not there to read.
    std::vector<std::unique_ptr<Scratch>> sources(canvases.size());
    for (std::size_t i = 0; i < canvases.size(); ++i) {
        if (!canvases[i].dc)
            continue;
        const RECT needed = Overlap(SourceNeeded(record, canvases[i].region), page);
        if (Area(needed) == 0)
            continue;
        auto gathered = std::make_unique<Scratch>(canvases[i].dc, needed);
        if (!gathered->Ready())
            continue;
        // The other places never overlap one another, but may overlap the
        // band, and hold the page right only where and while something
        // reads them; the band is right throughout, so it is read last.
        for (std::size_t k = 1; k <= canvases.size(); ++k) {
            const Canvas& from = canvases[k % canvases.size()];
            const RECT part = Overlap(from.region, needed);
            if (from.dc && Area(part) > 0)
                BitBlt(gathered->dc, part.left, part.top, part.right - part.left, part.bottom - part.top, from.dc,
                       part.left, part.top, SRCCOPY);
        }
        sources[i] = std::move(gathered);
    }
    for (std::size_t i = 0; i < canvases.size(); ++i) {
        if (sources[i])
            CopyInto(canvases[i], record, sources[i]->dc);
    }
}

void Walk::CopyInto(const Canvas& canvas, const DisplayRecord& record, HDC source)
{
    const BlitParams& blit = std::get<BlitParams>(record.params);
    const RECT clip = Overlap(record.bounds, canvas.region);
    if (Area(clip) == 0)
        return;
    if (record.kind == RecordKind::StretchBlt) {
        // Drawn whole; the bitmap clips it, and the source's bitmap leaves
        // out what lies beyond the page state it holds.
        StretchBlt(canvas.dc, blit.x, blit.y, blit.width, blit.height, source, blit.sourceX, blit.sourceY,
                   blit.sourceWidth, blit.sourceHeight, blit.rop);
        return;
    }
    // Only the part that falls into this place is made, read from the
    // matching offset of the source. A negative size copies the rectangle
    // on the other side of the point, unmirrored.
    const std::int64_t sourceLeft = std::min<std::int64_t>(blit.sourceX, std::int64_t(blit.sourceX) + blit.width);
    const std::int64_t sourceTop = std::min<std::int64_t>(blit.sourceY, std::int64_t(blit.sourceY) + blit.height);
    const int sx = Clamp32(sourceLeft + clip.left - record.bounds.left);
    const int sy = Clamp32(sourceTop + clip.top - record.bounds.top);
    BitBlt(canvas.dc, clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top, source, sx, sy, blit.rop);
}

void Walk::ReleaseWorkingCopies()
{
    // The memory device contexts get back what they held before the walk,
    // so the next band, and the next page, find them as the recording left
    // them, and no copy of ours stays selected.
    for (int slot = 1; slot < kDcSlots; ++slot) {
        HDC dc = state.dcs.handles[slot];
        if (dc && heldBitmaps[static_cast<std::size_t>(slot)])
            SelectObject(dc, heldBitmaps[static_cast<std::size_t>(slot)]);
    }
    for (const auto& working : workingCopies)
        DeleteObject(working.first);
    workingCopies.clear();
}

bool PlayWalk(RecordingState& state, HDC target, const RECT& page, const RECT& band, std::int64_t stopIndex,
              const KeepPlaying& keepPlaying)
{
    if (!state.dcs.handles[0] || Area(band) == 0)
        return true;
    // The band starts as a fresh printer DC does, whatever an earlier band
    // left selected.
    ResetBandState(target);
    SelectObject(target, GetStockObject(BLACK_PEN));
    SelectObject(target, GetStockObject(WHITE_BRUSH));
    SelectObject(target, GetStockObject(SYSTEM_FONT));
    const HDC savedPrinterDc = state.dcs.handles[0];
    state.dcs.handles[0] = target;
    POINT savedOrigin{};
    SetViewportOrgEx(target, -band.left, -band.top, &savedOrigin);

    const auto size = static_cast<std::int64_t>(state.list.size());
    const std::int64_t end = stopIndex < 0 ? size : std::min(stopIndex, size);
    Walk walk(state, page, end, keepPlaying);
    const bool finished = walk.Play(target, band);

    state.dcs.handles[0] = savedPrinterDc;
    SetViewportOrgEx(target, savedOrigin.x, savedOrigin.y, nullptr);
    return finished;
}

}  // namespace

void ResetBandState(HDC dc)
{
    SetROP2(dc, R2_COPYPEN);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, OPAQUE);
}

namespace {

bool IsBlackOrWhite(COLORREF color)
{
    return color == RGB(0, 0, 0) || color == RGB(255, 255, 255);
}

}  // namespace

bool PageIsBilevel(const RecordingState& state)
{
    for (const DisplayRecord& record : state.list) {
        if (record.slot != 0)
            return false;
        switch (record.kind) {
        case RecordKind::SetTextColor:
        case RecordKind::SetBkColor:
            if (!IsBlackOrWhite(std::get<StateParams>(record.params).value))
                return false;
            break;
        case RecordKind::BitBlt:
        case RecordKind::StretchBlt:
            return false;
        case RecordKind::SelectObject: {
            // What the band selects is the library's copy, so that is what
            // is asked.
            const auto& select = std::get<SelectParams>(record.params);
            HGDIOBJ object = SelectedHandle(state.tables, select);
            LOGPEN pen{};
            LOGBRUSH brush{};
            if (!object || select.objectKind == OBJ_FONT)
                break;
            if (select.objectKind == OBJ_PEN && GetObjectW(object, sizeof pen, &pen) == sizeof pen
                && IsBlackOrWhite(pen.lopnColor))
                break;
            if (select.objectKind == OBJ_BRUSH && GetObjectW(object, sizeof brush, &brush) == sizeof brush
                && (brush.lbStyle == BS_NULL || (brush.lbStyle == BS_SOLID && IsBlackOrWhite(brush.lbColor))))
                break;
            return false;
        }
        default:
            break;
        }
    }
    return true;
}

namespace hooks {
void LimitPageStatePixels(std::optional<std::int64_t> pixels)
{
    canvasPixelLimit = pixels;
}
}  // namespace hooks

bool PlayBand(RecordingState& state, HDC target, const RECT& page, const RECT& band, const KeepPlaying& keepPlaying)
{
    return PlayWalk(state, target, page, band, -1, keepPlaying);
}

void PlayBand(RecordingState& state, HDC target, int left, int top, int width, int height, std::int64_t stopIndex)
{
    // Bands come from the page pipeline; clamping only keeps absurd numbers
    // from overflowing.
    const RECT band = {left, top, Clamp32(std::int64_t(left) + std::max(width, 0)),
                       Clamp32(std::int64_t(top) + std::max(height, 0))};
    const RECT page = {0, 0, INT32_MAX, INT32_MAX};
    PlayWalk(state, target, page, band, stopIndex, {});
}

}  // namespace tarvel::render
