// The interface the page output pipeline drives to print one page.
//
// A PrinterDriver lives for one page: the pipeline creates the driver of the
// chosen printer model, opens it for the page width, and hands it the
// dithered rows from top to bottom. Every page is a complete job for the
// printer (reset at the start, form feed and reset at the end). Every
// operation writes through the port and stops at the first short write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ports/PortWriter.h"

namespace tarvel::drivers {

using ports::PortWriter;

// The widest row a driver accepts, in pixels. The Epson column counts are
// 16-bit values, and no paper comes near this width at 360 dpi.
inline constexpr std::uint32_t kMaxRowWidth = 65535;

class PrinterDriver {
public:
    PrinterDriver() = default;
    virtual ~PrinterDriver() = default;
    PrinterDriver(const PrinterDriver&) = delete;
    PrinterDriver& operator=(const PrinterDriver&) = delete;

    // Allocates the buffers for rows of `width` pixels; false when a buffer
    // cannot be allocated or the arguments are out of range.
    virtual bool Open(std::uint32_t planeCount, std::uint32_t width, std::uint32_t draft,
                      std::uint32_t compression, std::uint32_t paper)
        = 0;
    // Releases the row buffers; harmless at any time, also twice.
    virtual void FreeBuffers() = 0;
    // Writes the page start sequence; false on a short write or a null port.
    virtual bool BeginPage(PortWriter* port) = 0;
    // Writes the page end sequence; false on a short write or a null port.
    virtual bool EjectPage(PortWriter* port) = 0;
    // Advances the paper by `count` dot rows without printing; a count of 0
    // writes nothing. False on a short write or a null port.
    virtual bool SkipRows(PortWriter* port, std::uint32_t count) = 0;
    // Prints one dithered row (width pixels of blue, green, red) and leaves
    // the paper one dot row further down; false on a short write, a null
    // port or row, or a driver that is not open.
    virtual bool SendRow(PortWriter* port, const std::uint8_t* row) = 0;
    // Prints a row that holds only black and white, given as one bit per
    // pixel (most significant first, set for black), exactly as SendRow
    // prints the same row of pixels; same failures. The bits past width in
    // the last byte are ignored. This default spells the row out for
    // SendRow; a driver that works on ink planes takes the bits as they are.
    virtual bool SendBlackRow(PortWriter* port, const std::uint8_t* black);

protected:
    std::uint32_t width = 0;
    std::uint32_t planeCount = 1;
    std::uint32_t draft = 0;
    std::uint32_t compression = 1;

private:
    std::vector<std::uint8_t> spelledRow;  // for SendBlackRow
};

// The printer models, indexed by the Printer setting.
struct PrinterModel {
    const char* name;
    int resolution;       // dots per inch
    int draftResolution;  // dots per inch in draft mode
    bool monochromeOnly;
};

inline constexpr int kPrinterModelCount = 7;

// The model with index `printer`, or null outside 0..6.
const PrinterModel* GetPrinterModel(int printer);

// Dots per inch of model `printer` (its draft resolution when draft is
// non-zero); 0 for an unknown model.
int ModelResolution(int printer, std::uint32_t draft);

// A new driver for model `printer`; null for an unknown model or when
// memory runs out.
std::unique_ptr<PrinterDriver> CreateDriver(int printer);

// Plane row bytes for `width` pixels: ceil(width / 8), computed without
// overflow.
inline std::uint32_t PlaneBytes(std::uint32_t width)
{
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(width) + 7) / 8);
}

// True when the pixel at `pixel` (three bytes) is white.
inline bool IsWhitePixel(const std::uint8_t* pixel)
{
    return pixel[0] == 255 && pixel[1] == 255 && pixel[2] == 255;
}

// Number of leading pixels of the row up to and including the last one
// that is not white; 0 for a white row.
std::uint32_t InkedColumns(const std::uint8_t* row, std::uint32_t width);

// The same for a row of one bit per pixel, set for black.
std::uint32_t InkedBits(const std::uint8_t* black, std::uint32_t width);

// Writes the whole buffer to the port in one Write; false unless the port
// took every byte.
bool WriteAll(PortWriter* port, const std::uint8_t* bytes, std::size_t count);

}  // namespace tarvel::drivers
