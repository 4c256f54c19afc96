// The printer device-context interface: 28 functions that imitate the
// platform's graphics and printing calls on the library's printer page.
//
// Order of use: PDC_PrintDlg or PDC_PageSetupDlg until one is confirmed,
// PDC_GetPrinterDC, optional PDC_GetDeviceCaps, PDC_StartDoc, then per page
// PDC_StartPage, drawing calls, PDC_EndPage, and finally PDC_EndDoc.
// Every function is meant for one application thread.
#ifndef TARVEL_PDC_H
#define TARVEL_PDC_H

#include <tarvel/win32.h>

#if defined(__cplusplus)
extern "C" {
#endif

// Request of PDC_PrintDlg. lStructSize must be at least sizeof(PRINTDLGW);
// only hwndOwner, Flags and rcMargin are read and written.
typedef struct tagPRINTDLGW {
    DWORD lStructSize;
    HWND hwndOwner;  // null: the active window
    HDC hdc;
    DWORD Flags;  // PD_* below
    RECT rcMinMargin;
    RECT rcMargin;  // thousandths of an inch, or hundredths of a mm with PD_INHUNDREDTHSOFMILLIMETERS
    HINSTANCE hInstance;
    LPARAM lCustData;
    void* lpfnPrintHook;
    LPCWSTR lpPrintTemplateName;
    HANDLE hPrintTemplate;
} PRINTDLGW;

#define PD_ALLPAGES_SELECTED 0x00000001
#define PD_DRAFTMODE 0x00000008
#define PD_PAPER_A4 0x00000010
#define PD_PAPER_LETTER 0x00000020
#define PD_PORT_INFRARED 0x00000040
#define PD_LOCKPAPER 0x00000100
#define PD_LOCKRANGE 0x00000200
#define PD_LOCKMARGINS 0x00000400
#define PD_LOCKORIENTATION 0x00000800
#define PD_RETURNDEFAULT 0x00002000
#define PD_PORTRAIT 0x00040000
#define PD_LANDSCAPE 0x00080000
#define PD_MARGINS 0x00100000
#define PD_INTHOUSANDTHSOFINCHES 0x00200000
#define PD_INHUNDREDTHSOFMILLIMETERS 0x00400000

// Request of PDC_PageSetupDlg. lStructSize must be at least
// sizeof(PAGESETUPDLGW); only hwndOwner, Flags and rtMargin are read and
// written.
typedef struct tagPAGESETUPDLGW {
    DWORD lStructSize;
    HWND hwndOwner;  // null: the active window
    HANDLE hDevMode;
    HANDLE hDevNames;
    DWORD Flags;  // PSD_* below
    POINT ptPaperSize;
    RECT rtMinMargin;
    RECT rtMargin;
    HINSTANCE hInstance;
    LPARAM lCustData;
    void* lpfnPageSetupHook;
    void* lpfnPagePaintHook;
    LPCWSTR lpPageSetupTemplateName;
    HANDLE hPageSetupTemplate;
} PAGESETUPDLGW;

#define PSD_MARGINS 0x00000002
#define PSD_INTHOUSANDTHSOFINCHES 0x00000004
#define PSD_INHUNDREDTHSOFMILLIMETERS 0x00000008
#define PSD_DISABLEMARGINS 0x00000010
#define PSD_DISABLEPRINTER 0x00000020
#define PSD_DISABLEORIENTATION 0x00000100
#define PSD_DISABLEPAPER 0x00000200
#define PSD_RETURNDEFAULT 0x00000400
// The library's own additions: lock the page range, and start with (or
// report) a page range instead of all pages.
#define PSD_DISABLEPAGERANGE 0x10000000
#define PSD_PAGERANGE 0x20000000

// Job, dialog and device functions.

// Shows the print dialog; 1 when confirmed and a printer DC exists, else 0.
TARVEL_API int PDC_PrintDlg(PRINTDLGW* request);
// Shows the print dialog for a page-setup request; 1 when confirmed, else 0.
TARVEL_API int PDC_PageSetupDlg(PAGESETUPDLGW* request);
// The printer DC; null until a dialog has been confirmed.
TARVEL_API HDC PDC_GetPrinterDC(void);
// Opens a document on the chosen port; 1, or 0 when refused.
TARVEL_API int PDC_StartDoc(HDC hdc, const DOCINFOW* info);
// Starts a page (connecting the port at the first); 1, or 0 when refused.
TARVEL_API int PDC_StartPage(HDC hdc);
// Prints the page: 1, 0 refused, -1 sending failed or cancelled, -2 out of memory.
TARVEL_API int PDC_EndPage(HDC hdc);
// Ends the document and closes the port; 1, or 0 when refused.
TARVEL_API int PDC_EndDoc(HDC hdc);
// A device capability of the printer page (HORZRES, PHYSICALWIDTH, ...);
// 0 for an unknown index or a device context the library does not know.
TARVEL_API int PDC_GetDeviceCaps(HDC hdc, int index);
// The library version times 1000: 1000.
TARVEL_API int PDC_GetVersion(void);

// Drawing and measuring: each is recorded for the page and performed on the
// device context; the result is the platform call's, or its failure value
// for a device context the library does not know.
TARVEL_API COLORREF PDC_SetTextColor(HDC hdc, COLORREF color);
TARVEL_API COLORREF PDC_SetBkColor(HDC hdc, COLORREF color);
TARVEL_API int PDC_SetBkMode(HDC hdc, int mode);
TARVEL_API int PDC_SetROP2(HDC hdc, int mode);
TARVEL_API HGDIOBJ PDC_SelectObject(HDC hdc, HGDIOBJ object);
TARVEL_API BOOL PDC_Ellipse(HDC hdc, int left, int top, int right, int bottom);
TARVEL_API BOOL PDC_Rectangle(HDC hdc, int left, int top, int right, int bottom);
TARVEL_API BOOL PDC_RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height);
TARVEL_API BOOL PDC_Polyline(HDC hdc, const POINT* points, int count);
TARVEL_API BOOL PDC_DrawLine(HDC hdc, int x1, int y1, int x2, int y2);
TARVEL_API int PDC_DrawText(HDC hdc, LPCWSTR text, int count, RECT* rect, UINT format);
TARVEL_API BOOL PDC_ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                               const int* spacing);
TARVEL_API BOOL PDC_BitBlt(HDC hdc, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                           DWORD rop);
TARVEL_API BOOL PDC_StretchBlt(HDC hdc, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                               int sourceWidth, int sourceHeight, DWORD rop);
TARVEL_API HDC PDC_CreateCompatibleDC(HDC hdc);
TARVEL_API BOOL PDC_DeleteDC(HDC hdc);
TARVEL_API BOOL PDC_GetTextMetrics(HDC hdc, TEXTMETRICW* metrics);
TARVEL_API BOOL PDC_GetTextExtentPoint(HDC hdc, LPCWSTR text, int count, SIZE* size);
TARVEL_API BOOL PDC_GetTextExtentExPoint(HDC hdc, LPCWSTR text, int count, int maxExtent, int* fit, int* extents,
                                         SIZE* size);

#if defined(__cplusplus)
}
#endif

#endif
