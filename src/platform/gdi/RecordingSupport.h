// What the recording device context needs from the graphics layer beyond
// the platform's own calls: the exact area a text call can touch, so that a
// band never misses part of it, and a copy of a bitmap's pixels that does
// not need the bitmap to be free for selection.
#ifndef TARVEL_PLATFORM_GDI_RECORDINGSUPPORT_H
#define TARVEL_PLATFORM_GDI_RECORDINGSUPPORT_H

#include <tarvel/gdi.h>

namespace tarvel::gdi {

// Copies the whole of source into target's bitmap at (0, 0), with the
// colour conversion of a SRCCOPY BitBlt from a device context holding
// source. The source may be selected into any device context meanwhile.
// FALSE for an unknown device context or bitmap.
BOOL CopyBitmapPixels(HDC target, HBITMAP source);

// The logical area that ExtTextOutW with these arguments can touch on dc,
// with dc's font, text alignment and background mode: the glyphs' ink,
// the text cell, underline and strike-out, and an opaque rectangle. Empty
// when the call draws nothing or dc is unknown.
RECT ExtTextOutArea(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                    const INT* dx);

// The logical area that DrawTextW with these arguments can touch on dc.
RECT DrawTextArea(HDC dc, LPCWSTR text, int count, const RECT& rect, UINT format);

}  // namespace tarvel::gdi

#endif
