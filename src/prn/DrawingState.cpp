// The pen, brush, text colour and font of the prn layer: each setter turns
// a change into a new object selected into the job's printer DC.
#include "prn/PrnState.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tarvel::prn {
namespace {

constexpr float kDefaultLineWidth = 0.01f;  // inches
constexpr float kDefaultFontSize = 12.0f;   // points
constexpr std::u16string_view kDefaultFontName = u"Tahoma";

void Delete(HGDIOBJ object)
{
    if (object)
        DeleteObject(object);
}

// Hands a new object of ours to the job DC in place of the one we held. What
// the selection displaced is deleted; so is our previous object when the
// selection did not take (no document yet), since nothing else would. A
// failed creation changes nothing: the previous object stays selected and
// stays ours.
template <typename Handle>
void Replace(Handle& held, Handle made)
{
    if (!made)
        return;
    Handle previous = held;
    held = made;
    HGDIOBJ displaced = PDC_SelectObject(State().jobDc, made);
    Delete(displaced);
    if (previous && previous != displaced)
        Delete(previous);
}

HPEN CreatePagePen()
{
    const PrnState& s = State();
    return CreatePen(PS_SOLID, Truncate(prnConvertValue(s.lineWidth, Inches, Pixels)), s.lineColor);
}

void SetFlag(std::int32_t& flag, int value)
{
    // Compared as given: 1 and 2 are different values, both meaning on.
    if (flag == value)
        return;
    flag = value;
    BuildFont();
}

std::size_t NameLength(const WCHAR* name, std::size_t limit)
{
    std::size_t length = 0;
    while (length < limit && name[length] != 0)
        ++length;
    return length;
}

}  // namespace

void ReleaseObjects()
{
    PrnState& s = State();
    Delete(s.pen);
    Delete(s.brush);
    Delete(s.font);
    s.pen = nullptr;
    s.brush = nullptr;
    s.font = nullptr;
}

void ResetDrawingState()
{
    ReleaseObjects();
    PrnState& s = State();
    s.fillColor = RGB(255, 255, 255);
    s.lineColor = RGB(0, 0, 0);
    s.textColor = RGB(0, 0, 0);
    s.lineWidth = kDefaultLineWidth;
    std::fill(std::begin(s.fontName), std::end(s.fontName), u'\0');
    std::copy(kDefaultFontName.begin(), kDefaultFontName.end(), s.fontName);
    s.fontSize = kDefaultFontSize;
    s.bold = s.italic = s.strikeout = s.underline = 0;
}

void MakePen()
{
    Replace(State().pen, CreatePagePen());
}

void BuildFont()
{
    PrnState& s = State();
    LOGFONTW log{};
    // A negative height asks for the em height in printer dots.
    const int dy = PDC_GetDeviceCaps(s.jobDc, LOGPIXELSY);
    const float negated = -(static_cast<float>(dy) * s.fontSize);
    log.lfHeight = Truncate(static_cast<double>(negated) * 0.013888888888888888);
    log.lfWeight = s.bold ? FW_BOLD : FW_NORMAL;
    log.lfItalic = s.italic ? 1 : 0;
    log.lfUnderline = s.underline ? 1 : 0;
    log.lfStrikeOut = s.strikeout ? 1 : 0;
    log.lfCharSet = DEFAULT_CHARSET;
    log.lfPitchAndFamily = 4;
    std::copy_n(s.fontName, NameLength(s.fontName, LF_FACESIZE - 1), log.lfFaceName);
    Replace(s.font, CreateFontIndirectW(&log));
}

void SelectPageObjects()
{
    PrnState& s = State();
    // A fresh page's own objects are displaced, and they are not ours.
    s.pen = CreatePagePen();
    s.brush = CreateSolidBrush(s.fillColor);
    PDC_SelectObject(s.jobDc, s.pen);
    PDC_SelectObject(s.jobDc, s.brush);
    BuildFont();
}

}  // namespace tarvel::prn

using namespace tarvel::prn;

void prnSetLineWidth(float width)
{
    // Always a new pen, even for the same width.
    State().lineWidth = prnConvertValue(width, MeasureUnit(State().measureUnit), Inches);
    MakePen();
}

float prnGetLineWidth()
{
    return prnConvertValue(State().lineWidth, Inches, MeasureUnit(State().measureUnit));
}

void prnSetLineColor(COLORREF color)
{
    if (State().lineColor == color)
        return;
    State().lineColor = color;
    MakePen();
}

COLORREF prnGetLineColor()
{
    return State().lineColor;
}

void prnSetFillColor(COLORREF color)
{
    PrnState& s = State();
    if (s.fillColor == color)
        return;
    s.fillColor = color;
    Replace(s.brush, CreateSolidBrush(color));
}

COLORREF prnGetFillColor()
{
    return State().fillColor;
}

void prnSetTextColor(COLORREF color)
{
    State().textColor = color;
    PDC_SetTextColor(State().jobDc, color);
}

COLORREF prnGetTextColor()
{
    return State().textColor;
}

void prnSetFontName(LPCWSTR name)
{
    if (!name)
        return;
    PrnState& s = State();
    // Longer names are cut to what the buffer holds; the comparison is exact,
    // case included.
    const std::u16string_view given(name, NameLength(name, kFontNameLength - 1));
    if (given == std::u16string_view(s.fontName))
        return;
    std::fill(std::begin(s.fontName), std::end(s.fontName), u'\0');
    std::copy(given.begin(), given.end(), s.fontName);
    BuildFont();
}

LPCWSTR prnGetFontName()
{
    return State().fontName;
}

void prnSetFontSize(float size)
{
    State().fontSize = size;
    BuildFont();
}

void prnSetFontSize(float size, MeasureUnit unit)
{
    State().fontSize = prnConvertValue(size, unit, Points);
    BuildFont();
}

float prnGetFontSize()
{
    return State().fontSize;
}

float prnGetFontSize(MeasureUnit unit)
{
    return prnConvertValue(State().fontSize, Points, unit);
}

void prnSetFontBold(int bold)
{
    SetFlag(State().bold, bold);
}

int prnGetFontBold()
{
    return State().bold;
}

void prnSetFontItalic(int italic)
{
    SetFlag(State().italic, italic);
}

int prnGetFontItalic()
{
    return State().italic;
}

void prnSetFontStrike(int strike)
{
    SetFlag(State().strikeout, strike);
}

int prnGetFontStrike()
{
    return State().strikeout;
}

void prnSetFontUnderline(int underline)
{
    SetFlag(State().underline, underline);
}

int prnGetFontUnderline()
{
    return State().underline;
}
