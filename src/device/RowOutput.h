// The row work every printed page shares, however its pixels were made:
// white rows are only counted and announced to the driver as one skip
// before the next printed row; every other row is dithered in place and
// handed to the driver. The page pipeline feeds it rows of band playback,
// the CUPS filter rows of a raster, so a printer gets the same bytes for
// the same pixels from both.
#pragma once

#include "drivers/PrinterDriver.h"
#include "ports/PortWriter.h"
#include "render/Ditherer.h"

#include <cstddef>
#include <cstdint>

namespace tarvel::device {

// True when every byte of the row is 255.
bool IsWhiteRow(const std::uint8_t* row, std::size_t size);

enum class RowStep { Blank, Sent, Failed };

class RowOutput {
public:
    // The ditherer must be prepared for rows of `rowWidth` pixels and the
    // driver opened and begun for the page.
    RowOutput(tarvel::render::Ditherer& ditherer, tarvel::drivers::PrinterDriver& driver,
        tarvel::ports::PortWriter* port, std::int32_t rowWidth, bool monochrome);

    // Takes the next printer row (rowWidth pixels of blue, green, red) and
    // dithers it in place unless it is white. Failed when the driver could
    // not write the row.
    RowStep Put(std::uint8_t* row);

private:
    tarvel::render::Ditherer& ditherer;
    tarvel::drivers::PrinterDriver& driver;
    tarvel::ports::PortWriter* port;
    std::size_t rowBytes;
    bool monochrome;
    std::uint32_t blankRows = 0;
};

}  // namespace tarvel::device
