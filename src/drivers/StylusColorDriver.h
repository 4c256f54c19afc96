// Epson Stylus COLOR in its compressed raster mode at 360 dpi (180 in
// draft): one- to three-byte commands select the colour, carry PackBits
// data, return to the left edge and move down.
#pragma once

#include "drivers/RasterDriver.h"

namespace tarvel::drivers {

class StylusColorDriver final : public ColourCodedDriver {
public:

    static int Resolution(std::uint32_t draft) { return draft ? 180 : 360; }

    bool BeginPage(PortWriter* port) override;
    bool EjectPage(PortWriter* port) override;
    bool SkipRows(PortWriter* port, std::uint32_t count) override;

protected:
    void EnableMethods() override;
    bool SendPlane(PortWriter* port, std::uint32_t columns, std::uint8_t colour,
                   const std::uint8_t* data, std::uint32_t size) override;

private:
    std::uint8_t Unit() const { return draft ? 20 : 10; }
};

}  // namespace tarvel::drivers
