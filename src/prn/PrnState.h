// The one record behind every prn function: the unit, the margins and page
// size, the drawing state and the objects this layer selected into the job's
// printer DC.
#pragma once

#include <tarvel/prn.h>

#include <cmath>
#include <cstdint>

namespace tarvel::prn {

inline constexpr int kFontNameLength = 256;  // characters, the terminator included

struct PrnState {
    HDC jobDc = nullptr;
    std::int32_t measureUnit = Inches;
    // Inches, whatever the unit.
    float leftMargin = 0.0f;
    float rightMargin = 0.0f;
    float topMargin = 0.0f;
    float bottomMargin = 0.0f;
    float pageWidth = 0.0f;
    float pageHeight = 0.0f;

    COLORREF fillColor = RGB(255, 255, 255);
    float lineWidth = 0.01f;  // inches
    WCHAR fontName[kFontNameLength] = u"Tahoma";
    float fontSize = 12.0f;  // points
    COLORREF lineColor = RGB(0, 0, 0);
    COLORREF textColor = RGB(0, 0, 0);
    std::int32_t bold = 0;
    std::int32_t italic = 0;
    std::int32_t strikeout = 0;
    std::int32_t underline = 0;

    // Owned by this layer: deleted when replaced and at every page.
    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
    HFONT font = nullptr;
};

PrnState& State();

// Puts the record back as the process starts with it, deleting the objects
// it holds; for tests, which share one process.
void ResetPrnState();

// Float to 32-bit integer toward zero, held at the ends of the range; NaN
// gives 0. Positions and sizes from the application may be anything.
std::int32_t Truncate(double value);

// The printer-dot position of a horizontal or vertical coordinate in the
// current unit: the coordinate from the top-left margin corner.
std::int32_t DeviceX(float x);
std::int32_t DeviceY(float y);
// A size in the current unit in printer dots, without margins.
std::int32_t DeviceSize(float size);

// Whether every value is a number that can be placed: NaN and infinities
// are drawn nowhere.
template <typename... Values>
bool Placeable(Values... values)
{
    return (... && std::isfinite(values));
}

// Deletes the pen, brush and font this layer holds.
void ReleaseObjects();
// Page reset: releases the objects and restores the page defaults of the
// drawing state.
void ResetDrawingState();
// Makes and selects the pen of the current width and colour.
void MakePen();
// Builds and selects the font of the current name, size and attributes.
void BuildFont();
// Makes the page's pen and brush and selects them into a fresh page, whose
// own objects they displace, then builds the font.
void SelectPageObjects();

}  // namespace tarvel::prn
