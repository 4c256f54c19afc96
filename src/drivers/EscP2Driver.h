// Epson ESC/P 2 raster graphics at 360 dpi (180 in draft), one command per
// colour plane, PackBits compressed or raw.
#pragma once

#include "drivers/RasterDriver.h"

namespace tarvel::drivers {

// What the two Epson raster languages share: the resolution, the unit of
// one dot row and the start of every page.
class EpsonRasterDriver : public ColourCodedDriver {
public:
    static int Resolution(std::uint32_t draft) { return draft ? 180 : 360; }

protected:
    // The unit (and raster density) in 1/3600 inch: one dot row.
    std::uint8_t Unit() const { return draft ? 20 : 10; }

    // Initialise, graphics mode, unit.
    void AppendPageStart(CommandBuffer& cmd) const;
};

class EscP2Driver final : public EpsonRasterDriver {
public:
    bool BeginPage(PortWriter* port) override;
    bool EjectPage(PortWriter* port) override;
    bool SkipRows(PortWriter* port, std::uint32_t count) override;

protected:
    void EnableMethods() override;
    bool SendPlane(PortWriter* port, std::uint32_t columns, std::uint8_t colour,
                   const std::uint8_t* data, std::uint32_t size) override;
    bool SendsRawPlanes() const override { return compression == 0; }
};

}  // namespace tarvel::drivers
