// Epson Stylus COLOR in its compressed raster mode at 360 dpi (180 in
// draft): one- to three-byte commands select the colour, carry PackBits
// data, return to the left edge and move down.
#pragma once

#include "drivers/EscP2Driver.h"

namespace tarvel::drivers {

class StylusColorDriver final : public EpsonRasterDriver {
public:
    bool BeginPage(PortWriter* port) override;
    bool EjectPage(PortWriter* port) override;
    bool SkipRows(PortWriter* port, std::uint32_t count) override;

protected:
    void EnableMethods() override;
    bool SendPlane(PortWriter* port, std::uint32_t columns, std::uint8_t colour,
                   const std::uint8_t* data, std::uint32_t size) override;
};

}  // namespace tarvel::drivers
