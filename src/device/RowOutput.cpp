#include "device/RowOutput.h"

#include <cstring>

namespace tarvel::device {

bool IsWhiteRow(const std::uint8_t* row, std::size_t size)
{
    // Word at a time: most rows of a page are blank.
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, row + i, 8);
        if (word != ~std::uint64_t(0))
            return false;
    }
    for (; i < size; ++i) {
        if (row[i] != 255)
            return false;
    }
    return true;
}

RowOutput::RowOutput(tarvel::render::Ditherer& ditherer, tarvel::drivers::PrinterDriver& driver,
    tarvel::ports::PortWriter* port, std::int32_t rowWidth, bool monochrome)
    : ditherer(ditherer)
    , driver(driver)
    , port(port)
    , rowBytes(rowWidth > 0 ? static_cast<std::size_t>(rowWidth) * 3 : 0)
    , monochrome(monochrome)
{
}

RowStep RowOutput::Put(std::uint8_t* row)
{
    if (IsWhiteRow(row, rowBytes)) {
        ++blankRows;
        return RowStep::Blank;
    }
    if (blankRows > 0) {
        // The skip's own result is not looked at: a port that failed fails
        // the row that follows it.
        driver.SkipRows(port, blankRows);
        blankRows = 0;
        ditherer.ResetErrors();
    }
    ditherer.DitherRow(row, monochrome);
    return driver.SendRow(port, row) ? RowStep::Sent : RowStep::Failed;
}

}  // namespace tarvel::device
