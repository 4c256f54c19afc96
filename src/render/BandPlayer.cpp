#include "render/BandPlayer.h"

#include <tarvel/gdi.h>

#include <algorithm>
#include <cstdint>

namespace tarvel::render {
namespace {

// A temporary device context with a 24-bit bitmap, for a copy from the page
// onto itself: it receives the page as it stood before the copying record.
class PageSnapshot {
public:
    PageSnapshot(HDC compatible, int width, int height)
        : width(width)
        , height(height)
        , dc(CreateCompatibleDC(compatible))
        , bitmap(dc ? CreateDib24(dc, width, height) : nullptr)
        , kept(bitmap ? SelectObject(dc, bitmap) : nullptr)
    {
    }
    ~PageSnapshot()
    {
        if (kept)
            SelectObject(dc, kept);
        if (bitmap)
            DeleteObject(bitmap);
        if (dc)
            DeleteDC(dc);
    }
    PageSnapshot(const PageSnapshot&) = delete;
    PageSnapshot& operator=(const PageSnapshot&) = delete;

    // The page under a band starts white, so the snapshot does too: parts of
    // the copied area that no earlier record covered come out as blank paper.
    bool Ready() const { return kept != nullptr && PatBlt(dc, 0, 0, width, height, WHITENESS); }

    int width, height;
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ kept;
};

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

void PlayCopy(RecordingState& state, HDC dc, const DisplayRecord& record, const RECT& band, std::int64_t index)
{
    const BlitParams& blit = std::get<BlitParams>(record.params);
    RECT clip;
    if (!IntersectRect(&clip, &record.bounds, &band))
        return;
    // Only the part of the copy that falls into the band is made.
    // A source position beyond 32 bits lies off every bitmap; clamped, it
    // still does.
    const int sx = Clamp32(std::int64_t(clip.left) - record.bounds.left + blit.sourceX);
    const int sy = Clamp32(std::int64_t(clip.top) - record.bounds.top + blit.sourceY);
    const int w = clip.right - clip.left;
    const int h = clip.bottom - clip.top;
    if (blit.sourceSlot != 0) {
        BitBlt(dc, clip.left, clip.top, w, h, state.dcs.handles[blit.sourceSlot], sx, sy, blit.rop);
        return;
    }
    PageSnapshot snapshot(state.dcs.handles[0], w, h);
    if (!snapshot.Ready())
        return;
    ResetBandState(snapshot.dc);
    PlayBand(state, snapshot.dc, sx, sy, w, h, index);
    BitBlt(dc, clip.left, clip.top, w, h, snapshot.dc, 0, 0, blit.rop);
}

void PlayStretchedCopy(RecordingState& state, HDC dc, const DisplayRecord& record, const RECT& band,
    std::int64_t index)
{
    const BlitParams& blit = std::get<BlitParams>(record.params);
    RECT clip;
    if (!IntersectRect(&clip, &record.bounds, &band))
        return;
    // A stretched copy is drawn whole in every band it touches; the band
    // bitmap clips it.
    if (blit.sourceSlot != 0) {
        StretchBlt(dc, blit.x, blit.y, blit.width, blit.height, state.dcs.handles[blit.sourceSlot], blit.sourceX,
            blit.sourceY, blit.sourceWidth, blit.sourceHeight, blit.rop);
        return;
    }
    PageSnapshot snapshot(state.dcs.handles[0], blit.sourceWidth, blit.sourceHeight);
    if (!snapshot.Ready())
        return;
    ResetBandState(snapshot.dc);
    PlayBand(state, snapshot.dc, blit.sourceX, blit.sourceY, blit.sourceWidth, blit.sourceHeight, index);
    StretchBlt(dc, blit.x, blit.y, blit.width, blit.height, snapshot.dc, 0, 0, blit.sourceWidth, blit.sourceHeight,
        blit.rop);
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

}  // namespace

void ResetBandState(HDC dc)
{
    SetROP2(dc, R2_COPYPEN);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, OPAQUE);
}

void PlayBand(RecordingState& state, HDC target, int left, int top, int width, int height, std::int64_t stopIndex)
{
    // No page reaches to -2^31, so an area starting there (only the source
    // of a copy can) is blank paper; the viewport could not move there anyway.
    if (!state.dcs.handles[0] || left == INT32_MIN || top == INT32_MIN)
        return;
    ResetBandState(target);
    // Bands come from the page pipeline; clamping only keeps absurd numbers
    // from overflowing.
    const RECT band = {left, top, static_cast<LONG>(std::min<std::int64_t>(std::int64_t(left) + width, INT32_MAX)),
        static_cast<LONG>(std::min<std::int64_t>(std::int64_t(top) + height, INT32_MAX))};
    const HDC savedPrinterDc = state.dcs.handles[0];
    state.dcs.handles[0] = target;
    POINT savedOrigin {};
    SetViewportOrgEx(target, -left, -top, &savedOrigin);

    const std::int64_t end = stopIndex < 0 ? static_cast<std::int64_t>(state.list.size())
                                           : std::min<std::int64_t>(stopIndex, static_cast<std::int64_t>(state.list.size()));
    for (std::int64_t index = 0; index < end; ++index) {
        const DisplayRecord& record = state.list[static_cast<std::size_t>(index)];
        HDC dc = state.dcs.handles[record.slot];
        switch (record.kind) {
        case RecordKind::SetTextColor:
            SetTextColor(dc, std::get<StateParams>(record.params).value);
            break;
        case RecordKind::SetBkColor:
            SetBkColor(dc, std::get<StateParams>(record.params).value);
            break;
        case RecordKind::SetBkMode:
            SetBkMode(dc, static_cast<int>(std::get<StateParams>(record.params).value));
            break;
        case RecordKind::SetROP2:
            SetROP2(dc, static_cast<int>(std::get<StateParams>(record.params).value));
            break;
        case RecordKind::SelectObject:
            if (HGDIOBJ object = SelectedHandle(state.tables, std::get<SelectParams>(record.params)))
                SelectObject(dc, object);
            break;
        case RecordKind::BitBlt:
            PlayCopy(state, dc, record, band, index);
            break;
        case RecordKind::StretchBlt:
            PlayStretchedCopy(state, dc, record, band, index);
            break;
        default: {
            RECT overlap;
            if (IntersectRect(&overlap, &record.bounds, &band))
                PlayDrawing(dc, record);
            break;
        }
        }
    }

    state.dcs.handles[0] = savedPrinterDc;
    SetViewportOrgEx(target, savedOrigin.x, savedOrigin.y, nullptr);
}

}  // namespace tarvel::render
