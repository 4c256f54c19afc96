// The graphics calls an application uses to make the objects it hands to the
// PDC_ functions, and that the library renders every page with.
//
// Each call keeps its Win32 signature and its Win32 results: a null, stale or
// foreign handle gets the call's failure value (0, NULL, CLR_INVALID or
// GDI_ERROR as noted), never a crash. Coordinates are logical units, one
// pixel each, moved by the viewport origin of the device context.
#ifndef TARVEL_GDI_H
#define TARVEL_GDI_H

#include <tarvel/win32.h>

#if defined(__cplusplus)
extern "C" {
#endif

#ifndef GDI_ERROR
#define GDI_ERROR 0xFFFFFFFFu
#endif
#ifndef HGDI_ERROR
#define HGDI_ERROR ((HGDIOBJ)(intptr_t)-1)
#endif
#ifndef RC_BITBLT
// Raster capability bits that GetDeviceCaps(RASTERCAPS) reports.
#define RC_BITBLT 0x0001
#define RC_BITMAP64 0x0008
#define RC_DI_BITMAP 0x0080
#define RC_DIBTODEV 0x0200
#define RC_STRETCHBLT 0x0800
#endif
#ifndef TECHNOLOGY
#define TECHNOLOGY 2
#define DT_RASDISPLAY 1
#endif
#ifndef HORZSIZE
#define HORZSIZE 4
#define VERTSIZE 6
#endif
#ifndef DEFAULT_PALETTE
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define DEVICE_DEFAULT_FONT 14
#define DEFAULT_PALETTE 15
#endif
#ifndef ETO_GLYPH_INDEX
#define ETO_GLYPH_INDEX 0x0010
#endif

// Objects. Creation returns NULL on bad arguments or lack of memory.
TARVEL_API HPEN CreatePen(int iStyle, int cWidth, COLORREF color);
TARVEL_API HPEN CreatePenIndirect(const LOGPEN* plpen);
TARVEL_API HBRUSH CreateSolidBrush(COLORREF color);
// The bitmap is copied: the brush keeps its pattern after the bitmap changes.
TARVEL_API HBRUSH CreatePatternBrush(HBITMAP hbm);
// lpPackedDIB: a BITMAPINFO, its colour table and its bits in one block.
TARVEL_API HBRUSH CreateDIBPatternBrushPt(const void* lpPackedDIB, UINT iUsage);
TARVEL_API HFONT CreateFontIndirectW(const LOGFONTW* lplf);
TARVEL_API HBITMAP CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                                const void* lpBits);
// A bitmap of the format of the one selected into hdc (NULL: the display's).
TARVEL_API HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy);
// 1, 8, 24 or 32 bits per pixel, BI_RGB; *ppvBits receives the pixels.
TARVEL_API HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage,
                                    void** ppvBits, HANDLE hSection, DWORD offset);
TARVEL_API HGDIOBJ GetStockObject(int i);
// FALSE for an unknown handle or a bitmap still selected into a device context.
TARVEL_API BOOL DeleteObject(HGDIOBJ ho);
// With pv NULL: the size of the object's description; else the bytes written,
// 0 when the buffer is too small or the handle unknown.
TARVEL_API int GetObjectW(HGDIOBJ h, int c, LPVOID pv);
// OBJ_PEN, OBJ_BRUSH, OBJ_FONT, OBJ_BITMAP, OBJ_MEMDC; 0 for an unknown handle.
TARVEL_API DWORD GetObjectType(HGDIOBJ h);

// Device contexts.
TARVEL_API HDC CreateCompatibleDC(HDC hdc);
TARVEL_API BOOL DeleteDC(HDC hdc);
// The displaced object, or NULL (unknown handles, a bitmap selected elsewhere).
TARVEL_API HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
TARVEL_API HGDIOBJ GetCurrentObject(HDC hdc, UINT type);
TARVEL_API COLORREF SetTextColor(HDC hdc, COLORREF color);  // CLR_INVALID on failure
TARVEL_API COLORREF GetTextColor(HDC hdc);
TARVEL_API COLORREF SetBkColor(HDC hdc, COLORREF color);  // CLR_INVALID on failure
TARVEL_API COLORREF GetBkColor(HDC hdc);
TARVEL_API int SetBkMode(HDC hdc, int mode);  // 0 on failure
TARVEL_API int GetBkMode(HDC hdc);
TARVEL_API int SetROP2(HDC hdc, int rop2);  // 0 on failure
TARVEL_API int GetROP2(HDC hdc);
TARVEL_API UINT SetTextAlign(HDC hdc, UINT align);  // GDI_ERROR on failure
TARVEL_API UINT GetTextAlign(HDC hdc);
TARVEL_API BOOL SetViewportOrgEx(HDC hdc, int x, int y, POINT* lppt);
TARVEL_API BOOL GetViewportOrgEx(HDC hdc, POINT* lppt);
// The brush origin is relative to the viewport origin, so a page rendered in
// bands tiles its pattern brushes the same way in every band.
TARVEL_API BOOL SetBrushOrgEx(HDC hdc, int x, int y, POINT* lppt);
TARVEL_API int GetDeviceCaps(HDC hdc, int index);  // 0 for an unknown index or DC

// Drawing. FALSE for an unknown DC or bad arguments.
TARVEL_API BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
TARVEL_API BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom);
TARVEL_API BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width,
                          int height);
TARVEL_API BOOL Polyline(HDC hdc, const POINT* apt, int cpt);
TARVEL_API BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1,
                       DWORD rop);
TARVEL_API BOOL StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc,
                           int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop);
TARVEL_API BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);
TARVEL_API COLORREF GetPixel(HDC hdc, int x, int y);  // CLR_INVALID outside the bitmap

// Text.
TARVEL_API BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprect,
                            LPCWSTR lpString, UINT c, const INT* lpDx);
// The height of the text; 0 on failure.
TARVEL_API int DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, RECT* lprc, UINT format);
TARVEL_API BOOL GetTextMetricsW(HDC hdc, TEXTMETRICW* lptm);
TARVEL_API BOOL GetTextExtentExPointW(HDC hdc, LPCWSTR lpszString, int cchString,
                                      int nMaxExtent, INT* lpnFit, INT* lpnDx,
                                      SIZE* lpSize);
TARVEL_API BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, SIZE* psizl);

// Rectangles.
TARVEL_API BOOL SetRect(RECT* lprc, int xLeft, int yTop, int xRight, int yBottom);
TARVEL_API BOOL SetRectEmpty(RECT* lprc);
TARVEL_API BOOL IsRectEmpty(const RECT* lprc);
// FALSE (and an empty result) when both are empty.
TARVEL_API BOOL UnionRect(RECT* lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2);
// FALSE (and an empty result) when the two do not overlap.
TARVEL_API BOOL IntersectRect(RECT* lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2);
TARVEL_API BOOL OffsetRect(RECT* lprc, int dx, int dy);

#if defined(__cplusplus)
}
#endif

#endif
