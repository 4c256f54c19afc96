// Reads Epson raster pages back: ESC/P 2 raster graphics, and for the Stylus
// COLOR also its compressed raster mode of one- to three-byte commands.
#include <cstdint>
#include <vector>

#include "preview/DecoderSupport.h"
#include "preview/RasterCodecs.h"
#include "preview/StreamDecoder.h"

namespace tarvel::preview {

namespace {

using detail::Decoding;
using detail::kCarriageReturn;
using detail::kEsc;
using detail::kFormFeed;
using detail::kMaxRowBytes;

bool InkOfColour(std::uint8_t code, Ink* ink)
{
    switch (code) {
    case 0: *ink = Ink::Black; return true;
    case 1: *ink = Ink::Magenta; return true;
    case 2: *ink = Ink::Cyan; return true;
    case 4: *ink = Ink::Yellow; return true;
    default: return false;
    }
}

class EpsonDecoding : public Decoding {
public:
    EpsonDecoding(const std::uint8_t* data, std::size_t size, bool compressedMode, const DecodeLimits& limits)
        : Decoding(data, size, compressedMode ? Language::StylusColor : Language::EscP2, limits)
        , allowCompressedMode_(compressedMode)
    {
    }

    bool Run()
    {
        while (!AtEnd()) {
            const std::size_t start = pos();
            const bool ok = inCompressedMode_ ? CompressedCommand(start) : Command(start);
            if (!ok) return false;
        }
        if (inCompressedMode_) return Fail(pos(), "stream ends in compressed raster mode");
        return true;
    }

private:
    bool Command(std::size_t start)
    {
        const std::uint8_t b = Take();
        if (b == kCarriageReturn) {
            x_ = 0;
            return true;
        }
        if (b == kFormFeed) {
            if (!FormFeed(start)) return false;
            x_ = 0;
            y_ = 0;
            return true;
        }
        if (b != kEsc) return Fail(start, "byte outside any command");
        if (AtEnd()) return Fail(start, "command cut short");
        const std::uint8_t c = Take();
        switch (c) {
        case '@':
            // Initialising resets the modes, not the paper position.
            unit_ = 0;
            ink_ = Ink::Black;
            graphics_ = false;
            x_ = 0;
            return true;
        case 'r': {
            if (AtEnd()) return Fail(start, "command cut short");
            if (!InkOfColour(Take(), &ink_)) return Fail(start, "unknown colour");
            return true;
        }
        case '(': return Extended(start);
        case '.': return Raster(start);
        default: return Fail(start, "unknown command");
        }
    }

    // ESC ( letter, a 16-bit parameter length, the parameters.
    bool Extended(std::size_t start)
    {
        if (!Has(3)) return Fail(start, "command cut short");
        const std::uint8_t letter = Take();
        const std::uint32_t length = TakeLe16();
        if (!Has(length)) return Fail(start, "command cut short");
        switch (letter) {
        case 'G':
            if (length != 1 || Peek() != 1) return Fail(start, "unsupported graphics mode");
            graphics_ = true;
            break;
        case 'U': {
            if (length != 1) return Fail(start, "unsupported unit");
            const std::uint8_t unit = Peek();
            if (unit == 0 || 3600 % unit != 0) return Fail(start, "unsupported unit");
            unit_ = unit;
            page.resolutionX = page.resolutionY = 3600 / unit;
            break;
        }
        case 'v': {
            if (length != 2) return Fail(start, "unsupported vertical move");
            if (unit_ == 0) return Fail(start, "move before the unit is set");
            const std::uint32_t rows = Peek() | (Peek(1) << 8);
            if (!MoveDown(start, y_, rows)) return false;
            break;
        }
        default:
            return Fail(start, "unknown command");
        }
        Skip(length);
        return true;
    }

    // ESC . m v h rows columns(lo hi), then the data.
    bool Raster(std::size_t start)
    {
        if (!Has(6)) return Fail(start, "command cut short");
        const std::uint8_t mode = Take();
        const std::uint8_t vertical = Take();
        const std::uint8_t horizontal = Take();
        const std::uint8_t rows = Take();
        const std::uint32_t columns = TakeLe16();
        if (!graphics_ || unit_ == 0) return Fail(start, "raster graphics before graphics mode");
        // Densities other than the unit would need scaling we never send.
        if (vertical != unit_ || horizontal != unit_) return Fail(start, "density differs from unit");
        if (mode == 2) {
            if (!allowCompressedMode_) return Fail(start, "unknown raster mode");
            if (rows != 1 || columns != 0) return Fail(start, "unsupported raster mode switch");
            inCompressedMode_ = true;
            return true;
        }
        if (mode > 1) return Fail(start, "unknown raster mode");
        if (rows == 0) return Fail(start, "raster graphics without rows");
        const std::size_t rowBytes = (static_cast<std::size_t>(columns) + 7) / 8;
        std::vector<std::uint8_t> bits;
        const std::size_t wanted = rowBytes * rows;
        if (mode == 0) {
            if (!Has(wanted)) return Fail(start, "data cut short");
            bits.assign(Here(), Here() + wanted);
            Skip(wanted);
        } else {
            std::size_t consumed = 0;
            if (!UnpackBitsExactly(Here(), Left(), wanted, bits, &consumed))
                return Fail(start, "bad compressed data");
            Skip(consumed);
        }
        for (std::uint32_t r = 0; r < rows; ++r) {
            if (!PutRow(start, ink_, x_, y_ + r, bits.data() + r * rowBytes, columns)) return false;
        }
        x_ += columns;
        return true;
    }

    bool CompressedCommand(std::size_t start)
    {
        const std::uint8_t b = Take();
        if (b >= 0x80 && b <= 0x8F) {
            if (!InkOfColour(b & 0x0F, &ink_)) return Fail(start, "unknown colour");
            return true;
        }
        if ((b & 0xF0) == 0x20 || b == 0x31 || b == 0x32) {
            std::uint32_t size = b & 0x0F;
            if (b == 0x31) {
                if (!Has(1)) return Fail(start, "command cut short");
                size = Take();
            } else if (b == 0x32) {
                if (!Has(2)) return Fail(start, "command cut short");
                size = TakeLe16();
            }
            if (!Has(size)) return Fail(start, "data cut short");
            std::vector<std::uint8_t> bits;
            if (!UnpackBits(Here(), size, kMaxRowBytes, bits)) return Fail(start, "bad compressed data");
            Skip(size);
            if (!PutRow(start, ink_, x_, y_, bits.data(), bits.size() * 8)) return false;
            x_ += static_cast<std::uint32_t>(bits.size() * 8);
            return true;
        }
        if ((b & 0xF0) == 0x60) return MoveDown(start, y_, b & 0x0F);
        if (b == 0x71) {
            if (!Has(1)) return Fail(start, "command cut short");
            return MoveDown(start, y_, Take());
        }
        if (b == 0x72) {
            if (!Has(2)) return Fail(start, "command cut short");
            return MoveDown(start, y_, TakeLe16());
        }
        if (b == 0xE2) {
            x_ = 0;
            return true;
        }
        if (b == 0xE3) {
            inCompressedMode_ = false;
            return true;
        }
        return Fail(start, "unknown command in compressed raster mode");
    }

    const bool allowCompressedMode_;
    bool inCompressedMode_ = false;
    bool graphics_ = false;
    std::uint8_t unit_ = 0;
    Ink ink_ = Ink::Black;
    std::uint32_t x_ = 0;
    std::uint32_t y_ = 0;
};

DecodeResult DecodeEpson(const std::uint8_t* data, std::size_t size, bool compressedMode,
                         const DecodeLimits& limits)
{
    return detail::Decode<EpsonDecoding>(data, size, compressedMode, limits);
}

}  // namespace

DecodeResult DecodeEscP2(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits)
{
    return DecodeEpson(data, size, false, limits);
}

DecodeResult DecodeStylusColor(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits)
{
    return DecodeEpson(data, size, true, limits);
}

}  // namespace tarvel::preview
