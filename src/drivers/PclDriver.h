// HP PCL raster graphics at 300 dpi (150 in draft), one, three or four
// planes, each plane row sent with the smallest of the four PCL compression
// methods.
#pragma once

#include "drivers/RasterDriver.h"

namespace tarvel::drivers {

class PclDriver final : public RasterDriver {
public:
    static int Resolution(std::uint32_t draft) { return draft ? 150 : 300; }

    bool BeginPage(PortWriter* port) override;
    bool EjectPage(PortWriter* port) override;
    bool SkipRows(PortWriter* port, std::uint32_t count) override;
    bool SendRow(PortWriter* port, const std::uint8_t* row) override;
    bool SendBlackRow(PortWriter* port, const std::uint8_t* black) override;

protected:
    void EnableMethods() override;

private:
    // Sends the planes as split for the whole width.
    bool SendPlanes(PortWriter* port);
};

}  // namespace tarvel::drivers
