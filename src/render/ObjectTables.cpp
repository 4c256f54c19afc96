#include "render/ObjectTables.h"

#include "platform/gdi/RecordingSupport.h"

#include <tarvel/gdi.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace tarvel::render {
namespace {

// Makes room for one more entry: the capacity grows by ten, the entries in
// use are kept, the new handle slots are null.
template <typename Table>
bool Grow(Table& table)
{
    if (table.count < table.capacity)
        return true;
    if (table.capacity > std::numeric_limits<std::int32_t>::max() - kTableStep)
        return false;
    const std::int32_t capacity = table.capacity + kTableStep;
    std::unique_ptr<HGDIOBJ[]> handles(new (std::nothrow) HGDIOBJ[capacity]());
    if (!handles)
        return false;
    if (table.count)
        std::copy_n(table.handles.get(), table.count, handles.get());
    if constexpr (requires { table.descriptions; }) {
        using Description = std::remove_reference_t<decltype(table.descriptions[0])>;
        std::unique_ptr<Description[]> descriptions(new (std::nothrow) Description[capacity]());
        if (!descriptions)
            return false;
        if (table.count)
            std::copy_n(table.descriptions.get(), table.count, descriptions.get());
        table.descriptions = std::move(descriptions);
    }
    table.handles = std::move(handles);
    table.capacity = capacity;
    return true;
}

template <typename Description, typename Same, typename Create>
std::int32_t FindOrAdd(ObjectTable<Description>& table, const Description& description, Same same, Create create)
{
    if (!Grow(table))
        return -1;
    for (std::int32_t i = 0; i < table.count; ++i) {
        if (same(table.descriptions[i], description))
            return i;
    }
    table.handles[table.count] = create(description);
    table.descriptions[table.count] = description;
    return table.count++;
}

// Face names compare as the platform's case-insensitive wide comparison
// does for the scripts font names use: ASCII and Latin-1 letters fold.
char16_t FoldCase(char16_t c)
{
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<char16_t>(c + 0x20);
    return c;
}

bool SameFaceName(const WCHAR (&a)[LF_FACESIZE], const WCHAR (&b)[LF_FACESIZE])
{
    for (int i = 0; i < LF_FACESIZE; ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
        if (a[i] == 0)
            return true;
    }
    return true;
}

HGDIOBJ CreateBrushFrom(const LOGBRUSH& brush)
{
    switch (brush.lbStyle) {
    case BS_SOLID:
        return CreateSolidBrush(brush.lbColor);
    case BS_NULL:
        return GetStockObject(NULL_BRUSH);
    case BS_PATTERN:
    case BS_DIBPATTERN:
    case BS_DIBPATTERN8X8:
    case BS_MONOPATTERN:
        return CreatePatternBrush(reinterpret_cast<HBITMAP>(brush.lbHatch));
    case BS_DIBPATTERNPT:
        return CreateDIBPatternBrushPt(reinterpret_cast<const void*>(brush.lbHatch), brush.lbColor);
    default:
        return nullptr;
    }
}

template <typename Table>
HGDIOBJ HandleAt(const Table& table, std::int32_t index)
{
    if (index < 0 || index >= table.count)
        return nullptr;
    return table.handles[index];
}

template <typename Table>
void ClearHandles(Table& table)
{
    for (std::int32_t i = 0; i < table.count; ++i) {
        if (table.handles[i])
            DeleteObject(table.handles[i]);
    }
    if (table.capacity)
        std::fill_n(table.handles.get(), table.capacity, nullptr);
    table.count = 0;
}

template <typename Table>
void DestroyTable(Table& table)
{
    ClearHandles(table);
    table.handles.reset();
    if constexpr (requires { table.descriptions; })
        table.descriptions.reset();
    table.capacity = 0;
}

}  // namespace

std::int32_t FindOrAddBrush(BrushTable& table, LOGBRUSH brush)
{
    return FindOrAdd(
        table, brush,
        [](const LOGBRUSH& a, const LOGBRUSH& b) {
            return a.lbColor == b.lbColor && a.lbHatch == b.lbHatch && a.lbStyle == b.lbStyle;
        },
        CreateBrushFrom);
}

std::int32_t FindOrAddPen(PenTable& table, LOGPEN pen)
{
    return FindOrAdd(
        table, pen,
        [](const LOGPEN& a, const LOGPEN& b) {
            return a.lopnColor == b.lopnColor && a.lopnStyle == b.lopnStyle && a.lopnWidth.x == b.lopnWidth.x
                && a.lopnWidth.y == b.lopnWidth.y;
        },
        [](const LOGPEN& description) -> HGDIOBJ { return CreatePenIndirect(&description); });
}

std::int32_t FindOrAddFont(FontTable& table, LOGFONTW font)
{
    return FindOrAdd(
        table, font,
        [](const LOGFONTW& a, const LOGFONTW& b) {
            return a.lfHeight == b.lfHeight && a.lfWidth == b.lfWidth && a.lfWeight == b.lfWeight
                && a.lfCharSet == b.lfCharSet && a.lfUnderline == b.lfUnderline && a.lfStrikeOut == b.lfStrikeOut
                && a.lfItalic == b.lfItalic && a.lfQuality == b.lfQuality
                && a.lfPitchAndFamily == b.lfPitchAndFamily && a.lfOutPrecision == b.lfOutPrecision
                && a.lfOrientation == b.lfOrientation && a.lfEscapement == b.lfEscapement
                && a.lfClipPrecision == b.lfClipPrecision && SameFaceName(a.lfFaceName, b.lfFaceName);
        },
        [](const LOGFONTW& description) -> HGDIOBJ { return CreateFontIndirectW(&description); });
}

HBITMAP CreateDib24(HDC dc, std::int32_t width, std::int32_t height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // positive: bottom-up rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

std::int32_t AddBitmapCopy(BitmapTable& table, HDC dc, HBITMAP bitmap, std::int32_t width, std::int32_t height)
{
    if (!Grow(table))
        return -1;
    HDC copy = CreateCompatibleDC(dc);
    HBITMAP dib = copy ? CreateDib24(copy, width, height) : nullptr;
    table.handles[table.count] = dib;
    HGDIOBJ copyKept = dib ? SelectObject(copy, dib) : nullptr;
    // Read from the bitmap's pixels rather than through a device context of
    // its own: the application may have it selected already (often into
    // the very device context it selects it into again), and a bitmap is
    // selected into one device context at a time.
    if (copyKept)
        tarvel::gdi::CopyBitmapPixels(copy, bitmap);
    if (copyKept)
        SelectObject(copy, copyKept);
    if (copy)
        DeleteDC(copy);
    return table.count++;
}

HGDIOBJ GetHandle(const BrushTable& table, std::int32_t index)
{
    return HandleAt(table, index);
}
HGDIOBJ GetHandle(const PenTable& table, std::int32_t index)
{
    return HandleAt(table, index);
}
HGDIOBJ GetHandle(const FontTable& table, std::int32_t index)
{
    return HandleAt(table, index);
}
HGDIOBJ GetHandle(const BitmapTable& table, std::int32_t index)
{
    return HandleAt(table, index);
}

void Clear(BrushTable& table)
{
    ClearHandles(table);
}
void Clear(PenTable& table)
{
    ClearHandles(table);
}
void Clear(FontTable& table)
{
    ClearHandles(table);
}
void Clear(BitmapTable& table)
{
    ClearHandles(table);
}

void Destroy(BrushTable& table)
{
    DestroyTable(table);
}
void Destroy(PenTable& table)
{
    DestroyTable(table);
}
void Destroy(FontTable& table)
{
    DestroyTable(table);
}
void Destroy(BitmapTable& table)
{
    DestroyTable(table);
}

bool ResolveSelection(ObjectTables& tables, std::uint32_t slot, HDC dc, HGDIOBJ object, Selection& selection)
{
    // The object's real type decides, not the size of its description: on
    // this system the descriptions are not the sizes the handheld had.
    std::int32_t index = -1;
    switch (GetObjectType(object)) {
    case OBJ_BRUSH: {
        LOGBRUSH brush{};
        if (GetObjectW(object, sizeof brush, &brush) != sizeof brush)
            return false;
        index = FindOrAddBrush(tables.brushes, brush);
        selection.kind = OBJ_BRUSH;
        break;
    }
    case OBJ_PEN: {
        LOGPEN pen{};
        if (GetObjectW(object, sizeof pen, &pen) != sizeof pen)
            return false;
        index = FindOrAddPen(tables.pens, pen);
        selection.kind = OBJ_PEN;
        break;
    }
    case OBJ_FONT: {
        LOGFONTW font{};
        if (GetObjectW(object, sizeof font, &font) != sizeof font)
            return false;
        index = FindOrAddFont(tables.fonts, font);
        selection.kind = OBJ_FONT;
        break;
    }
    case OBJ_BITMAP: {
        // The printer DC keeps its own one-pixel bitmap: a page is never
        // drawn into an application bitmap.
        if (slot == 0)
            return false;
        BITMAP bitmap{};
        if (GetObjectW(object, sizeof bitmap, &bitmap) < static_cast<int>(sizeof bitmap))
            return false;
        index = AddBitmapCopy(tables.bitmaps, dc, static_cast<HBITMAP>(object), bitmap.bmWidth,
                              bitmap.bmHeight < 0 ? -bitmap.bmHeight : bitmap.bmHeight);
        selection.kind = OBJ_BITMAP;
        break;
    }
    default:
        return false;
    }
    if (index < 0)
        return false;
    selection.index = index;
    return true;
}

}  // namespace tarvel::render
