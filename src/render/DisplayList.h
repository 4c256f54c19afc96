// The recorded drawing of one page.
//
// Each PDC_ drawing call appends a DisplayRecord that owns copies of
// everything it needs later (texts, rectangles, points, spacing), because
// the page is replayed band by band after the application's buffers are
// gone. A record's position in the list is its record index.
#pragma once

#include <tarvel/win32.h>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tarvel::render {

enum class RecordKind : std::uint32_t {
    SetTextColor = 0,
    SetBkColor = 1,
    SetBkMode = 2,
    SetROP2 = 3,
    BitBlt = 4,
    StretchBlt = 5,
    DrawText = 6,
    Ellipse = 7,
    ExtTextOut = 8,
    Polyline = 9,
    Rectangle = 10,
    RoundRect = 11,
    SelectObject = 12,
};

// Kinds 0 to 3: one value for the device context.
struct StateParams {
    std::uint32_t value;
};

// Kinds 4 and 5; a plain copy has sourceWidth and sourceHeight unused.
struct BlitParams {
    std::int32_t x, y, width, height;
    std::uint32_t sourceSlot;
    std::int32_t sourceX, sourceY, sourceWidth, sourceHeight;
    DWORD rop;
};

struct DrawTextParams {
    std::u16string text;
    std::int32_t count;
    RECT rect;
    UINT format;
};

// Kinds 7, 10 and 11; the corner sizes belong to RoundRect only.
struct ShapeParams {
    std::int32_t left, top, right, bottom;
    std::int32_t cornerWidth, cornerHeight;
};

struct ExtTextOutParams {
    std::int32_t x, y;
    UINT options;
    std::optional<RECT> clip;
    std::u16string text;
    UINT count;
    std::optional<std::vector<INT>> spacing;
};

struct PolylineParams {
    std::vector<POINT> points;
    std::int32_t count;
};

struct SelectParams {
    std::uint32_t objectKind;
    std::int32_t index;
};

using RecordParams = std::variant<StateParams, BlitParams, DrawTextParams, ShapeParams, ExtTextOutParams,
                                  PolylineParams, SelectParams>;

struct DisplayRecord {
    RecordKind kind;
    std::uint32_t slot;  // the DcTable slot of the device context drawn on
    RecordParams params;
    RECT bounds{};  // page area the record may touch; kinds 4 to 11 only
};

// Records in call order. A vector keeps them in one block instead of one heap
// block per record, which is what makes a long page cheap to walk per band.
using DisplayList = std::vector<DisplayRecord>;

inline bool IsDrawing(RecordKind kind)
{
    return kind >= RecordKind::BitBlt && kind <= RecordKind::RoundRect;
}

}  // namespace tarvel::render
