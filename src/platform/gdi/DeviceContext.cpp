// Memory device contexts: creation, selection and the drawing state.
#include "platform/gdi/Compositor.h"
#include "platform/gdi/GdiObjects.h"

namespace tarvel::gdi {
namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// What a device context compatible with the display reports.
constexpr int kDisplayWidth = 1024;
constexpr int kDisplayHeight = 768;
constexpr int kDisplayDpi = 96;

template <class T>
void Take(std::shared_ptr<T>& slot, HGDIOBJ& slotHandle, std::shared_ptr<GdiObject> object,
          HGDIOBJ h)
{
    slot = std::static_pointer_cast<T>(std::move(object));
    slotHandle = h;
}

}  // namespace
}  // namespace tarvel::gdi

using namespace tarvel::gdi;

extern "C" {

HDC CreateCompatibleDC(HDC hdc)
{
    Guard guard(GdiLock());
    if (hdc && !LookupDc(hdc)) return nullptr;
    auto dc = std::make_shared<Dc>();
    dc->bitmap = StockBitmap();
    dc->bitmapHandle = dc->bitmap->handle;
    Take(dc->pen, dc->penHandle, Stock(BLACK_PEN), Stock(BLACK_PEN)->handle);
    Take(dc->brush, dc->brushHandle, Stock(WHITE_BRUSH), Stock(WHITE_BRUSH)->handle);
    Take(dc->font, dc->fontHandle, Stock(SYSTEM_FONT), Stock(SYSTEM_FONT)->handle);
    return static_cast<HDC>(RegisterObject(dc));
}

BOOL DeleteDC(HDC hdc)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc) return FALSE;
    if (dc->bitmap && dc->bitmap->selectedInto == hdc) dc->bitmap->selectedInto = nullptr;
    UnregisterObject(hdc);
    return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    auto object = LookupObject(h);
    if (!dc || !object) return nullptr;
    HGDIOBJ previous = nullptr;
    switch (object->type) {
    case OBJ_PEN:
        previous = dc->penHandle;
        Take(dc->pen, dc->penHandle, object, h);
        return previous;
    case OBJ_BRUSH:
        previous = dc->brushHandle;
        Take(dc->brush, dc->brushHandle, object, h);
        return previous;
    case OBJ_FONT:
        previous = dc->fontHandle;
        Take(dc->font, dc->fontHandle, object, h);
        return previous;
    case OBJ_BITMAP: {
        auto bitmap = std::static_pointer_cast<Bitmap>(object);
        if (bitmap == dc->bitmap) return h;
        // A bitmap belongs to one device context at a time; the stock
        // bitmap, which nobody can draw on, is shared by all.
        if (!bitmap->stock && bitmap->selectedInto) return nullptr;
        previous = dc->bitmapHandle;
        if (dc->bitmap->selectedInto == hdc) dc->bitmap->selectedInto = nullptr;
        if (!bitmap->stock) bitmap->selectedInto = hdc;
        Take(dc->bitmap, dc->bitmapHandle, object, h);
        return previous;
    }
    default: return nullptr;
    }
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc) return nullptr;
    switch (type) {
    case OBJ_PEN: return dc->penHandle;
    case OBJ_BRUSH: return dc->brushHandle;
    case OBJ_FONT: return dc->fontHandle;
    case OBJ_BITMAP: return dc->bitmapHandle;
    default: return nullptr;
    }
}

COLORREF SetTextColor(HDC hdc, COLORREF color)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc) return CLR_INVALID;
    COLORREF previous = dc->textColor;
    dc->textColor = color & 0xFFFFFF;
    return previous;
}

COLORREF GetTextColor(HDC hdc)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    return dc ? dc->textColor : CLR_INVALID;
}

COLORREF SetBkColor(HDC hdc, COLORREF color)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc) return CLR_INVALID;
    COLORREF previous = dc->bkColor;
    dc->bkColor = color & 0xFFFFFF;
    return previous;
}

COLORREF GetBkColor(HDC hdc)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    return dc ? dc->bkColor : CLR_INVALID;
}

int SetBkMode(HDC hdc, int mode)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int previous = dc->bkMode;
    dc->bkMode = mode;
    return previous;
}

int GetBkMode(HDC hdc)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    return dc ? dc->bkMode : 0;
}

int SetROP2(HDC hdc, int rop2)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc || rop2 < R2_BLACK || rop2 > R2_WHITE) return 0;
    int previous = dc->rop2;
    dc->rop2 = rop2;
    return previous;
}

int GetROP2(HDC hdc)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    return dc ? dc->rop2 : 0;
}

UINT SetTextAlign(HDC hdc, UINT align)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc) return GDI_ERROR;
    UINT previous = dc->textAlign;
    dc->textAlign = align;
    return previous;
}

UINT GetTextAlign(HDC hdc)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    return dc ? dc->textAlign : GDI_ERROR;
}

BOOL SetViewportOrgEx(HDC hdc, int x, int y, POINT* lppt)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc) return FALSE;
    if (lppt) *lppt = dc->viewportOrg;
    dc->viewportOrg = POINT{x, y};
    return TRUE;
}

BOOL GetViewportOrgEx(HDC hdc, POINT* lppt)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc || !lppt) return FALSE;
    *lppt = dc->viewportOrg;
    return TRUE;
}

BOOL SetBrushOrgEx(HDC hdc, int x, int y, POINT* lppt)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc) return FALSE;
    if (lppt) *lppt = dc->brushOrg;
    dc->brushOrg = POINT{x, y};
    return TRUE;
}

int GetDeviceCaps(HDC hdc, int index)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc) return 0;
    switch (index) {
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZSIZE: return kDisplayWidth * 254 / (kDisplayDpi * 10);
    case VERTSIZE: return kDisplayHeight * 254 / (kDisplayDpi * 10);
    case HORZRES: return kDisplayWidth;
    case VERTRES: return kDisplayHeight;
    case BITSPIXEL: return 24;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case RASTERCAPS: return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT;
    case LOGPIXELSX:
    case LOGPIXELSY: return kDisplayDpi;
    default: return 0;  // a display has no physical page
    }
}

COLORREF GetPixel(HDC hdc, int x, int y)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc) return CLR_INVALID;
    long long dx = (long long)x + dc->viewportOrg.x;
    long long dy = (long long)y + dc->viewportOrg.y;
    const Bitmap& bitmap = *dc->bitmap;
    if (dx < 0 || dy < 0 || dx >= bitmap.width || dy >= bitmap.height) return CLR_INVALID;
    return ReadColor(bitmap, int(dx), int(dy));
}

}  // extern "C"
