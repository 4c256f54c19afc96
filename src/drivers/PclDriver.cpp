#include "drivers/PclDriver.h"

namespace tarvel::drivers {

namespace {

constexpr std::uint8_t kEsc = 0x1B;

// Universal exit language: leaves whatever language a previous job left
// the printer in.
void UniversalExit(CommandBuffer& cmd)
{
    cmd.Byte(kEsc);
    cmd.Text("%-12345X");
}

}  // namespace

void PclDriver::EnableMethods()
{
    if (compression)
        compressor.EnableMethods(true, true, true, true);
    else
        compressor.EnableMethods(true, false, false, false);
}

bool PclDriver::BeginPage(PortWriter* port)
{
    CommandBuffer cmd;
    UniversalExit(cmd);
    cmd.Byte(kEsc);
    cmd.Text("E");
    cmd.Byte(kEsc);
    cmd.Text("&l0O");
    cmd.Byte(kEsc);
    cmd.Text("&l0E");
    cmd.Byte(kEsc);
    cmd.Text("*p0Y");
    cmd.Byte(kEsc);
    cmd.Text("*p0X");
    cmd.Byte(kEsc);
    // Negative plane counts select the CMY palette, which is how the three
    // colour planes are meant.
    cmd.Text(planeCount == 4 ? "*r-4U" : planeCount == 3 ? "*r-3U"
                                                         : "*r1U");
    cmd.Byte(kEsc);
    cmd.Text(draft ? "*t150R" : "*t300R");
    cmd.Byte(kEsc);
    cmd.Text("*r1A");
    return cmd.WriteTo(port);
}

bool PclDriver::EjectPage(PortWriter* port)
{
    CommandBuffer cmd;
    cmd.Byte(kEsc);
    cmd.Text("*rC");
    cmd.Byte(0x0C);
    cmd.Byte(kEsc);
    cmd.Text("E");
    UniversalExit(cmd);
    return cmd.WriteTo(port);
}

bool PclDriver::SkipRows(PortWriter* port, std::uint32_t count)
{
    if (!port) return false;
    if (count == 0) return true;
    CommandBuffer cmd;
    cmd.Byte(kEsc);
    cmd.Text("*b");
    cmd.Decimal(count);
    cmd.Text("Y");
    const bool ok = cmd.WriteTo(port);
    // The printer zeroes its seed rows on a Y offset; ours must follow, or
    // the next delta row would be computed against rows it no longer has.
    compressor.ClearSeeds();
    return ok;
}

bool PclDriver::SendRow(PortWriter* port, const std::uint8_t* row)
{
    if (!port || !row || !IsOpen()) return false;
    return SplitPlanes(row, width) && SendPlanes(port);
}

bool PclDriver::SendBlackRow(PortWriter* port, const std::uint8_t* black)
{
    if (!port || !black || !IsOpen()) return false;
    return PlanesFromBlack(black, width) && SendPlanes(port);
}

bool PclDriver::SendPlanes(PortWriter* port)
{

    // Seed rows are numbered by the plane's place in the row; black is last
    // in four-plane mode, so that W closes the row after it.
    const std::uint8_t* planes[4];
    int count = 0;
    if (planeCount == 1) {
        planes[count++] = blackPlane.get();
    } else {
        planes[count++] = cyanPlane.get();
        planes[count++] = magentaPlane.get();
        planes[count++] = yellowPlane.get();
        if (planeCount == 4) planes[count++] = blackPlane.get();
    }

    const int planeBytes = static_cast<int>(PlaneBytes(width));
    for (int plane = 0; plane < count; ++plane) {
        const std::uint8_t* data = nullptr;
        int change = RowCompressor::kNoChange;
        const int size = compressor.Compress(planes[plane], planeBytes, plane, &data, &change);
        CommandBuffer cmd;
        cmd.Byte(kEsc);
        cmd.Text("*b");
        if (change != RowCompressor::kNoChange) {
            cmd.Decimal(change);
            cmd.Text("m");
        }
        cmd.Decimal(size);
        cmd.Text(plane == count - 1 ? "W" : "V");
        if (!cmd.WriteTo(port)) return false;
        if (!WriteAll(port, data, static_cast<std::size_t>(size))) return false;
    }
    return true;
}

}  // namespace tarvel::drivers
