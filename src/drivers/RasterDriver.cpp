#include "drivers/RasterDriver.h"

#include <cstring>
#include <new>

#include "drivers/PlaneSplit.h"

namespace tarvel::drivers {

namespace {

std::unique_ptr<std::uint8_t[]> AllocatePlane(std::uint32_t bytes)
{
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[bytes]());
}

}  // namespace

RasterDriver::~RasterDriver()
{
    // Called directly: the derived part is gone by now.
    RasterDriver::FreeBuffers();
    compressor.Free();
}

bool RasterDriver::Open(std::uint32_t planeCountArg, std::uint32_t widthArg,
                        std::uint32_t draftArg, std::uint32_t compressionArg, std::uint32_t)
{
    planeCount = planeCountArg;
    width = widthArg;
    draft = draftArg;
    compression = compressionArg;
    FreeBuffers();
    if (planeCount != 1 && planeCount != 3 && planeCount != 4) return false;
    if (width > kMaxRowWidth) return false;

    // A page without width still gets one byte per plane, so the buffers
    // exist and an all-white row is simply skipped.
    std::uint32_t rowBytes = PlaneBytes(width);
    if (rowBytes == 0) rowBytes = 1;
    if (planeCount == 1) {
        blackPlane = AllocatePlane(rowBytes);
        if (!blackPlane) return false;
    } else {
        cyanPlane = AllocatePlane(rowBytes);
        magentaPlane = AllocatePlane(rowBytes);
        yellowPlane = AllocatePlane(rowBytes);
        if (!cyanPlane || !magentaPlane || !yellowPlane) return false;
        if (planeCount == 4) {
            blackPlane = AllocatePlane(rowBytes);
            if (!blackPlane) return false;
        }
    }
    if (!compressor.Allocate(static_cast<int>(rowBytes), static_cast<int>(planeCount))) return false;
    EnableMethods();
    return true;
}

void RasterDriver::FreeBuffers()
{
    cyanPlane.reset();
    magentaPlane.reset();
    yellowPlane.reset();
    blackPlane.reset();
}

bool RasterDriver::IsOpen() const
{
    if (compressor.rowBytes() == 0) return false;
    switch (planeCount) {
    case 1: return blackPlane != nullptr;
    case 3: return cyanPlane && magentaPlane && yellowPlane;
    case 4: return cyanPlane && magentaPlane && yellowPlane && blackPlane;
    default: return false;
    }
}

bool RasterDriver::SplitPlanes(const std::uint8_t* row, std::uint32_t n)
{
    const int pixels = static_cast<int>(n);
    switch (planeCount) {
    case 1:
        SplitBlack(row, blackPlane.get(), pixels);
        return true;
    case 3:
        SplitCmy(row, cyanPlane.get(), magentaPlane.get(), yellowPlane.get(), pixels);
        return true;
    case 4:
        SplitCmyk(row, cyanPlane.get(), magentaPlane.get(), yellowPlane.get(),
                  blackPlane.get(), pixels);
        return true;
    default:
        return false;
    }
}

bool RasterDriver::PlanesFromBlack(const std::uint8_t* black, std::uint32_t n)
{
    const std::uint32_t bytes = PlaneBytes(n);
    std::uint8_t* const inked[3] = {cyanPlane.get(), magentaPlane.get(), yellowPlane.get()};
    switch (planeCount) {
    case 1: std::memcpy(blackPlane.get(), black, bytes); break;
    case 3:
        for (std::uint8_t* plane : inked) std::memcpy(plane, black, bytes);
        break;
    case 4:
        std::memcpy(blackPlane.get(), black, bytes);
        for (std::uint8_t* plane : inked) std::memset(plane, 0, bytes);
        break;
    default: return false;
    }
    // As SplitPlanes leaves them: nothing past n in the last byte.
    if (n % 8 != 0) {
        const auto kept = static_cast<std::uint8_t>(0xFF00 >> (n % 8));
        for (std::uint8_t* plane : {cyanPlane.get(), magentaPlane.get(), yellowPlane.get(), blackPlane.get()}) {
            if (plane) plane[bytes - 1] &= kept;
        }
    }
    return true;
}

bool ColourCodedDriver::SendRow(PortWriter* port, const std::uint8_t* row)
{
    if (!port || !row || !IsOpen()) return false;
    const std::uint32_t n = InkedColumns(row, width);
    // A row that dithering turned white only moves the paper.
    if (n == 0) return SkipRows(port, 1);
    return SplitPlanes(row, n) && SendPlanes(port, n);
}

bool ColourCodedDriver::SendBlackRow(PortWriter* port, const std::uint8_t* black)
{
    if (!port || !black || !IsOpen()) return false;
    const std::uint32_t n = InkedBits(black, width);
    if (n == 0) return SkipRows(port, 1);
    return PlanesFromBlack(black, n) && SendPlanes(port, n);
}

bool ColourCodedDriver::SendPlanes(PortWriter* port, std::uint32_t n)
{

    struct Plane {
        const std::uint8_t* bytes;
        std::uint8_t colour;
    };
    Plane order[4];
    int count = 0;
    if (planeCount == 1) {
        order[count++] = {blackPlane.get(), kColourBlack};
    } else {
        order[count++] = {yellowPlane.get(), kColourYellow};
        order[count++] = {cyanPlane.get(), kColourCyan};
        order[count++] = {magentaPlane.get(), kColourMagenta};
        if (planeCount == 4) order[count++] = {blackPlane.get(), kColourBlack};
    }

    const std::uint32_t planeBytes = PlaneBytes(n);
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* data = order[i].bytes;
        std::uint32_t size = planeBytes;
        if (!SendsRawPlanes()) {
            // These languages never use delta row, so every plane can share
            // seed row 0.
            const std::uint8_t* out = nullptr;
            size = static_cast<std::uint32_t>(
                compressor.Compress(order[i].bytes, static_cast<int>(planeBytes), 0, &out, nullptr));
            data = out;
        }
        if (!SendPlane(port, n, order[i].colour, data, size)) return false;
    }
    return SkipRows(port, 1);
}

}  // namespace tarvel::drivers
