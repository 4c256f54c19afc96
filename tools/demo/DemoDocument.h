// The pages the demo prints, drawn through the PDC_ interface on the
// printer DC.
#pragma once

#include <tarvel/win32.h>

namespace demo {

// Page 1: text in several fonts and sizes, and shapes.
void DrawTextAndShapesPage(HDC printer);
// Page 2: colour gradients made of bitmaps, copied and stretched onto the
// page from a memory device context.
void DrawGradientPage(HDC printer);
// A page meant for landscape paper: a wide banner and a table of boxes.
void DrawLandscapePage(HDC printer);

}  // namespace demo
