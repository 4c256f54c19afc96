// The library's own copies of the pens, brushes, fonts and bitmaps selected
// during a page.
//
// A page is replayed band by band after the application may have deleted or
// changed its objects, so every selection is recorded against a copy. Pens,
// brushes and fonts are kept once per distinct description; bitmaps are
// copied pixel by pixel at every selection, because the copy must show the
// bitmap as it was at that moment.
#pragma once

#include <tarvel/win32.h>

#include <cstdint>
#include <memory>

namespace tarvel::render {

// Handles and descriptions with a capacity that grows in steps of ten, so
// that an index once handed out names the same object until Clear.
template <typename Description>
struct ObjectTable {
    std::int32_t count = 0;
    std::int32_t capacity = 0;
    std::unique_ptr<HGDIOBJ[]> handles;
    std::unique_ptr<Description[]> descriptions;
};

using BrushTable = ObjectTable<LOGBRUSH>;
using PenTable = ObjectTable<LOGPEN>;
using FontTable = ObjectTable<LOGFONTW>;

struct BitmapTable {
    std::int32_t count = 0;
    std::int32_t capacity = 0;
    std::unique_ptr<HGDIOBJ[]> handles;
};

inline constexpr std::int32_t kTableStep = 10;

// Each returns the index of the entry for the description, adding one
// (and creating its object) when no entry matches; -1 when the table cannot
// grow. An object that cannot be created leaves a null handle in its entry.
std::int32_t FindOrAddBrush(BrushTable& table, LOGBRUSH brush);
std::int32_t FindOrAddPen(PenTable& table, LOGPEN pen);
std::int32_t FindOrAddFont(FontTable& table, LOGFONTW font);

// Copies the bitmap (width x height pixels) into a new 24-bit DIB section
// made with dc; returns the new entry's index, or -1 when the table cannot
// grow.
std::int32_t AddBitmapCopy(BitmapTable& table, HDC dc, HBITMAP bitmap, std::int32_t width, std::int32_t height);

// handles[index] when index names an entry, else null.
HGDIOBJ GetHandle(const BrushTable& table, std::int32_t index);
HGDIOBJ GetHandle(const PenTable& table, std::int32_t index);
HGDIOBJ GetHandle(const FontTable& table, std::int32_t index);
HGDIOBJ GetHandle(const BitmapTable& table, std::int32_t index);

// Deletes every object and forgets the entries; the arrays stay allocated.
void Clear(BrushTable& table);
void Clear(PenTable& table);
void Clear(FontTable& table);
void Clear(BitmapTable& table);

// Clears the table and frees its arrays.
void Destroy(BrushTable& table);
void Destroy(PenTable& table);
void Destroy(FontTable& table);
void Destroy(BitmapTable& table);

// A bottom-up 24-bit BI_RGB DIB section of width x height pixels; null on
// failure.
HBITMAP CreateDib24(HDC dc, std::int32_t width, std::int32_t height);

struct ObjectTables {
    BrushTable brushes;
    PenTable pens;
    FontTable fonts;
    BitmapTable bitmaps;
};

// What a selection refers to: the object's kind (OBJ_PEN, OBJ_BRUSH,
// OBJ_FONT or OBJ_BITMAP) and its index in that kind's table.
struct Selection {
    std::uint32_t kind;
    std::int32_t index;
};

// Classifies an object by its type and stores its copy. Refused (false):
// an object of no known kind, a bitmap selected into the printer DC
// (slot 0), a table that cannot grow. dc is the device context the
// application selects into; bitmaps are copied with it.
bool ResolveSelection(ObjectTables& tables, std::uint32_t slot, HDC dc, HGDIOBJ object, Selection& selection);

}  // namespace tarvel::render
