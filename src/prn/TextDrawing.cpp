// Text measured and drawn with the prn font and text colour: one line
// through the text-out and extent calls, a block of lines (a text holding a
// line feed) through the draw-text call with word wrapping.
#include "prn/PrnState.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>

#include <algorithm>
#include <limits>

namespace tarvel::prn {
namespace {

constexpr UINT kMeasureFormat = DT_CALCRECT | DT_NOCLIP | DT_WORDBREAK;
constexpr UINT kBlockFormat = DT_NOCLIP | DT_WORDBREAK;
constexpr LONG kMeasureExtent = 100000;
constexpr LONG kBlockExtent = 10000;

struct Text {
    LPCWSTR chars = nullptr;
    int length = 0;
    bool block = false;  // holds a line feed; a carriage return alone does not count
};

Text Scan(LPCWSTR chars)
{
    Text text{chars};
    if (!chars)
        return text;
    const int limit = std::numeric_limits<int>::max();
    while (text.length < limit && chars[text.length] != 0) {
        if (chars[text.length] == u'\n')
            text.block = true;
        ++text.length;
    }
    return text;
}

// Coordinates stay in range whatever the position: sums are held at the
// ends of the 32-bit range.
LONG Offset(LONG base, std::int64_t delta)
{
    return static_cast<LONG>(std::clamp<std::int64_t>(
        base + delta, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max()));
}

// The width and height of the text in printer dots; 0 x 0 when the job DC
// cannot measure it.
SIZE Measure(const Text& text)
{
    HDC dc = State().jobDc;
    if (text.block) {
        RECT bounds{0, 0, kMeasureExtent, kMeasureExtent};
        if (PDC_DrawText(dc, text.chars, text.length, &bounds, kMeasureFormat) == 0)
            return {0, 0};
        return {Offset(bounds.right, -std::int64_t(bounds.left)), Offset(bounds.bottom, -std::int64_t(bounds.top))};
    }
    SIZE size{};
    if (!PDC_GetTextExtentPoint(dc, text.chars, text.length, &size))
        return {0, 0};
    return size;
}

float InUnit(LONG dots)
{
    return prnConvertValue(static_cast<float>(dots), Pixels, MeasureUnit(State().measureUnit));
}

void DrawLine(const Text& text, LONG x, LONG y)
{
    PDC_ExtTextOut(State().jobDc, x, y, 0, nullptr, text.chars, static_cast<UINT>(text.length), nullptr);
}

void DrawAligned(const Text& text, float x, float y, TextHorAlign horizontal, TextVertAlign vertical)
{
    if (!text.chars || !Placeable(x, y))
        return;
    LONG left = DeviceX(x), top = DeviceY(y);
    const SIZE size = Measure(text);
    // Halves are whole dots, rounded toward zero.
    const LONG halfWidth = size.cx / 2, halfHeight = size.cy / 2;
    if (!text.block) {
        if (horizontal == TextHorAlign::Right)
            left = Offset(left, -std::int64_t(size.cx));
        else if (horizontal == TextHorAlign::Center)
            left = Offset(left, -std::int64_t(halfWidth));
        if (vertical == TextVertAlign::Bottom)
            top = Offset(top, -std::int64_t(size.cy));
        else if (vertical == TextVertAlign::Center)
            top = Offset(top, -std::int64_t(halfHeight));
        DrawLine(text, left, top);
        return;
    }
    RECT box{left, top, left, top};
    UINT format = kBlockFormat;
    switch (horizontal) {
    case TextHorAlign::Left:
        box.right = Offset(left, size.cx);
        break;
    case TextHorAlign::Right:
        box.left = Offset(left, -std::int64_t(size.cx));
        format |= DT_RIGHT;
        break;
    case TextHorAlign::Center:
        box.left = Offset(left, -std::int64_t(halfWidth));
        box.right = Offset(left, halfWidth);
        format |= DT_CENTER;
        break;
    }
    switch (vertical) {
    case TextVertAlign::Top:
        box.bottom = Offset(top, size.cy);
        break;
    case TextVertAlign::Bottom:
        box.top = Offset(top, -std::int64_t(size.cy));
        format |= DT_BOTTOM;
        break;
    case TextVertAlign::Center:
        box.top = Offset(top, -std::int64_t(halfHeight));
        box.bottom = Offset(top, halfHeight);
        format |= DT_VCENTER;
        break;
    }
    PDC_DrawText(State().jobDc, text.chars, text.length, &box, format);
}

}  // namespace
}  // namespace tarvel::prn

using namespace tarvel::prn;

float prnGetTextHeight(LPCWSTR text)
{
    const Text scanned = Scan(text);
    return scanned.chars ? InUnit(Measure(scanned).cy) : 0.0f;
}

float prnGetTextWidth(LPCWSTR text)
{
    const Text scanned = Scan(text);
    return scanned.chars ? InUnit(Measure(scanned).cx) : 0.0f;
}

void prnDrawText(LPCWSTR text, float x, float y)
{
    const Text scanned = Scan(text);
    if (!scanned.chars || !Placeable(x, y))
        return;
    const LONG left = DeviceX(x), top = DeviceY(y);
    if (!scanned.block) {
        DrawLine(scanned, left, top);
        return;
    }
    RECT box{left, top, Offset(left, kBlockExtent), Offset(top, kBlockExtent)};
    PDC_DrawText(State().jobDc, scanned.chars, scanned.length, &box, kBlockFormat);
}

void prnDrawText(LPCWSTR text, float x, float y, COLORREF color)
{
    const COLORREF kept = prnGetTextColor();
    prnSetTextColor(color);
    prnDrawText(text, x, y);
    prnSetTextColor(kept);
}

void prnDrawAlignedText(LPCWSTR text, float x, float y, TextHorAlign horizontal, TextVertAlign vertical)
{
    DrawAligned(Scan(text), x, y, horizontal, vertical);
}
