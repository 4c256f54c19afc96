// The documents tarvel prints: PDF files, pictures and plain text. Each is
// read whole and checked before the job starts, so that a damaged second
// file stops the job before a single byte reaches the printer.
#pragma once

#include <tarvel/win32.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvel::tool {

// The printer page as PDC_GetDeviceCaps describes it, in dots; `text` is
// the area the user keeps free (the stored margins), never smaller than
// what the printer cannot reach.
struct PageGeometry {
    int width = 0;
    int height = 0;
    int dpi = 0;
    RECT printable{};
    RECT text{};
};

class Document {
public:
    virtual ~Document() = default;
    virtual int PageCount() const = 0;
    // Draws page `index` (from 0) on the printer DC between PDC_StartPage
    // and PDC_EndPage. False with `error` set when the page cannot be drawn.
    virtual bool DrawPage(HDC printer, const PageGeometry& page, int index, std::string& error) = 0;
};

// Reads `path` ("-" for standard input) and opens it as whatever it is: a
// PDF (by its header or its name), a picture gdk-pixbuf knows, or text.
// Null with `error` naming the file and the reason otherwise.
std::unique_ptr<Document> OpenDocument(const std::string& path, const PageGeometry& page, std::string& error);

// The name a file goes by in messages.
std::string DisplayName(const std::string& path);

// Makes a document of each kind from bytes already read.
std::unique_ptr<Document> OpenPdf(std::vector<std::uint8_t> bytes, const std::string& name, std::string& error);
std::unique_ptr<Document> OpenPicture(const std::vector<std::uint8_t>& bytes, const std::string& name,
                                      const PageGeometry& page, bool knownPicture, std::string& error);
std::unique_ptr<Document> OpenText(
    const std::vector<std::uint8_t>& bytes, const PageGeometry& page, const std::string& name, std::string& error);

// Copies 24-bit pixels (blue, green, red, rows `stride` bytes apart) onto the
// printer DC at (x, y). White bands are left out, since the page starts
// white; the rest goes in strips, so no page-sized copy is ever needed.
// False when the library refuses a bitmap.
bool BlitPixels(HDC printer, int x, int y, int width, int height, const std::uint8_t* bgr, std::size_t stride);

}  // namespace tarvel::tool
