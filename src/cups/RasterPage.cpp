#include "cups/RasterPage.h"

#include "cups/PpdWriter.h"
#include "device/DeviceCaps.h"
#include "device/PrinterTables.h"
#include "drivers/PrinterDriver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarvel::cups {
namespace {

// An enum field of a page header as the number the stream holds: libcups
// passes a colour space or order it does not know through, and reading that
// as the enum would be undefined.
template <class Field>
unsigned Raw(const Field& field)
{
    static_assert(sizeof(Field) == sizeof(unsigned));
    unsigned value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

bool IsGray(unsigned space)
{
    return space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW || space == CUPS_CSPACE_K;
}

bool IsRgb(unsigned space)
{
    return space == CUPS_CSPACE_RGB || space == CUPS_CSPACE_SRGB || space == CUPS_CSPACE_ADOBERGB;
}

// The paper a page size in points is, within a point (the RIPs round the
// sizes a PPD gives); the "Custom" index when it is none of ours.
std::int32_t PaperOfSize(double width, double height)
{
    for (int p = 0; p < device::kCustomPaper; ++p) {
        const auto& paper = device::Papers()[static_cast<std::size_t>(p)];
        if (std::fabs(paper.width * 72.0 / 2540.0 - width) <= 1.0
            && std::fabs(paper.height * 72.0 / 2540.0 - height) <= 1.0)
            return p;
    }
    return device::kCustomPaper;
}

// The printable area's left and top edges in points from the paper's
// lower left corner, as the RIP says it rendered them: the imaging box of
// a version 2 header, else the older margins; nothing when neither is set.
double LeftEdge(const cups_page_header2_t& header)
{
    if (header.cupsImagingBBox[2] > header.cupsImagingBBox[0])
        return header.cupsImagingBBox[0];
    return header.Margins[0];
}

double TopEdge(const cups_page_header2_t& header, double height)
{
    if (header.cupsImagingBBox[3] > header.cupsImagingBBox[1])
        return header.cupsImagingBBox[3];
    if (header.ImagingBoundingBox[3] > header.ImagingBoundingBox[1])
        return header.ImagingBoundingBox[3];
    return height;
}

// Points as whole dots; anything odd (negative, not a number, beyond any
// paper) is no offset.
std::int32_t Offset(double points, int resolution)
{
    const double dots = std::round(points * resolution / 72.0);
    return dots > 0 && dots < drivers::kMaxRowWidth ? static_cast<std::int32_t>(dots) : 0;
}

}  // namespace

bool CheckRasterSize(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel, std::uint32_t bytesPerLine,
                     std::string* error)
{
    const std::uint64_t lineBytes = (std::uint64_t(width) * bitsPerPixel + 7) / 8;
    if (width != 0 && width <= kMaxRasterWidth && height != 0 && bytesPerLine <= kMaxRasterLineBytes
        && bytesPerLine == lineBytes)
        return true;
    if (error)
        *error = "Bad raster page size: " + std::to_string(width) + "x" + std::to_string(height) + " pixels, "
            + std::to_string(bytesPerLine) + " bytes per line";
    return false;
}

bool SetUpPage(const cups_page_header2_t& header, int printer, PageSetup* setup, std::string* error)
{
    const drivers::PrinterModel* model = drivers::GetPrinterModel(printer);
    if (!model || !setup || !error)
        return false;
    PageSetup page;
    const unsigned x = header.HWResolution[0], y = header.HWResolution[1];
    if (x != y || (x != unsigned(model->resolution) && x != unsigned(model->draftResolution))) {
        *error = "The page is rendered at " + std::to_string(x) + "x" + std::to_string(y) + " dpi; the " + model->name
            + " prints at " + std::to_string(model->resolution) + " dpi"
            + (model->draftResolution != model->resolution
                   ? " or " + std::to_string(model->draftResolution) + " dpi in draft"
                   : "");
        return false;
    }
    page.resolution = static_cast<int>(x);
    page.draft = x != unsigned(model->resolution) ? 1 : 0;

    const bool gray = IsGray(Raw(header.cupsColorSpace))
        && (header.cupsBitsPerColor == 1 || header.cupsBitsPerColor == 8)
        && header.cupsBitsPerPixel == header.cupsBitsPerColor;
    const bool rgb = IsRgb(Raw(header.cupsColorSpace)) && header.cupsBitsPerColor == 8 && header.cupsBitsPerPixel == 24
        && Raw(header.cupsColorOrder) == CUPS_ORDER_CHUNKED;
    if (!gray && !rgb) {
        *error = "Unsupported raster colour space " + std::to_string(Raw(header.cupsColorSpace)) + " with "
            + std::to_string(header.cupsBitsPerColor) + " bits per colour and "
            + std::to_string(header.cupsBitsPerPixel) + " per pixel; the printer takes 8-bit RGB, or 1- or 8-bit gray";
        return false;
    }
    if (!CheckRasterSize(header.cupsWidth, header.cupsHeight, header.cupsBitsPerPixel, header.cupsBytesPerLine, error))
        return false;

    // The colour mode travels in cupsInteger0; a raster that does not say
    // prints the way its colours suggest.
    const unsigned planes = header.cupsInteger[kPlaneCountInteger];
    page.planeCount = (planes == 1 || planes == 3 || planes == 4) ? planes : gray ? 1
                                                                                  : 4;
    if (model->monochromeOnly)
        page.planeCount = 1;
    page.compression = header.cupsCompression != 0 ? 1 : 0;

    const double width = header.cupsPageSize[0] > 0 ? header.cupsPageSize[0] : header.PageSize[0];
    const double height = header.cupsPageSize[1] > 0 ? header.cupsPageSize[1] : header.PageSize[1];
    page.left = Offset(LeftEdge(header), page.resolution);
    page.top = Offset(height - TopEdge(header, height), page.resolution);
    page.paper = PaperOfSize(width, height);
    if (page.paper != device::kCustomPaper) {
        // One of our papers: the printer rows are its size in dots, exactly
        // as the library computes them, whatever the raster's own size.
        const auto& paper = device::Papers()[static_cast<std::size_t>(page.paper)];
        page.rowWidth = device::Dots(paper.width, page.resolution);
        page.rowCount = device::Dots(paper.height, page.resolution);
    } else {
        // Any other size: the page is the raster and its margins.
        page.rowWidth = static_cast<std::int32_t>(
            std::min<std::uint64_t>(std::uint64_t(page.left) + header.cupsWidth, drivers::kMaxRowWidth));
        page.rowCount = static_cast<std::int32_t>(
            std::min<std::uint64_t>(std::uint64_t(page.top) + header.cupsHeight, INT32_MAX));
    }
    page.left = std::min(page.left, page.rowWidth);
    page.top = std::min(page.top, page.rowCount);
    *setup = page;
    return true;
}

void ConvertRow(const cups_page_header2_t& header, const std::uint8_t* line, std::uint8_t* row, const PageSetup& setup)
{
    const std::int32_t rowWidth = setup.rowWidth;
    const std::uint32_t width
        = std::min<std::uint32_t>(header.cupsWidth, static_cast<std::uint32_t>(rowWidth - setup.left));
    std::memset(row, 255, static_cast<std::size_t>(setup.left) * 3);
    std::uint8_t* out = row + static_cast<std::size_t>(setup.left) * 3;
    if (IsRgb(Raw(header.cupsColorSpace))) {
        for (std::uint32_t k = 0; k < width; ++k, out += 3, line += 3) {
            out[0] = line[2];
            out[1] = line[1];
            out[2] = line[0];
        }
    } else {
        // K counts ink, W and SW light; one bit is black or white.
        const std::uint8_t flip = Raw(header.cupsColorSpace) == CUPS_CSPACE_K ? 255 : 0;
        for (std::uint32_t k = 0; k < width; ++k, out += 3) {
            std::uint8_t value;
            if (header.cupsBitsPerColor == 1)
                value = (line[k / 8] >> (7 - k % 8)) & 1 ? 255 : 0;
            else
                value = line[k];
            value ^= flip;
            out[0] = out[1] = out[2] = value;
        }
    }
    std::memset(out, 255, static_cast<std::size_t>(rowWidth - setup.left - static_cast<std::int32_t>(width)) * 3);
}

}  // namespace tarvel::cups
