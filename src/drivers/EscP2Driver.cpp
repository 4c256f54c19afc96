#include "drivers/EscP2Driver.h"

namespace tarvel::drivers {

namespace {
constexpr std::uint8_t kEsc = 0x1B;
}

void EpsonRasterDriver::AppendPageStart(CommandBuffer& cmd) const
{
    cmd.Bytes({kEsc, '@'});
    cmd.Bytes({kEsc, '(', 'G', 0x01, 0x00, 0x01});
    cmd.Bytes({kEsc, '(', 'U', 0x01, 0x00, Unit()});
}

void EscP2Driver::EnableMethods()
{
    // Without compression the planes go out raw and the compressor is not
    // asked at all.
    if (compression)
        compressor.EnableMethods(false, false, true, false);
    else
        compressor.EnableMethods(true, false, false, false);
}

bool EscP2Driver::BeginPage(PortWriter* port)
{
    CommandBuffer cmd;
    AppendPageStart(cmd);
    return cmd.WriteTo(port);
}

bool EscP2Driver::EjectPage(PortWriter* port)
{
    CommandBuffer cmd;
    cmd.Bytes({0x0C, kEsc, '@'});
    return cmd.WriteTo(port);
}

bool EscP2Driver::SkipRows(PortWriter* port, std::uint32_t count)
{
    if (!port) return false;
    if (count == 0) return true;
    // Even the tallest page fits one command at 1/360 inch; larger counts
    // are split so that no move is silently truncated.
    CommandBuffer cmd;
    while (count > 0) {
        const std::uint32_t step = count > 0xFFFF ? 0xFFFF : count;
        cmd.Bytes({kEsc, '(', 'v', 0x02, 0x00});
        cmd.Le16(step);
        count -= step;
    }
    return cmd.WriteTo(port);
}

bool EscP2Driver::SendPlane(PortWriter* port, std::uint32_t columns, std::uint8_t colour,
                            const std::uint8_t* data, std::uint32_t size)
{
    CommandBuffer cmd;
    cmd.Bytes({kEsc, 'r', colour});
    cmd.Bytes({kEsc, '.', static_cast<std::uint8_t>(compression ? 1 : 0), Unit(), Unit(), 0x01});
    cmd.Le16(columns);
    if (!cmd.WriteTo(port)) return false;
    if (!WriteAll(port, data, size)) return false;
    static constexpr std::uint8_t kCarriageReturn = 0x0D;
    return WriteAll(port, &kCarriageReturn, 1);
}

}  // namespace tarvel::drivers
