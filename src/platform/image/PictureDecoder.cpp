#include "platform/image/PictureDecoder.h"

#include <tarvel/gdi.h>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel::platform {
namespace {

// A picture decoded at its own size may take as many pixels as the largest
// one we keep; a format that can only decode at its own size and claims
// more is refused before anything is allocated.
constexpr std::uint64_t kMaxDecodedPixels = std::uint64_t(kMaxPictureSide) * kMaxPictureSide;
constexpr std::size_t kChunkBytes = 64 * 1024;

struct FileCloser {
    int fd;
    ~FileCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

struct LoaderReleaser {
    void operator()(GdkPixbufLoader* loader) const { g_object_unref(loader); }
};

// What the size-prepared handler decided, and how far down the picture the
// loader got, for the checks after decoding.
struct SizeDecision {
    bool refused = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t rowsDone = 0;
};

// These loaders decode straight at a smaller size (libjpeg's scaled
// decoding, vector rendering); every other one decodes at full size and
// scales afterwards.
bool DecodesAtAnySize(GdkPixbufLoader* loader)
{
    GdkPixbufFormat* format = gdk_pixbuf_loader_get_format(loader);
    if (!format)
        return false;
    gchar* name = gdk_pixbuf_format_get_name(format);
    const bool scales = name && (std::strcmp(name, "jpeg") == 0 || std::strcmp(name, "svg") == 0);
    g_free(name);
    return scales;
}

// Called once the loader knows the picture's size and before it allocates
// anything for the pixels. A size of 0 x 0 makes every loader stop with an
// error, which is how a picture is refused here.
void OnSizePrepared(GdkPixbufLoader* loader, gint width, gint height, gpointer data)
{
    auto* decision = static_cast<SizeDecision*>(data);
    if (width <= 0 || height <= 0) {
        decision->refused = true;
        gdk_pixbuf_loader_set_size(loader, 0, 0);
        return;
    }
    FitPictureSize(width, height, &decision->width, &decision->height);
    if (decision->width == width && decision->height == height)
        return;
    if (!DecodesAtAnySize(loader) && std::uint64_t(width) * std::uint64_t(height) > kMaxDecodedPixels) {
        decision->refused = true;
        gdk_pixbuf_loader_set_size(loader, 0, 0);
        return;
    }
    gdk_pixbuf_loader_set_size(loader, decision->width, decision->height);
}

// Loaders keep a picture whose data ends early, for progressive display; a
// picture whose rows were not all decoded is damaged for printing.
void OnAreaUpdated(GdkPixbufLoader*, gint, gint y, gint, gint height, gpointer data)
{
    auto* decision = static_cast<SizeDecision*>(data);
    const std::int64_t bottom = std::int64_t(y) + height;
    decision->rowsDone = std::int32_t(std::clamp<std::int64_t>(bottom, decision->rowsDone, INT32_MAX));
}

// The BMP loader allocates the info header at the size the file states,
// and then a buffer reaching to where the file says its pixels start,
// before it has read a byte more: a few bytes claiming either far away cost
// gigabytes. A BMP with a header longer than the file, or whose pixels
// start past its end, holds no picture anyway.
bool ClaimsMoreThanItHolds(int fd, off_t fileSize)
{
    std::uint8_t head[18]{};
    if (::pread(fd, head, sizeof head, 0) != ssize_t(sizeof head) || head[0] != 'B' || head[1] != 'M')
        return false;
    const auto u32 = [&](int at) {
        return std::uint32_t(head[at]) | std::uint32_t(head[at + 1]) << 8 | std::uint32_t(head[at + 2]) << 16
            | std::uint32_t(head[at + 3]) << 24;
    };
    const std::uint64_t size = std::uint64_t(fileSize);
    return u32(10) > size || u32(14) > size - 14;
}

// Feeds the whole file to the loader; false at the first read or decoding
// error. The loader is always closed, as it must be before it is released.
bool FeedLoader(GdkPixbufLoader* loader, int fd)
{
    auto buffer = std::make_unique<guchar[]>(kChunkBytes);
    bool ok = true;
    bool any = false;
    for (;;) {
        const ssize_t count = ::read(fd, buffer.get(), kChunkBytes);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            ok = false;
            break;
        }
        if (count == 0)
            break;
        any = true;
        if (!gdk_pixbuf_loader_write(loader, buffer.get(), gsize(count), nullptr)) {
            ok = false;
            break;
        }
    }
    // A truncated picture is reported here, by the loader's close.
    const bool closed = gdk_pixbuf_loader_close(loader, nullptr) != FALSE;
    return ok && any && closed;
}

// Blends one channel over white paper: c * a + 255 * (1 - a), rounded.
std::uint8_t OverWhite(unsigned channel, unsigned alpha)
{
    return static_cast<std::uint8_t>((channel * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

HBITMAP NewDib(std::int32_t width, std::int32_t height, void** bits)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

HBITMAP CopyToDib(GdkPixbuf* pixbuf)
{
    const int width = gdk_pixbuf_get_width(pixbuf);
    const int height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf) != FALSE;
    if (gdk_pixbuf_get_colorspace(pixbuf) != GDK_COLORSPACE_RGB || gdk_pixbuf_get_bits_per_sample(pixbuf) != 8
        || channels != (alpha ? 4 : 3) || width <= 0 || height <= 0)
        return nullptr;
    void* bits = nullptr;
    HBITMAP bitmap = NewDib(width, height, &bits);
    if (!bitmap)
        return nullptr;
    const std::size_t stride = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
    const std::size_t sourceStride = std::size_t(gdk_pixbuf_get_rowstride(pixbuf));
    const guchar* source = gdk_pixbuf_read_pixels(pixbuf);
    for (int y = 0; y < height; ++y) {
        const guchar* in = source + std::size_t(y) * sourceStride;
        auto* out = static_cast<std::uint8_t*>(bits) + std::size_t(y) * stride;
        for (int x = 0; x < width; ++x, in += channels, out += 3) {
            if (alpha) {
                out[0] = OverWhite(in[2], in[3]);
                out[1] = OverWhite(in[1], in[3]);
                out[2] = OverWhite(in[0], in[3]);
            } else {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
        }
    }
    return bitmap;
}

// The file a picture came from, as far as its contents can tell: any write
// changes the change time, a replacement the inode.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    explicit FileIdentity(const struct stat& s)
        : device(s.st_dev)
        , inode(s.st_ino)
        , size(s.st_size)
        , modified(s.st_mtim)
        , changed(s.st_ctim)
    {
    }
    bool operator==(const FileIdentity& other) const
    {
        return device == other.device && inode == other.inode && size == other.size
            && modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec
            && changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

struct CachedPicture {
    std::mutex lock;
    std::filesystem::path file;
    std::optional<FileIdentity> identity;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;  // the DIB's rows, top-down
};

CachedPicture& Cache()
{
    static CachedPicture* cache = new CachedPicture;  // outlives static destructors
    return *cache;
}

std::size_t DibBytes(std::int32_t width, std::int32_t height)
{
    return ((std::size_t(width) * 3 + 3) & ~std::size_t(3)) * std::size_t(height);
}

}  // namespace

HBITMAP LoadPicture(const std::filesystem::path& file)
{
    struct stat status { };
    if (file.empty() || ::stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return nullptr;
    const FileIdentity identity(status);
    CachedPicture& cache = Cache();
    {
        std::lock_guard guard(cache.lock);
        if (cache.identity && *cache.identity == identity && cache.file == file) {
            void* bits = nullptr;
            HBITMAP copy = NewDib(cache.width, cache.height, &bits);
            if (copy)
                std::memcpy(bits, cache.pixels.data(), cache.pixels.size());
            return copy;
        }
    }
    HBITMAP bitmap = DecodePicture(file);
    DIBSECTION dib{};
    if (!bitmap || GetObjectW(bitmap, sizeof dib, &dib) != int(sizeof dib))
        return bitmap;
    const std::int32_t width = dib.dsBm.bmWidth, height = std::abs(dib.dsBm.bmHeight);
    const std::size_t bytes = DibBytes(width, height);
    std::lock_guard guard(cache.lock);
    cache.identity.reset();
    cache.pixels.clear();
    if (bytes <= kCachedPictureBytes) {
        const auto* bits = static_cast<const std::uint8_t*>(dib.dsBm.bmBits);
        cache.pixels.assign(bits, bits + bytes);
        cache.file = file;
        cache.width = width;
        cache.height = height;
        cache.identity = identity;
    } else {
        cache.pixels.shrink_to_fit();
    }
    return bitmap;
}

void FitPictureSize(std::int32_t width, std::int32_t height, std::int32_t* fitWidth, std::int32_t* fitHeight)
{
    if (width <= kMaxPictureSide && height <= kMaxPictureSide) {
        *fitWidth = width;
        *fitHeight = height;
        return;
    }
    // The longer side becomes the limit; the other follows in proportion.
    const double scale = std::min(double(kMaxPictureSide) / width, double(kMaxPictureSide) / height);
    *fitWidth = std::clamp(static_cast<std::int32_t>(std::lround(width * scale)), 1, kMaxPictureSide);
    *fitHeight = std::clamp(static_cast<std::int32_t>(std::lround(height * scale)), 1, kMaxPictureSide);
}

HBITMAP DecodePicture(const std::filesystem::path& file)
{
    if (file.empty())
        return nullptr;
    FileCloser input{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat status { };
    if (input.fd < 0 || ::fstat(input.fd, &status) != 0 || !S_ISREG(status.st_mode)
        || ClaimsMoreThanItHolds(input.fd, status.st_size))
        return nullptr;

    SizeDecision decision;
    std::unique_ptr<GdkPixbufLoader, LoaderReleaser> loader(gdk_pixbuf_loader_new());
    if (!loader)
        return nullptr;
    g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(OnSizePrepared), &decision);
    g_signal_connect(loader.get(), "area-updated", G_CALLBACK(OnAreaUpdated), &decision);
    const bool decoded = FeedLoader(loader.get(), input.fd);
    if (!decoded || decision.refused)
        return nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());  // owned by the loader
    // A loader that ignored the size asked of it must not pass on more than
    // the limit allows.
    if (!pixbuf || gdk_pixbuf_get_width(pixbuf) > kMaxPictureSide || gdk_pixbuf_get_height(pixbuf) > kMaxPictureSide
        || decision.rowsDone < gdk_pixbuf_get_height(pixbuf))
        return nullptr;
    return CopyToDib(pixbuf);
}

}  // namespace tarvel::platform
