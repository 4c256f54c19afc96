#include "Document.h"

#include "preview/StreamDecoder.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace tarvel::tool {
namespace {

constexpr int kStripRows = 128;

bool EndsWithNoCase(std::string_view text, std::string_view end)
{
    if (text.size() < end.size())
        return false;
    return std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

// PDF readers accept the header anywhere in the first kilobyte, and so do we.
bool LooksLikePdf(const std::vector<std::uint8_t>& bytes)
{
    const std::string_view head(reinterpret_cast<const char*>(bytes.data()), std::min<std::size_t>(bytes.size(), 1024));
    return head.find("%PDF-") != std::string_view::npos;
}

// Text has no NUL bytes; anything else that is neither PDF nor picture would
// only waste paper as a page of replacement characters.
bool LooksLikeText(const std::vector<std::uint8_t>& bytes)
{
    const std::size_t checked = std::min<std::size_t>(bytes.size(), 8192);
    return std::find(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(checked), 0) == bytes.begin() + static_cast<std::ptrdiff_t>(checked);
}

bool PictureName(std::string_view name)
{
    static constexpr std::string_view kEndings[] = {".png", ".jpg", ".jpeg", ".gif", ".bmp", ".tif", ".tiff",
                                                    ".webp", ".ico", ".pnm", ".ppm", ".pgm", ".pbm", ".xpm", ".tga", ".svg", ".avif", ".heic"};
    return std::any_of(std::begin(kEndings), std::end(kEndings), [&](std::string_view e) { return EndsWithNoCase(name, e); });
}

struct MemoryDc {
    explicit MemoryDc(HDC printer)
        : dc(PDC_CreateCompatibleDC(printer))
    {
    }
    ~MemoryDc()
    {
        if (dc)
            PDC_DeleteDC(dc);
    }
    HDC dc;
};

}  // namespace

std::string DisplayName(const std::string& path)
{
    return path == "-" ? "standard input" : path;
}

std::unique_ptr<Document> OpenDocument(const std::string& path, const PageGeometry& page, std::string& error)
{
    std::vector<std::uint8_t> bytes;
    std::string reason;
    if (!tarvel::preview::ReadStreamFile(path == "-" ? "/dev/stdin" : path.c_str(), bytes, reason)) {
        const std::size_t colon = reason.find(": ");
        error = path == "-" && colon != std::string::npos ? "standard input" + reason.substr(colon) : reason;
        return nullptr;
    }
    const std::string name = DisplayName(path);
    if (LooksLikePdf(bytes) || EndsWithNoCase(path, ".pdf"))
        return OpenPdf(std::move(bytes), name, error);
    if (EndsWithNoCase(path, ".txt"))
        return OpenText(bytes, page, name, error);
    const bool knownPicture = PictureName(path);
    if (auto picture = OpenPicture(bytes, name, page, knownPicture, error))
        return picture;
    if (!error.empty())
        return nullptr;
    if (!LooksLikeText(bytes)) {
        error = name + ": not a PDF, a picture or text";
        return nullptr;
    }
    return OpenText(bytes, page, name, error);
}

bool BlitPixels(HDC printer, int x, int y, int width, int height, const std::uint8_t* bgr, std::size_t stride)
{
    if (width <= 0 || height <= 0)
        return true;
    MemoryDc memory(printer);
    if (!memory.dc)
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    const std::size_t dibStride = (rowBytes + 3) & ~std::size_t{3};
    for (int top = 0; top < height; top += kStripRows) {
        const int rows = std::min(kStripRows, height - top);
        bool white = true;
        for (int row = 0; row < rows && white; ++row) {
            const std::uint8_t* line = bgr + static_cast<std::size_t>(top + row) * stride;
            white = std::all_of(line, line + rowBytes, [](std::uint8_t v) { return v == 255; });
        }
        if (white)
            continue;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -rows;  // top-down, as the rows are held
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        void* bits = nullptr;
        HBITMAP strip = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!strip)
            return false;
        for (int row = 0; row < rows; ++row)
            std::memcpy(static_cast<std::uint8_t*>(bits) + static_cast<std::size_t>(row) * dibStride,
                        bgr + static_cast<std::size_t>(top + row) * stride, rowBytes);
        HGDIOBJ kept = PDC_SelectObject(memory.dc, strip);
        const bool copied = kept && PDC_BitBlt(printer, x, y + top, width, rows, memory.dc, 0, 0, SRCCOPY);
        if (kept)
            PDC_SelectObject(memory.dc, kept);
        DeleteObject(strip);
        if (!copied)
            return false;
    }
    return true;
}

}  // namespace tarvel::tool
