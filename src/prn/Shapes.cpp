// Lines, rectangles, ellipses and circles with the prn pen and brush. Corners
// reach the device in the order given: nothing is sorted.
#include "prn/PrnState.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>

using namespace tarvel::prn;

void prnDrawLine(float x1, float y1, float x2, float y2)
{
    if (!Placeable(x1, y1, x2, y2))
        return;
    const POINT points[2] = {{DeviceX(x1), DeviceY(y1)}, {DeviceX(x2), DeviceY(y2)}};
    PDC_Polyline(State().jobDc, points, 2);
}

void prnDrawRect(float x1, float y1, float x2, float y2)
{
    if (!Placeable(x1, y1, x2, y2))
        return;
    PDC_Rectangle(State().jobDc, DeviceX(x1), DeviceY(y1), DeviceX(x2), DeviceY(y2));
}

void prnDrawSolidRect(float x1, float y1, float x2, float y2, COLORREF color)
{
    if (!Placeable(x1, y1, x2, y2))
        return;
    // A brush of its own for this one rectangle: the current brush and fill
    // colour are back in place afterwards.
    HDC dc = State().jobDc;
    HBRUSH brush = CreateSolidBrush(color);
    HGDIOBJ previous = PDC_SelectObject(dc, brush);
    PDC_Rectangle(dc, DeviceX(x1), DeviceY(y1), DeviceX(x2), DeviceY(y2));
    if (previous)
        PDC_SelectObject(dc, previous);
    if (brush)
        DeleteObject(brush);
}

void prnDrawRoundRect(float x1, float y1, float x2, float y2, float width, float height)
{
    if (!Placeable(x1, y1, x2, y2, width, height))
        return;
    // The corner ellipse is a size, not a position: no margin.
    PDC_RoundRect(State().jobDc, DeviceX(x1), DeviceY(y1), DeviceX(x2), DeviceY(y2), DeviceSize(width),
                  DeviceSize(height));
}

void prnDrawEllipse(float x1, float y1, float x2, float y2)
{
    if (!Placeable(x1, y1, x2, y2))
        return;
    PDC_Ellipse(State().jobDc, DeviceX(x1), DeviceY(y1), DeviceX(x2), DeviceY(y2));
}

void prnDrawCircle(float x, float y, float radius)
{
    // The box is formed in the unit, so it is exactly two radii wide there;
    // each corner is then truncated on its own.
    prnDrawEllipse(x - radius, y - radius, x + radius, y + radius);
}
