#include "preview/RasterCodecs.h"

namespace tarvel::preview {

namespace {

// One PackBits unit at data[i]: appends its bytes to out, advances i.
// Returns false when the unit's data is missing. Control 0x80 is a no-op,
// as TIFF defines it.
bool UnpackUnit(const std::uint8_t* data, std::size_t size, std::size_t& i,
                std::vector<std::uint8_t>& out, std::size_t limit)
{
    // The control byte is signed by definition: -1 to -127 announce runs.
    // NOLINTNEXTLINE(bugprone-signed-char-misuse)
    const int control = static_cast<std::int8_t>(data[i]);
    if (control >= 0) {
        const std::size_t count = static_cast<std::size_t>(control) + 1;
        if (size - i - 1 < count) return false;
        if (out.size() + count > limit) return false;
        out.insert(out.end(), data + i + 1, data + i + 1 + count);
        i += 1 + count;
    } else if (control != -128) {
        if (size - i < 2) return false;
        const std::size_t count = static_cast<std::size_t>(1 - control);
        if (out.size() + count > limit) return false;
        out.insert(out.end(), count, data[i + 1]);
        i += 2;
    } else {
        i += 1;
    }
    return true;
}

}  // namespace

bool UnpackBits(const std::uint8_t* data, std::size_t size, std::size_t maxOut,
                std::vector<std::uint8_t>& out)
{
    if (!data && size) return false;
    const std::size_t limit = out.size() + maxOut;
    std::size_t i = 0;
    while (i < size)
        if (!UnpackUnit(data, size, i, out, limit)) return false;
    return true;
}

bool UnpackBitsExactly(const std::uint8_t* data, std::size_t available, std::size_t wanted,
                       std::vector<std::uint8_t>& out, std::size_t* consumed)
{
    if (!data && available) return false;
    const std::size_t start = out.size();
    const std::size_t limit = start + wanted;
    std::size_t i = 0;
    while (out.size() < limit) {
        if (i >= available) return false;
        if (!UnpackUnit(data, available, i, out, limit)) return false;
    }
    if (consumed) *consumed = i;
    return true;
}

bool DecodeRunLength(const std::uint8_t* data, std::size_t size, std::size_t maxOut,
                     std::vector<std::uint8_t>& out)
{
    if ((!data && size) || size % 2) return false;
    const std::size_t limit = out.size() + maxOut;
    for (std::size_t i = 0; i < size; i += 2) {
        const std::size_t count = static_cast<std::size_t>(data[i]) + 1;
        if (out.size() + count > limit) return false;
        out.insert(out.end(), count, data[i + 1]);
    }
    return true;
}

bool ApplyDeltaRow(const std::uint8_t* data, std::size_t size, std::size_t maxOut,
                   std::vector<std::uint8_t>& row)
{
    if (!data && size) return false;
    std::size_t pos = 0;
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t command = data[i++];
        const std::size_t count = (command >> 5) + 1;
        std::size_t offset = command & 31;
        if (offset == 31) {
            // Further offset bytes follow; a byte below 255 ends them.
            for (;;) {
                if (i >= size) return false;
                const std::uint8_t more = data[i++];
                offset += more;
                if (more != 255) break;
            }
        }
        pos += offset;
        if (size - i < count) return false;
        if (pos + count > maxOut) return false;
        if (row.size() < pos + count) row.resize(pos + count, 0);
        for (std::size_t k = 0; k < count; ++k) row[pos + k] = data[i + k];
        i += count;
        pos += count;
    }
    return true;
}

}  // namespace tarvel::preview
