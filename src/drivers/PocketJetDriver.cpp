#include "drivers/PocketJetDriver.h"

#include <cstring>
#include <new>

#include "drivers/PlaneSplit.h"
#include "drivers/RasterDriver.h"

namespace tarvel::drivers {

namespace {

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint32_t kPaperA4 = 0;
constexpr std::uint32_t kPaperLetter = 3;
constexpr std::uint32_t kPaperLegal = 4;

std::uint32_t CountWhite(const std::uint8_t* row, std::uint32_t from, std::uint32_t end)
{
    std::uint32_t x = from;
    while (x < end && IsWhitePixel(row + 3 * static_cast<std::size_t>(x))) ++x;
    return x - from;
}

// Length of the segment that starts at `start`: it ends where a run of
// kWhiteGap white pixels begins, or at n.
std::uint32_t SegmentLength(const std::uint8_t* row, std::uint32_t start, std::uint32_t n)
{
    std::uint32_t run = 0;
    for (std::uint32_t x = start; x < n; ++x) {
        if (!IsWhitePixel(row + 3 * static_cast<std::size_t>(x))) {
            run = 0;
            continue;
        }
        if (++run == PocketJetDriver::kWhiteGap) return x + 1 - run - start;
    }
    return n - start;
}

}  // namespace

PocketJetDriver::~PocketJetDriver()
{
    PocketJetDriver::FreeBuffers();
}

std::uint32_t PocketJetDriver::LineWidthBytes(PocketJetModel model, std::uint32_t paperIndex)
{
    const bool a4 = paperIndex == kPaperA4;
    if (model == PocketJetModel::PocketJetII) return a4 ? 300 : 308;
    return a4 ? 200 : 204;
}

std::uint32_t PocketJetDriver::PageLength(PocketJetModel model, std::uint32_t paperIndex)
{
    const bool two = model == PocketJetModel::PocketJetII;
    if (paperIndex == kPaperLetter) return two ? 3200 : 2133;
    if (paperIndex == kPaperLegal) return two ? 4100 : 2733;
    return two ? 3300 : 2200;
}

bool PocketJetDriver::Open(std::uint32_t, std::uint32_t widthArg, std::uint32_t,
                           std::uint32_t, std::uint32_t paperArg)
{
    width = widthArg;
    paper = paperArg;
    column = 0;
    FreeBuffers();
    if (width > kMaxRowWidth) return false;
    std::uint32_t rowBytes = PlaneBytes(width);
    if (rowBytes == 0) rowBytes = 1;
    dotRow.reset(new (std::nothrow) std::uint8_t[rowBytes]());
    return dotRow != nullptr;
}

void PocketJetDriver::FreeBuffers()
{
    dotRow.reset();
}

bool PocketJetDriver::BeginPage(PortWriter* port)
{
    column = 0;
    CommandBuffer cmd;
    cmd.Bytes({kEsc, '@'});
    cmd.Bytes({kEsc, '~', 'q', 0x01});
    cmd.Bytes({kEsc, '~', 'd', 0xAF, 0x00});
    cmd.Bytes({kEsc, '~', 'f', 0x01});
    cmd.Bytes({kEsc, '~', 'w'});
    cmd.Le16(LineWidthBytes(model_, paper));
    cmd.Bytes({kEsc, '~', 'h'});
    cmd.Le16(PageLength(model_, paper));
    return cmd.WriteTo(port);
}

bool PocketJetDriver::EjectPage(PortWriter* port)
{
    CommandBuffer cmd;
    cmd.Bytes({kEsc, '~', '*', 0x00, 0x00});
    cmd.Bytes({kEsc, '~', 0x0C});
    cmd.Bytes({kEsc, '@'});
    return cmd.WriteTo(port);
}

bool PocketJetDriver::SkipRows(PortWriter* port, std::uint32_t count)
{
    if (!port) return false;
    if (count == 0) return true;
    // One advance moves at most 255 rows. A command buffer holds 64 of
    // them; longer skips go out in several writes.
    while (count > 0) {
        CommandBuffer cmd;
        for (int i = 0; i < 64 && count > 0; ++i) {
            const std::uint32_t step = count > 255 ? 255 : count;
            cmd.Bytes({kEsc, '~', 'J', static_cast<std::uint8_t>(step)});
            count -= step;
        }
        if (!cmd.WriteTo(port)) return false;
    }
    return true;
}

bool PocketJetDriver::SendSegment(PortWriter* port, const std::uint8_t* row, std::uint32_t n,
                                  std::uint32_t start, std::uint32_t length8)
{
    if (start != column) {
        column = start;
        CommandBuffer cmd;
        cmd.Bytes({kEsc, '~', '$'});
        cmd.Le16(start);
        if (!cmd.WriteTo(port)) return false;
    }
    // Pixels past the last inked column are white; the bytes the split
    // does not reach are cleared instead of being read beyond the row.
    const std::uint32_t pixels = n - start < length8 ? n - start : length8;
    const std::uint32_t bytes = length8 / 8;
    SplitBlack(row + 3 * static_cast<std::size_t>(start), dotRow.get(), static_cast<int>(pixels));
    const std::uint32_t filled = PlaneBytes(pixels);
    if (bytes > filled) std::memset(dotRow.get() + filled, 0, bytes - filled);

    CommandBuffer cmd;
    cmd.Bytes({kEsc, '~', '*'});
    cmd.Le16(bytes);
    if (!cmd.WriteTo(port)) return false;
    return WriteAll(port, dotRow.get(), bytes);
}

bool PocketJetDriver::SendRow(PortWriter* port, const std::uint8_t* row)
{
    if (!port || !row || !dotRow) return false;
    const std::uint32_t n = InkedColumns(row, width);
    if (n == 0) return SkipRows(port, 1);

    std::uint32_t pos = 0;
    while (pos < n) {
        // Leading white is skipped in whole bytes, and only when the gap is
        // long enough to be worth a start column of its own.
        std::uint32_t skip = CountWhite(row, pos, n) & ~7u;
        if (skip < kWhiteGap) skip = 0;
        const std::uint32_t start = pos + skip;
        const std::uint32_t length = SegmentLength(row, start, n);
        const std::uint32_t length8 = (length + 7) & ~7u;
        if (!SendSegment(port, row, n, start, length8)) return false;
        pos = start + length8;
    }
    return SkipRows(port, 1);
}

}  // namespace tarvel::drivers
