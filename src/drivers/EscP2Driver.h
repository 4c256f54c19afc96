// Epson ESC/P 2 raster graphics at 360 dpi (180 in draft), one command per
// colour plane, PackBits compressed or raw.
#pragma once

#include "drivers/RasterDriver.h"

namespace tarvel::drivers {

class EscP2Driver final : public ColourCodedDriver {
public:

    static int Resolution(std::uint32_t draft) { return draft ? 180 : 360; }

    bool BeginPage(PortWriter* port) override;
    bool EjectPage(PortWriter* port) override;
    bool SkipRows(PortWriter* port, std::uint32_t count) override;

protected:
    void EnableMethods() override;
    bool SendPlane(PortWriter* port, std::uint32_t columns, std::uint8_t colour,
                   const std::uint8_t* data, std::uint32_t size) override;
    bool SendsRawPlanes() const override { return compression == 0; }

private:
    // The unit (and raster density) in 1/3600 inch: one dot row.
    std::uint8_t Unit() const { return draft ? 20 : 10; }
};

// The relative vertical moves that advance `count` units, each at most
// 65535, appended to cmd. Shared with the Stylus COLOR driver's start.
void AppendEpsonVerticalMoves(CommandBuffer& cmd, std::uint32_t count);

// The start of every Epson page: initialise, graphics mode, unit.
void AppendEpsonPageStart(CommandBuffer& cmd, std::uint8_t unit);

}  // namespace tarvel::drivers
