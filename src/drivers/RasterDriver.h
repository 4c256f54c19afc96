// The raster drivers: plane buffers, the RowCompressor, and the row
// procedure shared by the drivers that name each plane by a colour code.
#pragma once

#include <cstdint>
#include <memory>

#include "drivers/CommandBuffer.h"
#include "drivers/PrinterDriver.h"
#include "drivers/RowCompressor.h"

namespace tarvel::drivers {

// Colour codes of the Epson and Canon languages.
inline constexpr std::uint8_t kColourBlack = 0;
inline constexpr std::uint8_t kColourMagenta = 1;
inline constexpr std::uint8_t kColourCyan = 2;
inline constexpr std::uint8_t kColourYellow = 4;

class RasterDriver : public PrinterDriver {
public:
    ~RasterDriver() override;

    // Accepts plane counts 1, 3 and 4 and widths up to kMaxRowWidth.
    bool Open(std::uint32_t planeCount, std::uint32_t width, std::uint32_t draft,
              std::uint32_t compression, std::uint32_t paper) override;
    void FreeBuffers() override;

protected:
    // Which compression methods the driver's compressor may use, given the
    // compression and draft settings stored by Open.
    virtual void EnableMethods() = 0;

    // Separates the first n pixels of the row into the planes in use; false
    // for a plane count the driver does not know.
    bool SplitPlanes(const std::uint8_t* row, std::uint32_t n);
    // The same for the first n pixels of a row of black bits (SendBlackRow):
    // black ink, or all three colours where there is no black plane.
    bool PlanesFromBlack(const std::uint8_t* black, std::uint32_t n);

    // True when Open succeeded and the buffers are there.
    bool IsOpen() const;

    std::unique_ptr<std::uint8_t[]> cyanPlane;
    std::unique_ptr<std::uint8_t[]> magentaPlane;
    std::unique_ptr<std::uint8_t[]> yellowPlane;
    std::unique_ptr<std::uint8_t[]> blackPlane;
    RowCompressor compressor;
};

// ESC/P 2, Stylus COLOR and Canon BJ print a row as one command per plane,
// trimmed at the right to the last inked column.
class ColourCodedDriver : public RasterDriver {
public:
    bool SendRow(PortWriter* port, const std::uint8_t* row) override;
    bool SendBlackRow(PortWriter* port, const std::uint8_t* black) override;

protected:
    // Writes one plane: `columns` pixels wide, colour code `colour`, with
    // `size` bytes of data (compressed, or the raw plane bytes when the
    // driver sends them raw). False on a short write.
    virtual bool SendPlane(PortWriter* port, std::uint32_t columns, std::uint8_t colour,
                           const std::uint8_t* data, std::uint32_t size)
        = 0;

    // True when the plane bytes go out exactly as separated instead of
    // through the compressor.
    virtual bool SendsRawPlanes() const { return false; }

private:
    // Sends the planes as split for the first n pixels, n > 0.
    bool SendPlanes(PortWriter* port, std::uint32_t n);
};

}  // namespace tarvel::drivers
