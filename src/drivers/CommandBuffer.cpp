#include "drivers/CommandBuffer.h"

#include "drivers/PrinterDriver.h"

namespace tarvel::drivers {

void CommandBuffer::Decimal(std::int64_t value)
{
    char digits[24];
    int count = 0;
    std::uint64_t magnitude;
    if (value < 0) {
        Byte('-');
        magnitude = static_cast<std::uint64_t>(-(value + 1)) + 1;
    } else {
        magnitude = static_cast<std::uint64_t>(value);
    }
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count > 0) Byte(static_cast<std::uint8_t>(digits[--count]));
}

bool CommandBuffer::WriteTo(PortWriter* port) const
{
    if (overflow_) return false;
    return WriteAll(port, bytes_, size_);
}

}  // namespace tarvel::drivers
