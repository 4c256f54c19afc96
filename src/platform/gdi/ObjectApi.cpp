// Creation, description and deletion of pens, brushes, fonts and bitmaps.
#include "platform/gdi/GdiObjects.h"

#include <cstring>
#include <new>

namespace tarvel::gdi {
namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

HPEN MakePen(UINT style, int width, COLORREF color)
{
    if (style > 6) return nullptr;  // PS_SOLID .. PS_INSIDEFRAME
    auto pen = std::make_shared<Pen>();
    pen->log.lopnStyle = style;
    pen->log.lopnWidth = POINT{width < 0 ? 0 : width, 0};
    pen->log.lopnColor = color & 0xFFFFFF;
    return static_cast<HPEN>(RegisterObject(pen));
}

std::shared_ptr<Pen> StockPen(COLORREF color, UINT style)
{
    auto pen = std::make_shared<Pen>();
    pen->log.lopnStyle = style;
    pen->log.lopnColor = color;
    pen->stock = true;
    return pen;
}

std::shared_ptr<Brush> StockBrush(COLORREF color, UINT style)
{
    auto brush = std::make_shared<Brush>();
    brush->log.lbStyle = style;
    brush->log.lbColor = style == BS_SOLID ? color : 0;
    brush->stock = true;
    return brush;
}

std::shared_ptr<Font> StockFont(const char16_t* face, LONG height)
{
    auto font = std::make_shared<Font>();
    font->log.lfHeight = height;
    font->log.lfWeight = FW_NORMAL;
    font->log.lfCharSet = DEFAULT_CHARSET;
    for (int i = 0; face[i] && i < LF_FACESIZE - 1; ++i) font->log.lfFaceName[i] = face[i];
    font->stock = true;
    return font;
}

// Builds a bitmap from a packed DIB or a DIB header and separate bits.
// Returns null for headers this layer does not draw.
std::shared_ptr<Bitmap> BitmapFromDib(const BITMAPINFO* info, const std::uint8_t* bits,
                                      UINT usage, std::size_t* consumed)
{
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN || h.biPlanes != 1 || h.biCompression != BI_RGB) {
        return nullptr;
    }
    int bpp = h.biBitCount;
    if (bpp != 1 && bpp != 8 && bpp != 24 && bpp != 32) return nullptr;
    std::size_t colours = 0;
    if (bpp <= 8) {
        if (usage != DIB_RGB_COLORS) return nullptr;
        colours = h.biClrUsed ? h.biClrUsed : (1u << bpp);
        if (colours > (1u << bpp)) return nullptr;
    }
    bool topDown = h.biHeight < 0;
    int height = topDown ? -h.biHeight : h.biHeight;
    auto bitmap = AllocateBitmap(h.biWidth, height, bpp, topDown, 4);
    if (!bitmap) return nullptr;
    bitmap->isDib = true;
    bitmap->header = h;
    bitmap->header.biSize = sizeof(BITMAPINFOHEADER);
    bitmap->header.biSizeImage = DWORD(bitmap->stride * std::size_t(height));
    if (bpp <= 8) {
        bitmap->palette.assign(std::size_t(1) << bpp, RGBQUAD{0, 0, 0, 0});
        for (std::size_t i = 0; i < colours; ++i) bitmap->palette[i] = info->bmiColors[i];
    }
    if (consumed) *consumed = h.biSize + colours * sizeof(RGBQUAD);
    if (bits) std::memcpy(bitmap->bits, bits, bitmap->stride * std::size_t(height));
    return bitmap;
}

}  // namespace

// The stock objects exist once per process and are never deleted.
std::shared_ptr<GdiObject> Stock(int index)
{
    static std::shared_ptr<GdiObject>* table = [] {
        auto* t = new std::shared_ptr<GdiObject>[18];
        t[WHITE_BRUSH] = StockBrush(RGB(255, 255, 255), BS_SOLID);
        t[LTGRAY_BRUSH] = StockBrush(RGB(192, 192, 192), BS_SOLID);
        t[GRAY_BRUSH] = StockBrush(RGB(128, 128, 128), BS_SOLID);
        t[DKGRAY_BRUSH] = StockBrush(RGB(64, 64, 64), BS_SOLID);
        t[BLACK_BRUSH] = StockBrush(RGB(0, 0, 0), BS_SOLID);
        t[NULL_BRUSH] = StockBrush(0, BS_NULL);
        t[WHITE_PEN] = StockPen(RGB(255, 255, 255), PS_SOLID);
        t[BLACK_PEN] = StockPen(RGB(0, 0, 0), PS_SOLID);
        t[NULL_PEN] = StockPen(0, PS_NULL);
        t[OEM_FIXED_FONT] = StockFont(u"Courier New", -13);
        t[ANSI_FIXED_FONT] = StockFont(u"Courier New", -13);
        t[ANSI_VAR_FONT] = StockFont(u"Tahoma", -12);
        t[SYSTEM_FONT] = StockFont(u"Tahoma", -12);
        t[DEVICE_DEFAULT_FONT] = StockFont(u"Tahoma", -12);
        t[DEFAULT_GUI_FONT] = StockFont(u"Tahoma", -12);
        for (int i = 0; i < 18; ++i) {
            if (t[i]) RegisterObject(t[i]);
        }
        return t;
    }();
    if (index < 0 || index >= 18) return nullptr;
    return table[index];
}

}  // namespace tarvel::gdi

using namespace tarvel::gdi;

extern "C" {

HPEN CreatePen(int iStyle, int cWidth, COLORREF color)
{
    Guard guard(GdiLock());
    if (iStyle < 0) return nullptr;
    return MakePen(UINT(iStyle), cWidth, color);
}

HPEN CreatePenIndirect(const LOGPEN* plpen)
{
    if (!plpen) return nullptr;
    Guard guard(GdiLock());
    return MakePen(plpen->lopnStyle, plpen->lopnWidth.x, plpen->lopnColor);
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    Guard guard(GdiLock());
    auto brush = std::make_shared<Brush>();
    brush->log.lbStyle = BS_SOLID;
    brush->log.lbColor = color & 0xFFFFFF;
    return static_cast<HBRUSH>(RegisterObject(brush));
}

HBRUSH CreatePatternBrush(HBITMAP hbm)
{
    Guard guard(GdiLock());
    auto bitmap = LookupAs<Bitmap>(hbm, OBJ_BITMAP);
    if (!bitmap) return nullptr;
    auto brush = std::make_shared<Brush>();
    brush->pattern = CloneBitmap(*bitmap);
    if (!brush->pattern) return nullptr;
    brush->patternUsesDcColours = bitmap->bpp == 1 && !bitmap->isDib;
    brush->log.lbStyle = BS_PATTERN;
    brush->log.lbColor = 0;
    brush->log.lbHatch = reinterpret_cast<UINT_PTR>(hbm);
    return static_cast<HBRUSH>(RegisterObject(brush));
}

HBRUSH CreateDIBPatternBrushPt(const void* lpPackedDIB, UINT iUsage)
{
    if (!lpPackedDIB) return nullptr;
    Guard guard(GdiLock());
    const auto* info = static_cast<const BITMAPINFO*>(lpPackedDIB);
    std::size_t headerBytes = 0;
    auto pattern = BitmapFromDib(info, nullptr, iUsage, &headerBytes);
    if (!pattern) return nullptr;
    const auto* bytes = static_cast<const std::uint8_t*>(lpPackedDIB);
    std::size_t pixelBytes = pattern->stride * std::size_t(pattern->height);
    std::memcpy(pattern->bits, bytes + headerBytes, pixelBytes);
    auto brush = std::make_shared<Brush>();
    // lbHatch points at the brush's own copy, which lives as long as the
    // brush, so a caller may rebuild the brush from the description.
    brush->packedDib.assign(bytes, bytes + headerBytes + pixelBytes);
    brush->pattern = std::move(pattern);
    brush->log.lbStyle = BS_DIBPATTERNPT;
    brush->log.lbColor = iUsage;
    brush->log.lbHatch = reinterpret_cast<UINT_PTR>(brush->packedDib.data());
    return static_cast<HBRUSH>(RegisterObject(brush));
}

HFONT CreateFontIndirectW(const LOGFONTW* lplf)
{
    if (!lplf) return nullptr;
    Guard guard(GdiLock());
    auto font = std::make_shared<Font>();
    font->log = *lplf;
    font->log.lfFaceName[LF_FACESIZE - 1] = 0;
    return static_cast<HFONT>(RegisterObject(font));
}

HBITMAP CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* lpBits)
{
    Guard guard(GdiLock());
    if (nWidth < 0 || nHeight < 0 || nPlanes != 1) return nullptr;
    if (nWidth == 0 || nHeight == 0) return static_cast<HBITMAP>(StockBitmapHandle());
    auto bitmap = AllocateBitmap(nWidth, nHeight, int(nBitCount), true, 2);
    if (!bitmap) return nullptr;
    if (lpBits) std::memcpy(bitmap->bits, lpBits, bitmap->stride * std::size_t(nHeight));
    return static_cast<HBITMAP>(RegisterObject(bitmap));
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy)
{
    Guard guard(GdiLock());
    if (cx < 0 || cy < 0) return nullptr;
    int bpp = 24;  // the display's depth
    std::vector<RGBQUAD> palette;
    if (hdc) {
        auto dc = LookupDc(hdc);
        if (!dc) return nullptr;
        bpp = dc->bitmap->bpp;
        palette = dc->bitmap->palette;
    }
    if (cx == 0 || cy == 0) return static_cast<HBITMAP>(StockBitmapHandle());
    auto bitmap = AllocateBitmap(cx, cy, bpp, true, bpp == 1 ? 2 : 4);
    if (!bitmap) return nullptr;
    if (bpp == 8) bitmap->palette = palette;
    return static_cast<HBITMAP>(RegisterObject(bitmap));
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                         HANDLE hSection, DWORD)
{
    if (ppvBits) *ppvBits = nullptr;
    if (!pbmi || hSection) return nullptr;
    Guard guard(GdiLock());
    auto bitmap = BitmapFromDib(pbmi, nullptr, usage, nullptr);
    if (!bitmap) return nullptr;
    HGDIOBJ h = RegisterObject(bitmap);
    if (ppvBits) *ppvBits = bitmap->bits;
    return static_cast<HBITMAP>(h);
}

HGDIOBJ GetStockObject(int i)
{
    Guard guard(GdiLock());
    auto object = Stock(i);
    return object ? object->handle : nullptr;
}

BOOL DeleteObject(HGDIOBJ ho)
{
    Guard guard(GdiLock());
    auto object = LookupObject(ho);
    if (!object || object->type == OBJ_MEMDC) return FALSE;
    if (object->stock) return TRUE;
    if (object->type == OBJ_BITMAP && static_cast<Bitmap&>(*object).selectedInto) return FALSE;
    // A pen, brush or font still selected somewhere stays alive in that
    // device context until it is displaced; only its handle ends here.
    return UnregisterObject(ho) ? TRUE : FALSE;
}

int GetObjectW(HGDIOBJ h, int c, LPVOID pv)
{
    Guard guard(GdiLock());
    auto object = LookupObject(h);
    if (!object || c < 0) return 0;
    auto copyOut = [&](const void* data, int size) -> int {
        if (!pv) return size;
        if (c < size) return 0;
        std::memcpy(pv, data, std::size_t(size));
        return size;
    };
    switch (object->type) {
    case OBJ_PEN: return copyOut(&static_cast<Pen&>(*object).log, sizeof(LOGPEN));
    case OBJ_BRUSH: return copyOut(&static_cast<Brush&>(*object).log, sizeof(LOGBRUSH));
    case OBJ_FONT: return copyOut(&static_cast<Font&>(*object).log, sizeof(LOGFONTW));
    case OBJ_BITMAP: {
        auto& bitmap = static_cast<Bitmap&>(*object);
        DIBSECTION ds{};
        ds.dsBm.bmType = 0;
        ds.dsBm.bmWidth = bitmap.width;
        ds.dsBm.bmHeight = bitmap.height;
        ds.dsBm.bmWidthBytes = LONG(bitmap.stride);
        ds.dsBm.bmPlanes = 1;
        ds.dsBm.bmBitsPixel = WORD(bitmap.bpp);
        ds.dsBm.bmBits = bitmap.isDib ? bitmap.bits : nullptr;
        if (!bitmap.isDib) return copyOut(&ds.dsBm, sizeof(BITMAP));
        ds.dsBmih = bitmap.header;
        if (!pv) return sizeof(DIBSECTION);
        if (c >= int(sizeof(DIBSECTION))) return copyOut(&ds, sizeof(DIBSECTION));
        return copyOut(&ds.dsBm, sizeof(BITMAP));
    }
    default: return 0;
    }
}

DWORD GetObjectType(HGDIOBJ h)
{
    Guard guard(GdiLock());
    auto object = LookupObject(h);
    return object ? object->type : 0;
}

}  // extern "C"
