// What one page of CUPS raster means for our drivers: the paper, the
// resolution, the ink planes and the compression its header asks for, and
// its pixel rows turned into the rows the page pipeline hands the Ditherer.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <string>

namespace tarvel::cups {

// The largest page the filter takes: wider rasters, or longer lines than
// the deepest pixels we read (24 bits) make, are refused before anything
// is allocated for them. A page of a size we know is cut to its paper
// width long before this.
inline constexpr std::uint32_t kMaxRasterWidth = 1u << 20;
inline constexpr std::uint32_t kMaxRasterLineBytes = kMaxRasterWidth * 3;

// Whether a page header's sizes are ones the filter takes: a width and a
// line within the limits, some height, and a line length that matches the
// width and depth. False, with the reason in `error`, otherwise.
bool CheckRasterSize(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel,
                     std::uint32_t bytesPerLine, std::string* error);

struct PageSetup {
    // The PaperSize index the header's page size matches; the "Custom"
    // index when it is none of our papers, and the raster is then the page.
    std::int32_t paper = 0;
    std::uint32_t planeCount = 1;
    std::uint32_t draft = 0;
    std::uint32_t compression = 1;
    // The printer rows of the page: the paper in dots at the resolution.
    std::int32_t rowWidth = 0;
    std::int32_t rowCount = 0;
    int resolution = 0;
    // Where the raster's first pixel lies on the paper, in dots: a RIP that
    // renders only the printable area starts it at the margins.
    std::int32_t left = 0;
    std::int32_t top = 0;
};

// Works out how model `printer` prints a page with this header. False, with
// the reason in `error`, for a resolution the model does not print at, a
// colour space or depth we do not read, or sizes that make no sense.
bool SetUpPage(const cups_page_header2_t& header, int printer, PageSetup* setup, std::string* error);

// Turns one raster line (cupsBytesPerLine bytes) into a printer row of
// rowWidth pixels of blue, green, red, the raster starting at dot `left`:
// paper the raster does not cover is white, raster beyond the row is cut
// off. The header must have passed SetUpPage.
void ConvertRow(const cups_page_header2_t& header, const std::uint8_t* line, std::uint8_t* row,
                const PageSetup& setup);

}  // namespace tarvel::cups
