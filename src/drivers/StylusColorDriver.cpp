#include "drivers/StylusColorDriver.h"

namespace tarvel::drivers {

namespace {

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kLeaveRasterMode = 0xE3;
constexpr std::uint8_t kLeftEdge = 0xE2;

// The three forms of a count in the compressed raster mode: one byte for
// small values, a byte for up to 255, a 16-bit value beyond.
void AppendShortCount(CommandBuffer& cmd, std::uint8_t small, std::uint8_t byteForm,
                      std::uint8_t wordForm, std::uint32_t value)
{
    if (value < 16) {
        cmd.Byte(static_cast<std::uint8_t>(small | value));
    } else if (value < 256) {
        cmd.Bytes({byteForm, static_cast<std::uint8_t>(value)});
    } else {
        cmd.Byte(wordForm);
        cmd.Le16(value);
    }
}

}  // namespace

void StylusColorDriver::EnableMethods()
{
    // The compressed raster mode takes only PackBits data, whatever the
    // compression setting says.
    compressor.EnableMethods(false, false, true, false);
}

bool StylusColorDriver::BeginPage(PortWriter* port)
{
    CommandBuffer cmd;
    AppendPageStart(cmd);
    // A zero-column raster command with compression mode 2 switches the
    // printer into the compressed raster mode.
    cmd.Bytes({kEsc, '.', 0x02, Unit(), Unit(), 0x01, 0x00, 0x00});
    return cmd.WriteTo(port);
}

bool StylusColorDriver::EjectPage(PortWriter* port)
{
    CommandBuffer cmd;
    cmd.Bytes({kLeaveRasterMode, 0x0C, kEsc, '@'});
    return cmd.WriteTo(port);
}

bool StylusColorDriver::SkipRows(PortWriter* port, std::uint32_t count)
{
    if (!port) return false;
    if (count == 0) return true;
    CommandBuffer cmd;
    while (count > 0) {
        const std::uint32_t step = count > 0xFFFF ? 0xFFFF : count;
        AppendShortCount(cmd, 0x60, 0x71, 0x72, step);
        count -= step;
    }
    return cmd.WriteTo(port);
}

bool StylusColorDriver::SendPlane(PortWriter* port, std::uint32_t, std::uint8_t colour,
                                  const std::uint8_t* data, std::uint32_t size)
{
    CommandBuffer cmd;
    cmd.Byte(static_cast<std::uint8_t>(0x80 | colour));
    AppendShortCount(cmd, 0x20, 0x31, 0x32, size);
    if (!cmd.WriteTo(port)) return false;
    if (!WriteAll(port, data, size)) return false;
    return WriteAll(port, &kLeftEdge, 1);
}

}  // namespace tarvel::drivers
