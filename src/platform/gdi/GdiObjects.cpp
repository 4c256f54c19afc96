#include "platform/gdi/GdiObjects.h"

#include <unordered_map>

namespace tarvel::gdi {
namespace {

// Handle values are never reused, so a stale handle cannot name a newer
// object by accident.
struct HandleTable {
    std::unordered_map<std::uintptr_t, std::shared_ptr<GdiObject>> objects;
    std::uintptr_t next = 0x10000;
};

HandleTable& Table()
{
    static HandleTable* table = new HandleTable;  // outlives static destructors
    return *table;
}

// Bitmaps larger than this are refused before anything is allocated.
constexpr std::uint64_t kMaxBitmapBytes = std::uint64_t(1) << 31;

}  // namespace

std::recursive_mutex& GdiLock()
{
    static std::recursive_mutex* lock = new std::recursive_mutex;
    return *lock;
}

HGDIOBJ RegisterObject(std::shared_ptr<GdiObject> object)
{
    if (!object) return nullptr;
    auto& table = Table();
    std::uintptr_t value = table.next;
    table.next += 16;
    HGDIOBJ h = reinterpret_cast<HGDIOBJ>(value);
    object->handle = h;
    table.objects.emplace(value, std::move(object));
    return h;
}

std::shared_ptr<GdiObject> LookupObject(HGDIOBJ h)
{
    if (!h) return nullptr;
    auto& table = Table();
    auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(h));
    return it == table.objects.end() ? nullptr : it->second;
}

bool UnregisterObject(HGDIOBJ h)
{
    auto& table = Table();
    auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(h));
    if (it == table.objects.end()) return false;
    it->second->handle = nullptr;
    table.objects.erase(it);
    return true;
}

std::shared_ptr<Bitmap> AllocateBitmap(int width, int height, int bpp, bool topDown,
                                       std::size_t rowAlign)
{
    if (width <= 0 || height <= 0) return nullptr;
    if (bpp != 1 && bpp != 8 && bpp != 24 && bpp != 32) return nullptr;
    std::uint64_t rowBits = std::uint64_t(width) * std::uint64_t(bpp);
    std::uint64_t alignBits = rowAlign * 8;
    std::uint64_t stride = (rowBits + alignBits - 1) / alignBits * rowAlign;
    std::uint64_t total = stride * std::uint64_t(height);
    if (total > kMaxBitmapBytes) return nullptr;
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->storage.reset(static_cast<std::uint8_t*>(std::calloc(std::size_t(total), 1)));
    if (!bitmap->storage) return nullptr;
    bitmap->bits = bitmap->storage.get();
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bpp = bpp;
    bitmap->stride = std::size_t(stride);
    bitmap->topDown = topDown;
    if (bpp == 1) {
        bitmap->palette = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    } else if (bpp == 8) {
        // A device-dependent 8-bit bitmap gets a fixed 3-3-2 palette.
        bitmap->palette.resize(256);
        for (int i = 0; i < 256; ++i) {
            bitmap->palette[i] = RGBQUAD{BYTE((i & 3) * 255 / 3), BYTE(((i >> 2) & 7) * 255 / 7),
                                         BYTE(((i >> 5) & 7) * 255 / 7), 0};
        }
    }
    return bitmap;
}

std::shared_ptr<Bitmap> CloneBitmap(const Bitmap& source)
{
    auto copy = AllocateBitmap(source.width, source.height, source.bpp, true, 4);
    if (!copy) return nullptr;
    copy->palette = source.palette;
    copy->isDib = source.isDib;
    std::size_t rowBytes = (std::size_t(source.width) * source.bpp + 7) / 8;
    for (int y = 0; y < source.height; ++y) {
        std::copy(source.Row(y), source.Row(y) + rowBytes, copy->Row(y));
    }
    return copy;
}

std::shared_ptr<Bitmap> StockBitmap()
{
    static std::shared_ptr<Bitmap>* stock = [] {
        auto bitmap = AllocateBitmap(1, 1, 1, true, 2);
        bitmap->stock = true;
        bitmap->readOnly = true;
        RegisterObject(bitmap);
        return new std::shared_ptr<Bitmap>(bitmap);
    }();
    return *stock;
}

HGDIOBJ StockBitmapHandle()
{
    return StockBitmap()->handle;
}

}  // namespace tarvel::gdi
