// PDF pages rendered by poppler onto cairo at the printer's resolution.
#include "Document.h"

#include <cairo.h>
#include <poppler.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarvel::tool {
namespace {

template <typename T>
struct GObjectPtr {
    explicit GObjectPtr(T* object = nullptr)
        : object(object)
    {
    }
    ~GObjectPtr()
    {
        if (object)
            g_object_unref(object);
    }
    GObjectPtr(const GObjectPtr&) = delete;
    GObjectPtr& operator=(const GObjectPtr&) = delete;
    T* object;
};

class PdfDocument final : public Document {
public:
    PdfDocument(std::vector<std::uint8_t> bytes, std::string name)
        : bytes_(std::move(bytes))
        , name_(std::move(name))
    {
    }
    ~PdfDocument() override
    {
        if (document_)
            g_object_unref(document_);
    }

    bool Load(std::string& error)
    {
        GBytes* data = g_bytes_new_static(bytes_.data(), bytes_.size());
        GError* failure = nullptr;
        document_ = poppler_document_new_from_bytes(data, nullptr, &failure);
        g_bytes_unref(data);
        if (!document_) {
            error = name_ + ": cannot read PDF: " + (failure ? failure->message : "unknown error");
            if (failure)
                g_error_free(failure);
            return false;
        }
        if (poppler_document_get_n_pages(document_) <= 0) {
            error = name_ + ": the PDF has no pages";
            return false;
        }
        return true;
    }

    int PageCount() const override { return poppler_document_get_n_pages(document_); }

    // A page is printed at its own size when it fits the printable area and
    // shrunk to fit otherwise, keeping its proportions, centred either way.
    bool DrawPage(HDC printer, const PageGeometry& page, int index, std::string& error) override
    {
        GObjectPtr<PopplerPage> pdfPage(poppler_document_get_page(document_, index));
        if (!pdfPage.object) {
            error = "cannot read the page";
            return false;
        }
        double widthPt = 0, heightPt = 0;
        poppler_page_get_size(pdfPage.object, &widthPt, &heightPt);
        const int areaWidth = page.printable.right - page.printable.left;
        const int areaHeight = page.printable.bottom - page.printable.top;
        if (!(widthPt > 0 && heightPt > 0) || areaWidth <= 0 || areaHeight <= 0) {
            error = "the page has no area to print on";
            return false;
        }
        const double scale = std::min({page.dpi / 72.0, areaWidth / widthPt, areaHeight / heightPt});
        const int width = std::clamp(static_cast<int>(std::lround(widthPt * scale)), 1, areaWidth);
        const int height = std::clamp(static_cast<int>(std::lround(heightPt * scale)), 1, areaHeight);

        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(surface);
            error = "not enough memory to render it";
            return false;
        }
        cairo_t* cr = cairo_create(surface);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        cairo_scale(cr, scale, scale);
        poppler_page_render_for_printing(pdfPage.object, cr);
        cairo_destroy(cr);
        cairo_surface_flush(surface);

        // Cairo keeps a pixel as one native 32-bit word, x R G B; the DIB
        // wants blue, green, red bytes. The packed rows are written over the
        // surface itself, never ahead of a word still to be read.
        unsigned char* data = cairo_image_surface_get_data(surface);
        const std::size_t stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
        for (int y = 0; y < height; ++y) {
            const unsigned char* in = data + static_cast<std::size_t>(y) * stride;
            unsigned char* out = data + static_cast<std::size_t>(y) * width * 3;
            for (int x = 0; x < width; ++x) {
                std::uint32_t word;
                std::memcpy(&word, in + x * 4, 4);
                out[x * 3] = static_cast<std::uint8_t>(word);
                out[x * 3 + 1] = static_cast<std::uint8_t>(word >> 8);
                out[x * 3 + 2] = static_cast<std::uint8_t>(word >> 16);
            }
        }
        const int x = page.printable.left + (areaWidth - width) / 2;
        const int y = page.printable.top + (areaHeight - height) / 2;
        const bool blitted = BlitPixels(printer, x, y, width, height, data, static_cast<std::size_t>(width) * 3);
        cairo_surface_destroy(surface);
        if (!blitted) {
            error = "the library refused the picture of the page";
            return false;
        }
        return true;
    }

private:
    // The bytes outlive the document, which reads them in place.
    std::vector<std::uint8_t> bytes_;
    std::string name_;
    PopplerDocument* document_ = nullptr;
};

}  // namespace

std::unique_ptr<Document> OpenPdf(std::vector<std::uint8_t> bytes, const std::string& name, std::string& error)
{
    auto document = std::make_unique<PdfDocument>(std::move(bytes), name);
    if (!document->Load(error))
        return nullptr;
    return document;
}

}  // namespace tarvel::tool
