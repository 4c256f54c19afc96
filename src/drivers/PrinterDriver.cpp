#include "drivers/PrinterDriver.h"

#include <bit>
#include <cstring>
#include <limits>
#include <new>

#include "drivers/CanonBjDriver.h"
#include "drivers/EscP2Driver.h"
#include "drivers/PclDriver.h"
#include "drivers/PocketJetDriver.h"
#include "drivers/StylusColorDriver.h"

namespace tarvel::drivers {

namespace {

// The names are the ones the print dialog lists, in this order.
constexpr PrinterModel kModels[kPrinterModelCount] = {
    {"HP PCL", 300, 150, false},
    {"Epson ESC/P 2", 360, 180, false},
    {"Epson Stylus COLOR", 360, 180, false},
    {"PocketJet II", 300, 300, true},
    {"PocketJet 200", 200, 200, true},
    {"Canon BJ (300 dpi)", 300, 300, false},
    {"Canon BJ (360 dpi)", 360, 360, false},
};

template <typename Driver, typename... Args>
std::unique_ptr<PrinterDriver> Make(Args... args)
{
    return std::unique_ptr<PrinterDriver>(new (std::nothrow) Driver(args...));
}

}  // namespace

const PrinterModel* GetPrinterModel(int printer)
{
    if (printer < 0 || printer >= kPrinterModelCount) return nullptr;
    return &kModels[printer];
}

int ModelResolution(int printer, std::uint32_t draft)
{
    switch (printer) {
    case 0: return PclDriver::Resolution(draft);
    case 1: return EscP2Driver::Resolution(draft);
    case 2: return StylusColorDriver::Resolution(draft);
    case 3: return PocketJetDriver::Resolution(PocketJetModel::PocketJetII, draft);
    case 4: return PocketJetDriver::Resolution(PocketJetModel::PocketJet200, draft);
    case 5: return CanonBjDriver::Resolution(CanonBjModel::Dpi300, draft);
    case 6: return CanonBjDriver::Resolution(CanonBjModel::Dpi360, draft);
    default: return 0;
    }
}

std::unique_ptr<PrinterDriver> CreateDriver(int printer)
{
    switch (printer) {
    case 0: return Make<PclDriver>();
    case 1: return Make<EscP2Driver>();
    case 2: return Make<StylusColorDriver>();
    case 3: return Make<PocketJetDriver>(PocketJetModel::PocketJetII);
    case 4: return Make<PocketJetDriver>(PocketJetModel::PocketJet200);
    case 5: return Make<CanonBjDriver>(CanonBjModel::Dpi300);
    case 6: return Make<CanonBjDriver>(CanonBjModel::Dpi360);
    default: return nullptr;
    }
}

std::uint32_t InkedColumns(const std::uint8_t* row, std::uint32_t width)
{
    if (!row) return 0;
    std::uint32_t n = width;
    while (n > 0 && IsWhitePixel(row + 3 * static_cast<std::size_t>(n - 1))) --n;
    return n;
}

std::uint32_t InkedBits(const std::uint8_t* black, std::uint32_t width)
{
    if (!black) return 0;
    for (std::uint32_t i = PlaneBytes(width); i > 0; --i) {
        std::uint8_t byte = black[i - 1];
        if (i * 8 > width) byte &= static_cast<std::uint8_t>(0xFF00 >> (width - (i - 1) * 8));
        if (byte) return (i - 1) * 8 + 8 - static_cast<std::uint32_t>(std::countr_zero(byte));
    }
    return 0;
}

bool PrinterDriver::SendBlackRow(PortWriter* port, const std::uint8_t* black)
{
    if (!black) return false;
    try {
        spelledRow.assign(std::size_t(width) * 3, 255);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (std::uint32_t x = 0; x < width; ++x) {
        if (black[x >> 3] & (0x80 >> (x & 7))) std::memset(&spelledRow[std::size_t(x) * 3], 0, 3);
    }
    return SendRow(port, spelledRow.data());
}

bool WriteAll(PortWriter* port, const std::uint8_t* bytes, std::size_t count)
{
    if (!port) return false;
    // Nothing to send is not a write: a plane without data is only its
    // command.
    if (count == 0) return true;
    if (!bytes || count > static_cast<std::size_t>(std::numeric_limits<int>::max())) return false;
    const int length = static_cast<int>(count);
    return port->Write(bytes, length) == length;
}

}  // namespace tarvel::drivers
