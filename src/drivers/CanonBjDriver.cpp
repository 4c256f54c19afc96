#include "drivers/CanonBjDriver.h"

namespace tarvel::drivers {

namespace {

constexpr std::uint8_t kEsc = 0x1B;

void AppendInitialise(CommandBuffer& cmd)
{
    cmd.Bytes({kEsc, '[', 'K', 0x02, 0x00, 0x00, 0x0F});
}

std::uint8_t ColourLetter(std::uint8_t colour)
{
    switch (colour) {
    case kColourMagenta: return 'M';
    case kColourCyan: return 'C';
    case kColourYellow: return 'Y';
    default: return 'K';
    }
}

}  // namespace

void CanonBjDriver::EnableMethods()
{
    // Unencoded data drops its trailing zero bytes: the length field tells
    // the printer how many bytes follow.
    if (compression)
        compressor.EnableMethods(false, false, true, false);
    else
        compressor.EnableMethods(true, false, false, false);
}

bool CanonBjDriver::BeginPage(PortWriter* port)
{
    CommandBuffer cmd;
    AppendInitialise(cmd);
    cmd.Bytes({kEsc, '(', 'd', 0x02, 0x00});
    cmd.Be16(static_cast<std::uint32_t>(Resolution(model_, 0)));
    cmd.Bytes({kEsc, '(', 'b', 0x01, 0x00, static_cast<std::uint8_t>(compression ? 1 : 0)});
    return cmd.WriteTo(port);
}

bool CanonBjDriver::EjectPage(PortWriter* port)
{
    CommandBuffer cmd;
    cmd.Byte(0x0C);
    AppendInitialise(cmd);
    return cmd.WriteTo(port);
}

bool CanonBjDriver::SkipRows(PortWriter* port, std::uint32_t count)
{
    if (!port) return false;
    if (count == 0) return true;
    // The count is high byte first here, unlike the raster lengths.
    CommandBuffer cmd;
    while (count > 0) {
        const std::uint32_t step = count > 0xFFFF ? 0xFFFF : count;
        cmd.Bytes({kEsc, '(', 'e', 0x02, 0x00});
        cmd.Be16(step);
        count -= step;
    }
    return cmd.WriteTo(port);
}

bool CanonBjDriver::SendPlane(PortWriter* port, std::uint32_t, std::uint8_t colour,
                              const std::uint8_t* data, std::uint32_t size)
{
    // The length counts the colour letter too. A row is at most
    // kMaxRowWidth / 8 plane bytes, so the length always fits 16 bits.
    if (size + 1 > 0xFFFF) return false;
    CommandBuffer cmd;
    cmd.Bytes({kEsc, '(', 'A'});
    cmd.Le16(size + 1);
    cmd.Byte(ColourLetter(colour));
    if (!cmd.WriteTo(port)) return false;
    if (!WriteAll(port, data, size)) return false;
    static constexpr std::uint8_t kCarriageReturn = 0x0D;
    return WriteAll(port, &kCarriageReturn, 1);
}

}  // namespace tarvel::drivers
