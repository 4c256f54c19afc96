// Canon BJ raster commands at 300 or 360 dpi: one command per colour plane,
// carrying its colour letter and its length, PackBits compressed or raw.
#pragma once

#include "drivers/RasterDriver.h"

namespace tarvel::drivers {

enum class CanonBjModel { Dpi300,
                          Dpi360 };

class CanonBjDriver final : public ColourCodedDriver {
public:
    explicit CanonBjDriver(CanonBjModel model)
        : model_(model)
    {
    }

    // These printers have no draft mode.
    static int Resolution(CanonBjModel model, std::uint32_t)
    {
        return model == CanonBjModel::Dpi300 ? 300 : 360;
    }

    bool BeginPage(PortWriter* port) override;
    bool EjectPage(PortWriter* port) override;
    bool SkipRows(PortWriter* port, std::uint32_t count) override;

protected:
    void EnableMethods() override;
    bool SendPlane(PortWriter* port, std::uint32_t columns, std::uint8_t colour,
                   const std::uint8_t* data, std::uint32_t size) override;

private:
    CanonBjModel model_;
};

}  // namespace tarvel::drivers
