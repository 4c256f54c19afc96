// The objects behind the graphics handles, and the table that validates
// every handle a caller passes in.
#ifndef TARVEL_PLATFORM_GDI_GDIOBJECTS_H
#define TARVEL_PLATFORM_GDI_GDIOBJECTS_H

#include <tarvel/gdi.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

namespace tarvel::gdi {

class FontFace;

struct GdiObject {
    explicit GdiObject(DWORD t)
        : type(t)
    {
    }
    virtual ~GdiObject() = default;
    DWORD type;  // OBJ_PEN, OBJ_BRUSH, OBJ_FONT, OBJ_BITMAP, OBJ_MEMDC
    bool stock = false;
    HGDIOBJ handle = nullptr;  // while registered
};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// Pixels of every bitmap kind: device-dependent bitmaps are top-down with
// rows padded to 2 bytes, DIB sections follow their header (bottom-up for a
// positive height, rows padded to 4 bytes).
struct Bitmap : GdiObject {
    Bitmap()
        : GdiObject(OBJ_BITMAP)
    {
    }
    int width = 0;
    int height = 0;
    int bpp = 0;  // 1, 8, 24 or 32
    std::size_t stride = 0;
    bool topDown = true;
    bool isDib = false;
    // The 1 x 1 bitmap of a fresh memory DC: drawing on it succeeds and
    // leaves nothing, as on the platform's stock bitmap.
    bool readOnly = false;
    std::vector<RGBQUAD> palette;  // 2 entries for 1 bpp, up to 256 for 8 bpp
    std::unique_ptr<std::uint8_t, FreeDeleter> storage;
    std::uint8_t* bits = nullptr;
    BITMAPINFOHEADER header{};
    HDC selectedInto = nullptr;

    std::uint8_t* Row(int y) { return bits + std::size_t(topDown ? y : height - 1 - y) * stride; }
    const std::uint8_t* Row(int y) const
    {
        return bits + std::size_t(topDown ? y : height - 1 - y) * stride;
    }
};

struct Pen : GdiObject {
    Pen()
        : GdiObject(OBJ_PEN)
    {
    }
    LOGPEN log{};
};

struct Brush : GdiObject {
    Brush()
        : GdiObject(OBJ_BRUSH)
    {
    }
    LOGBRUSH log{};
    std::shared_ptr<Bitmap> pattern;      // null for solid and null brushes
    bool patternUsesDcColours = false;    // a monochrome bitmap: text and background colours
    std::vector<std::uint8_t> packedDib;  // what lbHatch points at for DIB brushes
};

struct Font : GdiObject {
    Font()
        : GdiObject(OBJ_FONT)
    {
    }
    LOGFONTW log{};
    std::shared_ptr<FontFace> face;  // realised on first use
};

struct Dc : GdiObject {
    Dc()
        : GdiObject(OBJ_MEMDC)
    {
    }
    std::shared_ptr<Bitmap> bitmap;
    std::shared_ptr<Pen> pen;
    std::shared_ptr<Brush> brush;
    std::shared_ptr<Font> font;
    HGDIOBJ bitmapHandle = nullptr;
    HGDIOBJ penHandle = nullptr;
    HGDIOBJ brushHandle = nullptr;
    HGDIOBJ fontHandle = nullptr;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    int rop2 = R2_COPYPEN;
    UINT textAlign = TA_LEFT | TA_TOP | TA_NOUPDATECP;
    POINT viewportOrg{0, 0};
    POINT brushOrg{0, 0};
};

// Every graphics call holds this lock for its whole duration, so the handle
// table and the objects are never seen half changed.
std::recursive_mutex& GdiLock();

HGDIOBJ RegisterObject(std::shared_ptr<GdiObject> object);
std::shared_ptr<GdiObject> LookupObject(HGDIOBJ h);
bool UnregisterObject(HGDIOBJ h);

template <class T>
std::shared_ptr<T> LookupAs(HGDIOBJ h, DWORD type)
{
    auto object = LookupObject(h);
    if (!object || object->type != type) return nullptr;
    return std::static_pointer_cast<T>(object);
}

inline std::shared_ptr<Dc> LookupDc(HDC h)
{
    return LookupAs<Dc>(static_cast<HGDIOBJ>(h), OBJ_MEMDC);
}

// Allocates a zeroed bitmap; null when the size is absurd or memory short.
std::shared_ptr<Bitmap> AllocateBitmap(int width, int height, int bpp, bool topDown,
                                       std::size_t rowAlign);
// A stock object by its GetStockObject index, or null.
std::shared_ptr<GdiObject> Stock(int index);
// The bitmap every new memory DC starts with.
HGDIOBJ StockBitmapHandle();
std::shared_ptr<Bitmap> StockBitmap();
// A pixel copy of a bitmap, for pattern brushes.
std::shared_ptr<Bitmap> CloneBitmap(const Bitmap& source);

}  // namespace tarvel::gdi

#endif
