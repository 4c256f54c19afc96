// The exported drawing and measuring functions: each records on the one
// PrinterDevice and performs the call on the real device context.
#include "device/PrinterDevice.h"

#include <tarvel/pdc.h>

namespace {

using namespace tarvel::render;

// Runs the recording operation on the device's recording state; without a
// device (the library is being unloaded) the call fails as for an unknown
// device context.
template <typename Result, typename Operation>
Result OnRecording(Result failure, Operation operation)
{
    auto* device = tarvel::device::Device();
    return device ? operation(device->recording) : failure;
}

}  // namespace

extern "C" {

COLORREF PDC_SetTextColor(HDC hdc, COLORREF color)
{
    return OnRecording<COLORREF>(CLR_INVALID, [&](RecordingState& s) { return RecordSetTextColor(s, hdc, color); });
}

COLORREF PDC_SetBkColor(HDC hdc, COLORREF color)
{
    return OnRecording<COLORREF>(CLR_INVALID, [&](RecordingState& s) { return RecordSetBkColor(s, hdc, color); });
}

int PDC_SetBkMode(HDC hdc, int mode)
{
    return OnRecording(0, [&](RecordingState& s) { return RecordSetBkMode(s, hdc, mode); });
}

int PDC_SetROP2(HDC hdc, int mode)
{
    return OnRecording(0, [&](RecordingState& s) { return RecordSetROP2(s, hdc, mode); });
}

HGDIOBJ PDC_SelectObject(HDC hdc, HGDIOBJ object)
{
    return OnRecording<HGDIOBJ>(nullptr, [&](RecordingState& s) { return RecordSelectObject(s, hdc, object); });
}

BOOL PDC_Ellipse(HDC hdc, int left, int top, int right, int bottom)
{
    return OnRecording<BOOL>(FALSE, [&](RecordingState& s) { return RecordEllipse(s, hdc, left, top, right, bottom); });
}

BOOL PDC_Rectangle(HDC hdc, int left, int top, int right, int bottom)
{
    return OnRecording<BOOL>(FALSE, [&](RecordingState& s) { return RecordRectangle(s, hdc, left, top, right, bottom); });
}

BOOL PDC_RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height)
{
    return OnRecording<BOOL>(FALSE,
                             [&](RecordingState& s) { return RecordRoundRect(s, hdc, left, top, right, bottom, width, height); });
}

BOOL PDC_Polyline(HDC hdc, const POINT* points, int count)
{
    return OnRecording<BOOL>(FALSE, [&](RecordingState& s) { return RecordPolyline(s, hdc, points, count); });
}

BOOL PDC_DrawLine(HDC hdc, int x1, int y1, int x2, int y2)
{
    const POINT points[2] = {{x1, y1}, {x2, y2}};
    return PDC_Polyline(hdc, points, 2);
}

int PDC_DrawText(HDC hdc, LPCWSTR text, int count, RECT* rect, UINT format)
{
    return OnRecording(0, [&](RecordingState& s) { return RecordDrawText(s, hdc, text, count, rect, format); });
}

BOOL PDC_ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                    const int* spacing)
{
    return OnRecording<BOOL>(FALSE,
                             [&](RecordingState& s) { return RecordExtTextOut(s, hdc, x, y, options, rect, text, count, spacing); });
}

BOOL PDC_BitBlt(HDC hdc, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop)
{
    return OnRecording<BOOL>(FALSE, [&](RecordingState& s) {
        return RecordBitBlt(s, hdc, x, y, width, height, source, sourceX, sourceY, rop);
    });
}

BOOL PDC_StretchBlt(HDC hdc, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                    int sourceWidth, int sourceHeight, DWORD rop)
{
    return OnRecording<BOOL>(FALSE, [&](RecordingState& s) {
        return RecordStretchBlt(s, hdc, x, y, width, height, source, sourceX, sourceY, sourceWidth, sourceHeight, rop);
    });
}

HDC PDC_CreateCompatibleDC(HDC hdc)
{
    return OnRecording<HDC>(nullptr, [&](RecordingState& s) { return RecordCreateCompatibleDC(s, hdc); });
}

BOOL PDC_DeleteDC(HDC hdc)
{
    return OnRecording<BOOL>(FALSE, [&](RecordingState& s) { return RecordDeleteDC(s, hdc); });
}

BOOL PDC_GetTextMetrics(HDC hdc, TEXTMETRICW* metrics)
{
    return OnRecording<BOOL>(FALSE, [&](RecordingState& s) { return MeasureTextMetrics(s, hdc, metrics); });
}

BOOL PDC_GetTextExtentPoint(HDC hdc, LPCWSTR text, int count, SIZE* size)
{
    return OnRecording<BOOL>(FALSE, [&](RecordingState& s) { return MeasureTextExtent(s, hdc, text, count, size); });
}

BOOL PDC_GetTextExtentExPoint(HDC hdc, LPCWSTR text, int count, int maxExtent, int* fit, int* extents, SIZE* size)
{
    return OnRecording<BOOL>(FALSE, [&](RecordingState& s) {
        return MeasureTextExtentEx(s, hdc, text, count, maxExtent, fit, extents, size);
    });
}

}  // extern "C"
