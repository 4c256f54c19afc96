// Pictures in every format gdk-pixbuf reads, one page each, fitted to the
// printable area keeping their proportions.
#include "Document.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cmath>

namespace tarvel::tool {
namespace {

struct PixbufPtr {
    explicit PixbufPtr(GdkPixbuf* pixbuf = nullptr)
        : pixbuf(pixbuf)
    {
    }
    ~PixbufPtr()
    {
        if (pixbuf)
            g_object_unref(pixbuf);
    }
    PixbufPtr(const PixbufPtr&) = delete;
    PixbufPtr& operator=(const PixbufPtr&) = delete;
    void Reset(GdkPixbuf* other)
    {
        if (pixbuf)
            g_object_unref(pixbuf);
        pixbuf = other;
    }
    GdkPixbuf* pixbuf;
};

// A picture is never decoded larger than the page can show: the loader
// scales while it reads, down to the longer side of the printable area
// (either way round, since the orientation tag may still turn it).
void LimitSize(GdkPixbufLoader* loader, int width, int height, gpointer data)
{
    const int longest = *static_cast<const int*>(data);
    const int side = std::max(width, height);
    if (side <= longest || width <= 0 || height <= 0)
        return;
    const double scale = static_cast<double>(longest) / side;
    gdk_pixbuf_loader_set_size(loader, std::max(1, static_cast<int>(width * scale)),
                               std::max(1, static_cast<int>(height * scale)));
}

class PictureDocument final : public Document {
public:
    PictureDocument(std::vector<std::uint8_t> bgr, int width, int height)
        : bgr_(std::move(bgr))
        , width_(width)
        , height_(height)
    {
    }

    int PageCount() const override { return 1; }

    bool DrawPage(HDC printer, const PageGeometry& page, int, std::string& error) override
    {
        const int x = page.printable.left + (page.printable.right - page.printable.left - width_) / 2;
        const int y = page.printable.top + (page.printable.bottom - page.printable.top - height_) / 2;
        if (!BlitPixels(printer, x, y, width_, height_, bgr_.data(), static_cast<std::size_t>(width_) * 3)) {
            error = "the library refused the picture";
            return false;
        }
        return true;
    }

private:
    std::vector<std::uint8_t> bgr_;
    int width_;
    int height_;
};

}  // namespace

std::unique_ptr<Document> OpenPicture(const std::vector<std::uint8_t>& bytes, const std::string& name,
                                      const PageGeometry& page, bool knownPicture, std::string& error)
{
    const int areaWidth = page.printable.right - page.printable.left;
    const int areaHeight = page.printable.bottom - page.printable.top;
    int longest = std::max(areaWidth, areaHeight);

    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    g_signal_connect(loader, "size-prepared", G_CALLBACK(LimitSize), &longest);
    GError* failure = nullptr;
    bool read = gdk_pixbuf_loader_write(loader, bytes.data(), bytes.size(), &failure);
    // The loader must be closed in every case; its own error only counts
    // when the writes went well.
    read = gdk_pixbuf_loader_close(loader, read ? &failure : nullptr) && read;
    PixbufPtr decoded;
    if (read) {
        decoded.Reset(gdk_pixbuf_loader_get_pixbuf(loader));
        if (decoded.pixbuf)
            g_object_ref(decoded.pixbuf);
    }
    g_object_unref(loader);
    if (!read || !decoded.pixbuf) {
        const bool unknown = failure && failure->domain == GDK_PIXBUF_ERROR
            && failure->code == GDK_PIXBUF_ERROR_UNKNOWN_TYPE;
        // Not a picture at all: the caller tries text, unless the name
        // promised a picture.
        if (knownPicture || !unknown)
            error = name + ": cannot read picture: " + (failure ? failure->message : "no image in the file");
        if (failure)
            g_error_free(failure);
        return nullptr;
    }

    PixbufPtr turned(gdk_pixbuf_apply_embedded_orientation(decoded.pixbuf));
    GdkPixbuf* picture = turned.pixbuf ? turned.pixbuf : decoded.pixbuf;
    const int width = gdk_pixbuf_get_width(picture);
    const int height = gdk_pixbuf_get_height(picture);
    if (areaWidth <= 0 || areaHeight <= 0 || width <= 0 || height <= 0) {
        error = name + ": the page has no area to print on";
        return nullptr;
    }
    const double scale = std::min(static_cast<double>(areaWidth) / width, static_cast<double>(areaHeight) / height);
    const int fitWidth = std::clamp(static_cast<int>(std::lround(width * scale)), 1, areaWidth);
    const int fitHeight = std::clamp(static_cast<int>(std::lround(height * scale)), 1, areaHeight);
    // Transparent parts print as the paper they stand on: white.
    PixbufPtr fitted(gdk_pixbuf_get_has_alpha(picture)
                         ? gdk_pixbuf_composite_color_simple(picture, fitWidth, fitHeight, GDK_INTERP_BILINEAR, 255, 64,
                                                             0xffffff, 0xffffff)
                         : gdk_pixbuf_scale_simple(picture, fitWidth, fitHeight, GDK_INTERP_BILINEAR));
    if (!fitted.pixbuf) {
        error = name + ": not enough memory to fit the picture to the page";
        return nullptr;
    }

    const int channels = gdk_pixbuf_get_n_channels(fitted.pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(fitted.pixbuf);
    const guchar* pixels = gdk_pixbuf_read_pixels(fitted.pixbuf);
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(fitWidth) * 3 * static_cast<std::size_t>(fitHeight));
    for (int y = 0; y < fitHeight; ++y) {
        const guchar* in = pixels + static_cast<std::size_t>(y) * stride;
        std::uint8_t* out = bgr.data() + static_cast<std::size_t>(y) * fitWidth * 3;
        for (int x = 0; x < fitWidth; ++x) {
            out[x * 3] = in[x * channels + 2];
            out[x * 3 + 1] = in[x * channels + 1];
            out[x * 3 + 2] = in[x * channels];
        }
    }
    return std::make_unique<PictureDocument>(std::move(bgr), fitWidth, fitHeight);
}

}  // namespace tarvel::tool
