// The recorded PDC_ calls: each one is made complete as a DisplayRecord
// (parameters, copies and bounds) before the real platform call, and the
// record stays even when that call fails.
#include "render/RecordingState.h"

#include "platform/gdi/RecordingSupport.h"

#include <tarvel/gdi.h>

#include <algorithm>
#include <cstdlib>

namespace tarvel::render {
namespace {

// Width of the pen selected in the real device context: how far a shape's
// outline may reach beyond its rectangle.
std::int32_t PenWidth(HDC dc)
{
    LOGPEN pen{};
    HGDIOBJ current = GetCurrentObject(dc, OBJ_PEN);
    if (!current || GetObjectW(current, sizeof pen, &pen) != sizeof pen)
        return 0;
    return pen.lopnWidth.x;
}

DisplayRecord& Append(RecordingState& state, RecordKind kind, int slot, RecordParams params)
{
    state.list.push_back({kind, static_cast<std::uint32_t>(slot), std::move(params), {}});
    return state.list.back();
}

template <typename Result, typename Apply>
Result RecordState(RecordingState& state, HDC dc, RecordKind kind, std::uint32_t value, Result failure, Apply apply)
{
    int slot = LookupDc(state.dcs, dc);
    if (slot < 0)
        return failure;
    NoteFirstUse(state, slot, dc, false);
    Append(state, kind, slot, StateParams{value});
    return apply(dc, value);
}

BOOL RecordShape(RecordingState& state, HDC dc, RecordKind kind, ShapeParams shape)
{
    int slot = LookupDc(state.dcs, dc);
    if (slot < 0)
        return FALSE;
    const std::int64_t w = PenWidth(dc);
    NoteFirstUse(state, slot, dc, false);
    DisplayRecord& record = Append(state, kind, slot, shape);
    // Corners may come in either order: the shape is drawn between them.
    record.bounds = {Clamp32(std::min(shape.left, shape.right) - w), Clamp32(std::min(shape.top, shape.bottom) - w),
                     Clamp32(std::max(shape.left, shape.right) + w), Clamp32(std::max(shape.top, shape.bottom) + w)};
    switch (kind) {
    case RecordKind::Ellipse:
        return Ellipse(dc, shape.left, shape.top, shape.right, shape.bottom);
    case RecordKind::Rectangle:
        return Rectangle(dc, shape.left, shape.top, shape.right, shape.bottom);
    default:
        return RoundRect(dc, shape.left, shape.top, shape.right, shape.bottom, shape.cornerWidth, shape.cornerHeight);
    }
}

// The characters a counted text really has: up to its terminator when that
// comes first, so that a count larger than the text never reads past it.
// Nullopt for a text that cannot be copied (null with characters to read,
// or an absurd count).
std::optional<std::u16string> CopyText(LPCWSTR text, std::int64_t count)
{
    if (count > kMaxTextLength)
        return std::nullopt;
    if (count == 0)
        return std::u16string();
    if (!text)
        return std::nullopt;
    std::int64_t length = 0;
    const std::int64_t limit = count < 0 ? kMaxTextLength : count;
    while (length < limit && text[length] != 0)
        ++length;
    if (count < 0 && length == limit && text[length] != 0)
        return std::nullopt;
    return std::u16string(text, static_cast<std::size_t>(length));
}

// Where DrawText puts its text. The measured rectangle keeps the caller's
// left and top, but centred, right-aligned and bottom-aligned text is drawn
// elsewhere in the box; the bounds cover both places (with a pixel to
// spare for rounding), so that a band never misses part of the text.
RECT DrawTextBounds(const RECT& box, const RECT& measured, UINT format)
{
    const std::int64_t width = std::int64_t(measured.right) - measured.left;
    const std::int64_t height = std::int64_t(measured.bottom) - measured.top;
    if (width <= 0 || height <= 0)
        return measured;
    // Only an axis the alignment moves gets the spare pixel on each side.
    std::int64_t left = measured.left, top = measured.top;
    std::int64_t spareX = 0, spareY = 0;
    if (format & (DT_CENTER | DT_RIGHT)) {
        left = (format & DT_CENTER) ? (std::int64_t(box.left) + box.right - width) / 2 : std::int64_t(box.right) - width;
        spareX = 1;
    }
    if ((format & DT_SINGLELINE) && (format & (DT_VCENTER | DT_BOTTOM))) {
        top = (format & DT_VCENTER) ? (std::int64_t(box.top) + box.bottom - height) / 2
                                    : std::int64_t(box.bottom) - height;
        spareY = 1;
    }
    const RECT placed = {Clamp32(left - spareX), Clamp32(top - spareY), Clamp32(left + width + spareX),
                         Clamp32(top + height + spareY)};
    RECT bounds;
    UnionRect(&bounds, &measured, &placed);
    return bounds;
}

BOOL CopyBlit(RecordingState& state, HDC dc, RecordKind kind, BlitParams blit, HDC source)
{
    // Copies go onto the page only; the source may be the page itself or one
    // of the memory device contexts.
    if (LookupDc(state.dcs, dc) != 0)
        return FALSE;
    int sourceSlot = LookupDc(state.dcs, source);
    if (sourceSlot < 0)
        return FALSE;
    blit.sourceSlot = static_cast<std::uint32_t>(sourceSlot);
    NoteFirstUse(state, sourceSlot, source, false);
    DisplayRecord& record = Append(state, kind, 0, blit);
    // A negative size covers the other side of the point (mirrored in a
    // stretched copy).
    const std::int64_t farX = std::int64_t(blit.x) + blit.width, farY = std::int64_t(blit.y) + blit.height;
    record.bounds = {Clamp32(std::min<std::int64_t>(blit.x, farX)), Clamp32(std::min<std::int64_t>(blit.y, farY)),
                     Clamp32(std::max<std::int64_t>(blit.x, farX)), Clamp32(std::max<std::int64_t>(blit.y, farY))};
    if (kind == RecordKind::BitBlt)
        return BitBlt(dc, blit.x, blit.y, blit.width, blit.height, source, blit.sourceX, blit.sourceY, blit.rop);
    return StretchBlt(dc, blit.x, blit.y, blit.width, blit.height, source, blit.sourceX, blit.sourceY,
                      blit.sourceWidth, blit.sourceHeight, blit.rop);
}

}  // namespace

COLORREF RecordSetTextColor(RecordingState& state, HDC dc, COLORREF color)
{
    return RecordState<COLORREF>(state, dc, RecordKind::SetTextColor, color, CLR_INVALID,
                                 [](HDC d, std::uint32_t v) { return SetTextColor(d, v); });
}

COLORREF RecordSetBkColor(RecordingState& state, HDC dc, COLORREF color)
{
    return RecordState<COLORREF>(state, dc, RecordKind::SetBkColor, color, CLR_INVALID,
                                 [](HDC d, std::uint32_t v) { return SetBkColor(d, v); });
}

int RecordSetBkMode(RecordingState& state, HDC dc, int mode)
{
    return RecordState<int>(state, dc, RecordKind::SetBkMode, static_cast<std::uint32_t>(mode), 0,
                            [](HDC d, std::uint32_t v) { return SetBkMode(d, static_cast<int>(v)); });
}

int RecordSetROP2(RecordingState& state, HDC dc, int mode)
{
    return RecordState<int>(state, dc, RecordKind::SetROP2, static_cast<std::uint32_t>(mode), 0,
                            [](HDC d, std::uint32_t v) { return SetROP2(d, static_cast<int>(v)); });
}

HGDIOBJ RecordSelectObject(RecordingState& state, HDC dc, HGDIOBJ object)
{
    int slot = LookupDc(state.dcs, dc);
    if (slot < 0 || !object)
        return nullptr;
    NoteFirstUse(state, slot, dc, GetObjectType(object) == OBJ_BITMAP);
    Selection selection{};
    if (!ResolveSelection(state.tables, static_cast<std::uint32_t>(slot), dc, object, selection))
        return nullptr;
    Append(state, RecordKind::SelectObject, slot, SelectParams{selection.kind, selection.index});
    return SelectObject(dc, object);
}

BOOL RecordEllipse(RecordingState& state, HDC dc, int left, int top, int right, int bottom)
{
    return RecordShape(state, dc, RecordKind::Ellipse, {left, top, right, bottom, 0, 0});
}

BOOL RecordRectangle(RecordingState& state, HDC dc, int left, int top, int right, int bottom)
{
    return RecordShape(state, dc, RecordKind::Rectangle, {left, top, right, bottom, 0, 0});
}

BOOL RecordRoundRect(RecordingState& state, HDC dc, int left, int top, int right, int bottom, int width, int height)
{
    return RecordShape(state, dc, RecordKind::RoundRect, {left, top, right, bottom, width, height});
}

BOOL RecordPolyline(RecordingState& state, HDC dc, const POINT* points, int count)
{
    int slot = LookupDc(state.dcs, dc);
    if (slot < 0)
        return FALSE;
    if (count > kMaxPolylinePoints || (count > 0 && !points))
        return FALSE;
    PolylineParams params;
    params.count = count;
    if (count > 0)
        params.points.assign(points, points + count);
    std::int64_t margin = PenWidth(dc);
    if (margin == 0)
        margin = 1;
    RECT bounds{};
    for (int i = 1; i < count; ++i) {
        const POINT& a = points[i - 1];
        const POINT& b = points[i];
        RECT box = {Clamp32(std::int64_t(std::min(a.x, b.x)) - margin), Clamp32(std::int64_t(std::min(a.y, b.y)) - margin),
                    Clamp32(std::int64_t(std::max(a.x, b.x)) + margin), Clamp32(std::int64_t(std::max(a.y, b.y)) + margin)};
        RECT joined;
        UnionRect(&joined, &bounds, &box);
        bounds = joined;
    }
    NoteFirstUse(state, slot, dc, false);
    DisplayRecord& record = Append(state, RecordKind::Polyline, slot, std::move(params));
    record.bounds = bounds;
    return Polyline(dc, points, count);
}

int RecordDrawText(RecordingState& state, HDC dc, LPCWSTR text, int count, RECT* rect, UINT format)
{
    int slot = LookupDc(state.dcs, dc);
    if (slot < 0 || !rect)
        return 0;
    auto copy = CopyText(text, count < 0 ? -1 : count);
    if (!copy)
        return 0;
    // A counted text is stored with the characters it really has; a text
    // ended by its terminator keeps the count -1.
    const int storedCount = count < 0 ? -1 : static_cast<int>(copy->size());
    RECT measured = *rect;
    DrawTextW(dc, copy->c_str(), storedCount, &measured, format | DT_CALCRECT);
    // The measured box misses glyph ink that reaches past the cells and
    // text turned by its font; the graphics layer's own area covers both.
    const RECT area = tarvel::gdi::DrawTextArea(dc, copy->c_str(), storedCount, *rect, format);
    RECT bounds;
    const RECT box = DrawTextBounds(*rect, measured, format);
    UnionRect(&bounds, &box, &area);
    NoteFirstUse(state, slot, dc, false);
    DisplayRecord& record = Append(state, RecordKind::DrawText, slot,
                                   DrawTextParams{std::move(*copy), storedCount, *rect, format});
    record.bounds = bounds;
    const auto& params = std::get<DrawTextParams>(record.params);
    return DrawTextW(dc, params.text.c_str(), storedCount, rect, format);
}

BOOL RecordExtTextOut(RecordingState& state, HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text,
                      UINT count, const int* spacing)
{
    int slot = LookupDc(state.dcs, dc);
    if (slot < 0)
        return FALSE;
    auto copy = CopyText(text, count);
    if (!copy)
        return FALSE;
    const UINT length = static_cast<UINT>(copy->size());
    ExtTextOutParams params{x, y, options, std::nullopt, std::move(*copy), length, std::nullopt};
    if (rect)
        params.clip = *rect;
    if (spacing)
        params.spacing.emplace(spacing, spacing + length);

    SIZE size{};
    GetTextExtentExPointW(dc, params.text.c_str(), static_cast<int>(length), 0, nullptr, nullptr, &size);
    RECT bounds = {x, y, Clamp32(std::int64_t(x) + size.cx), Clamp32(std::int64_t(y) + size.cy)};
    if (rect) {
        if (options & ETO_OPAQUE) {
            bounds.right = std::max(bounds.right, rect->right);
            bounds.bottom = std::max(bounds.bottom, rect->bottom);
        } else if (options & ETO_CLIPPED) {
            bounds.right = std::min(bounds.right, rect->right);
            bounds.bottom = std::min(bounds.bottom, rect->bottom);
        }
    }
    // Turned text, spacing that runs backwards or wide, an opaque rectangle
    // on any side of the point and ink beyond the advances all reach past
    // the measured box; the graphics layer's own area covers them.
    const RECT area = tarvel::gdi::ExtTextOutArea(dc, x, y, options, rect, params.text.c_str(), length,
                                                  params.spacing ? params.spacing->data() : nullptr);
    RECT joined;
    UnionRect(&joined, &bounds, &area);
    NoteFirstUse(state, slot, dc, false);
    DisplayRecord& record = Append(state, RecordKind::ExtTextOut, slot, std::move(params));
    record.bounds = joined;
    const auto& stored = std::get<ExtTextOutParams>(record.params);
    return ExtTextOutW(dc, x, y, options, rect, stored.text.c_str(), length,
                       stored.spacing ? stored.spacing->data() : nullptr);
}

BOOL RecordBitBlt(RecordingState& state, HDC dc, int x, int y, int width, int height, HDC source, int sourceX,
                  int sourceY, DWORD rop)
{
    return CopyBlit(state, dc, RecordKind::BitBlt, {x, y, width, height, 0, sourceX, sourceY, 0, 0, rop}, source);
}

BOOL RecordStretchBlt(RecordingState& state, HDC dc, int x, int y, int width, int height, HDC source, int sourceX,
                      int sourceY, int sourceWidth, int sourceHeight, DWORD rop)
{
    return CopyBlit(state, dc, RecordKind::StretchBlt,
                    {x, y, width, height, 0, sourceX, sourceY, sourceWidth, sourceHeight, rop}, source);
}

HDC RecordCreateCompatibleDC(RecordingState& state, HDC dc)
{
    if (LookupDc(state.dcs, dc) < 0)
        return nullptr;
    HDC created = CreateCompatibleDC(dc);
    if (!created)
        return nullptr;
    if (!RegisterDc(state.dcs, created)) {
        // Nobody could ever delete a device context we do not register.
        DeleteDC(created);
        return nullptr;
    }
    return created;
}

BOOL RecordDeleteDC(RecordingState& state, HDC dc)
{
    int slot = LookupDc(state.dcs, dc);
    if (slot <= 0)
        return FALSE;
    // Records made on it are replayed at the end of the page; the page clear
    // deletes it.
    state.dcs.deletePending[slot] = 1;
    return TRUE;
}

BOOL MeasureTextMetrics(RecordingState& state, HDC dc, TEXTMETRICW* metrics)
{
    if (LookupDc(state.dcs, dc) < 0)
        return FALSE;
    return GetTextMetricsW(dc, metrics);
}

BOOL MeasureTextExtent(RecordingState& state, HDC dc, LPCWSTR text, int count, SIZE* size)
{
    if (LookupDc(state.dcs, dc) < 0)
        return FALSE;
    return GetTextExtentExPointW(dc, text, count, 0, nullptr, nullptr, size);
}

BOOL MeasureTextExtentEx(RecordingState& state, HDC dc, LPCWSTR text, int count, int maxExtent, int* fit,
                         int* extents, SIZE* size)
{
    if (LookupDc(state.dcs, dc) < 0)
        return FALSE;
    return GetTextExtentExPointW(dc, text, count, maxExtent, fit, extents, size);
}

}  // namespace tarvel::render
